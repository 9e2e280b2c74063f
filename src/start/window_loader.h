#pragma once

#include <string>

#include "core/parsed.h"
#include "program_options.h"

namespace chronvane {

// The Qt window is a module of its own that only a windowed run loads. A console
// run, the service on a headless box, then maps no Qt library at all: a quarter of
// the memory and half the start-up work, and the service's package still needs Qt
// only to be installed, not to be loaded.

// The module's one entry: runs the window on options until it is closed and returns
// the process exit status. argc/argv as main received them (Qt takes its own).
using RunWindowFunction = int(ProgramOptions* options, int argc, char** argv);
inline constexpr const char* runWindowSymbol = "chronvaneRunWindow";
inline constexpr const char* windowModuleFile = "chronvane32-window.so";

// Loads the window module from the executable's own directory (the build tree) or,
// failing that, from installedDir taken relative to it (an installed program keeps
// the module under its libdir). The module stays loaded for the life of the process:
// Qt registers exit handlers that must find its code still there. Without a module:
// one line naming every path tried, each with the dynamic loader's reason.
Parsed<RunWindowFunction*> loadWindowModule(const std::string& installedDir);

}  // namespace chronvane
