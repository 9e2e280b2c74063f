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
    constexpr explicit Advance(int millis)
        : m_micros(std::int64_t{std::clamp(millis, 0, maxAdvanceMillis)} * 1000) {}

    // The operator's advance with a format's lead on top (the air time of the
    // characters before the one that marks the second): the one value the clock
    // and the tick are given, to the microsecond. Not bounded again: a start that
    // would not fit its second is refused before this is made.
    constexpr Advance withLead(std::int64_t leadMicros) const {
        Advance sum = *this;
        sum.m_micros += std::max<std::int64_t>(leadMicros, 0);
        return sum;
    }

    // Whole milliseconds, rounded down.
    constexpr int millis() const { return static_cast<int>(m_micros / 1000); }
    constexpr std::int64_t micros() const { return m_micros; }
    constexpr bool operator==(const Advance&) const = default;

  private:
    std::int64_t m_micros = 0;
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
