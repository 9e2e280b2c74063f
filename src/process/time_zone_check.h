#pragma once

#include <string>

#include "core/system_error.h"

namespace chronvane {

// Linux (time_zone_check.cpp): the C library reads the zone from TZ: a zone file
// (":Europe/London", "Europe/London" or an absolute path) or else a rule
// ("CET-1CEST,M3.5.0,M10.5.0/3").
// When it is neither, it quietly uses UTC, and a show would get the wrong hour.
// tz: the value of TZ, nullptr when it is unset; zoneDirectory: where zone names are
// looked up (TZDIR, or /usr/share/zoneinfo); inEffect: how the zone actually in use
// is named to the operator, such as "UTC".
// Returns one line (without the newline) saying that the zone does not exist and
// which one is in effect instead, or empty when TZ is unset, empty, names a zone
// file or is a well-formed rule.
ProblemLine timeZoneProblem(const char* tz, const std::string& zoneDirectory,
                            const std::string& inEffect);

// Windows (time_zone_check_windows.cpp): the C runtime reads TZ only in its own
// form, a rule "tzn[+|-]hh[:mm[:ss]][dzn]" such as "EST5EDT" or "IST-5:30"; without
// TZ it takes the zone Windows is set to. Anything else, a zone name such as
// "Asia/Kolkata" among them, it reads as far as it can, mostly into UTC, and says
// nothing. tz: the value of TZ, nullptr when unset; inEffect as above.
// Returns one line (without the newline) saying so and which zone is in effect,
// or empty when TZ is unset, empty, UTC or GMT, or such a rule.
ProblemLine runtimeTimeZoneProblem(const char* tz, const std::string& inEffect);

// The check of this platform on this process's own TZ, for a program's start
// before it reads the time: timeZoneProblem (with TZDIR) on Linux,
// runtimeTimeZoneProblem on Windows. On Linux a TZ that names something else than
// a file (a FIFO, a device, a directory) is replaced by a rule for UTC first: the C
// library would open it to read the zone, and a FIFO would hold that open, and
// with it the start, for ever.
// Returns the problem's line, empty when the zone is fine.
ProblemLine guardTimeZone();

}  // namespace chronvane
