#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/byte_string.h"
#include "core/time_reading.h"
#include "decoded_message.h"
#include "time_format.h"

// What the hardware clocks' fixed-layout text strings share (meinberg.cpp,
// spectracom.cpp's three, truetime.cpp, irig_j.cpp): the calendar sums their
// fields need, what their status characters are made from, and one decoder for
// every fixed layout.
namespace chronvane::clock_string {

// Day of the year, 1 to 366.
int dayOfYear(const CalendarTime& time);
// Whether the reading's offset from UTC changes within the next seconds.
bool offsetChangeWithin(const TimeReading& reading, std::int64_t seconds);
// Whether a leap second is announced for the end of the UTC hour the reading is
// in (the leap second itself included).
bool leapThisHour(const TimeReading& reading);
// Whether one is announced for the end of the reading's UTC month.
bool leapThisMonth(const TimeReading& reading);
// Whether the clock is synchronised now; an unknown state vouches for nothing.
inline bool synchronised(const TimeReading& reading) {
    return reading.trust == TimeReading::Trust::Synchronised;
}
// Not synchronised now, but it was earlier in this run.
inline bool holdover(const TimeReading& reading) {
    return !synchronised(reading) && reading.wasSynchronised;
}

// Spectracom's daylight character: `S` standard time, `D` daylight time, `I` or
// `O` when daylight time begins or ends within the next 24 hours.
char daylightCharacter(const TimeReading& reading);
// The status words of Spectracom's sync character (space: synchronised) and of
// its daylight character.
void readSpectracomSync(std::uint8_t byte, DecodedMessage& message);
void readSpectracomDaylight(std::uint8_t byte, DecodedMessage& message);

// The log line after "COMn: ": `Transmitted <title> "<text>"`, the message's
// printable bytes as sent, its control characters left out.
std::string transmittedLine(std::string_view title, const ByteString& message);

// value as exactly width decimal digits (modulo 10^width).
void appendDigits(ByteString& out, int value, int width);
void appendText(ByteString& out, std::string_view text);
// The digits at bytes[at, at + width), when they have all arrived and are digits.
std::optional<int> digitsAt(std::span<const std::uint8_t> bytes, std::size_t at, int width);

// One fixed layout. In pattern, `n` stands for a digit, `a` for a letter and `s`
// for a status character: the k-th `s` takes one of statusChars[k]. Every other
// byte stands for itself.
struct Layout {
    std::string_view pattern;
    std::array<std::string_view, 4> statusChars{};
    // Formats that open alike (Spectracom's three after their CR LF, TrueTime and
    // IRIG J before the quality character) are told apart within their first
    // sharedOpening bytes: a byte there that does not fit leaves the stream to the
    // next format rather than breaking this one's message. The enum's order then
    // decides, and a message of these broken so early counts as stray bytes.
    std::size_t sharedOpening = 1;
};

// The decoder for a format of one layout: each message stands alone. read fills
// in what the bytes carry, also from a message cut short (digitsAt then gives
// nothing for the fields that did not arrive).
using Reader = void (*)(std::span<const std::uint8_t> bytes, DecodedMessage& message);
std::unique_ptr<FormatDecoder> makeDecoder(const Layout& layout, Reader read);

// The time of day as every one of these strings has it: "HH:MM:SS", or with
// another separator ("HH.MM.SS").
void appendTimeOfDay(ByteString& out, const CalendarTime& time, char separator = ':');
// Reads it back from bytes[hourAt, hourAt + 8): hour, minute and second, each
// checked against its range (the second up to 60, a leap second).
void readTimeOfDay(std::span<const std::uint8_t> bytes, std::size_t hourAt, DecodedMessage& message);

// A field out of its range is a fault; a missing one is not.
void checkRange(DecodedMessage& message, const std::optional<int>& value, int low, int high);
// Month and day from a day of the year, for a message that carries the year.
void setDateFromDayOfYear(DecodedMessage& message, int year, int dayOfYear);

}  // namespace chronvane::clock_string
