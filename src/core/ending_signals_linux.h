#pragma once

#include <signal.h>

#include <vector>

namespace chronvane {

// The signals that end a process unless it catches them, and that it can catch:
// each must end a run the way SIGTERM does, with the line closed and its exclusive
// use given up, or the device stays "busy" for every other user (and a pseudo-
// terminal never takes a reader again). Left out are those a fault of the
// program's own raises (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS, SIGABRT),
// where carrying on to a clean end is not to be trusted (the serial port gives up
// exclusive use on those by itself, and lets them go on), and the harmless ones
// below, which are ignored instead.
inline std::vector<int> endingSignals() {
    std::vector<int> signals{SIGHUP,  SIGINT,  SIGTERM,   SIGQUIT, SIGUSR1, SIGUSR2,  SIGALRM,
                             SIGVTALRM, SIGPROF, SIGIO, SIGPWR,  SIGXCPU, SIGSTKFLT};
    // Unhandled real-time signals end a process too.
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
        signals.push_back(signal);
    }
    return signals;
}

// Ended by default, but only telling of a write that then fails by itself: a
// reader that went away (EPIPE), a file at its size limit (EFBIG).
inline constexpr int harmlessSignals[] = {SIGPIPE, SIGXFSZ};

}  // namespace chronvane
