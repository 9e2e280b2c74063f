#pragma once

#include "core/system_error.h"

namespace chronvane {

// Puts /dev/null on each of descriptors 0, 1 and 2 that is closed. A launcher that
// starts the program with them closed would otherwise hand the next open() one of
// them: the serial device would become standard output, and the log would go out
// on the line between the time messages. Call it first thing in main, before
// anything opens a descriptor.
// Returns no failure, or the reason the open or fcntl failed; then a descriptor
// may still be closed, and the caller must not go on to open the device.
SystemError fillClosedStandardDescriptors();

}  // namespace chronvane
