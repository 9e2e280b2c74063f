#pragma once

#include <string>

#include "start/program_options.h"

namespace chronvane {

// Windows only: the program as a Windows service, one per port, so that a show PC
// sends the time from boot with nobody logged on.

// "Chronvane32-COM1" and "Chronvane32 COM1" for portNumber 1.
std::wstring serviceName(int portNumber);
std::wstring serviceDisplayName(int portNumber);

// Run by the service manager (--service): console mode without a console. Reports
// START_PENDING at once and RUNNING after the first attempt to open the port
// (whatever came of it: a missing port is tried again every second); a stop
// request ends the loop, closes the port and reports STOPPED. The log goes to the
// Event Log (EventLogWriter), never to a window or a message box. Returns the exit
// status; 1 with a line on standard error when the service manager did not start
// this process.
int runAsService(ProgramOptions& options);

// --install-service: registers (or re-registers with new options) the service for
// the port the command line chooses, with options.serviceArguments after --service
// in its command line, automatic start, LocalService, restart after 5 s on every
// failure, and the Event Log source with this program as its message file.
// --uninstall-service COMn|all: stops and removes that service, or every port's.
// Both print what they did on standard output, or one plain line on standard
// error (no elevation, no such service) and return 1.
int installService(ProgramOptions& options);
int uninstallService(const ProgramOptions& options);

}  // namespace chronvane
