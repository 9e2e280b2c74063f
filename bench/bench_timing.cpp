// How close to the change of second the time messages leave, for the console
// program and the window (Qt, offscreen) in both protocols and for a baseline that
// ticks every 100 ms at an arbitrary phase (what a plain relative 100 ms timer
// gives), each on an idle machine and under load (two busy processes per
// processor for the whole run). The senders get this process's environment, TZ
// as the user has it: with TZ unset (most machines, and the packaged service) the
// C library looks at /etc/localtime at every conversion, which a TZ set would hide.
// Two points are measured per message: when the sender entered its first write to
// the device (noted by a preloaded shim around write(), the program itself
// unchanged; on a real UART the bytes leave from that call), and when the first
// byte arrived at the pseudo-terminal's other end (after the kernel's work queue,
// which runs at normal priority). Also the program's peak memory and CPU time.
//
// With --advance MS the program starts each message MS milliseconds before the
// second it carries, and every time is taken from that advanced point instead.
//
// Every format of the registry is measured in console mode, those with a radio in
// the window too; each message is aimed at its second less the advance and the
// format's lead (the air time of the bytes before its on-time byte).
//
// With --quick it runs each sender once, idle, for 2 s: a check that the programs
// start and send, whose figures are printed but not judged.
//
// A run that measured nothing (no message arrived, or none whose write the shim
// saw) ends the benchmark with status 1: a figure from it would mean nothing.
//
// Usage: bench_timing [--seconds N] [--advance MS] [--program PATH] [--shim PATH]
//                     [--verbose] [--only console|window] [--quick]

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "child_process.h"
#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "formats/format_registry.h"
#include "monitor/stream_decoder.h"
#include "pty_pair.h"
#include "timed_read.h"

