#include <sys/wait.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "child_process.h"

namespace chronvane {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;

// The reader path the sender announces on standard error.
std::string readerPath(ChildProcess& sender) {
    const std::regex announced("COM1 is virtual: readers open (/dev/pts/[0-9]+)");
    while (auto line = sender.errLine(5s)) {
        std::smatch match;
        if (std::regex_match(*line, match, announced)) {
            return match[1];
        }
    }
    return {};
}

TEST(MonitorProcess, ReadsEveryMessageSoundFromTheSenderOnAVirtualPort) {
    struct Case {
        const char* name;
        std::vector<std::string> senderArgs;
        const char* protocol;
    };
    const Case cases[] = {
        {"ese", {"--console", "--device", "COM1=virtual"}, "ESE"},
        {"8-bit", {"--console", "--device", "COM1=virtual", "-ostrel8"}, "8-bit Date/Time"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ChildProcess sender(CHRONVANE32_PATH, c.senderArgs);
        const std::string path = readerPath(sender);
        ASSERT_FALSE(path.empty());

        ChildProcess monitor(MONITOR_PATH, {"--count", "4", path});
        std::vector<std::string> lines;
        while (auto line = monitor.outLine(5s)) {
            lines.push_back(*line);
        }
        const auto status = monitor.wait(5s);
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
            << monitor.restOfErr(100ms) << testing::PrintToString(lines);
        ASSERT_EQ(lines.size(), 4u);
        for (const std::string& line : lines) {
            EXPECT_NE(line.find(std::string("  ") + c.protocol + " "), std::string::npos) << line;
            EXPECT_TRUE(line.ends_with("  sound")) << line;
        }
    }
}

TEST(MonitorProcess, ADeviceThatCannotBeOpenedIsOneLineAndStatusTwo) {
    ChildProcess monitor(MONITOR_PATH, {"/dev/null"});
    const auto status = monitor.wait(5s);
    ASSERT_TRUE(status);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 2);
    EXPECT_EQ(monitor.restOfErr(1s),
              "chronvane32-monitor: /dev/null: Inappropriate ioctl for device\n");
}

TEST(MonitorProcess, AnInterruptEndsItWithTheStatusOfWhatItSawAndFreesTheLine) {
    ChildProcess sender(CHRONVANE32_PATH, {"--console", "--device", "COM1=virtual"});
    const std::string path = readerPath(sender);
    ASSERT_FALSE(path.empty());
    ChildProcess monitor(MONITOR_PATH, {"--json", path});
    ASSERT_TRUE(monitor.outLine(5s));
    // The sender still holds the line open, so exclusive use would outlive the
    // monitor unless it gave it up; the next monitor (of a user, not root) would be
    // refused.
    EXPECT_EQ(test::stopWithSigterm(monitor, 5s, path), "");
}

}  // namespace
}  // namespace chronvane
