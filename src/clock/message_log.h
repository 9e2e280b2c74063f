#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace chronvane {

// What a log line says happened, beside its words: whoever files the lines (the
// Event Log, a journal, a counter) switches on this and never reads the text,
// which is for the operator and may be reworded.
enum class LogKind {
    Opened,                // "COM1 opened successfully."
    OpenFailed,            // "COM1 could not be opened."
    Transmitted,           // "COM1: Transmitted ...", once a second while all is well
    TransmissionFailed,    // "COM1: Transmission failed (...)"
    ClockSynchronised,     // "Clock synchronised (estimated error ...)."
    ClockNotSynchronised,  // "Clock not synchronised: the time sent may be wrong."
    ClockStateUnknown,     // "Clock state unknown (...)."
    LeapSecond,            // "Leap second announced for the end of today (UTC)..."
    WaitingForSync,        // "Nothing is sent until the clock is synchronised."
    SyncWaitOver,          // "Clock synchronised: sending starts."
    SyncWaitGivenUp,       // "Clock state unknown: sending starts without waiting ..."
    ClockSet,              // "Clock set: 14:05:09 -> 14:05:11 (+2.0 s)"
    MetricsNotWritten,     // "cannot write the metrics file ...", once until it works again
    LeapSecondSent,        // "Leap second: 23:59:59 sent again for 23:59:60."
    LeapSecondSkipped,     // "Leap second: 23:59:59 skipped, the day ends a second early."
};

inline constexpr std::array allLogKinds{
    LogKind::Opened,
    LogKind::OpenFailed,
    LogKind::Transmitted,
    LogKind::TransmissionFailed,
    LogKind::ClockSynchronised,
    LogKind::ClockNotSynchronised,
    LogKind::ClockStateUnknown,
    LogKind::LeapSecond,
    LogKind::WaitingForSync,
    LogKind::SyncWaitOver,
    LogKind::SyncWaitGivenUp,
    LogKind::ClockSet,
    LogKind::MetricsNotWritten,
    LogKind::LeapSecondSent,
    LogKind::LeapSecondSkipped,
};

// A short name that never changes once given, for whatever keys on it outside the
// program (a journal's field, a metric's label): "opened", "clock-set".
constexpr std::string_view logKindName(LogKind kind) {
    switch (kind) {
        case LogKind::Opened:
            return "opened";
        case LogKind::OpenFailed:
            return "open-failed";
        case LogKind::Transmitted:
            return "transmitted";
        case LogKind::TransmissionFailed:
            return "transmission-failed";
        case LogKind::ClockSynchronised:
            return "clock-synchronised";
        case LogKind::ClockNotSynchronised:
            return "clock-not-synchronised";
        case LogKind::ClockStateUnknown:
            return "clock-state-unknown";
        case LogKind::LeapSecond:
            return "leap-second";
        case LogKind::WaitingForSync:
            return "waiting-for-sync";
        case LogKind::SyncWaitOver:
            return "sync-wait-over";
        case LogKind::SyncWaitGivenUp:
            return "sync-wait-given-up";
        case LogKind::ClockSet:
            return "clock-set";
        case LogKind::MetricsNotWritten:
            return "metrics-not-written";
        case LogKind::LeapSecondSent:
            return "leap-second-sent";
        case LogKind::LeapSecondSkipped:
            return "leap-second-skipped";
    }
    return {};
}

// One line of the log: what happened, the port it happened on ("COM1"; empty for
// what concerns the clock), and the words the operator reads.
struct LogEntry {
    LogKind kind;
    std::string port;
    std::string text;

    bool operator==(const LogEntry&) const = default;
};

// The four lines the operator sees, oldest at index 0. Appending drops the oldest.
class MessageLog {
  public:
    static constexpr std::size_t lineCount = 4;
    using Lines = std::array<std::string, lineCount>;

    void append(LogEntry entry);
    // The texts, "" where nothing has been logged yet.
    Lines lines() const;
    std::string line(std::size_t index) const;
    // The line appended last; none before the first.
    const std::optional<LogEntry>& newest() const { return m_entries.back(); }

  private:
    std::array<std::optional<LogEntry>, lineCount> m_entries{};
};

}  // namespace chronvane
