#pragma once

#include <memory>

#include "core/system_error.h"
#include "tick_source.h"

namespace chronvane {

// The console program's one wait: for the next tick or for the operator asking it
// to stop (Ctrl+C, the terminal or console closing, the system shutting down). A
// stop is therefore handled between two ticks, never in the middle of a send. How
// the requests are caught is per platform (stop_signals_<platform>.cpp). A stop
// can end the process soon after it has been seen: create this before, and
// destroy it after, the port.
class StopSignals {
  public:
    enum class Wake {
        tick,    // the tick is due: call onTick
        stop,    // the operator asked to stop
        failed,  // the wait itself failed: failedCall() and error() say why
    };

    // Starts watching for stop requests. On failure isWatching() is false.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool isWatching() const;
    // What could not be watched, for "cannot watch for ...".
    static const char* watchedRequests();

    // Blocks until tick's expiry has been acknowledged as a tick (see
    // TickSource::acknowledge), or a stop request arrives. A stop that arrives
    // together with a tick wins: the operator asked to end.
    Wake waitForTick(TickSource& tick);

    // Asks the waiting loop to stop as the operator's request would, from any
    // thread: how a service manager's stop reaches the console loop. Has no effect
    // until a StopSignals is watching.
    static void requestStop();

    // The system call behind the last failure (setting up or waiting), and why.
    const char* failedCall() const { return m_failedCall; }
    SystemError error() const { return m_error; }

    // The platform's watch, for what only one platform offers
    // (stop_signals_<platform>.h); null when it could not be set up.
    struct Watch;
    Watch* watch() const { return m_watch.get(); }

  private:
    std::unique_ptr<Watch> m_watch;
    const char* m_failedCall = "";
    SystemError m_error;
};

// A time sender never stops for its own output: a background run on a terminal
// with "stty tostop" would otherwise be stopped (SIGTTOU) at its first line on
// standard error and send nothing until someone continued it. The line goes out
// as from a foreground run. Call it first thing in main; on Windows it does nothing.
void keepRunningOnTerminalOutput();

}  // namespace chronvane
