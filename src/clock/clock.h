#pragma once

#include "core/local_time.h"

namespace chronvane {

// Where the controller reads the time. Injected, so tests set the time by hand and
// never wait for a real second to pass.
class Clock {
  public:
    virtual ~Clock() = default;
    // One reading of the local clock, all fields from the same instant.
    virtual LocalTime now() = 0;
};

// The computer's wall clock in the C library's local time zone (TZ when set,
// otherwise the system's), looked up afresh at each reading so that a change of
// time zone shows at the next message.
// Per platform: system_clock_<platform>.cpp.
class SystemClock final : public Clock {
  public:
    LocalTime now() override;
};

}  // namespace chronvane
