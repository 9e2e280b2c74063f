#pragma once

// src/win32ui: the Windows window. Offers the windowed run (this header), made of
// native dialogs from the resource script: the main window, the About box, their
// placement and the tick pumped into the dialog's message loop.

#include "start/program_options.h"

namespace chronvane {

// The windowed run: the main window, modally, until it is closed; then the window
// object goes, and with it the controller and the port. Returns the exit status: 0
// once the window has been closed, 1 when it could not be made (the operator is
// told in a message box, since a windowed run has nowhere else to say it).
int runWindowedProgram(const ProgramOptions& options);

}  // namespace chronvane
