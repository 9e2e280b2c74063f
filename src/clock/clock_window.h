#pragma once

#include <string>

#include "clock_state.h"
#include "core/system_error.h"
#include "formats/format_registry.h"
#include "message_log.h"
#include "serial/port_failure.h"

namespace chronvane {

// What the controller needs from whoever shows it: the window, or the console.
class ClockWindow {
  public:
    virtual ~ClockWindow() = default;
    // The protocol the operator has chosen, asked at every send.
    virtual Protocol selectedProtocol() const = 0;
    // Show all four lines, top (oldest) to bottom.
    virtual void showLog(const MessageLog& log) = 0;
    // Told after every attempt to open a port, so the operator can learn which
    // device COMn is and why it failed. failure is no failure on success.
    virtual void portOpenResult(int /*portNumber*/, const std::string& /*devicePath*/,
                                PortFailure /*failure*/) {}
    // Told after every reading of the clock's state (once a second, when the
    // controller has a reader), so that a lamp or a tooltip can follow it.
    virtual void showClockState(const ClockState& /*state*/) {}
};

}  // namespace chronvane
