#pragma once

#include <cstdint>
#include <optional>

#include "core/advance.h"
#include "core/time_reading.h"
#include "zone_reading.h"

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
    // The reading for the start of second (as currentSecond counts): local time in
    // the zone in effect now, UTC, the offset and its next change, all from that
    // instant. The clock's state (leap second, trust) is not the clock's to read:
    // the controller adds its own reading of it (withClockState).
    virtual TimeReading reading(std::int64_t second) = 0;
    // One reading of the local clock, all fields from the same instant.
    TimeReading now() { return reading(currentSecond()); }
    // The wall clock as it stands now (microseconds from the Unix epoch, never
    // advanced) and how far it stands from a clock that nobody sets. A time daemon's
    // slewing moves both alike; only setting the clock moves the offset, so a jump
    // between two readings is the size of a step, and the wall time less the step
    // is what the clock showed just before it.
    // advanceMicros is how far the seconds currentSecond counts run ahead of
    // wallMicros: the second it would give at this instant is wallMicros plus that.
    struct WallReading {
        std::int64_t wallMicros = 0;
        std::int64_t offsetMicros = 0;
        std::int64_t advanceMicros = 0;
        // The time the messages carry, as currentSecond counts it.
        std::int64_t shownMicros() const { return wallMicros + advanceMicros; }
    };
    // Empty where it cannot be had (then steps go unnoticed).
    virtual std::optional<WallReading> readWall() { return std::nullopt; }
};

// The computer's wall clock in the C library's local time zone (TZ when set,
// otherwise the system's), looked up afresh at each conversion so that a change of
// time zone shows at the next message.
// Per platform: system_clock_<platform>.cpp.
// With an advance, the second read is the one that begins that many milliseconds
// from now, so that a message started that much before a change of second carries
// the second about to begin.
class SystemClock final : public Clock {
  public:
    explicit SystemClock(Advance advance = {}) : m_advance(advance) {}
    std::int64_t currentSecond() override;
    TimeReading reading(std::int64_t second) override;
    std::optional<WallReading> readWall() override;

  private:
    static bool toLocal(std::int64_t second, std::tm& out);
    static bool toUtc(std::int64_t second, std::tm& out);

    Advance m_advance;
    ZoneReading m_zone{toLocal, toUtc};
};

}  // namespace chronvane
