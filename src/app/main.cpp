#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console_app.h"
#include "program_options.h"
#include "window_loader.h"

namespace {

// Writes text to stream and flushes it; a failed write (say, to /dev/full) is an
// error the caller turns into a nonzero status.
bool print(std::FILE* stream, const std::string& text) {
    return std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
}

#if CHRONVANE_HAVE_UI
// A display to show the window on, or a Qt platform chosen by hand (which may need
// none, such as offscreen), in the environment or with Qt's -platform option.
bool haveDisplay(const std::vector<std::string>& args) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') {
            return true;
        }
    }
    for (const std::string& arg : args) {
        if (arg == "-platform" || arg == "--platform") {
            return true;
        }
    }
    return false;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    using namespace chronvane;
    const std::string self = executableName;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParseResult parsed = parseProgramArguments(args);
    if (!parsed.options) {
        print(stderr, self + ": " + parsed.error + "\nTry '" + self + " --help'.\n");
        return 2;
    }
    ProgramOptions& options = *parsed.options;
    if (options.help) {
        return print(stdout, usageText(self)) ? 0 : 1;
    }
    if (options.version) {
        return print(stdout, std::string(versionText) + "\n") ? 0 : 1;
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
        if (haveDisplay(args)) {
            const WindowModule window = loadWindowModule(CHRONVANE_WINDOW_MODULE_DIR);
            if (window.run == nullptr) {
                print(stderr, self + ": cannot load the window: " + window.error +
                                  "\nReinstall the program, or run it with --console.\n");
                return 1;
            }
            return window.run(&options, argc, argv);
        }
        print(stderr, self + ": no display found, running in console mode (--console)\n");
    }
#endif
    return runConsole(options);
}
