#include <windows.h>

#include <cstdint>

#include "stop_signals.h"

// The stop requests on Windows: a console control handler sets an event waited on
// together with the tick's timer (Ctrl+C, Ctrl+Break, the console closing, log-off,
// shut-down). For the last three Windows ends the process when the handler
// returns, so the handler holds on until the StopSignals is destroyed.

namespace chronvane {
namespace {

// Windows runs a console control handler on a thread of its own. The events it
// uses are made once and live as long as the process: a handler may still be
// running when the StopSignals that installed it is gone.
struct ControlEvents {
    HANDLE stopRequested = nullptr;  // manual-reset: set by the handler
    HANDLE portReleased = nullptr;   // manual-reset: set once the loop has ended
    SystemError error;
    const char* failedCall = "";
};

const ControlEvents& controlEvents() {
    static const ControlEvents events = [] {
        ControlEvents made;
        made.stopRequested = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (made.stopRequested == nullptr) {
            made.error = lastSystemError();
            made.failedCall = "CreateEvent";
            return made;
        }
        made.portReleased = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (made.portReleased == nullptr) {
            made.error = lastSystemError();
            made.failedCall = "CreateEvent";
        }
        return made;
    }();
    return events;
}

BOOL WINAPI onControl(DWORD type) {
    const ControlEvents& events = controlEvents();
    // A service has no console, yet hears every user's log-off: that user's
    // session ending is no reason for it to stop sending.
    if (type == CTRL_LOGOFF_EVENT && GetConsoleWindow() == nullptr) {
        return FALSE;
    }
    SetEvent(events.stopRequested);
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return TRUE;
        default:
            // The console is closing, or the user logging off or the system shutting
            // down: Windows ends the process as soon as this handler returns, so hold
            // it until the loop has ended and the port has been released. Windows
            // itself gives up waiting after a few seconds.
            WaitForSingleObject(events.portReleased, INFINITE);
            return TRUE;
    }
}

}  // namespace

struct StopSignals::Watch {
    ~Watch() {
        // Destroyed after everything the console loop made, the port included.
        SetEvent(controlEvents().portReleased);
        SetConsoleCtrlHandler(onControl, FALSE);
    }
};

StopSignals::StopSignals() {
    const ControlEvents& events = controlEvents();
    if (events.error.failed()) {
        m_failedCall = events.failedCall;
        m_error = events.error;
        return;
    }
    if (!ResetEvent(events.stopRequested) || !ResetEvent(events.portReleased)) {
        m_failedCall = "ResetEvent";
        m_error = lastSystemError();
        return;
    }
    if (!SetConsoleCtrlHandler(onControl, TRUE)) {
        m_failedCall = "SetConsoleCtrlHandler";
        m_error = lastSystemError();
        return;
    }
    m_watch = std::make_unique<Watch>();
}

StopSignals::~StopSignals() = default;

void StopSignals::requestStop() {
    SetEvent(controlEvents().stopRequested);
}

bool StopSignals::isWatching() const {
    return m_watch != nullptr;
}

const char* StopSignals::watchedRequests() {
    return "Ctrl+C, Ctrl+Break and the console's closing";
}

StopSignals::Wake StopSignals::waitForTick(TickSource& tick) {
    if (!m_watch) {
        return Wake::failed;
    }
    const TickWait woke =
        waitForTickOr(tick, reinterpret_cast<std::intptr_t>(controlEvents().stopRequested),
                      m_failedCall, m_error);
    if (woke == TickWait::other) {
        return Wake::stop;
    }
    return woke == TickWait::tick ? Wake::tick : Wake::failed;
}

void keepRunningOnTerminalOutput() {}

}  // namespace chronvane
