#include "tick_source.h"

#include <algorithm>
#include <utility>

namespace chronvane {
namespace {

// A timer may fire a little before its due time where it runs on a clock other
// than the wall clock (Windows' interrupt clock); such an expiry is still waited
// out rather than ticked early.
constexpr std::int64_t earlyMarginMicros = 200;

}  // namespace

TickSource::TickSource() = default;

TickSource::~TickSource() {
    stop();
}

bool TickSource::start(int periodMs) {
    stop();
    if (periodMs < 1 || periodMs > 1000) {
        m_lastError = periodOutOfRange();
        return false;
    }
    if (!createTimer()) {
        return false;
    }
    m_periodMs = periodMs;
    if (!armOrStop()) {
        return false;
    }
    m_lastError = SystemError{};
    return true;
}

void TickSource::setWakeLead(int leadMicros) {
    m_leadMicros = std::clamp(leadMicros, 0, maxWakeLeadMicros);
}

void TickSource::setAdvance(Advance advance) {
    m_advanceMicros = advance.micros();
}

void TickSource::stop() {
    if (m_timer) {
        releaseTimer();
        m_timer.reset();
    }
    m_periodMs = 0;
}

// With 100 ms one of the slots is exactly the change of second.
std::int64_t TickSource::nextSlot(std::int64_t now, std::int64_t period) {
    return (now / period + 1) * period;
}

std::int64_t TickSource::nextExpiry(std::int64_t now, std::int64_t period) const {
    const std::int64_t lead = m_leadMicros * unitsPerMicro;
    // Never shift by a whole period or more: the expiries would leave their slots.
    const std::int64_t shift = std::min(lead, period - 1);
    // The grid runs on the wall clock moved ahead by the advance.
    const std::int64_t advance = m_advanceMicros * unitsPerMicro;
    return nextSlot(now + advance + shift, period) - shift - advance;
}

void TickSource::waitOutLead() {
    if (m_leadMicros == 0) {
        return;
    }
    const std::int64_t second = 1'000'000 * unitsPerMicro;
    std::int64_t now = 0;
    if (!readWallClock(now)) {
        return;
    }
    // The change of the advanced second, on the wall clock.
    const std::int64_t advance = m_advanceMicros * unitsPerMicro;
    now += advance;
    const std::int64_t changeOfSecond = (now / second + 1) * second;
    // Past the change (the timer came late, as it does without a lead) or not yet
    // near one: nothing to wait for.
    if (changeOfSecond - now > (m_leadMicros + earlyMarginMicros) * unitsPerMicro) {
        return;
    }
    if (m_leadAction) {
        m_leadAction((changeOfSecond - unixEpochUnits) / second);
        if (!readWallClock(now)) {
            return;
        }
    }
    // Bounded by the test above; a clock set back meanwhile ends it too, and the
    // timer's own clock-change handling takes over.
    const std::int64_t start = now;
    while (now < changeOfSecond && now >= start) {
        if (!readWallClock(now)) {
            return;
        }
        now += advance;
    }
}

bool TickSource::arm() {
    std::int64_t now = 0;
    return readWallClock(now) &&
           armAt(now, nextExpiry(now, std::int64_t{m_periodMs} * 1000 * unitsPerMicro));
}

bool TickSource::followClockStep() {
    if (!m_timer) {
        return false;
    }
    std::int64_t now = 0;
    if (!readWallClock(now)) {
        return false;
    }
    // The slot of a whole second is the (advanced) change of second.
    return armAt(now, nextExpiry(now, 1'000'000 * unitsPerMicro));
}

bool TickSource::armOrStop() {
    if (arm()) {
        return true;
    }
    const SystemError error = m_lastError;
    stop();
    m_lastError = error;
    return false;
}

}  // namespace chronvane
