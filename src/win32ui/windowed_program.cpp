#include "windowed_program.h"

#include <windows.h>

#include <memory>

#include "start/exit_status.h"
#include "start/start_sequence.h"
#include "clock/clock.h"
#include "clock/clock_state.h"
#include "clock_dialog.h"

namespace chronvane {

int runWindowedProgram(const ProgramOptions& options) {
    SystemClock clock(sendAdvance(options));
    SystemClockState clockState;
    auto dialog = std::make_unique<ClockDialog>(GetModuleHandleA(nullptr), clock, options.devices);
    dialog->setCommandLine(options.commandLine);
    applyOptions(options, clockState, dialog->controller());
    dialog->setAdvance(sendAdvance(options));
    const SystemError error = dialog->run();
    // The port closes here, after the window and its tick have gone.
    dialog.reset();
    if (error.failed()) {
        const std::string text =
            "The window could not be made: " + errorText(error) +
            "\nThe program file may be damaged; install it again, or run it with --console.";
        MessageBoxA(nullptr, text.c_str(), "chronvane32", MB_OK | MB_ICONERROR);
        return exitFailure;
    }
    return exitNormal;
}

}  // namespace chronvane
