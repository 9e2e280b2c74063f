#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "parsed.h"

namespace chronvane {

// --advance, which the sender and the monitor both take: how many milliseconds
// before its second a message starts.

// The most a message may start before its second: beyond that it would leave
// nearer the second before than the one it carries.
inline constexpr int maxAdvanceMillis = 900;

// The milliseconds in value, a whole number from 0 to maxAdvanceMillis; otherwise
// no value and a line naming what was given.
inline Parsed<int> parseAdvanceMillis(std::string_view value) {
    int millis = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), millis);
    if (value.empty() || error != std::errc{} || end != value.data() + value.size() || millis < 0 ||
        millis > maxAdvanceMillis) {
        return {std::nullopt, "--advance " + std::string(value) +
                                  ": expected milliseconds from 0 to " +
                                  std::to_string(maxAdvanceMillis)};
    }
    return {millis, {}};
}

}  // namespace chronvane
