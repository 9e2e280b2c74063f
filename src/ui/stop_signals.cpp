#include "stop_signals.h"

#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>

namespace chronvane {

StopSignals::StopSignals() {
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    // Unless started under nohup, which asked for the hangup to be ignored.
    struct sigaction hangup {};
    if (sigaction(SIGHUP, nullptr, &hangup) == 0 && hangup.sa_handler != SIG_IGN) {
        sigaddset(&stopSet, SIGHUP);
    }
    if (const int error = pthread_sigmask(SIG_BLOCK, &stopSet, &m_oldMask); error != 0) {
        m_error = error;
        return;
    }
    m_blocked = true;
    m_fd = signalfd(-1, &stopSet, SFD_NONBLOCK | SFD_CLOEXEC);
    if (m_fd < 0) {
        m_error = errno;
        // Blocked with nobody reading them, the signals would be lost for good.
        pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
        m_blocked = false;
    }
}

StopSignals::~StopSignals() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (m_blocked) {
        pthread_sigmask(SIG_SETMASK, &m_oldMask, nullptr);
    }
}

bool StopSignals::consume() {
    bool any = false;
    for (;;) {
        signalfd_siginfo info{};
        const ssize_t got = ::read(m_fd, &info, sizeof info);
        if (got == static_cast<ssize_t>(sizeof info)) {
            any = true;
            continue;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        // EAGAIN: nothing more pending.
        return any;
    }
}

}  // namespace chronvane
