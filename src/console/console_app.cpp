#include "console_app.h"

#include <optional>
#include <string>

#include "clock/clock.h"
#include "clock/clock_controller.h"
#include "clock/clock_state.h"
#include "process/console_output.h"
#include "console_metrics.h"
#include "console_stand_in.h"
#include "start/exit_status.h"
#include "tick/realtime.h"
#include "tick/send_thread.h"
#include "start/start_sequence.h"
#include "tick/stop_signals.h"
#include "tick/tick_source.h"

namespace chronvane {
namespace {

void writeError(const std::string& text) {
    writeAll(standardError, std::string(executableName) + ": " + text + "\n");
}

// On standard error and to whoever watches the run (the service manager's status).
void report(ConsoleObserver& watcher, const std::string& text) {
    writeError(text);
    watcher.notice(text);
}

}  // namespace

int runConsole(ProgramOptions& options, ConsoleObserver* observer) {
    ConsoleObserver silent;
    ConsoleObserver& watcher = observer != nullptr ? *observer : silent;
    // Set up before the port is opened, so that a stop during start-up is not lost.
    StopSignals stop;
    if (!stop.isWatching()) {
        writeError(std::string("cannot watch for ") + StopSignals::watchedRequests() + ": " +
                   errorText(stop.error()));
        return exitFailure;
    }

    // Nothing else runs in this process but the tick: let it be on time on a busy
    // machine where the system allows that, and tell once how to allow what it
    // does not.
    for (const std::string& note : requestRealTime()) {
        report(watcher, note);
    }

    // Declared in this order so that the controller, and with it the port, goes
    // first on the way out, while the console and the tick it uses still exist.
    TickSource tick;
    tick.setAdvance(options.advance);
    ConsoleStandIn console(tick, standardOutput, standardError);
    console.setObserver(&watcher);
    SystemClock clock(options.advance);
    SystemClockState clockState;
    ClockController controller(clock, console, options.devices);
    applyOptions(options, clockState, controller);
    // Nobody can choose the port again here: a port that would not open at start
    // is tried again every second, as a pulled-out one is.
    controller.setRetryFailedOpens(true);
    // The same early wake as the window's send thread, on the console's one thread.
    connectTick(tick, controller);
    // --metrics: a folder that cannot be written is said once, and sending goes on.
    std::optional<ConsoleMetrics> metrics;
    if (!options.metricsDir.empty()) {
        metrics.emplace(options.metricsDir, options.advance.millis(), [&watcher](const std::string& text) {
            writeError(text);
            writeIfReady(standardOutput, text + "\n");
            watcher.logEntry(LogEntry{LogKind::MetricsNotWritten, {}, text});
        });
        controller.setSendTally(&metrics->tally());
    }

    runStartSequence(options.commandLine, console, controller);
    // --format wins over the text search of the command line.
    if (options.format) {
        console.checkProtocolRadio(options.format->protocol);
        controller.setFormatSettings(options.format->settings);
    }
    if (!tick.isRunning()) {
        report(watcher, "cannot start the 100 ms tick: " + errorText(tick.lastError()));
        return exitFailure;
    }
    watcher.started(controller);
    if (metrics) {
        metrics->writeNow(controller, clock);
    }

    for (;;) {
        switch (stop.waitForTick(tick)) {
            case StopSignals::Wake::tick:
                controller.onTick();
                watcher.tickHandled(controller);
                if (metrics) {
                    metrics->tickHandled(controller, clock);
                }
                break;
            case StopSignals::Wake::stop:
                watcher.stopping();
                if (metrics) {
                    metrics->writeNow(controller, clock);
                }
                return exitNormal;
            case StopSignals::Wake::failed:
                report(watcher, std::string(stop.failedCall()) + ": " + errorText(stop.error()));
                watcher.stopping();
                if (metrics) {
                    metrics->writeNow(controller, clock);
                }
                return exitFailure;
        }
    }
}

}  // namespace chronvane
