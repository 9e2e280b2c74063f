#include "monitor/monitor_options.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/stream_decoder.h"

namespace chronvane::monitor {
namespace {

TEST(MonitorOptions, AcceptedCommandLines) {
    struct Case {
        std::vector<std::string> args;
        std::string device;
        std::optional<long long> count;
        bool json;
    };
    const Case cases[] = {
        {{"/dev/ttyUSB0"}, "/dev/ttyUSB0", std::nullopt, false},
        {{"--count", "10", "/dev/pts/3"}, "/dev/pts/3", 10, false},
        {{"/dev/pts/3", "--count=2", "--json"}, "/dev/pts/3", 2, true},
        {{"--", "--odd-name"}, "--odd-name", std::nullopt, false},
    };
    for (const Case& c : cases) {
        const auto parsed = parseMonitorArguments(c.args);
        ASSERT_TRUE(parsed.value) << parsed.error;
        EXPECT_EQ(parsed.value->device, c.device);
        EXPECT_EQ(parsed.value->count, c.count);
        EXPECT_EQ(parsed.value->json, c.json);
    }
}

TEST(MonitorOptions, RefusedCommandLinesSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string error;
    };
    const Case cases[] = {
        {{}, "missing DEVICE, for example /dev/ttyUSB0"},
        {{"/dev/a", "/dev/b"}, "/dev/b: only one DEVICE can be watched"},
        {{"--count", "0", "/dev/a"}, "--count 0: expected a whole number, 1 or more"},
        {{"--count=x", "/dev/a"}, "--count x: expected a whole number, 1 or more"},
        {{"/dev/a", "--count"}, "--count: missing the number of messages"},
        {{"--verbose", "/dev/a"}, "--verbose: unknown option"},
        {{"--jsno", "/dev/a"}, "--jsno: unknown option, did you mean --json?"},
        {{"-count=2", "/dev/a"}, "-count=2: unknown option, did you mean --count?"},
        {{"--advance=901", "/dev/a"}, "--advance 901: expected milliseconds from 0 to 900"},
        {{"/dev/a", "--advance"}, "--advance: missing milliseconds, for example --advance 20"},
    };
    for (const Case& c : cases) {
        const auto parsed = parseMonitorArguments(c.args);
        EXPECT_FALSE(parsed.value);
        EXPECT_EQ(parsed.error, c.error);
    }
    EXPECT_TRUE(parseMonitorArguments({"--help"}).value->help);
    EXPECT_TRUE(parseMonitorArguments({"--version"}).value->version);
}

// The help names every fault a report can carry, in the report's words.
TEST(MonitorOptions, HelpNamesEveryFault) {
    std::string usage = monitorUsageText("chronvane32-monitor");
    std::replace(usage.begin(), usage.end(), '\n', ' ');
    for (int fault = 0; fault <= static_cast<int>(Fault::wrongTime); ++fault) {
        const std::string_view text = faultText(static_cast<Fault>(fault));
        EXPECT_NE(usage.find(text), std::string::npos) << text;
    }
}

}  // namespace
}  // namespace chronvane::monitor
