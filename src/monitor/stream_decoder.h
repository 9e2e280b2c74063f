#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "core/protocol.h"

// src/monitor: chronvane32-monitor, which reads a line as a show controller would.
// Offers the stream decoder (this header), which turns the bytes arriving on a
// line into time messages, whichever of the two protocols they are in, and checks
// every one. No I/O: the caller feeds byte chunks stamped with the wall-clock time
// they were read at. Beside it: the report of a message, the options and the line
// reader.
namespace chronvane::monitor {

// Wall-clock time since the epoch.
using Timestamp = std::chrono::nanoseconds;

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
};

// The fault in words, e.g. "bad checksum".
std::string_view faultText(Fault fault);

struct DecodedMessage {
    Protocol protocol = Protocol::EseRealTimeClock;
    // What the message carries, as sent; empty where the bytes did not arrive.
    std::optional<int> hour;
    std::optional<int> minute;
    std::optional<int> second;
    // 8-bit Date/Time only: month (January = 1), day, weekday (Sunday = 1).
    std::optional<int> month;
    std::optional<int> day;
    std::optional<int> weekday;
    // When the message's first byte was read.
    Timestamp firstByte{};
    // Milliseconds from the start of the second the message carries, by the local
    // clock of the receiving machine, to its first byte; negative for a message
    // early. Set only when times are judged and the message carries a whole time.
    std::optional<long long> offsetMs;
    // Each kind of fault at most once, in the order they were found.
    std::vector<Fault> faults;
    // Bytes that belonged to no message, seen since the message before this one.
    std::size_t strayBytes = 0;

    bool sound() const { return faults.empty(); }
    bool has(Fault fault) const;
};

// The local time zone's offset from UTC in seconds at a wall-clock time: where the
// daylight-saving changes fall.
using UtcOffset = std::function<long(Timestamp)>;

class StreamDecoder {
  public:
    // gapLimit: a message whose bytes stop for longer than this is taken as cut
    // short. At 9600 baud the 48-byte message takes about 50 ms end to end.
    // utcOffset: the zone the sender's times are in. Where its offset changes
    // between two messages (daylight saving), the local time jumps by as much, and
    // that jump is neither a second skipped nor one repeated. Empty: a zone that
    // never changes.
    explicit StreamDecoder(std::chrono::milliseconds gapLimit = std::chrono::milliseconds(250),
                           UtcOffset utcOffset = {});

    // From now on, compares the time each message carries with the arrival stamps,
    // taken as the local time of utcOffset's zone (UTC when empty): sets offsetMs
    // and faults late, early and wrongTime. Off by default, for callers whose stamps
    // are no clock (a byte stream fed without times).
    void judgeTimes(bool judge) { m_judgeTimes = judge; }

    // Takes the next bytes of the stream, all read at arrival. Returns the messages
    // they completed, oldest first. Never fails; any byte sequence is accepted.
    std::vector<DecodedMessage> feed(std::span<const std::uint8_t> bytes, Timestamp arrival);

    // Tells the decoder that nothing arrived up to now: a message left unfinished for
    // longer than the gap limit is returned as cut short.
    std::vector<DecodedMessage> idle(Timestamp now);

    // The stream ends (the reader stops): an unfinished message is dropped without a
    // fault, since it was the reader and not the sender that cut it. Returns the
    // stray bytes that came after the last message: no message is left to carry
    // them, yet they are a fault of the line.
    std::size_t finish();

  private:
    enum class Match { complete, partial, broken };
    struct Candidate {
        Match match;
        std::size_t length;  // bytes matched (complete: the whole unit)
        bool packet;
    };

    Candidate matchAt(std::size_t pos) const;
    void scan(bool force, std::vector<DecodedMessage>& out);
    void consume(std::size_t count);
    void stray(std::size_t count);
    // The first message is found: from now on bytes that belong to none are stray,
    // and so were those before it, if more than a joined message's rest.
    void synchronize();
    void cutShort(bool packet, std::size_t length, std::vector<DecodedMessage>& out);
    void takeEse(std::size_t pos, std::vector<DecodedMessage>& out);
    void takePacket(std::size_t pos, std::vector<DecodedMessage>& out);
    void closeDateTime(std::vector<DecodedMessage>& out);
    void emit(DecodedMessage message, std::vector<DecodedMessage>& out);
    void judgeTime(DecodedMessage& message) const;
    void compact();

    std::chrono::milliseconds m_gapLimit;
    std::vector<std::uint8_t> m_bytes;
    std::vector<Timestamp> m_stamps;
    std::size_t m_start = 0;
    std::optional<Timestamp> m_lastArrival;

    // The 8-bit message being put together from its packets.
    std::optional<DecodedMessage> m_dateTime;
    std::size_t m_nextPacket = 0;

    bool m_synchronized = false;
    std::size_t m_strayBytes = 0;
    std::size_t m_bytesBeforeFirst = 0;
    std::optional<int> m_lastSecondOfDay;
    Timestamp m_lastFirstByte{};
    UtcOffset m_utcOffset;
    bool m_judgeTimes = false;
};

}  // namespace chronvane::monitor
