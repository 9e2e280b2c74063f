#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "child_process.h"
#include "formats/format_registry.h"
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

// Polls a state another process brings about, within a deadline. What it waits for
// takes milliseconds, and a machine loaded several times over its cores stretches
// that to a fraction of a second: the 5 s only end the wait for a monitor that
// never gets there.
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

// Bytes the process has read so far, from any file (/proc/PID/io's rchar).
long long bytesRead(const ChildProcess& process) {
    std::ifstream io("/proc/" + std::to_string(process.pid()) + "/io");
    std::string field;
    long long count = -1;
    while (io >> field && field != "rchar:") {
        io >> count;
    }
    return io >> count ? count : -1;
}

// The monitor has read the written bytes: nothing is left in the line's input,
// and the monitor has read at least that many bytes since before the write. An
// empty input alone is no proof: a byte written to a pseudo-terminal reaches the
// other end a moment later.
bool waitUntilRead(PtyPair& line, const ChildProcess& monitor, long long readBefore,
                   std::size_t written) {
    return eventually([&] {
        int pending = -1;
        return bytesRead(monitor) >= readBefore + static_cast<long long>(written) &&
               ioctl(line.deviceFd(), FIONREAD, &pending) == 0 && pending == 0;
    });
}

// The monitor listens once it has said how this computer's clock stands: it says so
// after it has taken the line for itself and discarded what came before, so nothing
// written from then on is lost. (The line's exclusive flag comes before that discard,
// and a byte written to a pseudo-terminal reaches the other end a moment later, after
// a delay a loaded machine stretches: neither tells that the discard is over.)
// Returns what the monitor wrote to standard error up to then; empty when it never
// said it.
std::string waitUntilListening(ChildProcess& monitor) {
    std::string err;
    while (const auto line = monitor.errLine(5s)) {
        err += *line + "\n";
        if (line->starts_with("chronvane32-monitor: this computer's clock")) {
            return err;
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
        const std::string path = test::virtualReaderPath(sender);
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

// The C library would open a FIFO named by TZ to read the zone, and wait for a
// writer before the first report for ever.
TEST(MonitorProcess, ATimeZoneThatIsAFifoIsSaidAndNeverWaitedOn) {
    const std::filesystem::path fifo = std::filesystem::temp_directory_path() /
                                       ("chronvane-monitor-zone-" + std::to_string(getpid()));
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    PtyPair line;
    ChildProcess::Options options;
    options.environment = {"TZ=" + fifo.string(), "TZDIR="};
    ChildProcess monitor(MONITOR_PATH, {"--count", "1", line.devicePath()}, options);
    const std::string startErr = waitUntilListening(monitor);
    ASSERT_FALSE(startErr.empty());
    const ByteString bytes = buildMessage(Protocol::EseRealTimeClock, TimeReading{0, 0, 12, 1, 0, 1});
    writeAll(line, std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(monitor.outLine(5s)) << "no report: the zone held it up";
    const auto status = monitor.wait(5s);
    std::filesystem::remove(fifo);
    ASSERT_TRUE(status) << "still running";
    const std::string err = startErr + monitor.restOfErr(1s);
    EXPECT_NE(err.find("chronvane32-monitor: time zone \"" + fifo.string() + "\" does not exist"),
              std::string::npos)
        << err;
}

// A message is only as good as the time it carries when it arrives: it is judged
// against the monitor's own clock, in its own zone. The script writes each message
// at once, carrying the time now shifted by as much as the case says. The monitor
// stamps the message when it reads it, between the test's reading of the clock
// before the write and after the report: only when both lie in the same second is
// the verdict known, and a run that a loaded machine stretched across a change of
// second is made again, with a monitor of its own (its first message is judged
// alone, not against the one before it).
TEST(MonitorProcess, AMessageLateEarlyOrCarryingAnotherTimeIsAFault) {
    const struct {
        const char* name;
        long shiftSeconds;
        bool dateTime;
        std::regex report;
        int weekdayShift = 0;
    } cases[] = {
        {"on time", 0, false, std::regex("ESE  +\\+ *[0-9]{1,3} ms  sound$")},
        {"5 s stale", -5, false, std::regex("\\+5[0-9]{3} ms  .*late$")},
        {"a second ahead", 1, false, std::regex("- *[0-9]{1,3} ms  .*early$")},
        {"an hour wrong", 3600, true, std::regex("-3599[0-9]{3} ms  .*wrong time$")},
        {"the right time on the wrong day", 86400, true, std::regex("  .*wrong time$")},
        {"the right date on the wrong weekday", 0, true, std::regex("  .*wrong time$"), 1},
    };
    ChildProcess::Options options;
    options.environment = {"TZ=UTC0"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool decided = false;
        for (int run = 0; run < 20 && !decided; ++run) {
            PtyPair line;
            ChildProcess monitor(MONITOR_PATH, {line.devicePath()}, options);
            ASSERT_FALSE(waitUntilListening(monitor).empty());
            const auto written = std::chrono::system_clock::now();
            const std::time_t carried =
                std::chrono::system_clock::to_time_t(written) + c.shiftSeconds;
            std::tm utc{};
            gmtime_r(&carried, &utc);
            const TimeReading time{utc.tm_sec, utc.tm_min, utc.tm_hour,
                                 utc.tm_mday, utc.tm_mon, (utc.tm_wday + c.weekdayShift) % 7};
            const ByteString bytes =
                c.dateTime ? buildMessage(Protocol::OstrelDateTime, time) : buildMessage(Protocol::EseRealTimeClock, time);
            writeAll(line, std::string(bytes.begin(), bytes.end()));
            const auto report = monitor.outLine(5s);
            const auto reported = std::chrono::system_clock::now();
            ASSERT_TRUE(report);
            monitor.signal(SIGTERM);
            const auto status = monitor.wait(5s);
            ASSERT_TRUE(status && WIFEXITED(*status)) << test::describeStatus(status);
            if (std::chrono::floor<std::chrono::seconds>(written) !=
                std::chrono::floor<std::chrono::seconds>(reported)) {
                continue;
            }
            decided = true;
            EXPECT_TRUE(std::regex_search(*report, c.report)) << *report;
            // A fault seen is the monitor's status 1; a sound message alone is 0.
            const bool sound = report->ends_with("  sound");
            EXPECT_EQ(WEXITSTATUS(*status), sound ? 0 : 1) << *report;
        }
        EXPECT_TRUE(decided) << "no run was read within the second it was written in";
    }
}

// Whoever reads the reports may stop (a pager, a full pipe): the monitor must go on
// reading the line, and at the end say how many reports were lost.
TEST(MonitorProcess, AReaderOfItsOutputThatStopsNeitherStopsItNorGoesUnsaid) {
    PtyPair line;
    ChildProcess::Options options;
    options.fullOut = true;
    ChildProcess monitor(MONITOR_PATH, {line.devicePath()}, options);
    ASSERT_FALSE(waitUntilListening(monitor).empty());
    // Its standard output's open file description is shared (with a shell and
    // whatever else writes to the same terminal or pipe): its flags stay as found,
    // O_NONBLOCK too, which would break those others and outlive a SIGKILL.
    std::ifstream fdInfo("/proc/" + std::to_string(monitor.pid()) + "/fdinfo/1");
    std::string field;
    unsigned flags = 0;
    while (fdInfo >> field && field != "flags:") {
    }
    ASSERT_TRUE(fdInfo >> std::oct >> flags) << "no flags in the monitor's fdinfo";
    EXPECT_EQ(flags & O_NONBLOCK, 0u) << std::oct << flags;
    for (int second = 0; second < 40; ++second) {
        const ByteString bytes = buildMessage(Protocol::EseRealTimeClock, TimeReading{second % 60, 5, 14, 1, 0, 0});
        const long long readBefore = bytesRead(monitor);
        writeAll(line, std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(waitUntilRead(line, monitor, readBefore, bytes.size()))
            << "message " << second << " was never read";
    }
    monitor.signal(SIGTERM);
    const auto status = monitor.wait(5s);
    EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 1)
        << test::describeStatus(status);
    EXPECT_TRUE(std::regex_search(monitor.restOfErr(1s),
                                  std::regex(": standard output: [0-9]+ reports? dropped \\(not "
                                             "read in time\\)\n")));
}

// Noise on a line, or a sender at the wrong speed, is a fault even where no message
// follows to carry it.
TEST(MonitorProcess, BytesThatBelongToNoMessageAreAFaultAtTheEnd) {
    const std::string garbage(300, '\xA5');
    const struct {
        const char* name;
        std::string messages;
        std::regex error;
    } cases[] = {
        {"garbage only", "",
         std::regex(": read 300 bytes and found no time message in them; is the sender at "
                    "9600 baud 8N1\\?\n")},
        {"garbage after messages", "14:05:09   \r14:05:10   \r",
         std::regex(": 300 stray bytes after the last message\n")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair line;
        ChildProcess monitor(MONITOR_PATH, {line.devicePath()});
        const std::string startErr = waitUntilListening(monitor);
        ASSERT_FALSE(startErr.empty());
        if (!c.messages.empty()) {
            writeAll(line, c.messages);
            ASSERT_TRUE(monitor.outLine(5s));
            ASSERT_TRUE(monitor.outLine(5s));
        }
        const long long readBefore = bytesRead(monitor);
        writeAll(line, garbage);
        ASSERT_TRUE(waitUntilRead(line, monitor, readBefore, garbage.size()));
        monitor.signal(SIGTERM);
        const auto status = monitor.wait(5s);
        ASSERT_TRUE(status);
        EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 1);
        const std::string err = startErr + monitor.restOfErr(1s);
        // After the line on this computer's clock, which comes first.
        EXPECT_TRUE(err.starts_with("chronvane32-monitor: this computer's clock") &&
                    err.find("\nchronvane32-monitor: " + line.devicePath()) != std::string::npos &&
                    std::regex_search(err, c.error))
            << err;
    }
}

}  // namespace
}  // namespace chronvane
