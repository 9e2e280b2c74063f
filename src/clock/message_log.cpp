#include "message_log.h"

#include <algorithm>
#include <utility>

namespace chronvane {

void MessageLog::append(std::string text) {
    std::rotate(m_lines.begin(), m_lines.begin() + 1, m_lines.end());
    m_lines.back() = std::move(text);
}

}  // namespace chronvane
