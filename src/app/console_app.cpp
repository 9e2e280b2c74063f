#include "console_app.h"

#include <string>

#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "console_output.h"
#include "console_stand_in.h"
#include "realtime.h"
#include "start_sequence.h"
#include "stop_signals.h"
#include "tick_source.h"

namespace chronvane {
namespace {

void reportError(const std::string& what, SystemError error) {
    writeAll(standardError,
             std::string(executableName) + ": " + what + ": " + errorText(error) + "\n");
}

// An idle processor takes its time to wake for the tick (here up to milliseconds),
// so the tick comes this much early and spends the rest reading the clock until
// the second changes. Measured with 150, 300, 500, 1000 and 2000 us: 300 and more
// took the idle send time from p99 in milliseconds to tens of microseconds; each
// further 100 us of lead costs about 6 ms of processor time per minute, and 2000
// did worse again. The console only: its process is nothing but the tick, and
// the spin is at most once a second. The window keeps ticking on the slots: it
// runs at normal priority, where the spin could be preempted anyway, and shares
// its thread with the user interface.
constexpr int wakeLeadMicros = 500;
}  // namespace

int runConsole(ProgramOptions& options, ConsoleObserver* observer) {
    ConsoleObserver silent;
    ConsoleObserver& watcher = observer != nullptr ? *observer : silent;
    // Set up before the port is opened, so that a stop during start-up is not lost.
    StopSignals stop;
    if (!stop.isWatching()) {
        reportError(std::string("cannot watch for ") + StopSignals::watchedRequests(),
                    stop.error());
        return 1;
    }

    // Nothing else runs in this process but the tick: let it be on time on a busy
    // machine where the system allows that, and tell once how to allow what it
    // does not.
    for (const std::string& note : requestRealTime()) {
        writeAll(standardError, std::string(executableName) + ": " + note + "\n");
        watcher.notice(note);
    }

    // Declared in this order so that the controller, and with it the port, goes
    // first on the way out, while the console and the tick it uses still exist.
    TickSource tick;
    tick.setWakeLead(wakeLeadMicros);
    ConsoleStandIn console(tick, standardOutput, standardError);
    console.setObserver(&watcher);
    SystemClock clock;
    ClockController controller(clock, console, options.devices);
    controller.setFlowControl(options.flow);
    // Nobody can choose the port again here: a port that would not open at start
    // is tried again every second, as a pulled-out one is.
    controller.setRetryFailedOpens(true);

    runStartSequence(options.commandLine, console, controller);
    if (!tick.isRunning()) {
        reportError("cannot start the 100 ms tick", tick.lastError());
        watcher.notice("cannot start the 100 ms tick: " + errorText(tick.lastError()));
        return 1;
    }
    watcher.started(controller);

    for (;;) {
        switch (stop.waitForTick(tick)) {
            case StopSignals::Wake::tick:
                controller.onTick();
                watcher.tickHandled(controller);
                break;
            case StopSignals::Wake::stop:
                watcher.stopping();
                return 0;
            case StopSignals::Wake::failed:
                reportError(stop.failedCall(), stop.error());
                watcher.notice(std::string(stop.failedCall()) + ": " + errorText(stop.error()));
                watcher.stopping();
                return 1;
        }
    }
}

}  // namespace chronvane
