#include "message_log.h"

#include <algorithm>
#include <utility>

namespace chronvane {

void MessageLog::append(LogEntry entry) {
    std::rotate(m_entries.begin(), m_entries.begin() + 1, m_entries.end());
    m_entries.back() = std::move(entry);
}

std::string MessageLog::line(std::size_t index) const {
    const std::optional<LogEntry>& entry = m_entries.at(index);
    return entry ? entry->text : std::string();
}

MessageLog::Lines MessageLog::lines() const {
    Lines texts;
    for (std::size_t i = 0; i < lineCount; ++i) {
        texts[i] = line(i);
    }
    return texts;
}

}  // namespace chronvane
