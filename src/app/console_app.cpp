#include "console_app.h"

#include <string>

#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "console_output.h"
#include "console_window.h"
#include "start_sequence.h"
#include "stop_signals.h"
#include "tick_source.h"

namespace chronvane {
namespace {

void reportError(const std::string& what, SystemError error) {
    writeAll(standardError,
             std::string(executableName) + ": " + what + ": " + errorText(error) + "\n");
}

}  // namespace

int runConsole(ProgramOptions& options) {
    // Set up before the port is opened, so that a stop during start-up is not lost.
    StopSignals stop;
    if (!stop.isWatching()) {
        reportError(std::string("cannot watch for ") + StopSignals::watchedRequests(),
                    stop.error());
        return 1;
    }

    // Declared in this order so that the controller, and with it the port, goes
    // first on the way out, while the console and the tick it uses still exist.
    TickSource tick;
    ConsoleWindow console(tick, standardOutput, standardError);
    SystemClock clock;
    ClockController controller(clock, console, options.devices);

    runStartSequence(options.commandLine, console, controller);
    if (!tick.isRunning()) {
        reportError("cannot start the 100 ms tick", tick.lastError());
        return 1;
    }

    for (;;) {
        switch (stop.waitForTick(tick)) {
            case StopSignals::Wake::tick:
                controller.onTick();
                break;
            case StopSignals::Wake::stop:
                return 0;
            case StopSignals::Wake::failed:
                reportError(stop.failedCall(), stop.error());
                return 1;
        }
    }
}

}  // namespace chronvane
