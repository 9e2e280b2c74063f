#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format_registry.h"

namespace chronvane {

enum class Fault : std::uint8_t {
    badChecksum,
    unknownVariable,
    valueOutOfRange,
    packetMissing,
    cutShort,
    secondSkipped,   // the time carried is ahead of the one due
    secondRepeated,  // behind it: a second sent again, or the sender's clock set back
    strayBytes,
    // Judged against the receiving machine's clock (see StreamDecoder::judgeTimes):
    late,       // arrived a second or more after the start of the second it carries
    early,      // carries a second that had not begun when it arrived
    wrongTime,  // off by more than a minute either way (the hour, the date, the weekday)
    // Marked by the line's driver in the bytes it read.
    parityError,
    framingError,
    // The message claims a synchronised clock while the receiving machine's is not.
    claimsSyncUnsynced,
};

// The fault in words, e.g. "bad checksum".
std::string_view faultText(Fault fault);

// One message as the monitor read it.
struct DecodedMessage {
    Protocol protocol = defaultProtocol;
    // What the message carries, as sent; empty where the bytes did not arrive.
    std::optional<int> hour;
    std::optional<int> minute;
    std::optional<int> second;
    // For a format that carries the date: month (January = 1), day, weekday
    // (Sunday = 1).
    std::optional<int> month;
    std::optional<int> day;
    std::optional<int> weekday;
    // When the message's first byte was read.
    Timestamp firstByte{};
    // Milliseconds from the start of the second the message carries, by the local
    // clock of the receiving machine, to its first byte; negative for a message
    // early. Set only when times are judged and the message carries a whole time.
    std::optional<long long> offsetMs;
    // The time it carries is UTC (its row's carriesUtc, or a template's %Z before
    // every field of the time of day); else the sender's local time.
    bool utc = false;
    // Each kind of fault at most once, in the order they were found.
    std::vector<Fault> faults;
    // The status the message claims, in words ("not synchronised", "quality B").
    std::vector<std::string> status;
    // Whether the message claims a synchronised clock; empty for a format with no status.
    std::optional<bool> claimsSync;
    // Bytes that belonged to no message, seen since the message before this one.
    std::size_t strayBytes = 0;

    bool sound() const { return faults.empty(); }
    bool has(Fault fault) const;
    // Adds fault unless it is there already.
    void add(Fault fault);
};

}  // namespace chronvane
