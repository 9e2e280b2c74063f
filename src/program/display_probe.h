#pragma once

#include <string>

#include "core/system_error.h"

namespace chronvane {

// Tries to connect to the X display named display (as in DISPLAY, for example
// ":0" or "host:1.0") the way the window toolkit would, and disconnects again.
// Qt's X platform ends the process with SIGABRT when it cannot connect, so this
// is asked before the window is made. Returns empty when the display took the
// connection, else one phrase saying why not ("no X server answers on :77" and the
// like). The X client library is loaded only for this call; when it cannot be
// loaded, the window could not be shown either, and that is the reason given.
ProblemLine x11DisplayProblem(const std::string& display);

}  // namespace chronvane
