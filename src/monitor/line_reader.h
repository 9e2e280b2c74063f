#pragma once

#include <string>

#include "core/line_settings.h"
#include "core/system_error.h"

namespace chronvane::monitor {

// Opens the terminal device at path for reading the way a receiver listens: read-only,
// O_NOCTTY, non-blocking, close-on-exec; exclusive use (flock LOCK_EX|LOCK_NB, then
// TIOCEXCL); raw mode (cfmakeraw: CR and LF are data, no echo) framed as line with
// the receiver enabled and modem lines ignored, bytes received with a parity or
// framing error marked (PARMRK with INPCK: 0xFF 0x00 X, and 0xFF doubled); input
// already queued discarded, so
// that no stale second is reported. Returns the descriptor, or -1 with the reason
// in error (EBUSY when another program holds the device, ENOTTY when path is no
// terminal).
int openLine(const std::string& path, const LineSettings& line, SystemError& error);

// Asks the driver of the open line fd for low-latency mode (ASYNC_LOW_LATENCY through
// TIOCGSERIAL and TIOCSSERIAL). A USB adapter otherwise holds received bytes up to
// its latency timer (16 ms on common chips), and every arrival time would be late
// by up to that much. Returns no failure when the mode is on, or when fd is a
// pseudo-terminal (no adapter, nothing to ask); else the reason the call failed
// (ENOTTY when the driver offers no such mode), and the line works on as before.
SystemError requestLowLatency(int fd);

// Gives up exclusive use and closes fd. Exclusive use belongs to the device, not to
// the descriptor: while another process (the sender of a virtual port) keeps it open,
// a plain close would leave the next reader shut out.
void closeLine(int fd);

}  // namespace chronvane::monitor
