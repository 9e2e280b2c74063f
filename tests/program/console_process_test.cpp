#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <termios.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/timex.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "formats/format_registry.h"
#include "monitor/message_report.h"
#include "monitor/stream_decoder.h"
#include "pty_pair.h"
#include "serial/serial_port.h"

#ifndef CHRONVANE_HAVE_WINDOW
#define CHRONVANE_HAVE_WINDOW 0
#endif

// The console program runs as a real process against pseudo-terminals: what the
// operator and the show controller would see, including start-up and shutdown.
namespace chronvane {
namespace {

using monitor::DecodedMessage;
using std::chrono::milliseconds;
using test::ChildProcess;
using test::describeStatus;
using test::PtyPair;
using test::stopWithSigterm;

const std::string program = CHRONVANE32_PATH;
// One second between messages plus room for a busy machine.
constexpr milliseconds messageWait{1600};
constexpr milliseconds startWait{3000};
constexpr milliseconds endWait{3000};

// The next whole message in the protocol, read the way a receiver would; nullopt
// when none came in time or it was not sound.
std::optional<DecodedMessage> receive(PtyPair& pty, bool ese) {
    const auto bytes = pty.read(formatOf(ese ? Protocol::EseRealTimeClock : Protocol::OstrelDateTime).length({}),
                                 messageWait);
    monitor::StreamDecoder decoder;
    auto messages = decoder.feed(bytes, {});
    const Protocol wanted = ese ? Protocol::EseRealTimeClock : Protocol::OstrelDateTime;
    if (messages.size() != 1 || !messages[0].sound() || messages[0].protocol != wanted) {
        return std::nullopt;
    }
    return messages[0];
}

// "HH:MM:SS" as the message carries it.
std::string clockText(const DecodedMessage& message) {
    return monitor::reportLine(message).substr(0, 8);
}

int secondsApart(const DecodedMessage& earlier, const DecodedMessage& later) {
    return (*later.second - *earlier.second + 60) % 60;
}

// The log line the console should print for a message carrying time.
bool logLineMatches(const std::string& line, bool ese, const DecodedMessage& message) {
    if (ese) {
        return line == "COM1: Transmitted ESE Clock message \"" + clockText(message) + "\"";
    }
    // "COM1: Transmitted "Weekday Month DD  HH:MM:SS"".
    return line.starts_with("COM1: Transmitted \"") &&
           line.ends_with("  " + clockText(message) + "\"");
}

// What this machine's kernel says of its clock right now, as the start of the log
// line the program must print for it: whatever state the machine is in, the
// program must agree with the kernel.
std::string kernelClockLineStart() {
    timex tx{};
    if (adjtimex(&tx) < 0) {
        return "Clock state unknown (adjtimex: ";
    }
    return tx.maxerror < 16'000'000 ? "Clock synchronised (estimated error "
                                    : "Clock not synchronised: the time sent may be wrong.";
}

// The line on the clock's state that the first tick logs, before any message.
bool clockLineFollows(ChildProcess& child) {
    const auto line = child.outLine(startWait);
    return line && line->starts_with("Clock ");
}

bool exitedWith(std::optional<int> status, int code) {
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == code;
}

class ConsoleSends : public ::testing::TestWithParam<bool> {};

TEST_P(ConsoleSends, OneMessagePerSecondUntilSigtermThenReleasesThePort) {
    const bool ese = GetParam();
    PtyPair pty;
    std::vector<std::string> args{"--console", "--device", "COM1=" + pty.devicePath()};
    if (!ese) {
        args.push_back("-ostrel8");
    }
    ChildProcess child(program, args);

    EXPECT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    // The clock's state at the first tick, before the first message.
    const auto clockLine = child.outLine(startWait);
    ASSERT_TRUE(clockLine);
    EXPECT_TRUE(clockLine->starts_with(kernelClockLineStart())) << *clockLine;
    std::optional<DecodedMessage> previous;
    for (int i = 0; i < 3; ++i) {
        const auto message = receive(pty, ese);
        ASSERT_TRUE(message) << "message " << i << " missing or malformed";
        const auto line = child.outLine(messageWait);
        ASSERT_TRUE(line) << "no log line for message " << i;
        EXPECT_TRUE(logLineMatches(*line, ese, *message)) << *line << " vs " << clockText(*message);
        if (previous) {
            EXPECT_EQ(secondsApart(*previous, *message), 1)
                << clockText(*previous) << " then " << clockText(*message);
        }
        previous = message;
    }

    // Held exclusively while it runs, free again the moment it has ended.
    DeviceMap devices;
    devices.setPath(0, pty.devicePath());
    SerialPort other(devices);
    EXPECT_FALSE(other.open(0, timeLine));
    EXPECT_EQ(other.lastError().code, EBUSY);

    EXPECT_EQ(stopWithSigterm(child, endWait, pty.devicePath()), "");
    EXPECT_EQ(child.restOfErr(endWait), "COM1 is " + pty.devicePath() + "\n");
}

INSTANTIATE_TEST_SUITE_P(BothProtocols, ConsoleSends, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& param) {
                             return param.param ? "Ese" : "DateTime";
                         });

TEST(Console, SigintEndsItCleanlyToo) {
    PtyPair pty;
    ChildProcess child(program, {"--console", "--device", "COM1=" + pty.devicePath()});
    ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    child.signal(SIGINT);
    const auto status = child.wait(endWait);
    EXPECT_TRUE(exitedWith(status, 0)) << describeStatus(status);
}

TEST(Console, KeepsSendingWhenNobodyReadsItsLog) {
    PtyPair pty;
    ChildProcess child(program, {"--console", "--device", "COM1=" + pty.devicePath()});
    ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    child.closeOut();
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(receive(pty, true)) << "message " << i;
    }
    EXPECT_EQ(stopWithSigterm(child, endWait), "");
}

// A pager left waiting, or a journal that stopped reading: the log cannot be
// written, and the clock must not wait for it.
TEST(Console, KeepsSendingAndStopsWhenItsLogIsNotBeingRead) {
    PtyPair pty;
    ChildProcess::Options options;
    options.fullOut = true;
    ChildProcess child(program, {"--console", "--device", "COM1=" + pty.devicePath()}, options);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(receive(pty, true)) << "message " << i;
    }
    EXPECT_EQ(stopWithSigterm(child, endWait), "");
}

