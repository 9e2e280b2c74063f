#pragma once

#include <sys/types.h>
#include <termios.h>

#include "core/line_settings.h"
#include "core/system_error.h"

// The termios side of a LineSettings, shared by the serial port that sends and by
// the raw listeners (a virtual port's reader end, the monitor) that hear it, so
// that both ends of a line are set from the same value. POSIX only.
namespace chronvane {

// Sets line's speed, data bits, parity and stop bits in settings and nothing else
// (with no parity, PARODD stays as it was: it means nothing then). False, settings
// unchanged, when termios has no speed for line.baudRate (it knows 1200 to 115200)
// or the data bits are not 5 to 8.
bool setLineFraming(termios& settings, const LineSettings& line);
// Whether actual carries the framing and output speed that wanted asked for.
bool lineFramingTook(const termios& wanted, const termios& actual);

// Puts the terminal fd into the state of a receiver listening to a sender: raw mode
// (cfmakeraw: 0x0D and 0x0A are data, no echo, no signal characters) framed as line
// says, modem lines ignored, the receiver on, a read returning as soon as one byte
// is there. Used by the reader end of a virtual port and by the monitor.
// Returns tcgetattr's or tcsetattr's failure (EINVAL for a line termios cannot
// set), if any; fd stays open either way, its settings unchanged when tcgetattr
// failed.
SystemError makeRawListener(int fd, const LineSettings& line);

// Whether device (a character device's number) is a pseudo-terminal end.
bool isPseudoTerminalDevice(dev_t device);

}  // namespace chronvane
