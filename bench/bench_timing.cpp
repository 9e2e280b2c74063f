// How close to the change of second the time messages leave, measured from the
// receiving end of a pseudo-terminal, for the console program in both protocols and
// for a baseline that ticks every 100 ms at an arbitrary phase (what a plain
// relative 100 ms timer gives). Also the program's peak memory and CPU time.
//
// Usage: bench_timing [--seconds N] [--program PATH] [--verbose]

#include <sys/resource.h>
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
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "monitor/stream_decoder.h"
#include "pty_pair.h"
#include "timed_read.h"

namespace {

using chronvane::monitor::Fault;
using chronvane::test::ChildProcess;
using chronvane::test::PtyPair;

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
    int malformed = 0;
    long peakMemoryKiB = -1;  // VmHWM
    // At the end of the run: private memory, and shared library pages mapped in.
    long anonKiB = -1;
    long fileKiB = -1;
    double cpuSeconds = 0;
    double wallSeconds = 0;
};

// Reads messages until the monotonic deadline with the monitor's decoder, stamping
// each read with the wall clock: a message's first byte is when it arrived.
void receive(PtyPair& pty, std::chrono::steady_clock::time_point deadline, Measurement& out) {
    chronvane::monitor::StreamDecoder decoder;
    while (std::chrono::steady_clock::now() < deadline) {
        const chronvane::test::ReadChunk chunk =
            chronvane::test::readOnce(pty.controllerFd(), deadline);
        if (chunk.ended) {
            return;
        }
        const chronvane::monitor::Timestamp now{nanosOn(CLOCK_REALTIME)};
        for (const auto& message : decoder.feed(chunk.bytes, now)) {
            // A skipped or repeated second is what the analysis measures, not damage.
            const bool damaged = std::any_of(
                message.faults.begin(), message.faults.end(),
                [](Fault f) { return f != Fault::secondSkipped && f != Fault::secondRepeated; });
            if (damaged || !message.second) {
                ++out.malformed;
            } else {
                out.arrivals.push_back({message.firstByte.count(), *message.second});
            }
        }
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

Measurement measureProgram(const std::string& program, bool ese, int seconds) {
    PtyPair pty;
    std::vector<std::string> args{"--console", "--device", "COM1=" + pty.devicePath()};
    if (!ese) {
        args.push_back("-ostrel8");
    }
    Measurement out;
    const auto start = std::chrono::steady_clock::now();
    ChildProcess child(program, args);
    receive(pty, start + std::chrono::seconds(seconds), out);
    out.peakMemoryKiB = statusKiB(child.pid(), "VmHWM");
    out.anonKiB = statusKiB(child.pid(), "RssAnon");
    out.fileKiB = statusKiB(child.pid(), "RssFile");
    const std::string problem =
        chronvane::test::stopWithSigterm(child, std::chrono::seconds(5), pty.devicePath());
    out.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const rusage& usage = child.usage();
    out.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!problem.empty()) {
        std::fprintf(stderr, "bench_timing: %s did not end cleanly: %s\n", program.c_str(),
                     problem.c_str());
    }
    return out;
}

class QuietWindow final : public chronvane::ClockWindow {
  public:
    bool isEseSelected() const override { return true; }
    void showLog(const chronvane::MessageLog&) override {}
};

// The same controller and port, ticked by a relative 100 ms timer whose phase has
// nothing to do with the change of second.
[[noreturn]] void runBaselineSender(const std::string& devicePath, int seconds) {
    chronvane::DeviceMap devices;
    devices.setPath(0, devicePath);
    chronvane::SystemClock clock;
    QuietWindow window;
    chronvane::ClockController controller(clock, window, devices);
    controller.selectPort(1);
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    itimerspec expiry{};
    expiry.it_value.tv_nsec = 1'000'000 + nanosOn(CLOCK_MONOTONIC) % 99'000'000;
    expiry.it_interval.tv_nsec = 100'000'000;
    if (fd < 0 || timerfd_settime(fd, 0, &expiry, nullptr) < 0) {
        _exit(1);
    }
    const std::int64_t end = nanosOn(CLOCK_MONOTONIC) + std::int64_t{seconds} * nanosPerSecond;
    while (nanosOn(CLOCK_MONOTONIC) < end) {
        std::uint64_t expiries = 0;
        if (read(fd, &expiries, sizeof expiries) == static_cast<ssize_t>(sizeof expiries)) {
            controller.onTick();
        }
    }
    _exit(0);
}

Measurement measureBaseline(int seconds) {
    PtyPair pty;
    Measurement out;
    const auto start = std::chrono::steady_clock::now();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        runBaselineSender(pty.devicePath(), seconds);
    }
    receive(pty, start + std::chrono::seconds(seconds), out);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return out;
}

struct Figures {
    std::size_t messages = 0;
    double p50Ms = 0;
    double p99Ms = 0;
    double maxMs = 0;
    int wrongSeconds = 0;
    int missingSeconds = 0;
    int repeatedSeconds = 0;
};

