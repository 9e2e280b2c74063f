#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

#include "console/console_app.h"
#include "process/time_zone_check.h"
#include "process/print.h"
#include "program_start.h"

// main_windows.cpp says why the program has no console of its own; here is how its
// console uses still print.

namespace chronvane {
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

}  // namespace

// A windowed run writes nothing; everything else may have to.
void prepareOutput(const ProgramOptions* parsed) {
    if (parsed == nullptr || parsed->console || parsed->help || parsed->version ||
        parsed->installService || !parsed->uninstallService.empty()) {
        connectConsole(parsed != nullptr && parsed->console);
    }
}

// For a program started with no console to borrow (from Explorer), a message box.
void reportAtStart(const std::string& text) {
    connectConsole(false);
    if (hasStandardHandle(STD_ERROR_HANDLE)) {
        print(stderr, std::string(executableName) + ": " + text + "\n");
    } else {
        MessageBoxA(nullptr, text.c_str(), executableName, MB_OK | MB_ICONEXCLAMATION);
    }
}

void noteAtStart(const std::string& line) {
    if (hasStandardHandle(STD_ERROR_HANDLE)) {
        print(stderr, line);
    }
}

// The C runtime reads TZ in a form of its own and quietly sends UTC for anything
// else.
void reportStartConditions() {
    const std::string zoneProblem = guardTimeZone();
    if (!zoneProblem.empty()) {
        reportAtStart(zoneProblem);
    }
}

}  // namespace chronvane
