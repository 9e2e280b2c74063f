#include "send_tally.h"

#include <algorithm>
#include <vector>

namespace chronvane {

void SendTally::secondHandled(std::int64_t skipped, bool messageLeft) {
    missed += static_cast<std::uint64_t>(std::max<std::int64_t>(skipped, 0)) + (messageLeft ? 0 : 1);
}

void SendTally::writeEntered(std::int64_t second, std::int64_t delayMicros) {
    if (delayMicros > lateMicros) {
        ++late;
    }
    m_delays[m_next] = {second, delayMicros};
    m_next = (m_next + 1) % m_delays.size();
    m_count = std::min(m_count + 1, m_delays.size());
}

void SendTally::written(std::int64_t second, bool wasSent) {
    if (wasSent) {
        ++sent;
        lastMessageSecond = second;
    } else {
        ++writeFailures;
    }
}

std::optional<SendTally::DelaySummary> SendTally::delays(std::int64_t nowSecond) const {
    std::vector<std::int64_t> recent;
    for (std::size_t i = 0; i < m_count; ++i) {
        const Delay& delay = m_delays[i];
        if (delay.second > nowSecond - delayWindowSeconds && delay.second <= nowSecond) {
            recent.push_back(delay.micros);
        }
    }
    if (recent.empty()) {
        return std::nullopt;
    }
    std::sort(recent.begin(), recent.end());
    // The nearest rank: the smallest delay at least that share of them reach.
    const auto rank = [&](double share) {
        const auto index = static_cast<std::size_t>(share * static_cast<double>(recent.size()) + 0.999999);
        return recent[std::clamp<std::size_t>(index, 1, recent.size()) - 1];
    };
    return DelaySummary{rank(0.5), rank(0.99), recent.back()};
}

}  // namespace chronvane
