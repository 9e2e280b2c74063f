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
    // only: decode that format alone, with its settings (a custom template is
    // matched only so); empty: recognise every format by itself.
    explicit StreamDecoder(std::chrono::milliseconds gapLimit = std::chrono::milliseconds(250),
                           UtcOffset utcOffset = {}, std::optional<FormatChoice> only = {});

    // From now on, compares the time each message carries with the arrival stamps,
    // taken as the local time of utcOffset's zone (UTC when empty): sets offsetMs
    // and faults late, early and wrongTime. Off by default, for callers whose stamps
    // are no clock (a byte stream fed without times).
    // The offset is taken to the arrival of the message's on-time character (its
    // row's onTimeAt, a template's %^): the first byte's stamp plus the air time of
    // the bytes before it at the line (listenAt), since bytes arrive in chunks.
    // A message in UTC (a row's carriesUtc) is judged against UTC.
    void judgeTimes(bool judge) { m_judgeTimes = judge; }

    // The line the bytes come at (the monitor's --line), for the on-time
    // character's delay; until told, each format's own.
    void listenAt(const LineSettings& line) { m_line = line; }

    // Whether the receiving machine's own clock is synchronised (empty: unknown).
    // A message claiming a synchronised clock while it is not is flagged: one of
    // the two clocks is wrong.
    void setOwnClockSynchronised(std::optional<bool> synchronised) {
        m_ownClockSynchronised = synchronised;
    }

    // The bytes fed come from a line whose driver marks bytes received with a
    // parity or framing error (termios PARMRK): 0xFF 0x00 X for a bad X (X 0 for a
    // break), 0xFF 0xFF for a 0xFF. The message holding a marked byte gets
    // parityError when the line has parity, framingError otherwise.
    void markedErrors(bool lineHasParity) {
        m_marked = true;
        m_lineHasParity = lineHasParity;
    }

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

    Candidate matchAt(std::size_t pos, bool force = false) const;
    // The time from a message's first byte to its on-time byte.
    Timestamp onTimeDelay(Protocol protocol) const;
    void unmark(std::span<const std::uint8_t> bytes, Timestamp arrival);
    void scan(bool force, std::vector<DecodedMessage>& out);
    void consume(std::size_t count);
    void stray(std::size_t count);
    void noteDamage(std::size_t count);
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

    // One per format, in the registry's order (or the one asked for): what each
    // keeps of a message under way, and which protocol it is.
    std::vector<std::unique_ptr<FormatDecoder>> m_formats;
    std::vector<Protocol> m_protocols;
    FormatSettings m_settings;
    std::optional<LineSettings> m_line;
    std::optional<bool> m_ownClockSynchronised;
    // Marked line errors: per byte, whether the driver marked it; the part of a
    // mark left at the end of the last chunk.
    bool m_marked = false;
    bool m_lineHasParity = false;
    std::vector<bool> m_badBytes;
    std::vector<std::uint8_t> m_pendingMark;
    bool m_lineErrorPending = false;

    bool m_synchronized = false;
    std::size_t m_strayBytes = 0;
    std::size_t m_bytesBeforeFirst = 0;
    std::optional<int> m_lastSecondOfDay;
    Timestamp m_lastFirstByte{};
    UtcOffset m_utcOffset;
    bool m_judgeTimes = false;
};

}  // namespace chronvane::monitor
