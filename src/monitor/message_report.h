#pragma once

#include <string>

#include "stream_decoder.h"

namespace chronvane::monitor {

// How many milliseconds after the start of the second it carries the message's
// first byte arrived (offsetMs, negative when early); for a message whose time was
// not judged, after the start of the wall-clock second it arrived in, 0 to 999.
long long arrivalOffsetMs(const DecodedMessage& message);

// One line of text, without the newline, for example
//   "14:05:09  ESE              + 12 ms  sound"
//   "14:05:09  8-bit Date/Time  +  3 ms  Monday February 22  bad checksum, second skipped"
//   "14:05:04  ESE              +5012 ms  late, second skipped"
// Fields that did not arrive show as "??".
std::string reportLine(const DecodedMessage& message);

// The same as one JSON object on one line, without the newline.
std::string reportJson(const DecodedMessage& message);

}  // namespace chronvane::monitor
