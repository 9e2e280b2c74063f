#pragma once

#include <algorithm>
#include <charconv>
#include <cstdint>
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

// The advance as one value from the option to whoever needs it (the clock that
// reads the second about to begin, the tick that wakes for it), bounded here once
// so that neither can hold another one.
class Advance {
  public:
    constexpr Advance() = default;
    // millis outside 0 to maxAdvanceMillis: the nearest bound.
    constexpr explicit Advance(int millis) : m_millis(std::clamp(millis, 0, maxAdvanceMillis)) {}

    constexpr int millis() const { return m_millis; }
    constexpr std::int64_t micros() const { return std::int64_t{m_millis} * 1000; }
    constexpr bool operator==(const Advance&) const = default;

  private:
    int m_millis = 0;
};

// The advance in value, a whole number of milliseconds from 0 to
// maxAdvanceMillis; otherwise no value and a line naming what was given.
inline Parsed<Advance> parseAdvance(std::string_view value) {
    int millis = -1;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), millis);
    if (value.empty() || error != std::errc{} || end != value.data() + value.size() || millis < 0 ||
        millis > maxAdvanceMillis) {
        return {std::nullopt, "--advance " + std::string(value) +
                                  ": expected milliseconds from 0 to " +
                                  std::to_string(maxAdvanceMillis)};
    }
    return {Advance(millis), {}};
}

}  // namespace chronvane
