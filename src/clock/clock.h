#pragma once

#include <cstdint>

#include "core/local_time.h"

namespace chronvane {

// Where the controller reads the time. Injected, so tests set the time by hand and
// never wait for a real second to pass.
// Reading the second and turning it into local time are apart, because they cost
// very differently: the reading is what must happen right at the change of second,
// while the conversion (which looks at the time zone) can be done ahead of time for
// a second that is about to begin.
class Clock {
  public:
    virtual ~Clock() = default;
    // The wall clock's current whole second, counted from the Unix epoch.
    virtual std::int64_t currentSecond() = 0;
    // The local time at the start of second (as currentSecond counts), all fields
    // from that instant, in the time zone in effect now.
    virtual LocalTime localTime(std::int64_t second) = 0;
    // One reading of the local clock, all fields from the same instant.
    LocalTime now() { return localTime(currentSecond()); }
};

// The computer's wall clock in the C library's local time zone (TZ when set,
// otherwise the system's), looked up afresh at each conversion so that a change of
// time zone shows at the next message.
// Per platform: system_clock_<platform>.cpp.
class SystemClock final : public Clock {
  public:
    std::int64_t currentSecond() override;
    LocalTime localTime(std::int64_t second) override;
};

}  // namespace chronvane
