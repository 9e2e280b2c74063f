#include "windowed_program.h"

#include <windows.h>

#include <memory>

#include "clock/clock.h"
#include "clock_dialog.h"

namespace chronvane {

int runWindowedProgram(const ProgramOptions& options) {
    SystemClock clock;
    auto dialog = std::make_unique<ClockDialog>(GetModuleHandleA(nullptr), clock, options.devices);
    dialog->setCommandLine(options.commandLine);
    // Before the start sequence opens the port, which sets it at every open.
    dialog->controller().setFlowControl(options.flow);
    SystemError error;
    const bool ran = dialog->run(error);
    // The port closes here, after the window and its tick have gone.
    dialog.reset();
    if (!ran) {
        const std::string text =
            "The window could not be made: " + errorText(error) +
            "\nThe program file may be damaged; install it again, or run it with --console.";
        MessageBoxA(nullptr, text.c_str(), "chronvane32", MB_OK | MB_ICONERROR);
        return 1;
    }
    return 0;
}

}  // namespace chronvane
