#pragma once

#include <string>

#include "clock/clock_controller.h"
#include "clock/clock_state.h"
#include "program_options.h"
#include "start_window.h"

namespace chronvane {

inline constexpr int tickTimerId = 1;
inline constexpr int tickPeriodMs = 100;
inline constexpr const char* noTimersText = "No timers available.";

// Runs once the window's controls exist, in this order: read the options from
// commandLine (upper-casing it); check the port radio and select that port (which
// opens it and logs the outcome); check the protocol radio; queue a minimize if
// asked; start timer 1 at 100 ms, and if that fails show "No timers available."
// and go on, so the window still works for port selection.
void runStartSequence(std::string& commandLine, StartWindow& window, ClockController& controller);

// What the options set on the controller, the same in the console and both
// windows: the line (its flow control included), the format's settings, the
// clock-state reader and --wait-for-sync. Before
// runStartSequence, whose first open already uses them.
void applyOptions(const ProgramOptions& options, ClockStateReader& clockState,
                  ClockController& controller);

}  // namespace chronvane
