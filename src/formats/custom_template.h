#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_string.h"
#include "core/line_settings.h"
#include "core/parsed.h"
#include "core/time_reading.h"
#include "format_registry.h"

// The operator's own message, written as a template (--format 'custom:TEXT'): fixed
// characters, escapes for control bytes and strftime-like tokens, compiled once at
// start into pieces of fixed width, so that every message has the same length and
// the monitor can match the same template back.
//
//   \r \n \t \\ \xHH   carriage return, line feed, tab, backslash, any byte
//   \soh \stx \etx \eot \enq \ack \nak \etb \syn \dle   the control bytes by name
//   %Y %y %m %d %j     year (4 and 2 digits), month, day, day of the year (3 digits)
//   %u %w              weekday, Monday = 1 to Sunday = 7; Sunday = 0 to Saturday = 6
//   %a %b              weekday and month, three English letters ("Mon", "Feb")
//   %H %M %S %f        hour, minute, second, milliseconds (always 000: on the second)
//   %z                 the zone's offset from UTC, "+0100"
//   %Z                 every field after it is in UTC (and %z after it "+0000")
//   %%                 a percent sign
//   %{lock:AV}         A while the clock is synchronised, V otherwise
//   %{quality:1ms,10ms,100ms:ABC?}
//                      the first glyph whose threshold the clock's maximum error is
//                      within (us, ms or s), the last one when above every threshold
//                      or when the clock is not synchronised; one glyph more than
//                      thresholds
//   %{dst:SW} %{dst:SWsw}
//                      standard / summer time; with four glyphs the last two stand
//                      for a change of offset announced (due within the day)
//   %{leap:NL} %{leap:NID}
//                      no leap second / one announced; or none, insert, delete
//   %[ %] %x           the span of an XOR checksum (NMEA), and where its two
//                      upper-case hex digits go (after %])
//   %^                 the character after it is the one on time (default: the first)
// Glyphs are single characters and may be escapes; spaces around thresholds and
// glyph lists are ignored (a space glyph is \x20).
namespace chronvane {

struct CustomTemplate {
    enum class Kind : std::uint8_t {
        literal,
        year4,
        year2,
        month,
        day,
        dayOfYear,
        isoWeekday,
        weekday,
        weekdayName,
        monthName,
        hour,
        minute,
        second,
        millis,
        zoneOffset,
        lock,
        quality,
        dst,
        leap,
        checksum,
    };
    struct Piece {
        Kind kind = Kind::literal;
        // In UTC rather than local time (after %Z).
        bool utc = false;
        // literal: its bytes; state tokens: one glyph each.
        ByteString bytes;
        // quality: the thresholds, ascending, in microseconds.
        std::vector<std::int64_t> thresholdsMicros;
        // Where the message's bytes of this piece start.
        std::size_t at = 0;
    };

    // As the operator wrote it, after "custom:".
    std::string text;
    std::vector<Piece> pieces;
    std::size_t length = 0;
    std::size_t onTimeAt = 0;
    // The checksum's span, [spanBegin, spanEnd) in message bytes, when there is one.
    std::optional<std::size_t> spanBegin;
    std::optional<std::size_t> spanEnd;

    ByteString build(const TimeReading& reading) const;
    // The message as the log shows it: control bytes and backslashes as escapes.
    std::string logText(const TimeReading& reading) const;
};

// Where a template is wrong: the 1-based column in the text after "custom:", and why.
struct TemplateProblem {
    std::size_t column = 0;
    std::string what;
};

struct CompiledTemplate {
    std::shared_ptr<const CustomTemplate> value;
    TemplateProblem problem;
};

// Compiles text; a message that would not fit in its second on line is refused.
CompiledTemplate compileTemplate(std::string_view text, const LineSettings& line);

// The custom format with text (what follows "custom:") compiled for line, or the
// problem as templateProblemText says it.
Parsed<FormatChoice> parseCustomFormat(std::string_view text, const LineSettings& line = timeLine);

// problem as lines for standard error: what and where, the text, and a caret under
// the offending column, e.g.
//   --format custom:%j %q: unknown token %q at column 4
//     custom:%j %q
//               ^
std::string templateProblemText(std::string_view text, const TemplateProblem& problem);

// bytes written as the log shows them: \r \n \\ and \xHH for other control bytes.
std::string escapedText(const ByteString& bytes);

}  // namespace chronvane
