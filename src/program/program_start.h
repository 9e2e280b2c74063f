#pragma once

// src/program: chronvane32 itself. Each platform's main, the start they share
// (this header), the exit statuses, and what both programs (chronvane32 and the
// monitor) do first: how they print, and the standard descriptors they fill.

#include <optional>
#include <string>
#include <vector>

#include "start/program_options.h"

namespace chronvane {

// What chronvane32 does with its arguments before it runs, the same on every
// platform: reads them, answers --help and --version, and makes the virtual
// ports. args: the arguments without the program's own path.
// Returns the options to run with, or the exit status to end with at once
// (exitNormal after --help or --version, exitBadOption for a bad option,
// exitFailure when a virtual port could not be made or --help could not be
// printed); what went wrong has been told by then.
struct ProgramStart {
    std::optional<ProgramOptions> options;
    int exitStatus = 0;
};
ProgramStart startProgram(const std::vector<std::string>& args);

// Per platform (program_start_<platform>.cpp):
// Tells the operator something at start (what keeps the program from starting,
// or how it starts instead), as one "chronvane32: text" message: on standard error or, for a
// Windows program with no console to borrow (started from Explorer), in a message box.
void reportAtStart(const std::string& text);
// A line for standard error on the way to a run (a warning, where a virtual port's
// readers go). Never waits: a pipe nobody drains or a terminal stopped with
// Ctrl+S must not keep the clock from starting. Dropped when it cannot be written
// at once (Linux); on Windows, written as before where there is a console.
void noteAtStart(const std::string& line);
// Gives standard output and error somewhere to go when the run will print
// (Windows: a GUI program has none of its own); parsed is null after a bad option.
void prepareOutput(const ProgramOptions* parsed);
// What the program says about the system it found before it makes any port
// (Linux: a TZ that names no zone).
void reportStartConditions();

}  // namespace chronvane
