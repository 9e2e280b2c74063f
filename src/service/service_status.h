#pragma once

#include <string>

#include "clock/clock_controller.h"

namespace chronvane {

// The one line a service manager shows for the console program (systemctl status):
// the device and what it is doing, the protocol, the time the last message carried,
// e.g. "/dev/ttyUSB0: sending; ESE; last sent 14:05:09" ("waiting for the clock"
// in place of "sending" while --wait-for-sync holds the messages back). It changes
// at most once a second, with the message that leaves.
std::string serviceStatusLine(const ClockController& controller);

}  // namespace chronvane
