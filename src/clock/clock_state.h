#pragma once

#include <cstdint>
#include <string>

#include "core/system_error.h"
#include "core/time_reading.h"
#include "message_log.h"

namespace chronvane {

// How far this computer's clock can be trusted, as its time daemon last told the
// operating system. The figures are microseconds and mean something only when the
// state is known (synchronised or not).
struct ClockState {
    enum class Sync { Unknown, Synchronised, NotSynchronised };
    // A leap second the system has been told of, at the end of the current UTC day.
    enum class Leap { None, Insert, Delete };

    Sync sync = Sync::Unknown;
    Leap leap = Leap::None;
    // The daemon's estimate of the clock's error.
    std::int64_t estimatedErrorMicros = 0;
    // The bound on the error: the daemon sets it at each update and the system lets
    // it grow while no update comes.
    std::int64_t maxErrorMicros = 0;
    // Why the state is unknown, in words for the operator; empty otherwise.
    ProblemLine unknownReason;

    bool isSynchronised() const { return sync == Sync::Synchronised; }
    // True when other differs in anything the operator is told about as a change:
    // the state, the leap second or why it is unknown; never the figures, which move
    // every second.
    bool differsFrom(const ClockState& other) const;
};

// Where the state is read. Injected, so that tests set readings by hand.
class ClockStateReader {
  public:
    virtual ~ClockStateReader() = default;
    virtual ClockState read() = 0;
};

// The system's own account. Per platform: clock_state_<platform>.cpp. On Linux the
// kernel's (adjtimex, read only), on Windows the Windows Time service's.
class SystemClockState final : public ClockStateReader {
  public:
    // Gets ready to read (on Windows: loads the time service's client), so that the
    // first reading costs no more than the others.
    SystemClockState();
    ClockState read() override;
};

// Below this bound the clock counts as synchronised: the kernel caps the bound at
// 16 s, which it takes to mean that no daemon keeps the clock.
constexpr std::int64_t unsynchronisedBoundMicros = 16'000'000;

// A short text for a status line: "clock synchronised", "clock not synchronised",
// "clock state unknown".
std::string clockStateSummary(const ClockState& state);
// The summary with its figures or reason, for a tooltip or a status line:
// "clock synchronised (estimated error 0.4 ms, at most 12 ms)".
std::string clockStateDetail(const ClockState& state);
// The log line that says the state, e.g.
// "Clock synchronised (estimated error 0.4 ms, at most 12 ms).".
std::string clockStateLogLine(const ClockState& state);
// What that line says, for whoever files it.
LogKind clockStateLogKind(const ClockState& state);
// The log line for an announced leap second; empty when none is.
std::string leapSecondLogLine(const ClockState& state);
// reading with the clock's trust and announced leap second from state.
TimeReading withClockState(TimeReading reading, const ClockState& state);
// A duration in microseconds as the log gives it: "0.4 ms", "12 ms", "3.2 s".
std::string durationText(std::int64_t micros);

}  // namespace chronvane
