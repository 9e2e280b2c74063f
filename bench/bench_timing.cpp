// How close to the change of second the time messages leave, measured from the
// receiving end of a pseudo-terminal, for the console program in both protocols and
// for a baseline that ticks every 100 ms at an arbitrary phase (what a plain
// relative 100 ms timer gives). Also the program's peak memory and CPU time.
//
// Usage: bench_timing [--seconds N] [--program PATH] [--verbose]

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "core/wire_format.h"

namespace {

using chronvane::ByteString;
namespace wire = chronvane::wire;

constexpr std::int64_t nanosPerSecond = 1'000'000'000;

std::int64_t nanosOn(clockid_t clock) {
    timespec ts{};
    clock_gettime(clock, &ts);
    return std::int64_t{ts.tv_sec} * nanosPerSecond + ts.tv_nsec;
}

// The seconds field a whole message carries; nullopt when it is malformed.
std::optional<int> carriedSecond(const ByteString& bytes, bool ese) {
    if (ese) {
        if (bytes.size() != wire::eseLength || bytes[5] != wire::eseSeparator ||
            bytes[11] != wire::eseTerminator) {
            return std::nullopt;
        }
        const int tens = bytes[6] - '0';
        const int ones = bytes[7] - '0';
        if (tens < 0 || tens > 5 || ones < 0 || ones > 9) {
            return std::nullopt;
        }
        return tens * 10 + ones;
    }
    if (bytes.size() != wire::dateTimeLength) {
        return std::nullopt;
    }
    for (std::size_t packet = 0; packet < wire::packetCount; ++packet) {
        const std::uint8_t* p = bytes.data() + packet * wire::packetLength;
        if (!std::equal(wire::packetHeader.begin(), wire::packetHeader.end(), p) ||
            p[5] != wire::firstVariable + packet || p[7] != wire::packetChecksum(p[5], p[6])) {
            return std::nullopt;
        }
    }
    const int second = bytes[(wire::packetCount - 1) * wire::packetLength + 6];
    return second <= 59 ? std::optional<int>(second) : std::nullopt;
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

class Pty {
  public:
    Pty() {
        char name[256] = {};
        if (openpty(&m_controller, &m_device, name, nullptr, nullptr) != 0) {
            std::perror("openpty");
            std::exit(1);
        }
        m_path = name;
        fcntl(m_controller, F_SETFD, FD_CLOEXEC);
        fcntl(m_device, F_SETFD, FD_CLOEXEC);
        fcntl(m_controller, F_SETFL, fcntl(m_controller, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        close(m_controller);
        close(m_device);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    int controller() const { return m_controller; }
    const std::string& path() const { return m_path; }

  private:
    int m_controller = -1;
    int m_device = -1;
    std::string m_path;
};

// Reads messages until the monotonic deadline, stamping each one's first byte.
void receive(const Pty& pty, bool ese, std::int64_t deadline, Measurement& out) {
    const std::size_t length = ese ? wire::eseLength : wire::dateTimeLength;
    ByteString pending;
    std::int64_t firstByteAt = 0;
    for (;;) {
        const std::int64_t left = deadline - nanosOn(CLOCK_MONOTONIC);
        if (left <= 0) {
            return;
        }
        pollfd watch{pty.controller(), POLLIN, 0};
        const int ready = poll(&watch, 1, static_cast<int>(left / 1'000'000 + 1));
        if (ready <= 0) {
            continue;
        }
        const std::int64_t now = nanosOn(CLOCK_REALTIME);
        std::uint8_t buffer[256];
        const ssize_t got = read(pty.controller(), buffer, sizeof buffer);
        if (got <= 0) {
            continue;
        }
        for (ssize_t i = 0; i < got; ++i) {
            if (pending.empty()) {
                firstByteAt = now;
            }
            pending.push_back(buffer[i]);
            if (pending.size() == length) {
                if (const auto second = carriedSecond(pending, ese)) {
                    out.arrivals.push_back({firstByteAt, *second});
                } else {
                    ++out.malformed;
                }
                pending.clear();
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

pid_t spawn(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

Measurement measureProgram(const std::string& program, bool ese, int seconds) {
    Pty pty;
    std::vector<std::string> args{"--console", "--device", "COM1=" + pty.path()};
    if (!ese) {
        args.push_back("-ostrel8");
    }
    Measurement out;
    const std::int64_t start = nanosOn(CLOCK_MONOTONIC);
    const pid_t pid = spawn(program, args);
    if (pid < 0) {
        std::perror("fork");
        std::exit(1);
    }
    receive(pty, ese, start + std::int64_t{seconds} * nanosPerSecond, out);
    out.peakMemoryKiB = statusKiB(pid, "VmHWM");
    out.anonKiB = statusKiB(pid, "RssAnon");
    out.fileKiB = statusKiB(pid, "RssFile");
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    out.wallSeconds = static_cast<double>(nanosOn(CLOCK_MONOTONIC) - start) / 1e9;
    out.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_timing: %s did not end cleanly (status %d)\n", program.c_str(),
                     status);
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
    Pty pty;
    Measurement out;
    const std::int64_t start = nanosOn(CLOCK_MONOTONIC);
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        runBaselineSender(pty.path(), seconds);
    }
    receive(pty, true, start + std::int64_t{seconds} * nanosPerSecond, out);
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
