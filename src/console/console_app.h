#pragma once

// src/console: the program without a window. Offers runConsole (the start
// sequence with a stand-in for the window, then the tick loop until a stop), the
// stand-in itself (console_stand_in.h) and what an observer hears of a run
// (console_observer.h). No window toolkit.

#include "console_observer.h"
#include "process/program_name.h"
#include "start/program_options.h"

namespace chronvane {

// Runs without a window until SIGINT, SIGTERM or SIGHUP: asks for real-time priority and
// locked memory (see requestRealTime), the start sequence with the console standing
// in for the window, with options.flow and a port that failed to open tried again
// every second, then a loop that ticks the controller on the wall clock's 100 ms
// slots. The log goes to standard output, one line per entry;
// device names, open failures and "No timers available." go to standard error.
// options.commandLine is upper-cased by the start sequence.
// Returns the exit status: 0 after one of those signals (the port has been closed and
// released by then), 1 when no timer could be had or the loop itself failed.
// observer (may be null) hears of the start, every tick, line and notice, and the
// stop; see ConsoleObserver.
int runConsole(ProgramOptions& options, ConsoleObserver* observer = nullptr);

}  // namespace chronvane
