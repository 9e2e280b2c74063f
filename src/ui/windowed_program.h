#pragma once

// src/ui: the Qt window, built into the module the program loads for a windowed
// run. Offers the windowed run (this header), the main window and About box made
// from the resource script, their placement and the program's icon.

#include <memory>
#include <string>

#include "start/program_options.h"
#include "tick/stop_signals_linux.h"

class QApplication;
class QDialog;

namespace chronvane {

// The windowed program: one QApplication, one ClockDialog run modally, nothing after.
class WindowedProgram {
  public:
    // argc/argv as main received them; Qt takes out its own options (-display ...).
    // Needs a display, or QT_QPA_PLATFORM naming a platform that needs none.
    WindowedProgram(int argc, char** argv);
    ~WindowedProgram();
    WindowedProgram(const WindowedProgram&) = delete;
    WindowedProgram& operator=(const WindowedProgram&) = delete;

    // Builds the main window on the system clock with options.devices, hands it
    // options.commandLine without the options Qt took for itself, runs it until Enter, Escape,
    // Close, SIGINT, SIGTERM or SIGHUP, then destroys it, which stops the tick and closes the
    // port. Returns the exit status: 0 (the dialog's result carries no meaning).
    int run(const ProgramOptions& options);

  private:
    std::string withoutQtOptions(const std::string& commandLine) const;
    static void closeForStop(QDialog& window);

    // QApplication keeps a reference to the count for its whole life, and takes its
    // own options out of argv.
    int m_argc;
    char** m_argv;
    // Before the application, whose threads must find the stop signals blocked.
    StopSignals m_stopSignals;
    // Before the application too, which has warnings of its own to print.
    bool m_qtMessagesRouted;
    std::unique_ptr<QApplication> m_application;
};

// main's entry to the window: makes the WindowedProgram and runs it. Returns the process
// exit status (0).
int runWindowedProgram(ProgramOptions& options, int argc, char** argv);

}  // namespace chronvane
