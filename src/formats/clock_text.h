#pragma once

#include <optional>
#include <string>

#include "core/time_reading.h"

namespace chronvane {

// "HH:MM:SS", each field at least two digits; "??" for a field that is not known.
// The one place this text is made: the messages, the log, the status and the
// monitor's report all say a time alike.
std::string clockText(const std::optional<int>& hour, const std::optional<int>& minute,
                      const std::optional<int>& second);
inline std::string clockText(const TimeReading& time) {
    return clockText(time.hour, time.minute, time.second);
}

// One field as clockText writes it: "07", "??".
std::string twoDigits(const std::optional<int>& value);

}  // namespace chronvane
