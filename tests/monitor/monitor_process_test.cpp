#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <regex>
#include <string>
#include <thread>

#include "child_process.h"
#include "pty_pair.h"

namespace chronvane {
namespace {

using namespace std::chrono_literals;
using test::ChildProcess;
using test::PtyPair;

// Bytes for the monitor, as a sender would put them on the line.
void writeAll(PtyPair& line, const std::string& bytes) {
    ASSERT_EQ(::write(line.controllerFd(), bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
}

// Polls a state another process brings about, within a deadline.
template <typename Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// The monitor has read everything written: nothing is left in the line's input.
bool waitUntilRead(PtyPair& line) {
    return eventually([&] {
        int pending = -1;
        return ioctl(line.deviceFd(), FIONREAD, &pending) == 0 && pending == 0;
    });
}

// The monitor listens: it has the line to itself, and a byte written has gone,
// either read or discarded with what came before it opened. Either way nothing
// written from now on is discarded.
bool waitUntilListening(PtyPair& line) {
    const bool exclusive = eventually([&] {
        int flag = 0;
        return ioctl(line.deviceFd(), TIOCGEXCL, &flag) == 0 && flag != 0;
    });
    const char probe = '\x7F';
    return exclusive && ::write(line.controllerFd(), &probe, 1) == 1 && waitUntilRead(line);
}

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

// SIGHUP (the terminal it ran in was closed) ends it as an interrupt does.
TEST(MonitorProcess, AStopSignalEndsItWithTheStatusOfWhatItSawAndFreesTheLine) {
    for (const int stop : {SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(stop));
        ChildProcess sender(CHRONVANE32_PATH, {"--console", "--device", "COM1=virtual"});
        const std::string path = readerPath(sender);
        ASSERT_FALSE(path.empty());
        ChildProcess monitor(MONITOR_PATH, {"--json", path});
        ASSERT_TRUE(monitor.outLine(5s));
        // The sender still holds the line open, so exclusive use would outlive the
        // monitor unless it gave it up; the next monitor (of a user, not root) would be
        // refused.
        EXPECT_EQ(test::stopWith(monitor, stop, 5s, path), "");
    }
}

// Noise on a line, or a sender at the wrong speed, is a fault even where no message
// follows to carry it.
TEST(MonitorProcess, BytesThatBelongToNoMessageAreAFaultAtTheEnd) {
    const std::string garbage(300, '\xA5');
    const struct {
        const char* name;
        std::string messages;
        // The probe byte may be read or not.
        std::regex error;
    } cases[] = {
        {"garbage only", "",
         std::regex(": read 30[01] bytes and found no time message in them; is the sender at "
                    "9600 baud 8N1\\?\n")},
        {"garbage after messages", "14:05:09   \r14:05:10   \r",
         std::regex(": 300 stray bytes after the last message\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair line;
        ChildProcess monitor(MONITOR_PATH, {line.devicePath()});
        ASSERT_TRUE(waitUntilListening(line));
        if (!c.messages.empty()) {
            writeAll(line, c.messages);
            ASSERT_TRUE(monitor.outLine(5s));
            ASSERT_TRUE(monitor.outLine(5s));
        }
        writeAll(line, garbage);
        ASSERT_TRUE(waitUntilRead(line));
        monitor.signal(SIGTERM);
        const auto status = monitor.wait(5s);
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
        const std::string err = monitor.restOfErr(1s);
        // After the line on this computer's clock, which comes first.
        EXPECT_TRUE(err.starts_with("chronvane32-monitor: this computer's clock") &&
                    err.find("\nchronvane32-monitor: " + line.devicePath()) != std::string::npos &&
                    std::regex_search(err, c.error))
            << err;
    }
}

}  // namespace
}  // namespace chronvane
