#pragma once

#include "stop_signals.h"

namespace chronvane {

// What only Linux offers on top of StopSignals: the stop requests as a descriptor,
// for a caller with an event loop of its own (the Qt window).

// The signalfd, readable while a stop request is pending; -1 when not watching.
int stopSignalDescriptor(const StopSignals& stop);

// Takes the pending stop requests off the descriptor; true when there was one.
bool takeStopRequest(StopSignals& stop);

}  // namespace chronvane
