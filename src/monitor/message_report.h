#pragma once

#include <string>

#include "stream_decoder.h"

namespace chronvane::monitor {

// How many milliseconds after the start of its wall-clock second the message's
// first byte arrived, 0 to 999.
int arrivalOffsetMs(const DecodedMessage& message);

// One line of text, without the newline, for example
//   "14:05:09  ESE              + 12 ms  sound"
//   "14:05:09  8-bit Date/Time  +  3 ms  Monday February 22  bad checksum, second skipped"
// Fields that did not arrive show as "??".
std::string reportLine(const DecodedMessage& message);

// The same as one JSON object on one line, without the newline. clock: this
// computer's clock state when the message arrived ("synchronised", "not
// synchronised", "unknown"), given as the "clock" field.
std::string reportJson(const DecodedMessage& message, const std::string& clock);

}  // namespace chronvane::monitor
