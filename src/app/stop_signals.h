#pragma once

#include <cstdint>
#include <memory>

#include "core/system_error.h"
#include "tick_source.h"

namespace chronvane {

// The console program's one wait: for the next tick or for the operator asking it
// to stop. A stop is therefore handled between two ticks, never in the middle of a
// send. Per platform (stop_signals_<platform>.cpp): on POSIX, SIGINT, SIGTERM and
// every other signal that would end the process (core/ending_signals_linux.h;
// unless ignored at start, as SIGHUP under nohup) are blocked while this lives and
// read from a signalfd in the same poll as the tick; the old signal mask comes back
// afterwards. SIGPIPE and SIGXFSZ are ignored meanwhile:
// the log is best effort, and a reader of standard output that goes away must not
// end the clock. On Windows a console control handler sets an event waited on
// together with the tick's timer (Ctrl+C, Ctrl+Break, the console closing, log-off,
// shut-down); for the last three Windows ends the process when the handler
// returns, so the handler holds on until this object is destroyed: create it
// before, and destroy it after, the port.
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

    // For a caller with an event loop of its own (the window): a handle that loop
    // can wait on, ready while a stop request is pending (on POSIX the signalfd);
    // -1 when not watching. takeStopRequest() then takes the pending requests off
    // and says whether there was one.
    std::intptr_t nativeHandle() const;
    bool takeStopRequest();

    // Asks the waiting loop to stop as the operator's request would, from any
    // thread: how a service manager's stop reaches the console loop. Has no effect
    // until a StopSignals is watching.
    static void requestStop();

    // The system call behind the last failure (setting up or waiting), and why.
    const char* failedCall() const { return m_failedCall; }
    SystemError error() const { return m_error; }

  private:
    // The platform's watch; null when it could not be set up.
    struct Watch;

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
