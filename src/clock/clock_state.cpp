#include "clock_state.h"

#include <cstdio>
#include <cstdlib>

namespace chronvane {

bool ClockState::differsFrom(const ClockState& other) const {
    return sync != other.sync || leap != other.leap || unknownReason != other.unknownReason;
}

std::string durationText(std::int64_t micros) {
    const double value = static_cast<double>(std::llabs(micros));
    char text[32];
    if (value < 10'000) {
        std::snprintf(text, sizeof text, "%.1f ms", value / 1000);
    } else if (value < 1'000'000) {
        std::snprintf(text, sizeof text, "%.0f ms", value / 1000);
    } else {
        std::snprintf(text, sizeof text, "%.1f s", value / 1'000'000);
    }
    return text;
}

std::string clockStateSummary(const ClockState& state) {
    switch (state.sync) {
        case ClockState::Sync::Synchronised:
            return "clock synchronised";
        case ClockState::Sync::NotSynchronised:
            return "clock not synchronised";
        case ClockState::Sync::Unknown:
            break;
    }
    return "clock state unknown";
}

namespace {

std::string figures(const ClockState& state) {
    return "estimated error " + durationText(state.estimatedErrorMicros) + ", at most " +
           durationText(state.maxErrorMicros);
}

}  // namespace

std::string clockStateDetail(const ClockState& state) {
    switch (state.sync) {
        case ClockState::Sync::Synchronised:
            return clockStateSummary(state) + " (" + figures(state) + ")";
        case ClockState::Sync::NotSynchronised:
            return clockStateSummary(state);
        case ClockState::Sync::Unknown:
            break;
    }
    return state.unknownReason.empty() ? clockStateSummary(state)
                                       : clockStateSummary(state) + " (" + state.unknownReason + ")";
}

std::string clockStateLogLine(const ClockState& state) {
    switch (state.sync) {
        case ClockState::Sync::Synchronised:
            return "Clock synchronised (" + figures(state) + ").";
        case ClockState::Sync::NotSynchronised:
            return "Clock not synchronised: the time sent may be wrong.";
        case ClockState::Sync::Unknown:
            break;
    }
    return state.unknownReason.empty() ? "Clock state unknown."
                                       : "Clock state unknown (" + state.unknownReason + ").";
}

LogKind clockStateLogKind(const ClockState& state) {
    switch (state.sync) {
        case ClockState::Sync::Synchronised:
            return LogKind::ClockSynchronised;
        case ClockState::Sync::NotSynchronised:
            return LogKind::ClockNotSynchronised;
        case ClockState::Sync::Unknown:
            break;
    }
    return LogKind::ClockStateUnknown;
}

std::string leapSecondLogLine(const ClockState& state) {
    switch (state.leap) {
        case ClockState::Leap::Insert:
            return "Leap second announced for the end of today (UTC).";
        case ClockState::Leap::Delete:
            return "Leap second announced for the end of today (UTC): one second left out.";
        case ClockState::Leap::None:
            break;
    }
    return {};
}

TimeReading withClockState(TimeReading reading, const ClockState& state) {
    reading.leap = state.leap == ClockState::Leap::Insert   ? TimeReading::Leap::Insert
                   : state.leap == ClockState::Leap::Delete ? TimeReading::Leap::Delete
                                                            : TimeReading::Leap::None;
    reading.trust = state.sync == ClockState::Sync::Synchronised ? TimeReading::Trust::Synchronised
                    : state.sync == ClockState::Sync::NotSynchronised
                        ? TimeReading::Trust::NotSynchronised
                        : TimeReading::Trust::Unknown;
    reading.estimatedErrorMicros = state.estimatedErrorMicros;
    reading.maxErrorMicros = state.maxErrorMicros;
    return reading;
}

}  // namespace chronvane
