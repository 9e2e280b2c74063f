#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "formats/decoded_message.h"
#include "formats/format_registry.h"

// src/monitor: chronvane32-monitor, which reads a line as a show controller would.
// Offers the stream decoder (this header), which turns the bytes arriving on a
// line into time messages, whichever format they are in (each format's own
// decoding is its row's, src/formats), and checks every one. No I/O: the caller feeds byte chunks stamped with the wall-clock time
// they were read at. Beside it: the report of a message, the options and the line
// reader.
namespace chronvane::monitor {

using chronvane::DecodedMessage;
using chronvane::Fault;
using chronvane::faultText;
using chronvane::Timestamp;

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
    struct Candidate {
        Match match;
        std::size_t length;  // bytes matched (complete: the whole unit)
        std::size_t format;  // which format's unit, in the registry's order
    };
    class Ahead;

    Candidate matchAt(std::size_t pos) const;
    void scan(bool force, std::vector<DecodedMessage>& out);
    void consume(std::size_t count);
    void stray(std::size_t count);
    // The first message is found: from now on bytes that belong to none are stray,
    // and so were those before it, if more than a joined message's rest.
    void synchronize();
    void cutShort(std::size_t format, std::size_t length, std::vector<DecodedMessage>& out);
    void take(std::size_t format, std::size_t length, std::vector<DecodedMessage>& out);
    // Every format's message under way is over, but for keep's (none: all).
    void closeOthers(std::size_t keep, std::vector<DecodedMessage>& out);
    // Emits what a format's decoder finished, stamped with the format.
    void emitAll(std::size_t format, std::vector<DecodedMessage>& finished,
                 std::vector<DecodedMessage>& out);
    void emit(DecodedMessage message, std::vector<DecodedMessage>& out);
    void judgeTime(DecodedMessage& message) const;
    void compact();

    std::chrono::milliseconds m_gapLimit;
    std::vector<std::uint8_t> m_bytes;
    std::vector<Timestamp> m_stamps;
    std::size_t m_start = 0;
    std::optional<Timestamp> m_lastArrival;

    // One per format, in the registry's order: what each keeps of a message under way.
    std::vector<std::unique_ptr<FormatDecoder>> m_formats;

    bool m_synchronized = false;
    std::size_t m_strayBytes = 0;
    std::size_t m_bytesBeforeFirst = 0;
    std::optional<int> m_lastSecondOfDay;
    Timestamp m_lastFirstByte{};
    UtcOffset m_utcOffset;
    bool m_judgeTimes = false;
};

}  // namespace chronvane::monitor
