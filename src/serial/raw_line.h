#pragma once

#include "core/system_error.h"

namespace chronvane {

// Puts the terminal fd into the state of a receiver listening to a sender: raw mode
// (cfmakeraw: 0x0D and 0x0A are data, no echo, no signal characters) at 9600 baud
// 8N1, modem lines ignored, the receiver on, a read returning as soon as one byte is
// there. Used by the reader end of a virtual port and by the monitor.
// Returns tcgetattr's or tcsetattr's failure, if any; fd stays open either way, its
// settings unchanged when tcgetattr failed.
SystemError makeRawListener(int fd);

}  // namespace chronvane
