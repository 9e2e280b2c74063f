#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "core/ending_signals_linux.h"
#include "core/retry_on_interrupt.h"
#include "stop_signals_linux.h"

// The stop requests on Linux: SIGINT, SIGTERM and every other signal that would
// end the process (core/ending_signals_linux.h; unless ignored at start, as SIGHUP
// under nohup) are blocked while a StopSignals lives and read from a signalfd in
// the same poll as the tick; the old signal mask comes back afterwards. SIGPIPE and
// SIGXFSZ are ignored meanwhile: the log is best effort, and a reader of standard
// output that goes away must not end the clock.

namespace chronvane {

struct StopSignals::Watch {
    sigset_t oldMask{};
    bool blocked = false;
    int fd = -1;
    struct Ignored {
        int signal;
        struct sigaction oldAction;
    };
    std::vector<Ignored> ignored;

    ~Watch() {
        for (const Ignored& entry : ignored) {
            sigaction(entry.signal, &entry.oldAction, nullptr);
        }
        if (fd >= 0) {
            ::close(fd);
        }
        if (blocked) {
            sigprocmask(SIG_SETMASK, &oldMask, nullptr);
        }
    }

    // True when a stop signal was taken off the descriptor.
    bool consume() const {
        signalfd_siginfo info{};
        const ssize_t got = retryOnInterrupt([&] { return ::read(fd, &info, sizeof info); });
        return got == static_cast<ssize_t>(sizeof info);
    }
};

StopSignals::StopSignals() {
    auto watch = std::make_unique<Watch>();
    sigset_t stopSet;
    sigemptyset(&stopSet);
    for (const int signal : endingSignals()) {
        // One ignored at start stays ignored, as whoever started us asked (SIGHUP
        // under nohup); SIGINT and SIGTERM always stop.
        struct sigaction current {};
        if (signal != SIGINT && signal != SIGTERM &&
            (sigaction(signal, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)) {
            continue;
        }
        sigaddset(&stopSet, signal);
    }
    if (sigprocmask(SIG_BLOCK, &stopSet, &watch->oldMask) < 0) {
        m_failedCall = "sigprocmask";
        m_error = lastSystemError();
        return;
    }
    watch->blocked = true;
    watch->fd = signalfd(-1, &stopSet, SFD_NONBLOCK | SFD_CLOEXEC);
    if (watch->fd < 0) {
        m_failedCall = "signalfd";
        m_error = lastSystemError();
        return;
    }
    // The writes they stand for then fail by themselves (EPIPE when the reader of
    // standard output went away), and the log is best effort.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (const int signal : harmlessSignals) {
        Watch::Ignored entry{signal, {}};
        if (sigaction(signal, &ignore, &entry.oldAction) == 0) {
            watch->ignored.push_back(entry);
        }
    }
    m_watch = std::move(watch);
}

StopSignals::~StopSignals() = default;

void keepRunningOnTerminalOutput() {
    signal(SIGTTOU, SIG_IGN);
}

void StopSignals::requestStop() {
    // Blocked and read from the signalfd while a StopSignals watches.
    kill(getpid(), SIGTERM);
}

bool StopSignals::isWatching() const {
    return m_watch != nullptr;
}

const char* StopSignals::watchedRequests() {
    return "SIGINT, SIGTERM and SIGHUP";
}

int stopSignalDescriptor(const StopSignals& stop) {
    return stop.watch() != nullptr ? stop.watch()->fd : -1;
}

bool takeStopRequest(StopSignals& stop) {
    if (stop.watch() == nullptr) {
        return false;
    }
    bool taken = false;
    while (stop.watch()->consume()) {
        taken = true;
    }
    return taken;
}

StopSignals::Wake StopSignals::waitForTick(TickSource& tick) {
    if (!m_watch) {
        return Wake::failed;
    }
    for (;;) {
        const TickWait woke = waitForTickOr(tick, m_watch->fd, m_failedCall, m_error);
        if (woke != TickWait::other) {
            return woke == TickWait::tick ? Wake::tick : Wake::failed;
        }
        if (m_watch->consume()) {
            return Wake::stop;
        }
        // Readable, yet nothing to take: wait on.
    }
}

}  // namespace chronvane
