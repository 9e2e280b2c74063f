#include <algorithm>
#include <string>
#include <vector>

#include "console/console_app.h"
#include "start/exit_status.h"
#include "tick/power_throttling.h"
#include "service/windows_service.h"
#include "process/print.h"
#include "program_start.h"
#include "win32ui/windowed_program.h"

// The program is linked for the GUI subsystem: started from Explorer or a shortcut
// its window comes up with no console flashing behind it, which is how nearly
// everyone runs it. A console-subsystem program would get a console window of its
// own there. The price is paid by the console uses: Windows gives a GUI program no
// standard streams, so --console, --help, --version and the option errors borrow
// the console of whoever started the program (program_start_windows.cpp), and
// cmd.exe does not wait for it (`start /wait chronvane32 --console` does). Console
// mode started from a shortcut makes a console of its own. Redirected streams (a
// file, a pipe, Wine started from a shell) are used as they are. One program rather
// than two: one file to ship, and no way to start the wrong one.

int main(int argc, char** argv) {
    using namespace chronvane;
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    // Run by the service manager: no console to join, and never a message box (a
    // service has no desktop to show it on).
    if (std::find(args.begin(), args.end(), "--service") != args.end()) {
        Parsed<ProgramOptions> parsed = parseProgramArguments(args);
        if (!parsed.value) {
            print(stderr, std::string(executableName) + ": " + parsed.error + "\n");
            return exitBadOption;
        }
        if (parsed.value->service) {
            return runAsService(*parsed.value);
        }
    }
    ProgramStart start = startProgram(args);
    if (!start.options) {
        return start.exitStatus;
    }
    ProgramOptions& options = *start.options;
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
