#pragma once

#include <chrono>

namespace chronvane {

// A moment on the monotonic clock by which something has to be done: a message's
// bytes taken by the device, queued output let out before a close. Setting the
// wall clock moves neither. The one deadline type of every platform's waits.
class Deadline {
  public:
    using Clock = std::chrono::steady_clock;

    explicit Deadline(Clock::duration budget) : m_end(Clock::now() + budget) {}

    bool passed() const { return Clock::now() >= m_end; }
    // The time left, rounded up to whole milliseconds so that a wait for it never
    // ends early; zero or less once passed.
    std::chrono::milliseconds left() const {
        return std::chrono::ceil<std::chrono::milliseconds>(m_end - Clock::now());
    }

  private:
    Clock::time_point m_end;
};

}  // namespace chronvane
