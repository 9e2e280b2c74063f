#include <cstdio>
#include <string>
#include <vector>

#include "console_app.h"
#include "program_options.h"

namespace {

// Writes text to stream and flushes it; a failed write is an error the caller turns
// into a nonzero status.
bool print(std::FILE* stream, const std::string& text) {
    return std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
}

// The windowed run. The Win32 dialogs are not part of this build yet; until they
// are, the program says so and points at console mode.
int runWindow(chronvane::ProgramOptions& /*options*/, const std::string& self) {
    print(stderr, self + ": the window is not built yet; run it with --console\n");
    return 1;
}

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
    // Refuses any --device COMn=virtual here, with what to use instead.
    std::string notice;
    std::string error;
    if (!openVirtualPorts(options, notice, error)) {
        print(stderr, self + ": " + error + "\n");
        return 2;
    }
    return options.console ? runConsole(options) : runWindow(options, self);
}
