#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "process/time_zone_check.h"
#include "clock/clock_state.h"
#include "core/ending_signals_linux.h"
#include "core/line_settings.h"
#include "line_reader.h"
#include "message_report.h"
#include "monitor_options.h"
#include "process/print.h"
#include "process/standard_descriptors.h"
#include "report_output.h"
#include "stream_decoder.h"

namespace {

using namespace chronvane::monitor;

constexpr const char* self = "chronvane32-monitor";
// How often an unfinished message is looked at again when nothing arrives.
constexpr int idleCheckMs = 100;

using chronvane::print;

Timestamp wallClockNow() {
    return std::chrono::duration_cast<Timestamp>(
        std::chrono::system_clock::now().time_since_epoch());
}

// The monitor's own zone stands for the sender's: set TZ when they differ.
long localUtcOffset(Timestamp wallClock) {
    const std::time_t seconds = static_cast<std::time_t>(
        std::chrono::duration_cast<std::chrono::seconds>(wallClock).count());
    std::tm local{};
    return localtime_r(&seconds, &local) != nullptr ? local.tm_gmtoff : 0;
}

volatile sig_atomic_t stopSignal = 0;

void onStopSignal(int signal) {
    stopSignal = signal;
}

// SIGINT, SIGTERM, SIGHUP (the terminal closed) and every other signal that would
// end the process end the run instead, in order, with the line given up: they
// are blocked except inside ppoll, so that one arriving between the check of
// stopSignal and the wait cannot be lost. A signal ignored at start stays ignored
// (SIGHUP under nohup); SIGPIPE and SIGXFSZ are ignored, and the write they stand
// for fails by itself.
bool catchStopSignals(sigset_t& waitMask) {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    const std::vector<int> stopSignals = chronvane::endingSignals();
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int signal : stopSignals) {
        struct sigaction old {};
        if (sigaction(signal, nullptr, &old) != 0) {
            return false;
        }
        if (signal != SIGINT && signal != SIGTERM && old.sa_handler == SIG_IGN) {
            continue;
        }
        if (sigaction(signal, &action, nullptr) != 0) {
            return false;
        }
        sigaddset(&blocked, signal);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : chronvane::harmlessSignals) {
        if (sigaction(signal, &ignore, nullptr) != 0) {
            return false;
        }
    }
    if (sigprocmask(SIG_BLOCK, &blocked, &waitMask) != 0) {
        return false;
    }
    for (const int signal : stopSignals) {
        sigdelset(&waitMask, signal);
    }
    return true;
}

// This computer's clock, as the monitor's timing column depends on it: said on
// standard error at the first reading and at each change, never every second.
class ClockWatch {
  public:
    void check() {
        const chronvane::ClockState reading = m_reader.read();
        if (!m_state || reading.differsFrom(*m_state)) {
            print(stderr, std::string(self) + ": this computer's " +
                              chronvane::clockStateDetail(reading) + "\n");
        }
        m_state = reading;
    }
    // Empty while the state is unknown.
    std::optional<bool> synchronised() const {
        if (!m_state || m_state->sync == chronvane::ClockState::Sync::Unknown) {
            return std::nullopt;
        }
        return m_state->isSynchronised();
    }
    // For the JSON "clock" field.
    std::string word() const {
        if (!m_state || m_state->sync == chronvane::ClockState::Sync::Unknown) {
            return "unknown";
        }
        return m_state->isSynchronised() ? "synchronised" : "not synchronised";
    }

  private:
    chronvane::SystemClockState m_reader;
    std::optional<chronvane::ClockState> m_state;
};

struct Tally {
    long long messages = 0;
    long long bytesRead = 0;
    bool faultSeen = false;
};

// Queues each message's report; true once the wanted count is reached, or once
// nobody reads the reports any more (the other end of a pipe went away): the run
// then ends as for an interrupt, giving up the line.
bool report(const std::vector<DecodedMessage>& messages, const MonitorOptions& options,
            const ClockWatch& clock, Tally& tally, ReportOutput& output) {
    for (const DecodedMessage& message : messages) {
        output.add((options.json ? reportJson(message, clock.word()) : reportLine(message)) +
                   "\n");
        tally.faultSeen = tally.faultSeen || !message.sound();
        ++tally.messages;
        if (options.count && tally.messages >= *options.count) {
            return true;
        }
    }
    return output.readerGone();
}

