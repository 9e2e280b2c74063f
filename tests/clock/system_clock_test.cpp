#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "clock/clock.h"

namespace chronvane {
namespace {

// Restores TZ when a test ends, whatever it did.
class TimeZoneGuard {
  public:
    TimeZoneGuard() {
        if (const char* tz = std::getenv("TZ")) {
            m_saved = tz;
            m_had = true;
        }
    }
    ~TimeZoneGuard() {
        if (m_had) {
            setenv("TZ", m_saved.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    std::string m_saved;
    bool m_had = false;
};

int minutesOfDay(const TimeReading& t) {
    return t.hour * 60 + t.minute;
}

TEST(SystemClock, FieldsAreInRange) {
    const TimeReading t = SystemClock().now();
    EXPECT_GE(t.second, 0);
    EXPECT_LE(t.second, 60);
    EXPECT_GE(t.minute, 0);
    EXPECT_LE(t.minute, 59);
    EXPECT_GE(t.hour, 0);
    EXPECT_LE(t.hour, 23);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.day, 31);
    EXPECT_GE(t.month, 0);
    EXPECT_LE(t.month, 11);
    EXPECT_GE(t.weekday, 0);
    EXPECT_LE(t.weekday, 6);
}

// A zone changed while the program runs must show at the next reading.
TEST(SystemClock, FollowsATimeZoneChangeAtTheNextReading) {
    TimeZoneGuard guard;
    SystemClock clock;
    setenv("TZ", "UTC0", 1);
    const TimeReading utc = clock.now();
    setenv("TZ", "<+0530>-5:30", 1);  // no tzset here: the clock must look again itself
    const TimeReading india = clock.now();
    const int shift = (minutesOfDay(india) - minutesOfDay(utc) + 24 * 60) % (24 * 60);
    // 330 minutes, give or take one if a minute turned between the readings.
    EXPECT_GE(shift, 329);
    EXPECT_LE(shift, 331);
}

// The zone's part of a reading under a fixed rule: the local fields with their
// year against UTC, the offset, daylight saving, and the next change of offset
// when one comes within the day.
TEST(SystemClock, ReadingCarriesUtcTheOffsetAndItsNextChange) {
    TimeZoneGuard guard;
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    struct Case {
        const char* name;
        std::int64_t second;
        CalendarTime local;
        CalendarTime utc;
        int offset;
        bool dst;
        std::optional<OffsetChange> next;
    };
    const Case cases[] = {
        {"winter", 1768478400, {0, 0, 13, 15, 0, 4, 2026}, {0, 0, 12, 15, 0, 4, 2026}, 3600, false,
         std::nullopt},
        {"half an hour before summer time", 1774744200, {0, 30, 1, 29, 2, 0, 2026},
         {0, 30, 0, 29, 2, 0, 2026}, 3600, false, OffsetChange{1774746000, 7200}},
        {"summer, local date a day on", 1782945000, {0, 30, 0, 2, 6, 4, 2026},
         {0, 30, 22, 1, 6, 3, 2026}, 7200, true, std::nullopt},
        {"half an hour before winter time", 1792888200, {0, 30, 2, 25, 9, 0, 2026},
         {0, 30, 0, 25, 9, 0, 2026}, 7200, true, OffsetChange{1792890000, 3600}},
        {"local year a year on", 1767223800, {0, 30, 0, 1, 0, 4, 2026}, {0, 30, 23, 31, 11, 3, 2025},
         3600, false, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TimeReading reading = SystemClock().reading(c.second);
        EXPECT_EQ(reading.local(), c.local);
        EXPECT_EQ(reading.utc, c.utc);
        EXPECT_EQ(reading.utcOffsetSeconds, c.offset);
        EXPECT_EQ(reading.daylightSaving, c.dst);
        EXPECT_EQ(reading.nextOffsetChange, c.next);
    }
}

}  // namespace
}  // namespace chronvane
