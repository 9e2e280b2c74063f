#pragma once

#include <cstdint>
#include <optional>

#include "core/local_time.h"

namespace chronvane {

// Where the controller reads the time. Injected, so tests set the time by hand and
// never wait for a real second to pass.
class Clock {
  public:
    virtual ~Clock() = default;
    // One reading of the local clock, all fields from the same instant.
    virtual LocalTime now() = 0;
    // How far the wall clock stands from a clock that nobody sets (microseconds).
    // A time daemon's slewing moves both alike; only setting the clock moves this,
    // so a jump between two readings is the size of a step. Empty where it cannot
    // be had (then steps go unnoticed).
    virtual std::optional<std::int64_t> wallOffsetMicros() { return std::nullopt; }
};

// The computer's wall clock in the C library's local time zone (TZ when set,
// otherwise the system's), looked up afresh at each reading so that a change of
// time zone shows at the next message.
// Per platform: system_clock_<platform>.cpp.
// With an advance, every reading is that many milliseconds ahead of the wall
// clock, so that a message started that much before a change of second carries the
// second about to begin.
class SystemClock final : public Clock {
  public:
    explicit SystemClock(int advanceMillis = 0) : m_advanceMillis(advanceMillis) {}
    LocalTime now() override;
    std::optional<std::int64_t> wallOffsetMicros() override;

  private:
    int m_advanceMillis;
};

}  // namespace chronvane
