#include "process/time_zone_check.h"

#include <string>

#include <gtest/gtest.h>

namespace chronvane {
namespace {

// The C runtime takes only its own rule whole; a zone name (what works on Linux)
// or a POSIX rule with dates comes out as some other zone, mostly UTC.
TEST(RuntimeTimeZoneCheck, OnlyWhatTheRuntimeReadsWholePassesUnremarked) {
    const struct {
        const char* tz;
        bool read;
    } cases[] = {
        {nullptr, true},
        {"", true},
        {"UTC", true},
        {"GMT", true},
        {"EST5EDT", true},
        {"IST-5:30", true},
        {"CVT+03:07", true},
        {"XYZ-1:02:03ABC", true},
        {"Asia/Kolkata", false},
        {":Europe/London", false},
        {"CET-1CEST,M3.5.0,M10.5.0/3", false},
        {"IST", false},
        {"AB5", false},
        {"EST5EDT4", false},
        {"<+03>-3", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz == nullptr ? "(unset)" : c.tz);
        const std::string problem = runtimeTimeZoneProblem(c.tz, "UTC+01:00");
        EXPECT_EQ(problem.empty(), c.read) << problem;
        if (!c.read) {
            EXPECT_EQ(problem.rfind("time zone \"" + std::string(c.tz) + "\"", 0), 0u) << problem;
            EXPECT_NE(problem.find("so UTC+01:00 is in effect"), std::string::npos) << problem;
        }
    }
}

}  // namespace
}  // namespace chronvane