Figures analyse(const Measurement& m, bool verbose, const char* name) {
    Figures f;
    // The first message goes out at the first tick after start-up, whenever that
    // falls in its second, so it says nothing about timing.
    if (m.arrivals.size() < 2) {
        return f;
    }
    std::vector<double> lateMs;
    std::set<std::int64_t> carried;
    for (std::size_t i = 1; i < m.arrivals.size(); ++i) {
        const Arrival& a = m.arrivals[i];
        const std::int64_t arrivedIn = a.wallNanos / nanosPerSecond;
        // The most recent second at or before the arrival whose seconds field is the
        // one the message carries (local and UTC seconds agree: TZ=UTC anyway).
        const std::int64_t start = arrivedIn - ((arrivedIn % 60 - a.second + 60) % 60);
        if (start != arrivedIn) {
            ++f.wrongSeconds;
        }
        if (!carried.insert(start).second) {
            ++f.repeatedSeconds;
        }
        lateMs.push_back(static_cast<double>(a.wallNanos - start * nanosPerSecond) / 1e6);
        if (verbose) {
            std::printf("%s: message %zu carries second %02d, %.3f ms late\n", name, i, a.second,
                        lateMs.back());
        }
    }
    std::sort(lateMs.begin(), lateMs.end());
    auto percentile = [&](double p) {
        const auto index =
            static_cast<std::size_t>(p * static_cast<double>(lateMs.size() - 1) + 0.5);
        return lateMs[std::min(index, lateMs.size() - 1)];
    };
    f.messages = lateMs.size();
    f.p50Ms = percentile(0.50);
    f.p99Ms = percentile(0.99);
    f.maxMs = lateMs.back();
    const auto span = *carried.rbegin() - *carried.begin() + 1;
    f.missingSeconds = static_cast<int>(span - static_cast<std::int64_t>(carried.size()));
    return f;
}

void printRow(const char* name, const Measurement& m, const Figures& f) {
    std::printf("%-22s %8zu %9.3f %9.3f %9.3f %7d %8d %9d %9d\n", name, f.messages, f.p50Ms,
                f.p99Ms, f.maxMs, f.wrongSeconds, f.missingSeconds, f.repeatedSeconds, m.malformed);
}

bool goalsMet(const Figures& f) {
    return f.messages > 0 && f.p50Ms <= 0.5 && f.p99Ms <= 2.0 && f.wrongSeconds == 0 &&
           f.missingSeconds == 0;
}

}  // namespace

int main(int argc, char** argv) {
    int seconds = 30;
    bool verbose = false;
    std::string program = CHRONVANE32_PATH;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atoi(argv[++i]);
        } else if (arg == "--verbose") {
            verbose = true;
        } else if (arg == "--program" && i + 1 < argc) {
            program = argv[++i];
        } else {
            std::fprintf(stderr, "Usage: %s [--seconds N] [--program PATH] [--verbose]\n", argv[0]);
            return 2;
        }
    }
    if (seconds < 3) {
        std::fprintf(stderr, "bench_timing: --seconds must be at least 3\n");
        return 2;
    }
    // The seconds field of local time then matches the UTC second the analysis uses.
    setenv("TZ", "UTC", 1);
    tzset();

    std::printf(
        "bench_timing: %d s per run; lateness = first byte's arrival (CLOCK_REALTIME)\n"
        "minus the start of the second the message carries; first message dropped\n\n",
        seconds);
    std::fflush(stdout);
    const Measurement ese = measureProgram(program, true, seconds);
    const Measurement dateTime = measureProgram(program, false, seconds);
    const Measurement baseline = measureBaseline(seconds);
    const Figures eseFigures = analyse(ese, verbose, "console ESE");
    const Figures dateTimeFigures = analyse(dateTime, verbose, "console 8-bit");
    const Figures baselineFigures = analyse(baseline, verbose, "baseline");

    std::printf("%-22s %8s %9s %9s %9s %7s %8s %9s %9s\n", "run", "messages", "p50 ms", "p99 ms",
                "max ms", "wrong", "missing", "repeated", "malformed");
    printRow("console ESE", ese, eseFigures);
    printRow("console 8-bit", dateTime, dateTimeFigures);
    printRow("baseline 100 ms ESE", baseline, baselineFigures);

    const long peak = std::max(ese.peakMemoryKiB, dateTime.peakMemoryKiB);
    const double cpuPerMinuteMs =
        (ese.cpuSeconds + dateTime.cpuSeconds) / (ese.wallSeconds + dateTime.wallSeconds) * 60e3;
    const auto mib = [](long kib) { return static_cast<double>(kib) / 1024.0; };
    std::printf(
        "\nconsole peak resident memory (VmHWM): %.2f MiB"
        " (at the end: %.2f MiB private, %.2f MiB file-backed)\n",
        mib(peak), mib(std::max(ese.anonKiB, dateTime.anonKiB)),
        mib(std::max(ese.fileKiB, dateTime.fileKiB)));
    std::printf("console CPU time: %.1f ms per minute\n", cpuPerMinuteMs);

    const bool met =
        goalsMet(eseFigures) && goalsMet(dateTimeFigures) && peak > 0 && peak <= 8 * 1024;
    std::printf(
        "\ngoals (p50 <= 0.5 ms, p99 <= 2 ms, no wrong or missing seconds, "
        "memory <= 8 MiB): %s\n",
        met ? "met" : "NOT met");
    return 0;
}
