#pragma once

namespace chronvane {

// The output flow control the serial port is told to use. None by default: one
// stray 0x13 from the equipment or from line noise must not stop the clock.
enum class FlowControl {
    None,     // no handshake at all
    XonXoff,  // output stops on a received XOFF (0x13) until XON (0x11)
    RtsCts,   // output stops while CTS is low
};

}  // namespace chronvane
