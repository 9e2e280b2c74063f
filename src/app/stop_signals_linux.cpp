#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

#include "core/retry_on_interrupt.h"
#include "stop_signals.h"

namespace chronvane {

struct StopSignals::Watch {
    sigset_t oldMask{};
    bool blocked = false;
    int fd = -1;
    struct sigaction oldPipeAction {};
    bool pipeIgnored = false;

    ~Watch() {
        if (pipeIgnored) {
            sigaction(SIGPIPE, &oldPipeAction, nullptr);
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
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    // The terminal closed; unless started under nohup, which asked for the hangup
    // to be ignored.
    struct sigaction hangup {};
    if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) {
        sigaddset(&stopSet, SIGHUP);
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
    // Writes to a reader that went away then fail with EPIPE, which the console
    // ignores, instead of ending the process.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    watch->pipeIgnored = sigaction(SIGPIPE, &ignore, &watch->oldPipeAction) == 0;
    m_watch = std::move(watch);
}

StopSignals::~StopSignals() = default;

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

std::intptr_t StopSignals::nativeHandle() const {
    return m_watch ? m_watch->fd : -1;
}

bool StopSignals::takeStopRequest() {
    if (!m_watch) {
        return false;
    }
    bool taken = false;
    while (m_watch->consume()) {
        taken = true;
    }
    return taken;
}

StopSignals::Wake StopSignals::waitForTick(TickSource& tick) {
    if (!m_watch) {
        return Wake::failed;
    }
    enum { tickSlot, stopSlot };
    pollfd watched[2] = {{static_cast<int>(tick.nativeHandle()), POLLIN, 0},
                         {m_watch->fd, POLLIN, 0}};
    for (;;) {
        watched[tickSlot].revents = 0;
        watched[stopSlot].revents = 0;
        if (retryOnInterrupt([&] { return poll(watched, 2, -1); }) < 0) {
            m_failedCall = "poll";
            m_error = lastSystemError();
            return Wake::failed;
        }
        if (watched[stopSlot].revents != 0 && m_watch->consume()) {
            return Wake::stop;
        }
        if (watched[tickSlot].revents != 0 && tick.acknowledge()) {
            return Wake::tick;
        }
    }
}

}  // namespace chronvane
