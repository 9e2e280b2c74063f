#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/console_app.h"
#include "app/power_throttling.h"
#include "app/program_options.h"
#include "app/windows_service.h"
#include "win32ui/windowed_program.h"

// The program is linked for the GUI subsystem: started from Explorer or a shortcut
// its window comes up with no console flashing behind it, which is how nearly
// everyone runs it. A console-subsystem program would get a console window of its
// own there. The price is paid by the console uses: Windows gives a GUI program no
// standard streams, so --console, --help, --version and the option errors borrow
// the console of whoever started the program, and cmd.exe does not wait for it
// (`start /wait chronvane32 --console` does). Console mode started from a shortcut
// makes a console of its own. Redirected streams (a file, a pipe, Wine started
// from a shell) are used as they are. One program rather than two: one file to
// ship, and no way to start the wrong one.

namespace {

// True when the standard handle leads somewhere: redirected, or inherited.
bool hasStandardHandle(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
}

// Points fd (1 or 2) and its standard handle at the console's output. Best effort:
// with no console to write to there is nobody to tell either.
void useConsoleOutput(int fd, DWORD which) {
    const HANDLE console =
        CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        return;
    }
    SetStdHandle(which, console);
    const int opened = _open_osfhandle(reinterpret_cast<intptr_t>(console), _O_TEXT);
    if (opened >= 0 && opened != fd) {
        _dup2(opened, fd);
        _close(opened);
    }
}

// Gives standard output and error a console where they have none: the console of
// the process that started this one or, for console mode, a new one. Console mode
// always joins a console, redirected or not: Ctrl+C and Close reach a program
// through its console, and without one nothing could end it cleanly.
void connectConsole(bool consoleMode) {
    const bool output = hasStandardHandle(STD_OUTPUT_HANDLE);
    const bool error = hasStandardHandle(STD_ERROR_HANDLE);
    if (output && error && !consoleMode) {
        return;
    }
    if (GetConsoleWindow() == nullptr && !AttachConsole(ATTACH_PARENT_PROCESS) &&
        !(consoleMode && AllocConsole())) {
        return;
    }
    if (!output) {
        useConsoleOutput(1, STD_OUTPUT_HANDLE);
    }
    if (!error) {
        useConsoleOutput(2, STD_ERROR_HANDLE);
    }
}

// Writes text to stream and flushes it; a failed write is an error the caller turns
// into a nonzero status.
bool print(std::FILE* stream, const std::string& text) {
    return std::fputs(text.c_str(), stream) >= 0 && std::fflush(stream) == 0;
}

// For what goes wrong before anything runs: on standard error, or, for a program
// started with no console to borrow (from Explorer), in a message box.
void reportFailure(const std::string& self, const std::string& text) {
    connectConsole(false);
    if (hasStandardHandle(STD_ERROR_HANDLE)) {
        print(stderr, self + ": " + text + "\n");
    } else {
        MessageBoxA(nullptr, text.c_str(), self.c_str(), MB_OK | MB_ICONEXCLAMATION);
    }
}

}  // namespace

int main(int argc, char** argv) {
    using namespace chronvane;
    const std::string self = executableName;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    ParseResult parsed = parseProgramArguments(args);
    // Run by the service manager: no console to join, and never a message box (a
    // service has no desktop to show it on).
    if (parsed.options && parsed.options->service) {
        return runAsService(*parsed.options);
    }
    if (!parsed.options && std::find(args.begin(), args.end(), "--service") != args.end()) {
        print(stderr, self + ": " + parsed.error + "\n");
        return 2;
    }
    // A windowed run writes nothing; everything else may have to.
    if (!parsed.options || parsed.options->console || parsed.options->help ||
        parsed.options->version || parsed.options->installService ||
        !parsed.options->uninstallService.empty()) {
        connectConsole(parsed.options && parsed.options->console);
    }
    if (!parsed.options) {
        reportFailure(self, parsed.error + "\nTry '" + self + " --help'.");
        return 2;
    }
    ProgramOptions& options = *parsed.options;
    if (const std::optional<int> status = answerInformationOptions(options, self)) {
        return *status;
    }

    // Refuses any --device COMn=virtual here, with what to use instead.
    std::string notice;
    std::string error;
    if (!openVirtualPorts(options, notice, error)) {
        reportFailure(self, error);
        return 2;
    }
    if (!options.uninstallService.empty()) {
        return uninstallService(options);
    }
    if (options.installService) {
        return installService(options);
    }
    if (options.console) {
        return runConsole(options);
    }
    // A minimized window is where Windows 11 would lower the timer resolution.
    optOutOfPowerThrottling();
    return runWindowedProgram(options);
}
