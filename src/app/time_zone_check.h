#pragma once

#include <string>

namespace chronvane {

// The C library reads the zone from TZ: a zone file (":Europe/London",
// "Europe/London" or an absolute path) or else a rule ("CET-1CEST,M3.5.0,M10.5.0/3").
// When it is neither, it quietly uses UTC, and a show would get the wrong hour.
// tz: the value of TZ, nullptr when it is unset; zoneDirectory: where zone names are
// looked up (TZDIR, or /usr/share/zoneinfo); inEffect: how the zone actually in use
// is named to the operator, such as "UTC".
// Returns one line (without the newline) saying that the zone does not exist and
// which one is in effect instead, or empty when TZ is unset, empty, names a zone
// file or is a well-formed rule.
std::string timeZoneProblem(const char* tz, const std::string& zoneDirectory,
                            const std::string& inEffect);

// timeZoneProblem on this process's own TZ and TZDIR, for a program's start before
// it reads the time. A TZ that names something else than a file (a FIFO, a device,
// a directory) is replaced by a rule for UTC first: the C library would open it to
// read the zone, and a FIFO would hold that open, and with it the start, for ever.
// Returns timeZoneProblem's line, empty when the zone is fine.
std::string guardTimeZone();

}  // namespace chronvane
