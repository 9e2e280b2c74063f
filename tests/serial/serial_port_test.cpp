#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "formats/format_registry.h"
#include "pty_pair.h"
#include "serial/output_queue_posix.h"
#include "serial/raw_line.h"
#include "serial/serial_port.h"

namespace chronvane {
namespace {

using test::PtyPair;
using ::testing::ElementsAreArray;

// A port whose COM1 is a fresh pseudo-terminal.
class SerialPortTest : public ::testing::Test {
  protected:
    SerialPortTest() : port(devicesFor(pty.devicePath())) {}

    static DeviceMap devicesFor(const std::string& path) {
        DeviceMap devices;
        devices.setPath(0, path);
        return devices;
    }

    termios deviceSettings() {
        termios settings{};
        EXPECT_EQ(tcgetattr(pty.deviceFd(), &settings), 0);
        return settings;
    }

    PtyPair pty;
    SerialPort port;
};

TEST_F(SerialPortTest, SendsEveryByteOfAMessageInOrder) {
    ASSERT_TRUE(port.open(0, timeLine));
    EXPECT_EQ(port.portIndex(), 0);
    const ByteString message = buildMessage(Protocol::OstrelDateTime, TimeReading{0, 0, 0, 1, 0, 0});
    EXPECT_TRUE(port.write(message));
    EXPECT_THAT(pty.read(48), ElementsAreArray(message));
}

// A Linux tty turns 0x0A into 0x0D 0x0A and may turn 0x0D into 0x0A; hour 10 and
// day 13 carry exactly those values, and the ESE message ends in 0x0D.
TEST_F(SerialPortTest, BytesLeaveVerbatimEvenWhenTheDeviceTranslatedOutput) {
    termios settings = deviceSettings();
    settings.c_oflag |= OPOST | ONLCR | OCRNL;
    ASSERT_EQ(tcsetattr(pty.deviceFd(), TCSANOW, &settings), 0);

    ASSERT_TRUE(port.open(0, timeLine));
    const ByteString dateTime = buildMessage(Protocol::OstrelDateTime, TimeReading{13, 10, 10, 13, 9, 3});
    const ByteString ese = buildMessage(Protocol::EseRealTimeClock, TimeReading{13, 10, 10, 13, 9, 3});
    EXPECT_TRUE(port.write(dateTime));
    EXPECT_TRUE(port.write(ese));
    ByteString both = dateTime;
    both.insert(both.end(), ese.begin(), ese.end());
    EXPECT_THAT(pty.read(60), ElementsAreArray(both));
}

// A line shared with other uses (a console, a modem) is left as it was found.
TEST_F(SerialPortTest, SetsTheLineKeepsEveryOtherSettingAndPutsItAllBackAtClose) {
    termios preset = deviceSettings();
    cfsetispeed(&preset, B1200);
    cfsetospeed(&preset, B1200);
    preset.c_cflag = (preset.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB | HUPCL;
    preset.c_iflag |= ICRNL | IGNBRK | IXON;
    preset.c_oflag |= OPOST | ONLCR;
    preset.c_cc[VSTART] = 0x11;
    preset.c_cc[VSTOP] = 0x13;
    preset.c_cc[VINTR] = 0x07;
    preset.c_cc[VMIN] = 5;
    preset.c_cc[VTIME] = 7;
    preset.c_lflag |= ECHO | ECHONL | ICANON | ISIG | IEXTEN | TOSTOP;
    ASSERT_EQ(tcsetattr(pty.deviceFd(), TCSANOW, &preset), 0);
    // What the pseudo-terminal kept of it.
    const termios found = deviceSettings();

    ASSERT_TRUE(port.open(0, timeLine));
    const termios after = deviceSettings();
    EXPECT_EQ(cfgetospeed(&after), B9600);
    EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(after.c_oflag & OPOST, 0u);
    EXPECT_EQ(after.c_cflag & (PARODD | HUPCL), static_cast<tcflag_t>(PARODD | HUPCL));
    EXPECT_EQ(after.c_iflag & (ICRNL | IGNBRK), static_cast<tcflag_t>(ICRNL | IGNBRK));
    EXPECT_EQ(after.c_cc[VSTART], 0x11);
    EXPECT_EQ(after.c_cc[VSTOP], 0x13);
    EXPECT_EQ(after.c_cc[VINTR], 0x07);
    EXPECT_EQ(after.c_cc[VMIN], 5);
    EXPECT_EQ(after.c_cc[VTIME], 7);
    // Echo and signal characters go; line editing and the other local flags stay.
    EXPECT_EQ(after.c_lflag, found.c_lflag & ~static_cast<tcflag_t>(ECHO | ECHONL | ISIG));

    port.close();
    const termios closed = deviceSettings();
    EXPECT_EQ(closed.c_iflag, found.c_iflag);
    EXPECT_EQ(closed.c_oflag, found.c_oflag);
    EXPECT_EQ(closed.c_cflag, found.c_cflag);
    EXPECT_EQ(closed.c_lflag, found.c_lflag);
    EXPECT_EQ(cfgetospeed(&closed), cfgetospeed(&found));
    EXPECT_EQ(std::memcmp(closed.c_cc, found.c_cc, sizeof closed.c_cc), 0);
}

// Every part of the line is set, not only what the clock uses. A pseudo-terminal
// keeps the speed and the stop bits but forces 8 bits without parity (and the port
// then refuses it as not taken), so the framing is checked in the settings the port
// would write, and the device is opened with the lines it can keep.
TEST_F(SerialPortTest, OpensWithTheLineItIsGiven) {
    struct Case {
        LineSettings line;
        speed_t speed;
        tcflag_t framing;
    };
    const Case cases[] = {
        {{19200, 7, Parity::Even, StopBits::Two, FlowControl::None}, B19200, CS7 | PARENB | CSTOPB},
        {{1200, 5, Parity::Odd, StopBits::One, FlowControl::None}, B1200, CS5 | PARENB | PARODD},
        {{115200, 8, Parity::None, StopBits::Two, FlowControl::None}, B115200, CS8 | CSTOPB},
        {timeLine, B9600, CS8},
    };
    const tcflag_t framingBits = CSIZE | PARENB | PARODD | CSTOPB;
    for (const Case& c : cases) {
        SCOPED_TRACE(framingText(c.line));
        termios wanted{};
        ASSERT_TRUE(setLineFraming(wanted, c.line));
        EXPECT_EQ(wanted.c_cflag & framingBits, c.framing);
        EXPECT_EQ(cfgetospeed(&wanted), c.speed);
        if (c.line.dataBits != 8 || c.line.parity != Parity::None) {
            EXPECT_FALSE(port.open(0, c.line)) << "a pseudo-terminal cannot keep it";
            continue;
        }
        ASSERT_TRUE(port.open(0, c.line)) << std::strerror(port.lastError().code);
        const termios after = deviceSettings();
        EXPECT_EQ(cfgetospeed(&after), c.speed);
        // Without parity, PARODD is left as the device had it.
        EXPECT_EQ(after.c_cflag & (CSIZE | PARENB | CSTOPB), c.framing);
        port.close();
    }
    EXPECT_FALSE(port.open(0, LineSettings{12345}));
    EXPECT_EQ(port.lastError().code, EINVAL);
}

// Linux gives every tty XON/XOFF output flow control; a serial port shows none
// unless told. The choice sets output flow control only: whether we send XOFF
// ourselves and whether any byte restarts output stay as the device had them,
// except with none, which means no handshake at all.
TEST_F(SerialPortTest, FlowControlIsWhatItWasToldAndNoMore) {
    struct Case {
        const char* name;
        FlowControl flow;
        tcflag_t presetIflag;
        tcflag_t presetCrtscts;
        tcflag_t wantedIflag;
        tcflag_t wantedCrtscts;
    };
    const tcflag_t soft = IXON | IXOFF | IXANY;
    const Case cases[] = {
        {"none clears everything", FlowControl::None, soft, CRTSCTS, 0, 0},
        {"xonxoff from nothing", FlowControl::XonXoff, 0, CRTSCTS, IXON, 0},
        {"xonxoff keeps input", FlowControl::XonXoff, IXOFF | IXANY, 0, soft, 0},
        {"rtscts", FlowControl::RtsCts, soft, 0, IXOFF | IXANY, CRTSCTS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        termios preset = deviceSettings();
        preset.c_iflag = (preset.c_iflag & ~soft) | c.presetIflag;
        preset.c_cflag = (preset.c_cflag & ~static_cast<tcflag_t>(CRTSCTS)) | c.presetCrtscts;
        ASSERT_EQ(tcsetattr(pty.deviceFd(), TCSANOW, &preset), 0);
        LineSettings line = timeLine;
        line.flow = c.flow;
        ASSERT_TRUE(port.open(0, line));
        const termios after = deviceSettings();
        EXPECT_EQ(after.c_iflag & soft, c.wantedIflag);
        EXPECT_EQ(after.c_cflag & CRTSCTS, c.wantedCrtscts);
        port.close();
    }
}

// A receiver that talks back, or noise on the receive line: none of it may go back
// out between our bytes, and an interrupt character must not cut a message short.
TEST_F(SerialPortTest, WhatTheLineReceivesNeverGoesBackOut) {
    termios settings = deviceSettings();
    settings.c_lflag |= ECHO | ECHONL | ICANON | ISIG | IEXTEN;
    ASSERT_EQ(tcsetattr(pty.deviceFd(), TCSANOW, &settings), 0);
    pty.closeDevice();

    ASSERT_TRUE(port.open(0, timeLine));
    const ByteString message = buildMessage(Protocol::EseRealTimeClock, TimeReading{12, 34, 56, 1, 0, 0});
    ASSERT_TRUE(port.write(ByteString(message.begin(), message.begin() + 5)));
    const char incoming[] = "ZZ\x03\x1a\x1c\r\nZZ";
    ASSERT_EQ(::write(pty.controllerFd(), incoming, sizeof incoming - 1),
              static_cast<ssize_t>(sizeof incoming - 1));
    ASSERT_TRUE(port.write(ByteString(message.begin() + 5, message.end())));
    EXPECT_THAT(pty.read(64), ElementsAreArray(message));
}

// Exclusive use stays with the device, not with our descriptor, while anyone else
// has it open; a closed port must give it up, or our own next open is refused.
TEST_F(SerialPortTest, ClosingGivesUpExclusiveUseWhileOthersHoldTheDevice) {
    ASSERT_TRUE(port.open(0, timeLine));
    int exclusive = 0;
    ASSERT_EQ(ioctl(pty.deviceFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    port.close();
    ASSERT_EQ(ioctl(pty.deviceFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

// Root gets past a line's exclusive flag, which is another holder's claim while
// that holder has the line open. Left by a holder that is gone (killed before it
// could give it up: the flag lives on while the other end of a pseudo-terminal is
// open), it guards nothing and must not lock a new instance out, as root or not.
TEST_F(SerialPortTest, AnExclusiveClaimIsRespectedWhileItsHolderHasTheLine) {
    ASSERT_EQ(ioctl(pty.deviceFd(), TIOCEXCL), 0);
    EXPECT_FALSE(port.open(0, timeLine)) << "opened a line another holder claimed";
    EXPECT_EQ(port.lastError().code, EBUSY);

    pty.closeDevice();
    if (geteuid() != 0) {
        // Only a privileged open can find the flag, so an unprivileged one is
        // refused by the system whatever holds the line.
        EXPECT_FALSE(port.open(0, timeLine));
        FAIL() << "needs root: the claim left by a holder that is gone is not checked";
    }
    ASSERT_TRUE(port.open(0, timeLine)) << std::strerror(port.lastError().code);
    port.close();
    // And given up at close, as if it had been ours from the start.
    const int device = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(device, 0) << std::strerror(errno);
    int exclusive = 1;
    EXPECT_EQ(ioctl(device, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(device);
}

TEST_F(SerialPortTest, ASecondOpenFailsWhileTheFirstHoldsTheDevice) {
    ASSERT_TRUE(port.open(0, timeLine));
    SerialPort second(devicesFor(pty.devicePath()));
    EXPECT_FALSE(second.open(0, timeLine));
    EXPECT_EQ(second.lastError().code, EBUSY);
    second.close();
    port.close();
    EXPECT_TRUE(second.open(0, timeLine));
}

TEST_F(SerialPortTest, IndexOutOfRangeChangesNothing) {
    for (const int index : {4, 5, -1, -100}) {
        EXPECT_FALSE(port.open(index, timeLine)) << index;
        EXPECT_EQ(port.portIndex(), -1) << index;
        EXPECT_FALSE(port.isOpen());
    }
}

TEST_F(SerialPortTest, WriteOnAClosedPortSendsNothing) {
    EXPECT_FALSE(port.write(buildMessage(Protocol::EseRealTimeClock, {})));
    ASSERT_TRUE(port.open(0, timeLine));
    port.close();
    EXPECT_FALSE(port.write(buildMessage(Protocol::EseRealTimeClock, {})));
    EXPECT_TRUE(pty.drain().empty());
}

TEST_F(SerialPortTest, EmptyWriteReportsThePreviousOutcome) {
    ASSERT_TRUE(port.open(0, timeLine));
    EXPECT_TRUE(port.write({}));
    EXPECT_TRUE(pty.drain().empty());
}

TEST_F(SerialPortTest, CloseTwiceIsHarmless) {
    ASSERT_TRUE(port.open(0, timeLine));
    port.close();
    EXPECT_TRUE(port.lastResult());
    port.close();
    EXPECT_EQ(port.portIndex(), -1);
    EXPECT_TRUE(port.lastResult());
}

TEST(SerialPortOpen, FailuresKeepTheSystemsReason) {
    struct Case {
        const char* path;
        int error;
    };
    const Case cases[] = {{"/nonexistent/chronvane-device", ENOENT}, {"/dev/null", ENOTTY}};
    for (const Case& c : cases) {
        DeviceMap devices;
        devices.setPath(2, c.path);
        SerialPort port(devices);
        EXPECT_FALSE(port.open(2, timeLine)) << c.path;
        EXPECT_EQ(port.lastError().code, c.error) << c.path;
        EXPECT_EQ(port.portIndex(), 2) << "a failed open still records the index";
        EXPECT_FALSE(port.isOpen());
        EXPECT_FALSE(port.write(buildMessage(Protocol::EseRealTimeClock, {})));
        port.close();
        EXPECT_EQ(port.portIndex(), -1);
    }
}

// Runs body in a child process and returns its exit status.
template <typename Body>
int inChild(Body body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

// An operator outside the dialout group must learn "Permission denied".
TEST_F(SerialPortTest, PermissionDeniedIsReportedAsSuch) {
    const int result = inChild([&] {
        if (geteuid() == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0) {
                return 10;
            }
        } else if (chmod(pty.devicePath().c_str(), 0) != 0) {
            return 11;
        }
        SerialPort other(devicesFor(pty.devicePath()));
        if (other.open(0, timeLine)) {
            return 1;
        }
        return other.lastError().code == EACCES ? 0 : 2;
    });
    EXPECT_EQ(result, 0);
}

// The device must never become the program's controlling terminal, or a hang-up
// on the line would send us SIGHUP.
TEST_F(SerialPortTest, NeverBecomesTheControllingTerminal) {
    const int result = inChild([&] {
        if (setsid() < 0) {
            return 10;
        }
        SerialPort child(devicesFor(pty.devicePath()));
        if (!child.open(0, timeLine)) {
            return 11;
        }
        const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY);
        return tty < 0 ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

// A crash or abort() ends the program without its stop path; the line's exclusive
// flag lives on while anyone else has the line open (here the test), and would
// lock every later open out.
TEST_F(SerialPortTest, AFaultThatEndsTheProcessGivesUpExclusiveUse) {
    struct Case {
        const char* name;
        void (*fault)();
    };
    const Case cases[] = {
        {"a crash", [] { std::raise(SIGSEGV); }},
        {"abort()", [] { std::abort(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int result = inChild([&] {
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            SerialPort held(devicesFor(pty.devicePath()));
            if (!held.open(0, timeLine)) {
                return 20;
            }
            c.fault();
            return 21;
        });
        EXPECT_NE(result, 20) << "the child could not open the line";
        EXPECT_NE(result, 21) << "the fault did not end the child";
        int exclusive = 1;
        ASSERT_EQ(ioctl(pty.deviceFd(), TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 0);
        ASSERT_EQ(ioctl(pty.deviceFd(), TIOCNXCL), 0);
    }
}

// After the line went away, a /dev/pts/N name leads to whatever holds that number
// now, and a link to it too. Only a pseudo-terminal made to stand in for ours (its
// master end held, nobody on its device end) is taken back; a terminal someone uses
// is not. By its own name the number comes back to the same pseudo-terminal here,
// as nothing makes the system hand it out again on demand.
TEST(SerialPortReopen, OnlyAFreePseudoTerminalOfOurOwnerIsTakenBack) {
    namespace fs = std::filesystem;
    struct Case {
        const char* name;
        bool throughLink;
        bool anotherUsers;
        bool deviceEndHeld;
        bool taken;
    };
    const Case cases[] = {
        {"link: another user's terminal", true, true, false, false},
        {"link: a terminal of our user that a program has open", true, false, true, false},
        {"link: a pseudo-terminal standing in for the line", true, false, false, true},
        {"own name: a terminal of our user that a program has open", false, false, true, false},
        {"own name: a pseudo-terminal standing in for the line", false, false, false, true},
    };
    const fs::path link =
        fs::temp_directory_path() / ("chronvane-reopen-" + std::to_string(getpid()));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto first = std::make_unique<PtyPair>();
        fs::remove(link);
        fs::create_symlink(first->devicePath(), link);
        DeviceMap devices;
        devices.setPath(0, c.throughLink ? link.string() : first->devicePath());
        SerialPort port(devices);
        ASSERT_TRUE(port.open(0, timeLine));
        std::unique_ptr<PtyPair> second;
        if (c.throughLink) {
            first.reset();
            second = std::make_unique<PtyPair>();
            fs::remove(link);
            fs::create_symlink(second->devicePath(), link);
        } else {
            second = std::move(first);
        }
        if (c.anotherUsers) {
            ASSERT_EQ(chown(second->devicePath().c_str(), 65534, 65534), 0)
                << "needs root to give the terminal to another user: " << std::strerror(errno);
        }
        if (!c.deviceEndHeld) {
            second->closeDevice();
        }
        EXPECT_EQ(port.reopen(0, timeLine), c.taken);
        if (!c.taken) {
            EXPECT_EQ(port.lastFailure().refusal, PortRefusal::NameTaken);
            EXPECT_FALSE(port.write(buildMessage(Protocol::EseRealTimeClock, {})));
            EXPECT_TRUE(second->drain().empty());
        }
    }
    fs::remove(link);
}

TEST_F(SerialPortTest, ALineThatWentAwayFailsTheWriteWithoutHanging) {
    ASSERT_TRUE(port.open(0, timeLine));
    pty.closeController();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.write(buildMessage(Protocol::OstrelDateTime, {})));
    EXPECT_EQ(port.lastError().code, EIO);
    EXPECT_EQ(port.lastWriteFailure(), WriteFailure::DeviceGone);
    // Ten times the write budget: a write that hangs never returns, while a loaded
    // machine delays one that returns at once by far less.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

// Nobody reads the other end, as with flow control held off: the kernel buffer
// fills, and from then on each message gives up within its budget.
TEST_F(SerialPortTest, ADeviceThatStopsTakingBytesNeverHoldsTheCallerLong) {
    ASSERT_TRUE(port.open(0, timeLine));
    const ByteString message = buildMessage(Protocol::OstrelDateTime, {});
    bool failed = false;
    for (int i = 0; i < 2000 && !failed; ++i) {
        const auto start = std::chrono::steady_clock::now();
        failed = !port.write(message);
        // Ten times the budget (as above): room for a loaded machine, not for a
        // write that waits for the reader.
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    }
    EXPECT_TRUE(failed);
    EXPECT_EQ(port.lastError().code, ETIMEDOUT);
    EXPECT_EQ(port.lastWriteFailure(), WriteFailure::HeldUp);
    // Once the reader catches up, bytes flow again.
    pty.drain();
    pty.drain();
    EXPECT_TRUE(port.write(message));
}

// A real line held by flow control keeps taking bytes into the driver's queue, to
// let them out, stale, when released; a pseudo-terminal never queues, so the
// driver's queue is played here by a stand-in.
TEST_F(SerialPortTest, OutputStillQueuedFromAnEarlierMessageIsDiscarded) {
    static int queued = 0;
    static int discards = 0;
    // Every port goes back to the tty's own calls, whatever the outcome.
    struct Restore {
        OutputQueueCalls saved = outputQueueCalls();
        ~Restore() { outputQueueCalls() = saved; }
    } restore;
    OutputQueueCalls& calls = outputQueueCalls();
    calls.queuedBytes = [](int) { return queued; };
    calls.discard = [](int) {
        ++discards;
        queued = 0;
        return 0;
    };
    ASSERT_TRUE(port.open(0, timeLine));
    const ByteString message = buildMessage(Protocol::EseRealTimeClock, TimeReading{12, 34, 56, 1, 0, 0});

    queued = 7;
    EXPECT_FALSE(port.write(message));
    EXPECT_EQ(discards, 1);
    EXPECT_EQ(port.lastWriteFailure(), WriteFailure::HeldUp);
    // This second's message still goes out, in case the line is let go in time.
    EXPECT_THAT(pty.read(12), ElementsAreArray(message));

    // Nothing queued: the line let the last message out.
    EXPECT_TRUE(port.write(message));
    EXPECT_EQ(discards, 1);
    EXPECT_EQ(port.lastWriteFailure(), WriteFailure::None);
}

}  // namespace
}  // namespace chronvane
