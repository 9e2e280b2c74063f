#include "console_app.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "console_window.h"
#include "start_sequence.h"
#include "tick_source.h"

namespace chronvane {
namespace {

void reportError(const std::string& what, int error) {
    writeAll(STDERR_FILENO,
             std::string(executableName) + ": " + what + ": " + std::strerror(error) + "\n");
}

// SIGINT, SIGTERM and SIGHUP (the terminal closed) arrive as a readable descriptor in the same poll
// as the tick, so a stop is handled between two ticks and never in the middle of a send. The
// signals are blocked while this lives and the old mask comes back afterwards.
class StopSignals {
  public:
    StopSignals() {
        sigset_t stopSet;
        sigemptyset(&stopSet);
        sigaddset(&stopSet, SIGINT);
        sigaddset(&stopSet, SIGTERM);
        // Unless started under nohup, which asked for the hangup to be ignored.
        struct sigaction hangup {};
        if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) {
            sigaddset(&stopSet, SIGHUP);
        }
        if (sigprocmask(SIG_BLOCK, &stopSet, &m_oldMask) < 0) {
            m_error = errno;
            return;
        }
        m_blocked = true;
        m_fd = signalfd(-1, &stopSet, SFD_NONBLOCK | SFD_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno;
        }
    }
    ~StopSignals() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (m_blocked) {
            sigprocmask(SIG_SETMASK, &m_oldMask, nullptr);
        }
    }
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // -1 when the signals could not be set up; error() says why.
    int fd() const { return m_fd; }
    int error() const { return m_error; }

    // True when a stop signal was taken off the descriptor.
    bool consume() {
        signalfd_siginfo info{};
        ssize_t got;
        do {
            got = ::read(m_fd, &info, sizeof info);
        } while (got < 0 && errno == EINTR);
        return got == static_cast<ssize_t>(sizeof info);
    }

  private:
    sigset_t m_oldMask{};
    bool m_blocked = false;
    int m_fd = -1;
    int m_error = 0;
};

// The log is best effort: a reader of standard output that goes away (a pipe into
// a pager, a restarted log collector) must not end the clock with SIGPIPE. The
// write then fails with EPIPE, which the console ignores.
class IgnoreBrokenPipe {
  public:
    IgnoreBrokenPipe() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        m_saved = sigaction(SIGPIPE, &ignore, &m_old) == 0;
    }
    ~IgnoreBrokenPipe() {
        if (m_saved) {
            sigaction(SIGPIPE, &m_old, nullptr);
        }
    }
    IgnoreBrokenPipe(const IgnoreBrokenPipe&) = delete;
    IgnoreBrokenPipe& operator=(const IgnoreBrokenPipe&) = delete;

  private:
    struct sigaction m_old {};
    bool m_saved = false;
};

}  // namespace

int runConsole(ProgramOptions& options) {
    // Set up before the port is opened, so that a stop during start-up is not lost.
    StopSignals stop;
    if (stop.fd() < 0) {
        reportError("cannot watch for SIGINT, SIGTERM and SIGHUP", stop.error());
        return 1;
    }
    const IgnoreBrokenPipe keepRunning;

    // Declared in this order so that the controller, and with it the port, goes
    // first on the way out, while the console and the tick it uses still exist.
    TickSource tick;
    ConsoleWindow console(tick, STDOUT_FILENO, STDERR_FILENO);
    SystemClock clock;
    ClockController controller(clock, console, options.devices);

    runStartSequence(options.commandLine, console, controller);
    if (!tick.isRunning()) {
        reportError("cannot start the 100 ms tick", tick.lastError());
        return 1;
    }

    enum { tickSlot, stopSlot };
    pollfd watched[2] = {{tick.fd(), POLLIN, 0}, {stop.fd(), POLLIN, 0}};
    for (;;) {
        watched[tickSlot].revents = 0;
        watched[stopSlot].revents = 0;
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            reportError("poll", errno);
            return 1;
        }
        // A stop that arrives together with a tick wins: the operator asked to end.
        if (watched[stopSlot].revents != 0 && stop.consume()) {
            return 0;
        }
        if (watched[tickSlot].revents != 0 && tick.acknowledge()) {
            controller.onTick();
        }
    }
}

}  // namespace chronvane