int run(const MonitorOptions& options) {
    // Before any time is read: a TZ naming a FIFO would hold the first report for ever.
    if (const std::string zoneProblem = chronvane::guardTimeZone(); !zoneProblem.empty()) {
        print(stderr, std::string(self) + ": " + zoneProblem + "\n");
    }
    sigset_t waitMask;
    if (!catchStopSignals(waitMask)) {
        print(stderr, std::string(self) + ": signals: " + std::strerror(errno) + "\n");
        return 2;
    }
    chronvane::SystemError openError;
    const int fd = openLine(options.device, options.line, openError);
    if (fd < 0) {
        print(stderr, std::string(self) + ": " + options.device + ": " +
                          chronvane::errorText(openError) + "\n");
        return 2;
    }
    if (const chronvane::SystemError error = requestLowLatency(fd); error.failed()) {
        print(stderr, std::string(self) + ": " + options.device +
                          ": cannot ask the driver for low-latency mode (" +
                          chronvane::errorText(error) +
                          "); arrival times may be late by up to the adapter's latency timer\n");
    }
    StreamDecoder decoder(std::chrono::milliseconds(250), localUtcOffset, options.format);
    decoder.judgeTimes(true);
    decoder.markedErrors(options.line.parity != chronvane::Parity::None);
    decoder.listenAt(options.line);
    // A message sent in advance belongs to the second after the one it arrives in:
    // every arrival is taken that much later, so that the timing column counts from
    // the point the sender aimed at and the second carried matches.
    const Timestamp advance = std::chrono::microseconds(options.advance.micros());
    ClockWatch clock;
    clock.check();
    decoder.setOwnClockSynchronised(clock.synchronised());
    Timestamp lastCheck = wallClockNow();
    Tally tally;
    bool done = false;
    // What ended the run from the line's side, said once the output is settled.
    std::string lineEnd;
    std::vector<std::uint8_t> buffer(4096);
    std::fflush(stdout);
    auto output = std::make_unique<ReportOutput>(STDOUT_FILENO);
    while (!done && stopSignal == 0) {
        pollfd watch{fd, POLLIN, 0};
        const timespec timeout{0, idleCheckMs * 1000000L};
        const int ready = ppoll(&watch, 1, &timeout, &waitMask);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            lineEnd = std::strerror(errno);
            tally.faultSeen = true;
            break;
        }
        if (watch.revents == 0) {
            // Once a second, never while a message's bytes wait to be stamped.
            const Timestamp now = wallClockNow();
            if (now - lastCheck >= std::chrono::seconds(1)) {
                lastCheck = now;
                clock.check();
                decoder.setOwnClockSynchronised(clock.synchronised());
            }
            done = report(decoder.idle(now + advance), options, clock, tally, *output) || done;
            continue;
        }
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        const int readError = errno;
        // The time the bytes were taken off the line, whatever the output is doing.
        const Timestamp arrival = wallClockNow() + advance;
        if (got > 0) {
            tally.bytesRead += got;
            done = report(decoder.feed({buffer.data(), static_cast<std::size_t>(got)}, arrival),
                          options, clock, tally, *output);
            continue;
        }
        if (got < 0 && (readError == EINTR || readError == EAGAIN)) {
            continue;
        }
        // EIO (a pseudo-terminal whose sender went away) or end of file: the line is
        // gone; say so and end as for an interrupt.
        lineEnd = got == 0 ? "end of input" : std::strerror(readError);
        break;
    }
    const std::size_t trailing = decoder.finish();
    // The line first: the reports still queued may wait for their reader a little.
    closeLine(fd);
    output->drain(std::chrono::seconds(1));
    const long long dropped = output->dropped();
    const int writeError = output->writeError();
    const bool readerGone = output->readerGone();
    output.reset();
    if (!lineEnd.empty()) {
        print(stderr, std::string(self) + ": " + options.device + ": " + lineEnd + "\n");
    }
    // A line at the wrong speed, or one gone bad after its last message, must not
    // look healthy for want of a message to carry the fault.
    if (tally.messages == 0) {
        print(stderr, std::string(self) + ": " + options.device + ": read " +
                          std::to_string(tally.bytesRead) +
                          " bytes and found no time message in them" +
                          (tally.bytesRead > 0 ? "; is the sender at " + std::to_string(options.line.baudRate) +
                                                       " baud " + chronvane::framingText(options.line) + "?"
                                                 : std::string()) + "\n");
        tally.faultSeen = true;
    } else if (trailing > 0) {
        print(stderr, std::string(self) + ": " + options.device + ": " + std::to_string(trailing) +
                          " stray byte" + (trailing == 1 ? "" : "s") + " after the last message\n");
        tally.faultSeen = true;
    }
    // Never a report that was not written without saying so.
    if (dropped > 0 || writeError != 0) {
        print(stderr, std::string(self) + ": standard output: " + std::to_string(dropped) +
                          " report" + (dropped == 1 ? "" : "s") + " dropped (" +
                          (writeError != 0 ? std::strerror(writeError)
                           : readerGone    ? "nobody reads them any more"
                                           : "not read in time") +
                          ")\n");
    }
    if (options.count && tally.messages < *options.count && stopSignal == 0) {
        tally.faultSeen = true;
    }
    return tally.faultSeen || dropped > 0 || writeError != 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (const chronvane::SystemError error = chronvane::fillClosedStandardDescriptors();
        error.failed()) {
        print(stderr, std::string(self) +
                          ": cannot put /dev/null on a closed standard descriptor: " +
                          chronvane::errorText(error) + "\n");
        return 2;
    }
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const chronvane::Parsed<MonitorOptions> parsed = parseMonitorArguments(args);
    if (!parsed.value) {
        print(stderr, std::string(self) + ": " + parsed.error + "\nTry '" + self + " --help'.\n");
        return 2;
    }
    const MonitorOptions& options = *parsed.value;
    if (options.help) {
        return print(stdout, monitorUsageText(self)) ? 0 : 1;
    }
    if (options.version) {
        return print(stdout, std::string(monitorVersionText) + "\n") ? 0 : 1;
    }
    return run(options);
}