namespace {

using chronvane::Protocol;
using chronvane::monitor::DecodedMessage;
using chronvane::monitor::Fault;
using chronvane::test::ChildProcess;
using chronvane::test::PtyPair;
using SteadyClock = std::chrono::steady_clock;

constexpr std::int64_t nanosPerSecond = 1'000'000'000;

std::int64_t nanosOn(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return std::int64_t{ts.tv_sec} * nanosPerSecond + ts.tv_nsec;
}

struct Arrival {
    std::int64_t wallNanos;  // CLOCK_REALTIME when the message's first byte was read
    int second;              // what the message says
};

struct Measurement {
    std::vector<Arrival> arrivals;
    // CLOCK_REALTIME when each message's first write was entered, from the shim.
    std::vector<std::int64_t> sendNanos;
    int malformed = 0;        // damaged messages, and runs of bytes that were no message
    long peakMemoryKiB = -1;  // VmHWM
    // At the end of the run: private memory, and shared library pages mapped in.
    long anonKiB = -1;
    long fileKiB = -1;
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// Whether a message is one the sender could have meant. A skipped or repeated
// second is what the analysis measures, not damage; bytes before it that belong
// to no message are damage of their own, counted apart.
bool isDamaged(const DecodedMessage& message, Protocol expected) {
    const bool faulty = std::any_of(message.faults.begin(), message.faults.end(), [](Fault f) {
        return f != Fault::secondSkipped && f != Fault::secondRepeated && f != Fault::strayBytes;
    });
    return faulty || !message.second || message.protocol != expected;
}

// Reads messages until the deadline with the monitor's decoder, stamping each read
// with the wall clock: a message's first byte is when it arrived.
// What --format is given for a format: its word, or for a template of one's own
// a time of day in it, on time at its seconds.
std::string benchFormatWord(Protocol protocol) {
    return protocol == Protocol::Custom ? "custom:%H:%M:%^%S\\r"
                                        : std::string(chronvane::formatOf(protocol).names.word);
}

chronvane::FormatChoice benchFormat(Protocol protocol) {
    return *chronvane::parseFormatName(benchFormatWord(protocol)).value;
}

void receive(PtyPair& pty, Protocol expected, SteadyClock::time_point deadline, Measurement& out) {
    // Told the format: a template is found only so.
    chronvane::monitor::StreamDecoder decoder(std::chrono::milliseconds(250), {},
                                              benchFormat(expected));
    while (SteadyClock::now() < deadline) {
        const chronvane::test::ReadChunk chunk =
            chronvane::test::readOnce(pty.controllerFd(), deadline);
        if (chunk.ended) {
            break;
        }
        const chronvane::monitor::Timestamp now{nanosOn(CLOCK_REALTIME)};
        for (const DecodedMessage& message : decoder.feed(chunk.bytes, now)) {
            if (message.strayBytes > 0) {
                ++out.malformed;
            }
            if (isDamaged(message, expected)) {
                ++out.malformed;
            } else {
                out.arrivals.push_back({message.firstByte.count(), *message.second});
            }
        }
    }
    if (decoder.finish() > 0) {
        ++out.malformed;
    }
}

// One "Name:  1234 kB" field of /proc/<pid>/status; -1 when it is not there.
long statusKiB(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

// The shim's stamps, one line of nanoseconds each; empty when there are none.
std::vector<std::int64_t> readStamps(const std::string& path) {
    std::vector<std::int64_t> stamps;
    std::ifstream in(path);
    long long value = 0;
    while (in >> value) {
        stamps.push_back(value);
    }
    std::remove(path.c_str());
    return stamps;
}

struct Sender {
    std::string shim;  // the write-stamp library to preload
    std::string self;  // this benchmark, for the baseline sender
};

std::string stampFileFor(const char* what) {
    return "/tmp/chronvane-bench-" + std::to_string(getpid()) + "-" + what + ".stamps";
}

// The sender as a child with the shim preloaded, its output dropped as a service
// manager might, so that a long run never waits on a log nobody reads.
ChildProcess::Options senderOptions(const Sender& sender, const std::string& device,
                                    const std::string& stampFile) {
    ChildProcess::Options options;
    options.environment = {"LD_PRELOAD=" + sender.shim, "CHRONVANE_STAMP_DEVICE=" + device,
                           "CHRONVANE_STAMP_FILE=" + stampFile};
    options.discardOutput = true;
    return options;
}

// Stops the sender as a service manager does and takes what it recorded; a
// sender that did not end cleanly is reported, its figures kept.
void stopSender(ChildProcess& child, const std::string& name, const PtyPair& pty,
                const std::string& stampFile, Measurement& out) {
    const std::string problem =
        chronvane::test::stopWithSigterm(child, std::chrono::seconds(5), pty.devicePath());
    if (!problem.empty()) {
        std::fprintf(stderr, "bench_timing: %s did not end cleanly: %s\n", name.c_str(),
                     problem.c_str());
    }
    out.sendNanos = readStamps(stampFile);
}

// The console program, or the window on Qt's offscreen platform (nobody clicks
// it, but every port it could open is one this benchmark owns or none at all).
Measurement measureProgram(const std::string& program, const Sender& sender, Protocol protocol,
                           bool window, int seconds, int advanceMs) {
    PtyPair pty;
    const std::string word = benchFormatWord(protocol);
    const std::string stampFile = stampFileFor(std::string(chronvane::formatOf(protocol).names.jsonName).c_str());
    std::vector<std::string> args{"--device", "COM1=" + pty.devicePath(), "--advance",
                                  std::to_string(advanceMs), "--format", word};
    // A pseudo-terminal takes 8 data bits and no parity only (it refuses IRIG J's
    // 7O1), so such a format is timed at 9600 8N1; its lead is none either way.
    if (const chronvane::LineSettings& line = chronvane::formatOf(protocol).line;
        line.dataBits != 8 || line.parity != chronvane::Parity::None) {
        args.insert(args.end(), {"--line", "9600,8N1"});
    }
    ChildProcess::Options options = senderOptions(sender, pty.devicePath(), stampFile);
    if (window) {
        for (int n = 2; n <= 4; ++n) {
            args.push_back("--device");
            args.push_back("COM" + std::to_string(n) + "=" + stampFile + ".no-such-device");
        }
        options.environment.push_back("QT_QPA_PLATFORM=offscreen");
    } else {
        args.push_back("--console");
    }
    Measurement out;
    const auto start = SteadyClock::now();
    ChildProcess child(program, args, options);
    receive(pty, protocol, start + std::chrono::seconds(seconds), out);
    out.peakMemoryKiB = statusKiB(child.pid(), "VmHWM");
    out.anonKiB = statusKiB(child.pid(), "RssAnon");
    out.fileKiB = statusKiB(child.pid(), "RssFile");
    stopSender(child, program, pty, stampFile, out);
    out.wallSeconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    const rusage& usage = child.usage();
    out.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return out;
}

class QuietWindow final : public chronvane::ClockWindow {
  public:
    Protocol selectedProtocol() const override { return Protocol::EseRealTimeClock; }
    void showLog(const chronvane::MessageLog&) override {}
};

// The same controller and port, ticked by a relative 100 ms timer whose phase has
// nothing to do with the change of second, until SIGTERM (or limitSeconds, so that
// it cannot outlive a benchmark that was killed). Returns the exit status; it
// returns rather than exits so that the port is let go of as in the program and
// the shim writes its stamps on the way out.
int runBaselineSender(const std::string& devicePath, int limitSeconds) {
    chronvane::DeviceMap devices;
    devices.setPath(0, devicePath);
    chronvane::SystemClock clock;
    QuietWindow window;
    chronvane::ClockController controller(clock, window, devices);
    controller.selectPort(1);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTERM);
    const int timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    const int stopped =
        sigprocmask(SIG_BLOCK, &stop, nullptr) == 0 ? signalfd(-1, &stop, SFD_CLOEXEC) : -1;
    itimerspec expiry{};
    expiry.it_value.tv_nsec = 1'000'000 + nanosOn(CLOCK_MONOTONIC) % 99'000'000;
    expiry.it_interval.tv_nsec = 100'000'000;
    if (timer < 0 || stopped < 0 || timerfd_settime(timer, 0, &expiry, nullptr) < 0) {
        std::perror("bench_timing --baseline-sender");
        return 1;
    }
    const std::int64_t end = nanosOn(CLOCK_MONOTONIC) + std::int64_t{limitSeconds} * nanosPerSecond;
    pollfd watch[2] = {{timer, POLLIN, 0}, {stopped, POLLIN, 0}};
    while (nanosOn(CLOCK_MONOTONIC) < end) {
        if (poll(watch, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("bench_timing --baseline-sender: poll");
            return 1;
        }
        if (watch[1].revents != 0) {
            break;
        }
        std::uint64_t expiries = 0;
        if (read(timer, &expiries, sizeof expiries) == static_cast<ssize_t>(sizeof expiries)) {
            controller.onTick();
        }
    }
    return 0;
}

// The baseline runs as this program again (--baseline-sender), so that the shim
// can be preloaded into it as into the console program.
Measurement measureBaseline(const Sender& sender, int seconds) {
    PtyPair pty;
    const std::string stampFile = stampFileFor("baseline");
    Measurement out;
    const auto start = SteadyClock::now();
    ChildProcess child(sender.self,
                       {"--baseline-sender", pty.devicePath(), std::to_string(seconds + 30)},
                       senderOptions(sender, pty.devicePath(), stampFile));
    receive(pty, Protocol::EseRealTimeClock, start + std::chrono::seconds(seconds), out);
    stopSender(child, "the baseline sender", pty, stampFile, out);
    return out;
}

// Two busy processes per processor at normal priority, for as long as the object
// lives. Each dies with the benchmark and after limitSeconds whatever happens, so
// none can outlive a run.
class Load {
  public:
    explicit Load(int limitSeconds) {
        const long processors = std::max(1L, sysconf(_SC_NPROCESSORS_ONLN));
        std::fflush(nullptr);
        for (long i = 0; i < 2 * processors; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                alarm(static_cast<unsigned>(limitSeconds));
                volatile std::uint64_t spin = 0;
                for (;;) {
                    spin = spin + 1;
                }
            }
            if (pid > 0) {
                m_pids.push_back(pid);
            }
        }
    }
    ~Load() {
        for (const pid_t pid : m_pids) {
            kill(pid, SIGKILL);
        }
        for (const pid_t pid : m_pids) {
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;
    std::size_t size() const { return m_pids.size(); }

  private:
    std::vector<pid_t> m_pids;
};

struct Spread {
    double p50Ms = 0;
    double p99Ms = 0;
    double maxMs = 0;
};

Spread spreadOf(std::vector<double> ms) {
    Spread s;
    if (ms.empty()) {
        return s;
    }
    std::sort(ms.begin(), ms.end());
    auto percentile = [&](double p) {
        const auto index = static_cast<std::size_t>(p * static_cast<double>(ms.size() - 1) + 0.5);
        return ms[std::min(index, ms.size() - 1)];
    };
    s.p50Ms = percentile(0.50);
    s.p99Ms = percentile(0.99);
    s.maxMs = ms.back();
    return s;
}

struct Figures {
    std::size_t messages = 0;
    Spread send;  // first write entered, after the start of the carried second
    std::size_t sends = 0;
    double p50Ms = 0;  // arrival
    double p99Ms = 0;
    double maxMs = 0;
    int wrongSeconds = 0;
    int missingSeconds = 0;
    int repeatedSeconds = 0;
};

// advanceNanos: how far before the second it carries each message was aimed; the
// times count from that point. 0 for the baseline.
Figures analyse(const Measurement& m, std::int64_t advanceNanos, bool verbose, const char* name) {
    Figures f;
    // Every message counts, the first one too: it waits for a change of second.
    if (m.arrivals.empty()) {
        return f;
    }
    std::vector<double> lateMs;
    std::vector<double> sendMs;
    std::set<std::int64_t> carried;
    for (std::size_t i = 0; i < m.arrivals.size(); ++i) {
        const Arrival& a = m.arrivals[i];
        const std::int64_t arrivedIn = (a.wallNanos + advanceNanos) / nanosPerSecond;
        // The most recent second at or before the arrival whose seconds field is the
        // one the message carries (local and UTC seconds agree: every zone in use
        // is offset by whole minutes).
        const std::int64_t start = arrivedIn - ((arrivedIn % 60 - a.second + 60) % 60);
        if (start != arrivedIn) {
            ++f.wrongSeconds;
        }
        if (!carried.insert(start).second) {
            ++f.repeatedSeconds;
        }
        const std::int64_t origin = start * nanosPerSecond - advanceNanos;
        lateMs.push_back(static_cast<double>(a.wallNanos - origin) / 1e6);
        // Its first write: the last one entered before it arrived.
        const auto after = std::upper_bound(m.sendNanos.begin(), m.sendNanos.end(), a.wallNanos);
        double sentMs = -1;
        if (after != m.sendNanos.begin()) {
            sentMs = static_cast<double>(*(after - 1) - origin) / 1e6;
            sendMs.push_back(sentMs);
        }
        if (verbose) {
            std::printf("%s: message %zu carries second %02d, sent %.3f ms, arrived %.3f ms\n",
                        name, i, a.second, sentMs, lateMs.back());
        }
    }
    const Spread arrival = spreadOf(lateMs);
    f.messages = lateMs.size();
    f.p50Ms = arrival.p50Ms;
    f.p99Ms = arrival.p99Ms;
    f.maxMs = arrival.maxMs;
    f.send = spreadOf(sendMs);
    f.sends = sendMs.size();
    const auto span = *carried.rbegin() - *carried.begin() + 1;
    f.missingSeconds = static_cast<int>(span - static_cast<std::int64_t>(carried.size()));
    return f;
}

void printHeader() {
    std::printf("%-27s %5s | %22s | %22s | %5s %7s %8s %9s\n", "", "", "first write entered, ms",
                "first byte arrived, ms", "", "", "", "");
    std::printf("%-27s %5s | %6s %7s %7s | %6s %7s %7s | %5s %7s %8s %9s\n", "run", "msgs", "p50",
                "p99", "max", "p50", "p99", "max", "wrong", "missing", "repeated", "malformed");
}

void printRow(const std::string& name, const Measurement& m, const Figures& f) {
    std::printf("%-27s %5zu | %6.3f %7.3f %7.3f | %6.3f %7.3f %7.3f | %5d %7d %8d %9d\n",
                name.c_str(), f.messages, f.send.p50Ms, f.send.p99Ms, f.send.maxMs, f.p50Ms,
                f.p99Ms, f.maxMs, f.wrongSeconds, f.missingSeconds, f.repeatedSeconds, m.malformed);
}

// At the send point: where the bytes leave on a real UART. The same for the
// console and the window, whose send thread gets the same treatment.
bool goalsMet(const Figures& f) {
    return f.messages > 0 && f.sends == f.messages && f.send.p50Ms <= 0.01 &&
           f.send.p99Ms <= 0.5 && f.wrongSeconds == 0 && f.missingSeconds == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    int advanceMs = 0;
    bool verbose = false;
    bool quick = false;
    std::string only;
    std::string program = CHRONVANE32_PATH;
    Sender sender{WRITE_STAMP_PATH, "/proc/self/exe"};
    if (argc == 4 && std::string(argv[1]) == "--baseline-sender") {
        return runBaselineSender(argv[2], std::atoi(argv[3]));
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--advance" && i + 1 < argc) {
            advanceMs = std::atoi(argv[++i]);
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--quick") {
            quick = true;
            seconds = 2;
        } else if (arg == "--program" && i + 1 < argc) {
            program = argv[++i];
        } else if (arg == "--shim" && i + 1 < argc) {
            sender.shim = argv[++i];
        } else if (arg == "--only" && i + 1 < argc &&
                   (std::string(argv[i + 1]) == "console" || std::string(argv[i + 1]) == "window")) {
            only = argv[++i];
        } else {
            std::fprintf(stderr,
                         "Usage: %s [--seconds N] [--advance MS] [--program PATH] [--shim PATH] [--verbose]"
                         " [--only console|window] [--quick]\n",
                         argv[0]);
            return 2;
        }
    }
    if (seconds < 3 && !quick) {
        std::fprintf(stderr, "bench_timing: --seconds must be at least 3\n");
        return 2;
    }
    char self[4096] = {};
    const ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self - 1);
    if (selfLength > 0) {
        sender.self.assign(self, static_cast<std::size_t>(selfLength));
    }
    const bool console = only.empty() || only == "console";
    const bool window = only.empty() || only == "window";
    // Every format in console mode, those with a radio in the window too.
    const int runsPerLoad = 1 + (console ? static_cast<int>(chronvane::allProtocols.size()) : 0) +
                            (window ? static_cast<int>(chronvane::radioProtocols.size()) : 0);
    const char* tz = std::getenv("TZ");
    std::printf(
        "bench_timing: %d s per run, %d runs; times after the start of the second each\n"
        "message carries (CLOCK_REALTIME): when the sender entered its first write to the\n"
        "device (preloaded shim) and when its first byte arrived at the pseudo-terminal's\n"
        "other end. The senders' TZ is this shell's: %s%s%s\n"
        "Advance (the program's times count from that much before each second, and each\n"
        "format's lead before that, so that its on-time byte starts at the second): %d ms\n\n",
        seconds, (quick ? 1 : 2) * runsPerLoad, tz ? "\"" : "", tz ? tz : "unset (the system's zone)",
        tz ? "\"" : "", advanceMs);
    std::fflush(stdout);

    struct Run {
        std::string name;
        Measurement measurement;
        Figures figures;
        bool program;
        // How far before its second each message was aimed: the advance and the lead.
        std::int64_t aimNanos = 0;
    };
    std::vector<Run> runs;
    std::size_t hogs = 0;
    // A pseudo-terminal or a child that cannot be had ends the benchmark: no figure
    // would mean anything.
    try {
        for (const bool loaded : {false, true}) {
            if (loaded && quick) {
                continue;
            }
            std::optional<Load> load;
            if (loaded) {
                // Bounded: the runs and a margin.
                load.emplace(runsPerLoad * (seconds + 5) + 30);
                hogs = load->size();
            }
            const std::string suffix = loaded ? ", load" : ", idle";
            for (const bool inWindow : {false, true}) {
                if (inWindow ? !window : !console) {
                    continue;
                }
                const std::string mode = inWindow ? "window" : "console";
                for (const Protocol protocol : inWindow ? std::span<const Protocol>(chronvane::radioProtocols)
                                                        : std::span<const Protocol>(chronvane::allProtocols)) {
                    const chronvane::TimeFormat& format = chronvane::formatOf(protocol);
                    const auto lead = std::chrono::nanoseconds(
                        chronvane::leadTime(format, format.line, benchFormat(protocol).settings));
                    runs.push_back({mode + " " + std::string(format.names.word) + suffix,
                                    measureProgram(program, sender, protocol, inWindow, seconds, advanceMs),
                                    {},
                                    true,
                                    std::int64_t{advanceMs} * 1'000'000 + lead.count()});
                }
            }
            runs.push_back(
                {"baseline 100 ms" + suffix, measureBaseline(sender, seconds), {}, false});
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_timing: %s\n", error.what());
        return 1;
    }
    for (Run& run : runs) {
        run.figures = analyse(run.measurement, run.aimNanos, verbose, run.name.c_str());
    }

    std::printf("load: %zu busy processes (two per processor)\n\n", hogs);
    printHeader();
    bool met = true;
    bool measured = true;
    long peak = 0;
    long anon = 0;
    long file = 0;
    double cpu = 0;
    double wall = 0;
    for (const Run& run : runs) {
        printRow(run.name, run.measurement, run.figures);
        if (run.figures.messages == 0 || run.figures.sends == 0) {
            std::fprintf(stderr, "bench_timing: %s measured nothing: %zu messages arrived, %zu writes seen%s\n",
                         run.name.c_str(), run.figures.messages, run.figures.sends,
                         run.program ? " (did the program start? run it by hand with these options)" : "");
            measured = false;
        }
        if (run.program) {
            met = met && goalsMet(run.figures);
            peak = std::max(peak, run.measurement.peakMemoryKiB);
            anon = std::max(anon, run.measurement.anonKiB);
            file = std::max(file, run.measurement.fileKiB);
            cpu += run.measurement.cpuSeconds;
            wall += run.measurement.wallSeconds;
        }
    }
    const auto mib = [](long kib) { return static_cast<double>(kib) / 1024.0; };
    std::printf(
        "\nsenders' peak resident memory (VmHWM): %.2f MiB"
        " (at the end: %.2f MiB private, %.2f MiB file-backed)\n",
        mib(peak), mib(anon), mib(file));
    std::printf("senders' CPU time: %.1f ms per minute\n", cpu / wall * 60e3);
    if (!measured) {
        std::printf("\nbench_timing: FAILED: a run measured nothing (standard error says which)\n");
        return 1;
    }
    if (quick) {
        std::printf("\nquick run: every sender started and sent; figures not judged\n");
        return 0;
    }
    std::printf(
        "\ngoals for the console and the window, idle and under load (first write entered:\n"
        "p50 <= 0.01 ms, p99 <= 0.5 ms; no wrong or missing seconds): %s\n",
        met ? "met" : "NOT met");
    return 0;
}
