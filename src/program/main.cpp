#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/console_app.h"
#include "app/program_options.h"
#include "app/stop_signals.h"
#include "app/time_zone_check.h"
#include "app/window_loader.h"
#include "app/service_notifier.h"
#include "display_probe.h"
#include "standard_descriptors.h"

namespace {

// Writes text to stream and flushes it; a failed write (say, to /dev/full) is an
// error the caller turns into a nonzero status.
bool print(std::FILE* stream, const std::string& text) {
    return std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
}

#if CHRONVANE_HAVE_UI
std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Why the window cannot be shown, or empty when it can: a display to show it on, or
// a Qt platform chosen by hand (which may need none, such as offscreen), in the
// environment or with Qt's -platform option. An X display is tried first: Qt ends
// the process with SIGABRT when it cannot connect, before anything could fall back.
std::string windowProblem(const std::vector<std::string>& args) {
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
    const std::string self = executableName;
    keepRunningOnTerminalOutput();
    if (const int error = fillClosedStandardDescriptors(); error != 0) {
        print(stderr, self + ": cannot put /dev/null on a closed standard descriptor: " +
                          std::strerror(error) + "\n");
        return 1;
    }
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParseResult parsed = parseProgramArguments(args);
    if (!parsed.options) {
        print(stderr, self + ": " + parsed.error + "\nTry '" + self + " --help'.\n");
        return 2;
    }
    ProgramOptions& options = *parsed.options;
    if (const std::optional<int> status = answerInformationOptions(options, self)) {
        return *status;
    }
    const char* zoneDirectoryValue = std::getenv("TZDIR");
    const std::string zoneDirectory = zoneDirectoryValue != nullptr && *zoneDirectoryValue != '\0'
                                          ? zoneDirectoryValue
                                          : "/usr/share/zoneinfo";
    const char* tzValue = std::getenv("TZ");
    const std::optional<std::string> tz =
        tzValue != nullptr ? std::optional<std::string>(tzValue) : std::nullopt;
    if (namesSomethingElseThanAFile(tzValue, zoneDirectory)) {
        setenv("TZ", "UTC0", 1);
    }
    const std::string zoneProblem =
        timeZoneProblem(tz ? tz->c_str() : nullptr, zoneDirectory, zoneInEffect());
    if (!zoneProblem.empty()) {
        print(stderr, self + ": " + zoneProblem + "\n");
    }
    std::string notice;
    std::string error;
    const bool virtualOk = openVirtualPorts(options, notice, error);
    print(stderr, notice);
    if (!virtualOk) {
        // Not a bad option: the system had no pseudo-terminal to give.
        print(stderr, self + ": " + error + "\n");
        return 1;
    }
#if CHRONVANE_HAVE_UI
    if (!options.console) {
        const std::string problem = windowProblem(args);
        if (problem.empty()) {
            const WindowModule window = loadWindowModule(CHRONVANE_WINDOW_MODULE_DIR);
            if (window.run == nullptr) {
                print(stderr, self + ": cannot load the window: " + window.error +
                                  "\nReinstall the program, or run it with --console.\n");
                return 1;
            }
            return window.run(&options, argc, argv);
        }
        print(stderr, self + ": " + problem + ", running in console mode (--console)\n");
    }
#endif
    // Started by systemd as a service, the console program reports to it.
    ServiceNotifier notifier;
    return runConsole(options, &notifier);
}
