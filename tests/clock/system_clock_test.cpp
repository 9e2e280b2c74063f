#include <cstdlib>
#include <ctime>
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

int minutesOfDay(const LocalTime& t) {
    return t.hour * 60 + t.minute;
}

TEST(SystemClock, FieldsAreInRange) {
    const LocalTime t = SystemClock().now();
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
    const LocalTime utc = clock.now();
    setenv("TZ", "<+0530>-5:30", 1);  // no tzset here: the clock must look again itself
    const LocalTime india = clock.now();
    const int shift = (minutesOfDay(india) - minutesOfDay(utc) + 24 * 60) % (24 * 60);
    // 330 minutes, give or take one if a minute turned between the readings.
    EXPECT_GE(shift, 329);
    EXPECT_LE(shift, 331);
}

}  // namespace
}  // namespace chronvane