// For equipment that takes the time when the message ends: each message's first
// write is entered the advance before the second it carries, and the format's lead
// before that, so that its on-time byte starts at the second. Every format.
TEST(Console, AnAdvanceAndTheLeadSendEachSecondThatMuchBeforeIt) {
    constexpr std::int64_t advanceNanos = 20'000'000;
    for (const Protocol protocol : allProtocols) {
        const TimeFormat& format = formatOf(protocol);
        SCOPED_TRACE(std::string(format.names.word));
        // A pseudo-terminal takes 8 data bits and no parity only (IRIG J's 7O1 it
        // refuses), so such a format goes out at 9600 8N1 here.
        const bool ptyTakesLine = format.line.dataBits == 8 && format.line.parity == Parity::None;
        const LineSettings line = ptyTakesLine ? format.line : timeLine;
        // A template of one's own, on time at its seconds.
        const std::string word = protocol == Protocol::Custom ? "custom:%j %H:%M:%^%S\\r"
                                                               : std::string(format.names.word);
        const FormatChoice choice = *parseFormatName(word).value;
        const std::int64_t leadNanos =
            std::chrono::nanoseconds(leadTime(format, line, choice.settings)).count();
        PtyPair pty;
        const std::string stampFile = std::filesystem::temp_directory_path() /
                                      ("chronvane-advance-" + std::to_string(getpid()) + ".stamps");
        ChildProcess::Options options;
        const char* asan = std::getenv("ASAN_OPTIONS");
        // A preloaded library comes before the sanitizer's runtime; it only wraps write.
        options.environment = {"LD_PRELOAD=" WRITE_STAMP_PATH,
                               "CHRONVANE_STAMP_DEVICE=" + pty.devicePath(),
                               "CHRONVANE_STAMP_FILE=" + stampFile,
                               std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                                   ":verify_asan_link_order=0"};
        std::vector<std::string> args{"--console", "--device", "COM1=" + pty.devicePath(),
                                      "--advance", "20", "--format", word};
        if (!ptyTakesLine) {
            args.insert(args.end(), {"--line", "9600,8N1"});
        }
        ChildProcess child(program, args, options);
        ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
        // As the bytes come: a format whose length follows the zone (ZDA) ends where
        // its bytes say, not at its longest.
        std::vector<int> carried;
        monitor::StreamDecoder decoder(std::chrono::milliseconds(250), {}, choice);
        for (std::size_t n = 0; carried.size() < 2 && n < 4 * format.length(choice.settings);
             ++n) {
            const ByteString bytes = pty.read(1, messageWait);
            ASSERT_FALSE(bytes.empty()) << "after " << carried.size() << " messages";
            for (const auto& message : decoder.feed(bytes, {})) {
                ASSERT_TRUE(message.sound() && message.protocol == protocol && message.second)
                    << "message " << carried.size();
                carried.push_back(*message.second);
            }
        }
        ASSERT_EQ(carried.size(), 2u);
        EXPECT_EQ(stopWithSigterm(child, endWait, pty.devicePath()), "");
        std::ifstream in(stampFile);
        std::vector<std::int64_t> stamps;
        for (long long stamp = 0; in >> stamp;) {
            stamps.push_back(stamp);
        }
        std::filesystem::remove(stampFile);
        ASSERT_GE(stamps.size(), carried.size());
        for (std::size_t i = 0; i < carried.size(); ++i) {
            const std::int64_t aimedAt = stamps[i] + advanceNanos + leadNanos;
            const std::time_t second = static_cast<std::time_t>(aimedAt / 1'000'000'000);
            std::tm local{};
            localtime_r(&second, &local);
            EXPECT_EQ(local.tm_sec, carried[i]) << "message " << i;
            // Where, not how precisely (the benchmark measures that): after the
            // advanced point and well before the second itself.
            EXPECT_LT(aimedAt % 1'000'000'000, 10'000'000) << "message " << i;
        }
    }
}

// --line: the framing the port is given is the one asked for, bit by bit.
TEST(Console, TheLineOptionFramesThePort) {
    struct Case {
        const char* line;
        speed_t speed;
        tcflag_t size;
        tcflag_t parity;  // PARENB and PARODD as they must be
        bool twoStopBits;
    };
    // A pseudo-terminal holds the speed and the stop bits; Linux forces CS8 and
    // clears PARENB on it, so 7 data bits and parity cannot be seen here.
    const Case cases[] = {
        {"4800,8N2", B4800, CS8, 0, true},
        {"115200,8N1", B115200, CS8, 0, false},
        {"1200,8N1", B1200, CS8, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        PtyPair pty;
        ChildProcess child(program,
                           {"--console", "--device", "COM1=" + pty.devicePath(), "--line", c.line});
        ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
        // The controller side of a pseudo-terminal answers with the device side's settings.
        termios settings{};
        ASSERT_EQ(tcgetattr(pty.controllerFd(), &settings), 0) << std::strerror(errno);
        EXPECT_EQ(cfgetospeed(&settings), c.speed);
        EXPECT_EQ(settings.c_cflag & CSIZE, c.size);
        EXPECT_EQ(settings.c_cflag & (PARENB | PARODD), c.parity);
        EXPECT_EQ((settings.c_cflag & CSTOPB) != 0, c.twoStopBits);
        EXPECT_EQ(stopWithSigterm(child, endWait, pty.devicePath()), "");
    }
}

// The kernel's inserted leap second, as the program sees it through a shim of the
// clock and its state: the day's last second comes twice on the wire, said once.
TEST(Console, AnInsertedLeapSecondSends235959TwiceAndSaysSoOnce) {
    PtyPair pty;
    ChildProcess::Options options;
    const char* asan = std::getenv("ASAN_OPTIONS");
    options.environment = {"LD_PRELOAD=" LEAP_SECOND_SHIM_PATH, "CHRONVANE_LEAP_LEAD=4", "TZ=UTC",
                           std::string("ASAN_OPTIONS=") + (asan ? asan : "") +
                               ":verify_asan_link_order=0"};
    ChildProcess child(program, {"--console", "--device", "COM1=" + pty.devicePath()}, options);
    ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    std::vector<std::string> wire;
    while (wire.empty() || wire.back() != "00:00:00") {
        const auto message = receive(pty, true);
        ASSERT_TRUE(message) << "after " << wire.size() << " messages";
        wire.push_back(clockText(*message));
        ASSERT_LT(wire.size(), 8u);
    }
    ASSERT_GE(wire.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(wire.end() - 3, wire.end()),
              (std::vector<std::string>{"23:59:59", "23:59:59", "00:00:00"}));
    int leapLines = 0;
    for (;;) {
        const auto line = child.outLine(messageWait);
        ASSERT_TRUE(line) << "no line for 00:00:00";
        leapLines += *line == "Leap second: 23:59:59 sent again for 23:59:60." ? 1 : 0;
        if (*line == "COM1: Transmitted ESE Clock message \"00:00:00\"") {
            break;
        }
    }
    EXPECT_EQ(leapLines, 1);
    EXPECT_EQ(stopWithSigterm(child, endWait, pty.devicePath()), "");
}

// The program as a job of a shell on a terminal of its own: a session leader holds
// the terminal (it stands in for the shell, and keeps the job's process group from
// being orphaned, which changes how the kernel treats it) and starts the program
// in the foreground or, in a process group of its own, in the background. Its
// standard output and error are the terminal; the test reads them at the
// terminal's other end.
class JobOnTerminal {
  public:
    JobOnTerminal(const std::vector<std::string>& args, bool background, bool tostop) {
        std::vector<std::string> argTexts{program};
        argTexts.insert(argTexts.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& text : argTexts) {
            argv.push_back(text.data());
        }
        argv.push_back(nullptr);
        int pidPipe[2];
        if (pipe2(pidPipe, O_CLOEXEC) != 0) {
            return;
        }
        const std::string path = m_terminal.devicePath();
        m_shell = fork();
        if (m_shell == 0) {
            const int tty = setsid() < 0 ? -1 : open(path.c_str(), O_RDWR);
            termios settings{};
            if (tty < 0 || tcgetattr(tty, &settings) != 0) {
                _exit(126);
            }
            settings.c_lflag = tostop ? settings.c_lflag | TOSTOP : settings.c_lflag & ~TOSTOP;
            if (tcsetattr(tty, TCSANOW, &settings) != 0) {
                _exit(126);
            }
            const pid_t job = fork();
            if (job == 0) {
                if ((background && setpgid(0, 0) != 0) || dup2(tty, STDOUT_FILENO) < 0 ||
                    dup2(tty, STDERR_FILENO) < 0) {
                    _exit(126);
                }
                close_range(3, ~0U, 0);
                execv(argv[0], argv.data());
                _exit(127);
            }
            if (write(pidPipe[1], &job, sizeof job) != sizeof job) {
                _exit(126);
            }
            // A stopped job is what a test looks for: leave it stopped.
            int status = 0;
            while (waitpid(job, &status, WUNTRACED) == job && WIFSTOPPED(status)) {
            }
            _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 125);
        }
        close(pidPipe[1]);
        if (m_shell > 0 && read(pidPipe[0], &m_job, sizeof m_job) != sizeof m_job) {
            m_job = -1;
        }
        close(pidPipe[0]);
    }
    ~JobOnTerminal() {
        if (m_job > 0) {
            kill(m_job, SIGKILL);
        }
        if (m_shell > 0) {
            waitpid(m_shell, nullptr, 0);
        }
    }
    JobOnTerminal(const JobOnTerminal&) = delete;
    JobOnTerminal& operator=(const JobOnTerminal&) = delete;

    bool started() const { return m_job > 0; }
    pid_t job() const { return m_job; }
    // What the program wrote to the terminal so far.
    std::string output() {
        const auto bytes = m_terminal.drain();
        m_output.append(bytes.begin(), bytes.end());
        return m_output;
    }
    // The job's exit status (as the shell passes it on), once it has ended.
    std::optional<int> wait(milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        int status = 0;
        while (m_shell > 0) {
            output();
            const pid_t done = waitpid(m_shell, &status, WNOHANG);
            if (done == m_shell) {
                m_shell = -1;
                m_job = -1;
                return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : 125;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                break;
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
        return std::nullopt;
    }

  private:
    PtyPair m_terminal;
    pid_t m_shell = -1;
    pid_t m_job = -1;
    std::string m_output;
};

// Started in the background ("chronvane32 ... &") on a terminal set to "stty
// tostop": its first line to that terminal must not stop it.
TEST(Console, InTheBackgroundOnATerminalWithTostopItKeepsSending) {
    PtyPair line;
    JobOnTerminal job({"--console", "--device", "COM1=" + line.devicePath()}, true, true);
    ASSERT_TRUE(job.started());
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(receive(line, true)) << "message " << i;
        job.output();
    }
    kill(job.job(), SIGTERM);
    kill(job.job(), SIGCONT);
    EXPECT_EQ(job.wait(endWait), 0);
    EXPECT_NE(job.output().find("COM1 opened successfully."), std::string::npos) << job.output();
}

// Two devices that answer like a terminal but carry nothing to any equipment: the
// pseudo-terminal multiplexer (each open makes a master end nobody else can read)
// and the terminal the program runs in (raw mode would take its Ctrl+C away).
TEST(Console, RefusesDevicesThatAreNoSerialLine) {
    const struct {
        const char* device;
        const char* reason;
    } cases[] = {
        {"/dev/ptmx",
         "/dev/ptmx: Wrong medium type (a new pseudo-terminal master that nobody can read; use "
         "--device COMn=virtual)"},
        {"/dev/tty",
         "/dev/tty: Address already in use (the terminal this program runs in, not a serial "
         "line; check --device)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        JobOnTerminal job({"--console", "--device", std::string("COM1=") + c.device}, false, false);
        ASSERT_TRUE(job.started());
        const auto deadline = std::chrono::steady_clock::now() + startWait;
        while (job.output().find(c.reason) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(milliseconds(20));
        }
        EXPECT_NE(job.output().find("COM1 could not be opened."), std::string::npos)
            << job.output();
        EXPECT_NE(job.output().find(c.reason), std::string::npos) << job.output();
        kill(job.job(), SIGTERM);
        EXPECT_EQ(job.wait(endWait), 0);
    }
}

// Nobody can click another port in console mode: a device missing at start (an
// adapter not plugged in yet) is tried every second, explained once, and used from
// the second it appears.
TEST(Console, ADeviceMissingAtStartIsUsedOnceItAppears) {
    PtyPair com2;
    const auto dir =
        std::filesystem::temp_directory_path() / ("chronvane-late-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto link = dir / "com1";
    ChildProcess child(program, {"--console", "--device", "COM1=" + link.string(), "--device",
                                 "COM2=" + com2.devicePath()});
    EXPECT_EQ(child.outLine(startWait), "COM1 could not be opened.");
    EXPECT_EQ(child.errLine(startWait), "COM1 is " + link.string());
    EXPECT_EQ(child.errLine(startWait),
              link.string() + ": No such file or directory (check --device)");
    EXPECT_TRUE(clockLineFollows(child));
    // Tried again every second, quietly: neither the log nor the reason repeats.
    EXPECT_EQ(child.outLine(milliseconds(2500)), std::nullopt);
    EXPECT_EQ(child.errLine(milliseconds(0)), std::nullopt);
    EXPECT_TRUE(com2.drain().empty());

    PtyPair com1;
    std::filesystem::create_symlink(com1.devicePath(), link);
    EXPECT_EQ(child.outLine(messageWait), "COM1 opened successfully.");
    const auto time = receive(com1, true);
    ASSERT_TRUE(time);
    const auto line = child.outLine(messageWait);
    ASSERT_TRUE(line);
    EXPECT_TRUE(logLineMatches(*line, true, *time)) << *line;
    EXPECT_EQ(child.errLine(startWait), "COM1 is " + link.string());

    EXPECT_EQ(stopWithSigterm(child, endWait), "");
    std::filesystem::remove_all(dir);
}

// The seconds field of the local time now, as the program reads it (not time(),
// which reads the coarse clock and lags the change of second).
int secondNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const std::time_t now = ts.tv_sec;
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_sec;
}

// A 0x13 from the equipment or from line noise, held for 3 s, then a 0x11. With
// the default flow control it means nothing; told to use XON/XOFF the program
// holds off, says so once, does not reopen the line, and once released sends the
// time of that moment, never the seconds it missed.
TEST(Console, AReceivedXoffStopsTheClockOnlyWhenToldToObeyIt) {
    struct Case {
        const char* name;
        std::vector<std::string> flowArgs;
        bool obeyed;
    };
    const Case cases[] = {
        {"default flow control", {}, false},
        {"--flow xonxoff", {"--flow", "xonxoff"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair pty;
        std::vector<std::string> args{"--console", "--device", "COM1=" + pty.devicePath()};
        args.insert(args.end(), c.flowArgs.begin(), c.flowArgs.end());
        ChildProcess child(program, args);
        ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
        ASSERT_TRUE(clockLineFollows(child));
        ASSERT_TRUE(receive(pty, true));
        ASSERT_TRUE(child.outLine(messageWait));

        const std::uint8_t xoff = 0x13;
        const std::uint8_t xon = 0x11;
        ASSERT_EQ(::write(pty.controllerFd(), &xoff, 1), 1);
        std::vector<std::string> lines;
        const auto heldUntil = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        while (std::chrono::steady_clock::now() < heldUntil) {
            const auto left = std::chrono::duration_cast<milliseconds>(
                heldUntil - std::chrono::steady_clock::now());
            if (auto line = child.outLine(std::max(left, milliseconds(0)))) {
                lines.push_back(*line);
            }
        }
        const auto sentWhileHeld = pty.drain();
        ASSERT_EQ(::write(pty.controllerFd(), &xon, 1), 1);

        if (c.obeyed) {
            EXPECT_EQ(lines, std::vector<std::string>{
                                 "COM1: Transmission failed (output held up by flow control)"});
            EXPECT_TRUE(sentWhileHeld.empty()) << sentWhileHeld.size() << " bytes";
        } else {
            EXPECT_GE(lines.size(), 2u);
            for (const auto& line : lines) {
                EXPECT_TRUE(line.starts_with("COM1: Transmitted ESE Clock message")) << line;
            }
            // The program logs a message after sending it: the last one drained may
            // still have its line to come.
            EXPECT_EQ(sentWhileHeld.size() % formatOf(Protocol::EseRealTimeClock).length({}), 0u);
            EXPECT_GE(sentWhileHeld.size(), lines.size() * formatOf(Protocol::EseRealTimeClock).length({}));
            EXPECT_LE(sentWhileHeld.size(), (lines.size() + 1) * formatOf(Protocol::EseRealTimeClock).length({}));
        }
        const auto next = receive(pty, true);
        ASSERT_TRUE(next);
        EXPECT_EQ(next->second, secondNow());
        auto line = child.outLine(messageWait);
        if (!c.obeyed && line && !logLineMatches(*line, true, *next)) {
            line = child.outLine(messageWait);
        }
        ASSERT_TRUE(line);
        EXPECT_TRUE(logLineMatches(*line, true, *next)) << *line;

        EXPECT_EQ(stopWithSigterm(child, endWait), "");
    }
}

// Whether a process of this test's user may ask for real-time priority.
bool realTimeAllowedHere() {
    rlimit realTime{};
    getrlimit(RLIMIT_RTPRIO, &realTime);
    return geteuid() == 0 || realTime.rlim_max >= 10;
}

// Where the system allows it the console runs real-time; where it does not, it
// says once how to allow it and sends all the same.
TEST(Console, RealTimeWhereAllowedElseSaysHowToAllowIt) {
    struct Case {
        const char* name;
        bool unprivileged;
        int policy;
    };
    const Case cases[] = {
        {"allowed", false, SCHED_FIFO},
        {"not allowed", true, SCHED_OTHER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.unprivileged || realTimeAllowedHere())
            << "cannot run: real-time scheduling is not allowed where the tests run (run them as "
               "root, or with CAP_SYS_NICE)";
        ChildProcess::Options options;
        options.unprivileged = c.unprivileged;
        options.keepRealTimeNotes = true;
        ChildProcess child(program, {"--console", "--device", "COM1=virtual"}, options);
        ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
        ASSERT_TRUE(clockLineFollows(child));
        EXPECT_EQ(sched_getscheduler(child.pid()) & ~SCHED_RESET_ON_FORK, c.policy);
        const auto line = child.outLine(messageWait);
        ASSERT_TRUE(line);
        EXPECT_TRUE(line->starts_with("COM1: Transmitted ESE Clock message")) << *line;

        EXPECT_EQ(stopWithSigterm(child, endWait), "");
        const std::string err = child.restOfErr(endWait);
        const auto count = [&](const std::string& text) {
            std::size_t n = 0;
            for (auto at = err.find(text); at != std::string::npos; at = err.find(text, at + 1)) {
                ++n;
            }
            return n;
        };
        const std::size_t priorityNotes = count("chronvane32: running at normal priority");
        const std::size_t lockNotes = count("chronvane32: memory not locked");
        if (c.unprivileged) {
            EXPECT_EQ(priorityNotes, 1u) << err;
            EXPECT_NE(err.find("LimitRTPRIO=10"), std::string::npos) << err;
            // Sanitizer builds never lock memory, so they need not say so.
            EXPECT_LE(lockNotes, 1u) << err;
        } else {
            EXPECT_EQ(priorityNotes + lockNotes, 0u) << err;
        }
    }
}

// The checkout may lie where the user a test drops to cannot enter (root's home,
// a mktemp -d folder, both mode 0700): such a test must still run the program.
TEST(Console, ATestThatGivesUpRootRunsTheProgramWhereverTheCheckoutLies) {
    ASSERT_EQ(geteuid(), 0u) << "cannot run: it needs root to give root up (CI runs as root)";
    std::string folder = (std::filesystem::temp_directory_path() / "chronvane-private-XXXXXX");
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const auto hidden = std::filesystem::path(folder) / "chronvane32";
    std::filesystem::copy_file(program, hidden);
    ChildProcess::Options options;
    options.unprivileged = true;
    ChildProcess child(hidden.string(), {"--console", "--device", "COM1=virtual"}, options);
    EXPECT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    EXPECT_EQ(stopWithSigterm(child, endWait), "");
    std::filesystem::remove_all(folder);
}

TEST(Console, ComesBackWhenTheDeviceReturns) {
    const auto dir =
        std::filesystem::temp_directory_path() / ("chronvane-recovery-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const auto link = dir / "com1";
    const auto pointLinkAt = [&](const std::string& target) {
        // Replaced in one step, so the program never sees the link missing.
        const auto fresh = dir / "com1.new";
        std::filesystem::remove(fresh);
        std::filesystem::create_symlink(target, fresh);
        std::filesystem::rename(fresh, link);
    };

    auto first = std::make_unique<PtyPair>();
    pointLinkAt(first->devicePath());
    ChildProcess child(program, {"--console", "--device", "COM1=" + link.string()});
    ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    ASSERT_TRUE(receive(*first, true));

    // The adapter goes away: both ends of the line close, and its name is gone (a
    // stale /dev/pts number could be handed to another test's terminal meanwhile).
    first.reset();
    pointLinkAt("/nonexistent/chronvane-test-gone");
    std::vector<std::string> lines;
    while (auto line = child.outLine(messageWait)) {
        lines.push_back(*line);
        if (line->starts_with("COM1: Transmission failed (")) {
            break;
        }
    }
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "COM1: Transmission failed (Input/output error)");
    // Reopened once a second while away; the failure is logged once.
    int notOpened = 0;
    while (auto line = child.outLine(milliseconds(2500))) {
        EXPECT_EQ(*line, "COM1 could not be opened.");
        ++notOpened;
    }
    EXPECT_LE(notOpened, 1);

    // Plugged in again, with nobody on the line yet.
    PtyPair second;
    second.closeDevice();
    pointLinkAt(second.devicePath());
    EXPECT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    const auto a = receive(second, true);
    const auto b = receive(second, true);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(secondsApart(*a, *b), 1);

    EXPECT_EQ(stopWithSigterm(child, endWait), "");
    std::filesystem::remove_all(dir);
}

// A /dev/pts number goes to the next pseudo-terminal made once ours is gone; when
// that is another user's, it is theirs, not a line to reopen and send on.
TEST(Console, AfterItsDeviceWentAwayAnotherUsersTerminalUnderItsNameIsLeftAlone) {
    auto first = std::make_unique<PtyPair>();
    const std::string path = first->devicePath();
    ChildProcess child(program, {"--console", "--device", "COM1=" + path});
    ASSERT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    ASSERT_TRUE(receive(*first, true));
    first.reset();
    // Once it says so, it has let go of the old terminal, and the number is free.
    while (auto line = child.outLine(messageWait)) {
        if (*line == "COM1 could not be opened.") {
            break;
        }
    }
    // The lowest free number is handed out first; others' terminals may come and go.
    std::vector<std::unique_ptr<PtyPair>> made;
    while (made.size() < 64 && (made.empty() || made.back()->devicePath() != path)) {
        made.push_back(std::make_unique<PtyPair>());
    }
    if (made.back()->devicePath() != path) {
        GTEST_SKIP() << "another program took " << path;
    }
    PtyPair& theirs = *made.back();
    ASSERT_EQ(fchown(theirs.deviceFd(), 65534, 65534), 0) << std::strerror(errno);
    EXPECT_EQ(child.outLine(milliseconds(2500)), std::nullopt);
    EXPECT_TRUE(theirs.drain().empty()) << "it sent on the other user's terminal";
    EXPECT_EQ(test::deviceProblem(path), "");
    EXPECT_EQ(stopWithSigterm(child, endWait), "");
    EXPECT_NE(child.restOfErr(endWait).find(path + ": Stale file handle (another device has its "
                                                   "name since ours went away; left alone, "
                                                   "check --device)\n"),
              std::string::npos);
}

// Started by a service manager (NOTIFY_SOCKET names its socket), the program says it
// is ready after its first attempt to open the device, whatever came of it, pings
// the watchdog after every second it handled, sent or not, keeps its status line
// current and says when it stops. The socket here stands in for systemd's.
TEST(Console, ReportsToItsServiceManager) {
    struct Case {
        const char* name;
        bool devicePresent;
        std::string device;  // after "PATH: "
    };
    const Case cases[] = {
        {"device present", true, "sending"},
        {"device missing", false, "cannot open (No such file or directory)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string socketPath = std::filesystem::temp_directory_path() /
                                       ("chronvane-notify-" + std::to_string(getpid()));
        const int manager = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ASSERT_GE(manager, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        ::unlink(socketPath.c_str());
        ASSERT_EQ(::bind(manager, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        const auto notification = [&](milliseconds timeout) -> std::optional<std::string> {
            pollfd ready{manager, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(timeout.count())) != 1) {
                return std::nullopt;
            }
            char text[1024];
            const ssize_t n = ::recv(manager, text, sizeof text, 0);
            return n < 0 ? std::nullopt : std::optional<std::string>(std::string(text, n));
        };

        PtyPair pty;
        const std::string path = c.devicePresent ? pty.devicePath() : "/nonexistent/chronvane-test";
        ChildProcess::Options options;
        options.environment = {"NOTIFY_SOCKET=" + socketPath};
        ChildProcess child(program, {"--console", "--device", "COM1=" + path}, options);
        EXPECT_EQ(notification(startWait),
                  "READY=1\nSTATUS=" + path + ": " + c.device +
                      "; ESE; nothing sent yet; clock not read yet");

        // The first tick only notes its second; the status changes with each
        // message that leaves, and only then.
        std::vector<std::string> pings;
        for (int i = 0; i < 3; ++i) {
            auto ping = notification(messageWait);
            ASSERT_TRUE(ping) << "ping " << i;
            pings.push_back(*ping);
            if (i == 1 && c.devicePresent) {
                // The first message, read before the next one joins it.
                const auto message = receive(pty, true);
                ASSERT_TRUE(message);
                // The clock's part is whatever this machine's kernel says.
                EXPECT_TRUE(pings[1].starts_with("WATCHDOG=1\nSTATUS=" + path +
                                                 ": sending; ESE; last sent " +
                                                 clockText(*message) + "; clock "))
                    << pings[1];
            }
        }
        // The first tick reads the clock's state, which this machine's kernel decides.
        EXPECT_TRUE(pings[0].starts_with("WATCHDOG=1\nSTATUS=" + path + ": " + c.device +
                                         "; ESE; nothing sent yet; clock "))
            << pings[0];
        if (c.devicePresent) {
            EXPECT_TRUE(
                pings[2].starts_with("WATCHDOG=1\nSTATUS=" + path + ": sending; ESE; last sent "))
                << pings[2];
        } else {
            EXPECT_EQ(pings[1], "WATCHDOG=1");
            EXPECT_EQ(pings[2], "WATCHDOG=1");
        }

        child.signal(SIGTERM);
        std::optional<std::string> last;
        while (auto next = notification(endWait)) {
            last = next;
            if (next->starts_with("STOPPING=1")) {
                break;
            }
        }
        EXPECT_TRUE(last && last->starts_with("STOPPING=1")) << last.value_or("nothing");
        EXPECT_TRUE(exitedWith(child.wait(endWait), 0));
        ::close(manager);
        ::unlink(socketPath.c_str());
    }
}

TEST(Console, WithoutATimerSaysSoAndEndsWithStatusOne) {
    PtyPair pty;
    ChildProcess::Options options;
    options.denyTimers = true;
    ChildProcess child(program, {"--console", "--device", "COM1=" + pty.devicePath()}, options);
    // The port is opened first, as with a window; then the timer cannot be had.
    EXPECT_EQ(child.outLine(startWait), "COM1 opened successfully.");
    const auto status = child.wait(endWait);
    EXPECT_TRUE(exitedWith(status, 1)) << describeStatus(status);
    EXPECT_EQ(child.restOfErr(endWait), "COM1 is " + pty.devicePath() +
                                            "\nNo timers available.\n"
                                            "chronvane32: cannot start the 100 ms tick: Too many "
                                            "open files\n");
    EXPECT_EQ(child.restOfOut(endWait), "");
    EXPECT_TRUE(pty.drain().empty());
}

TEST(Console, InformationOptionsAndBadOptions) {
    struct Case {
        std::vector<std::string> args;
        int status;
        std::vector<std::string> inOut;
        std::vector<std::string> inErr;
    };
    // Today's devices, should an option be taken for something else.
    PtyPair com1;
    const std::string device = "COM1=" + com1.devicePath();
    const Case cases[] = {
        {{"--help"}, 0, {"Usage: chronvane32", "-ostrel8", "--device"}, {}},
        {{"--console", "--device", device, "--devic", "COM1=/nonexistent/usb0"},
         2,
         {},
         {"chronvane32: --devic: unknown option, did you mean --device?\n"
          "Try 'chronvane32 --help'.\n"}},
        {{"--version"}, 0, {"Chronvane32 Version " PROJECT_VERSION "\n"}, {}},
        {{"--device", "COM5=/x"},
         2,
         {},
         {"chronvane32: --device COM5=/x", "\nTry 'chronvane32 --help'.\n"}},
        {{"--console", "--device"}, 2, {}, {"chronvane32: --device", "Try 'chronvane32 --help'."}},
        // One dash: no short option in it, so it would do nothing at all.
        {{"--console", "--device", device, "-device", "COM1=/nonexistent/usb0"},
         2,
         {},
         {"chronvane32: -device: unknown option, did you mean --device?\n"}},
        {{"--console", "--device", device, "-Flow=rtscts"},
         2,
         {},
         {"chronvane32: -Flow=rtscts: unknown option, did you mean --flow?\n"}},
        {{"-help"}, 2, {}, {"chronvane32: -help: unknown option, did you mean --help?\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        ChildProcess child(program, c.args);
        const std::string out = child.restOfOut(endWait);
        const std::string err = child.restOfErr(endWait);
        const auto status = child.wait(endWait);
        EXPECT_TRUE(exitedWith(status, c.status)) << describeStatus(status);
        for (const auto& text : c.inOut) {
            EXPECT_NE(out.find(text), std::string::npos) << text << " not in:\n" << out;
        }
        for (const auto& text : c.inErr) {
            EXPECT_NE(err.find(text), std::string::npos) << text << " not in:\n" << err;
        }
        EXPECT_EQ(c.inOut.empty(), out.empty()) << out;
        EXPECT_EQ(c.inErr.empty(), err.empty()) << err;
    }
}

// Started by a launcher that closed standard input, output and error, the device
// must not become one of them: the log would go out on the line.
TEST(Console, WithItsStandardDescriptorsClosedTheLineCarriesOnlyTimeMessages) {
    PtyPair pty;
    ChildProcess::Options options;
    options.closedStandard = true;
    ChildProcess child(program, {"--console", "--device", "COM1=" + pty.devicePath()}, options);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(receive(pty, true)) << "message " << i;
    }
    EXPECT_EQ(stopWithSigterm(child, endWait), "");
}

// Every signal that would end the process ends the run in order instead: the port
// closed, exclusive use given up, status 0 (the monitor: status 0 for the sound
// messages it saw). Left holding exclusive use, a dead program would make the
// device "busy" for every other user. The harmless ones are ignored: the run goes
// on, and a stop after them still ends it in order.
struct EndingCase {
    const char* program;  // "console", "window" or "monitor"
    int signal;
    bool ends;
};

void PrintTo(const EndingCase& c, std::ostream* out) {
    *out << c.program << " " << sigabbrev_np(c.signal);
}

std::string endingCaseName(const ::testing::TestParamInfo<EndingCase>& info) {
    return std::string(info.param.program) + "_" + sigabbrev_np(info.param.signal);
}

class EndingSignal : public ::testing::TestWithParam<EndingCase> {};

TEST_P(EndingSignal, EndsTheRunInOrderOrIsIgnored) {
    const EndingCase c = GetParam();
    const std::string which = c.program;
    if (which == "window" && !CHRONVANE_HAVE_WINDOW) {
        GTEST_SKIP() << "built without the window";
    }
    PtyPair line;
    std::optional<ChildProcess> sender;
    std::optional<ChildProcess> monitor;
    std::string path = line.devicePath();
    // Proof of a run that goes on: one more message reaches the line, or one more
    // report the monitor's output.
    std::function<bool()> stillRunning;
    if (which == "monitor") {
        sender.emplace(program, std::vector<std::string>{"--console", "--device", "COM1=virtual"});
        path = test::virtualReaderPath(*sender);
        ASSERT_FALSE(path.empty());
        monitor.emplace(MONITOR_PATH, std::vector<std::string>{path});
        ASSERT_TRUE(monitor->outLine(startWait));
        stillRunning = [&] { return monitor->outLine(messageWait).has_value(); };
    } else {
        ChildProcess::Options options;
        std::vector<std::string> args{"--device", "COM1=" + path};
        if (which == "window") {
            options.environment = {"QT_QPA_PLATFORM=offscreen"};
        } else {
            args.push_back("--console");
        }
        sender.emplace(program, args, options);
        ASSERT_TRUE(receive(line, true));
        stillRunning = [&] { return receive(line, true).has_value(); };
    }
    ChildProcess& child = monitor ? *monitor : *sender;
    ASSERT_NE(test::deviceProblem(path), "") << "the device is not held";
    if (!c.ends) {
        child.signal(c.signal);
        EXPECT_TRUE(stillRunning()) << "ended by " << sigabbrev_np(c.signal) << ": "
                                    << describeStatus(child.wait(endWait));
        EXPECT_EQ(stopWithSigterm(child, endWait, path), "");
        return;
    }
    EXPECT_EQ(test::stopWith(child, c.signal, endWait, path), "");
}

INSTANTIATE_TEST_SUITE_P(
    ThreePrograms, EndingSignal,
    ::testing::Values(EndingCase{"console", SIGHUP, true}, EndingCase{"console", SIGQUIT, true},
                      EndingCase{"console", SIGUSR1, true}, EndingCase{"console", SIGALRM, true},
                      EndingCase{"console", SIGPIPE, false}, EndingCase{"window", SIGHUP, true},
                      EndingCase{"window", SIGINT, true}, EndingCase{"window", SIGTERM, true},
                      EndingCase{"window", SIGQUIT, true}, EndingCase{"window", SIGUSR2, true},
                      EndingCase{"window", SIGALRM, true}, EndingCase{"window", SIGPIPE, false},
                      EndingCase{"monitor", SIGHUP, true}, EndingCase{"monitor", SIGTERM, true},
                      EndingCase{"monitor", SIGQUIT, true}, EndingCase{"monitor", SIGUSR1, true},
                      EndingCase{"monitor", SIGUSR2, true}, EndingCase{"monitor", SIGALRM, true},
                      EndingCase{"monitor", SIGPIPE, false}),
    endingCaseName);

// Where the program cannot do as the environment asks, it says so once on standard
// error and goes on sending.
TEST(Console, ATimeZoneOrDisplayThatDoesNotExistIsNamedAndSendingGoesOn) {
    struct Case {
        const char* name;
        std::vector<std::string> environment;
        bool console;
        std::string error;
    };
    // Not a zone file, and one that the start must not wait on to read.
    const std::filesystem::path fifo = std::filesystem::temp_directory_path() /
                                       ("chronvane-zone-" + std::to_string(getpid()));
    std::filesystem::remove(fifo);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0) << std::strerror(errno);
    const std::vector<Case> cases {
        {"time zone",
         {"TZ=Europe/Nowhere", "TZDIR="},
         true,
         "chronvane32: time zone \"Europe/Nowhere\" does not exist (/usr/share/zoneinfo/"
         "Europe/Nowhere is no zone file and it is no rule such as CET-1CEST,M3.5.0,M10.5.0/3), "
         "so UTC is in effect; set TZ to a name under /usr/share/zoneinfo, such as "
         "Europe/London"},
        {"FIFO as time zone",
         {"TZ=" + fifo.string(), "TZDIR="},
         true,
         "chronvane32: time zone \"" + fifo.string() + "\" does not exist (" + fifo.string() +
             " is no zone file and it is no rule such as CET-1CEST,M3.5.0,M10.5.0/3), "
             "so UTC is in effect; set TZ to a name under /usr/share/zoneinfo, such as "
             "Europe/London"},
#if CHRONVANE_HAVE_WINDOW
            {"display",
             {"DISPLAY=:7731", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="},
             false,
             "chronvane32: cannot show the window (no X server answers on :7731, or it refused "
             "this user), running in console mode (--console)"},
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtyPair pty;
        std::vector<std::string> args{"--device", "COM1=" + pty.devicePath()};
        if (c.console) {
            args.push_back("--console");
        }
        ChildProcess::Options options;
        options.environment = c.environment;
        ChildProcess child(program, args, options);
        EXPECT_EQ(child.outLine(startWait), "COM1 opened successfully.");
        EXPECT_TRUE(receive(pty, true));
        EXPECT_EQ(stopWithSigterm(child, endWait), "");
        const std::string err = child.restOfErr(endWait);
        EXPECT_NE(err.find(c.error + "\n"), std::string::npos) << err;
    }
    std::filesystem::remove(fifo);
}

#if CHRONVANE_HAVE_WINDOW
// The window has no log to wait on: what it does first that a test can see is take
// its port for itself (TIOCEXCL), after Qt has come up, which on a loaded machine
// takes seconds. The bound is only how long a window that never opens the port
// holds the test; once it has, its first message is due within a message wait.
bool windowTakes(PtyPair& port) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (;;) {
        int exclusive = 0;
        if (ioctl(port.deviceFd(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
}

// A program copied away from its window module (a broken install) must say what is
// wrong and what to do, not crash or quietly run without a window.
TEST(Window, WithoutItsModuleTheProgramSaysWhatToDo) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("chronvane-alone-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path alone = dir / "chronvane32";
    std::filesystem::copy_file(program, alone, std::filesystem::copy_options::overwrite_existing);
    ChildProcess::Options options;
    options.environment = {"QT_QPA_PLATFORM=offscreen"};
    ChildProcess child(alone.string(), {"-com2"}, options);
    const std::string err = child.restOfErr(endWait);
    const auto status = child.wait(endWait);
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(exitedWith(status, 1)) << describeStatus(status);
    EXPECT_TRUE(err.starts_with("chronvane32: cannot load the window: ")) << err;
    EXPECT_NE(err.find("chronvane32-window.so"), std::string::npos) << err;
    EXPECT_NE(err.find("run it with --console"), std::string::npos) << err;
    EXPECT_EQ(child.restOfOut(endWait), "");
}

// The window sends from a thread of its own that gets the console's real-time
// treatment where the system allows it; the user-interface thread stays at normal
// priority.
TEST(Window, SendsFromARealTimeThreadWhereAllowed) {
    ASSERT_TRUE(realTimeAllowedHere())
        << "cannot run: real-time scheduling is not allowed where the tests run (run them as root, "
           "or with CAP_SYS_NICE)";
    ChildProcess::Options options;
    options.keepRealTimeNotes = true;
    options.environment = {"QT_QPA_PLATFORM=offscreen"};
    PtyPair com1;
    ChildProcess child(program,
                       {"--device", "COM1=" + com1.devicePath(), "--device",
                        "COM2=/nonexistent/chronvane-test-com2", "--device",
                        "COM3=/nonexistent/chronvane-test-com3", "--device",
                        "COM4=/nonexistent/chronvane-test-com4"},
                       options);
    ASSERT_TRUE(windowTakes(com1)) << "the window never opened COM1";
    ASSERT_TRUE(receive(com1, true));
    std::size_t realTimeThreads = 0;
    const std::string tasks = "/proc/" + std::to_string(child.pid()) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks)) {
        const pid_t thread = std::stoi(task.path().filename().string());
        const int policy = sched_getscheduler(thread) & ~SCHED_RESET_ON_FORK;
        if (thread == child.pid()) {
            EXPECT_EQ(policy, SCHED_OTHER) << "the user-interface thread";
        } else if (policy == SCHED_FIFO) {
            ++realTimeThreads;
        }
    }
    EXPECT_EQ(realTimeThreads, 1u);
    EXPECT_EQ(stopWithSigterm(child, endWait, com1.devicePath()), "");
    const std::string err = child.restOfErr(endWait);
    EXPECT_EQ(err.find("chronvane32: running at normal priority"), std::string::npos) << err;
}

// Qt has a warning to print when XDG_RUNTIME_DIR is unset (as under sudo); with
// standard error full (nobody reads the pipe, a terminal stopped with Ctrl+S) the
// window must still come up and send, and end at SIGTERM.
TEST(Window, SendsWhileItsStandardErrorIsFullAndQtHasAWarning) {
    PtyPair com1;
    ChildProcess::Options options;
    // Start-time warnings too: a zone that does not exist, a port that does not.
    options.environment = {"QT_QPA_PLATFORM=offscreen", "XDG_RUNTIME_DIR", "TZ=Europe/Nowhere"};
    options.fullErr = true;
    ChildProcess child(program,
                       {"-com5", "--device", "COM1=" + com1.devicePath(), "--device",
                        "COM2=/nonexistent/chronvane-test-com2", "--device",
                        "COM3=/nonexistent/chronvane-test-com3", "--device",
                        "COM4=/nonexistent/chronvane-test-com4"},
                       options);
    bool received = false;
    for (int i = 0; i < 4 && !received; ++i) {
        received = receive(com1, true).has_value();
    }
    EXPECT_TRUE(received);
    EXPECT_EQ(stopWithSigterm(child, endWait, com1.devicePath()), "");
}

// Qt takes options of its own; their text is not the operator's choice of port.
TEST(Window, QtsOwnOptionsChooseNoPort) {
    PtyPair com1;
    PtyPair com3;
    ChildProcess::Options options;
    options.environment = {"QT_QPA_PLATFORM=offscreen"};
    ChildProcess child(program,
                       {"--device", "COM1=" + com1.devicePath(), "--device",
                        "COM3=" + com3.devicePath(), "-qwindowtitle", "COM3"},
                       options);
    ASSERT_TRUE(windowTakes(com1)) << "the window never opened COM1";
    EXPECT_TRUE(receive(com1, true));
    EXPECT_TRUE(com3.drain().empty());
}
#endif

// The version is project()'s, in both programs; the sender's line is also what the
// About box shows.
TEST(Console, VersionOfBothProgramsIsTheProjectsInExactlyOneLine) {
    const std::pair<std::string, std::string> cases[] = {
        {program, "Chronvane32 Version " PROJECT_VERSION "\n"},
        {MONITOR_PATH, "chronvane32-monitor (Chronvane32) " PROJECT_VERSION "\n"},
    };
    for (const auto& [path, expected] : cases) {
        ChildProcess child(path, {"--version"});
        EXPECT_EQ(child.restOfOut(endWait), expected);
        EXPECT_TRUE(exitedWith(child.wait(endWait), 0));
    }
}

}  // namespace
}  // namespace chronvane
