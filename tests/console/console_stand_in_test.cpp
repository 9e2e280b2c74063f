#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/console_stand_in.h"
#include "start/start_sequence.h"
#include "fake_clock.h"
#include "pty_pair.h"

namespace chronvane {
namespace {

// One end of a pipe the console writes to, read back without blocking.
class Capture {
  public:
    Capture() {
        if (pipe2(m_fds, O_CLOEXEC | O_NONBLOCK) != 0) {
            ADD_FAILURE() << "pipe2: " << std::strerror(errno);
        }
    }
    ~Capture() {
        close(m_fds[0]);
        close(m_fds[1]);
    }
    int fd() const { return m_fds[1]; }
    std::string take() {
        std::string text;
        char buffer[1024];
        ssize_t got;
        while ((got = read(m_fds[0], buffer, sizeof buffer)) > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        }
        return text;
    }

  private:
    int m_fds[2] = {-1, -1};
};

class ConsoleStandInTest : public ::testing::Test {
  protected:
    Capture out;
    Capture err;
    TickSource tick;
    ConsoleStandIn console{tick, out.fd(), err.fd()};
};

// The observer hears each entry whole, kind and port beside the text it files.
TEST_F(ConsoleStandInTest, WritesOnlyTheNewestLogLineEachTimeAndHandsItsEntryOn) {
    struct Recorder final : ConsoleObserver {
        void logEntry(const LogEntry& entry) override { entries.push_back(entry); }
        std::vector<LogEntry> entries;
    } recorder;
    console.setObserver(&recorder);
    const std::vector<LogEntry> entries{
        {LogKind::Opened, "COM1", "COM1 opened successfully."},
        {LogKind::Transmitted, "COM1", "COM1: Transmitted \"x\""},
    };
    MessageLog log;
    for (const LogEntry& entry : entries) {
        log.append(entry);
        console.showLog(log);
    }
    EXPECT_EQ(out.take(), "COM1 opened successfully.\nCOM1: Transmitted \"x\"\n");
    EXPECT_EQ(err.take(), "");
    EXPECT_EQ(recorder.entries, entries);
}

TEST_F(ConsoleStandInTest, LinesTheOutputCannotTakeAreDroppedAndCountedOnceItFlowsAgain) {
    // Fill the log pipe as a reader that stopped reading would leave it.
    ASSERT_GE(fcntl(out.fd(), F_SETPIPE_SZ, 4096), 0);
    const std::string filler(4096, 'x');
    while (write(out.fd(), filler.data(), filler.size()) > 0) {
    }
    MessageLog log;
    for (const char* line : {"COM1: Transmitted \"a\"", "COM1: Transmitted \"b\""}) {
        log.append({LogKind::Transmitted, "COM1", line});
        console.showLog(log);
    }
    EXPECT_EQ(out.take(), filler);
    log.append({LogKind::Transmitted, "COM1", "COM1: Transmitted \"c\""});
    console.showLog(log);
    EXPECT_EQ(out.take(), "COM1: Transmitted \"c\"\n");
    EXPECT_EQ(err.take(), "2 log lines dropped: standard output was not being read\n");
    log.append({LogKind::Transmitted, "COM1", "COM1: Transmitted \"d\""});
    console.showLog(log);
    EXPECT_EQ(err.take(), "");
}

TEST_F(ConsoleStandInTest, OpenResultsNameTheDeviceAndSayWhatToDo) {
    struct Case {
        int port;
        const char* path;
        int error;
        const char* expected;
    };
    const Case cases[] = {
        {1, "/dev/ttyS0", 0, "COM1 is /dev/ttyS0\n"},
        {2, "/dev/ttyUSB0", EACCES,
         "COM2 is /dev/ttyUSB0\n"
         "/dev/ttyUSB0: Permission denied (is your user in the dialout group?)\n"},
        {3, "/dev/serial/by-id/x", ENOENT,
         "COM3 is /dev/serial/by-id/x\n"
         "/dev/serial/by-id/x: No such file or directory (check --device)\n"},
        {4, "/dev/ttyS3", EBUSY,
         "COM4 is /dev/ttyS3\n"
         "/dev/ttyS3: Device or resource busy (another program is using it)\n"},
        {1, "/tmp/file", ENOTTY,
         "COM1 is /tmp/file\n"
         "/tmp/file: Inappropriate ioctl for device (not a serial device; check --device)\n"},
        {1, "/dev/ttyS0", ETIMEDOUT, "COM1 is /dev/ttyS0\n/dev/ttyS0: Connection timed out\n"},
    };
    for (const Case& c : cases) {
        console.portOpenResult(c.port, c.path, SystemError{c.error});
        EXPECT_EQ(err.take(), c.expected) << c.path;
    }
    EXPECT_EQ(out.take(), "");
}

TEST_F(ConsoleStandInTest, ARepeatingFailureIsReportedOnceUntilSomethingChanges) {
    console.portOpenResult(1, "/dev/ttyUSB0", SystemError{ENOENT});
    EXPECT_NE(err.take(), "");
    console.portOpenResult(1, "/dev/ttyUSB0", SystemError{ENOENT});
    EXPECT_EQ(err.take(), "") << "the same failure a second time";
    console.portOpenResult(1, "/dev/ttyUSB0", SystemError{EACCES});
    EXPECT_NE(err.take(), "") << "a different reason";
    console.portOpenResult(2, "/dev/ttyUSB0", SystemError{EACCES});
    EXPECT_NE(err.take(), "") << "a different port";
    console.portOpenResult(2, "/dev/ttyUSB0", SystemError{0});
    EXPECT_EQ(err.take(), "COM2 is /dev/ttyUSB0\n");
    console.portOpenResult(2, "/dev/ttyUSB0", SystemError{EACCES});
    EXPECT_NE(err.take(), "") << "failing again after a success";
}

TEST_F(ConsoleStandInTest, TheProtocolFollowsTheLastCheckedRadio) {
    EXPECT_EQ(console.selectedProtocol(), Protocol::EseRealTimeClock) << "ESE is the default";
    console.checkProtocolRadio(Protocol::OstrelDateTime);
    EXPECT_EQ(console.selectedProtocol(), Protocol::OstrelDateTime);
    console.checkProtocolRadio(Protocol::EseRealTimeClock);
    EXPECT_EQ(console.selectedProtocol(), Protocol::EseRealTimeClock);
}

TEST_F(ConsoleStandInTest, TheTimerIsTheTickAndTheMessageBoxIsALineOnTheErrorStream) {
    EXPECT_FALSE(console.startTimer(tickTimerId, 0));
    EXPECT_FALSE(tick.isRunning());
    EXPECT_TRUE(console.startTimer(tickTimerId, tickPeriodMs));
    EXPECT_TRUE(tick.isRunning());
    console.requestMinimize();
    console.showMessageBox(noTimersText);
    EXPECT_EQ(err.take(), "No timers available.\n");
    EXPECT_EQ(out.take(), "");
}

TEST_F(ConsoleStandInTest, TheStartSequenceDrivesTheConsoleLikeAWindow) {
    test::PtyPair pty;
    test::FakeClock clock;
    DeviceMap devices;
    devices.setPath(2, pty.devicePath());
    ClockController controller(clock, console, devices);
    std::string commandLine = "-com3 -ostrel8 -min";
    runStartSequence(commandLine, console, controller);

    EXPECT_EQ(console.portNumber(), 3);
    EXPECT_EQ(console.selectedProtocol(), Protocol::OstrelDateTime);
    EXPECT_TRUE(tick.isRunning());
    EXPECT_EQ(out.take(), "COM3 opened successfully.\n");
    EXPECT_EQ(err.take(), "COM3 is " + pty.devicePath() + "\n");
}

}  // namespace
}  // namespace chronvane
