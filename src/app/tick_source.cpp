#include "tick_source.h"

namespace chronvane {

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
