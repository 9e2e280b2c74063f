#include <windows.h>

#include "core/system_error.h"
#include "power_throttling.h"
#include "realtime.h"

namespace chronvane {

// Windows has no per-process real-time limit to consult: the high priority class
// is open to every user and lifts the tick above normal work without reaching the
// real-time class, which would starve the system's own input handling.
std::vector<std::string> requestRealTime() {
    std::vector<std::string> notes;
    if (!SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS)) {
        notes.push_back("running at normal priority (" + errorText(lastSystemError()) +
                        "); messages may leave late on a busy machine");
    }
    if (!optOutOfPowerThrottling()) {
        notes.push_back("Windows may throttle this process's timers (" +
                        errorText(lastSystemError()) + "); messages may leave late");
    }
    return notes;
}

// Within the normal priority class, time-critical runs ahead of every normal thread
// on the machine while leaving the real-time class to the system.
std::vector<std::string> requestRealTimeThread() {
    std::vector<std::string> notes;
    if (!SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL)) {
        notes.push_back("sending at normal priority (" + errorText(lastSystemError()) +
                        "); messages may leave late on a busy machine");
    }
    return notes;
}

}  // namespace chronvane
