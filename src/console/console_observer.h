#pragma once

#include <string>

#include "clock/message_log.h"

namespace chronvane {

class ClockController;

// Whoever watches the console program run from outside its loop: a service manager
// that wants to hear "running" and "stopping", a log of the system's own. Called on
// the console's thread, between two ticks; each call must return at once, since the
// next message waits for it. Every call is optional.
class ConsoleObserver {
  public:
    virtual ~ConsoleObserver() = default;
    // The start sequence has made its first attempt to open the port, whatever
    // came of it, and the tick is running: the program is doing its work.
    virtual void started(const ClockController& /*controller*/) {}
    // A tick the controller has handled (a message sent, a port reopened, or
    // nothing due yet), for a watchdog or a status line.
    virtual void tickHandled(const ClockController& /*controller*/) {}
    // A log line as it is logged: its text is what standard output gets, without
    // the newline; file it by its kind.
    virtual void logEntry(const LogEntry& /*entry*/) {}
    // True when logEntry has just filed this line where standard output would
    // have taken it (the journal, when standard output is its stream): the
    // console then leaves the line out of standard output, so it is kept once.
    virtual bool tookLogLine(const LogEntry& /*entry*/) const { return false; }
    // What goes to standard error for the operator (which device a COM port is,
    // why it would not open), without its last newline.
    virtual void notice(const std::string& /*text*/) {}
    // The loop has ended for a stop request; the port closes next.
    virtual void stopping() {}
};

}  // namespace chronvane
