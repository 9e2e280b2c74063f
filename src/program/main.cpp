#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "console/console_app.h"
#include "start/exit_status.h"
#include "start/program_options.h"
#include "service/service_notifier.h"
#include "tick/stop_signals.h"
#include "start/window_loader.h"
#include "display_probe.h"
#include "program_start.h"
#include "process/standard_descriptors.h"

namespace {

#if CHRONVANE_HAVE_UI
std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Why the window cannot be shown, or empty when it can: a display to show it on, or
// a Qt platform chosen by hand (which may need none, such as offscreen), in the
// environment or with Qt's -platform option. An X display is tried first: Qt ends
// the process with SIGABRT when it cannot connect, before anything could fall back.
chronvane::ProblemLine windowProblem(const std::vector<std::string>& args) {
    std::string platform = environmentValue("QT_QPA_PLATFORM");
    std::string xDisplay = environmentValue("DISPLAY");
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "-platform" || args[i] == "--platform") {
            platform = args[i + 1];
        } else if (args[i] == "-display" || args[i] == "--display") {
            xDisplay = args[i + 1];
        }
    }
    const bool x11 = platform.empty() ? environmentValue("WAYLAND_DISPLAY").empty()
                                      : platform.starts_with("xcb");
    if (!x11) {
        return {};
    }
    if (xDisplay.empty()) {
        return "no display found";
    }
    const std::string problem = chronvane::x11DisplayProblem(xDisplay);
    return problem.empty() ? problem : "cannot show the window (" + problem + ")";
}

#endif

}  // namespace

int main(int argc, char** argv) {
    using namespace chronvane;
    keepRunningOnTerminalOutput();
    if (const SystemError error = fillClosedStandardDescriptors(); error.failed()) {
        reportAtStart("cannot put /dev/null on a closed standard descriptor: " + errorText(error));
        return exitFailure;
    }
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ProgramStart start = startProgram(args);
    if (!start.options) {
        return start.exitStatus;
    }
    ProgramOptions& options = *start.options;
#if CHRONVANE_HAVE_UI
    if (!options.console) {
        const chronvane::ProblemLine problem = windowProblem(args);
        if (problem.empty()) {
            const chronvane::Parsed<chronvane::RunWindowFunction*> window =
                loadWindowModule(CHRONVANE_WINDOW_MODULE_DIR);
            if (!window.value) {
                reportAtStart("cannot load the window: " + window.error +
                              "\nReinstall the program, or run it with --console.");
                return exitFailure;
            }
            return (**window.value)(&options, argc, argv);
        }
        reportAtStart(problem + ", running in console mode (--console)");
    }
#endif
    // Started by systemd as a service, the console program reports to it, and
    // files its events in the journal with the devices they concern.
    ServiceNotifier notifier(options.devices);
    return runConsole(options, &notifier);
}
