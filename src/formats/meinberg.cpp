// Meinberg standard time string: 32 characters between STX and ETX, the local date
// and time with the weekday and four status characters.
// <STX>D:dd.mm.yy;T:w;U:hh.mm.ss;uvxy<ETX>, on time at the STX.

#include "clock_string.h"

namespace chronvane {
namespace {

using namespace clock_string;

constexpr std::string_view title = "Meinberg standard time string";
// u: `#` never synchronised in this run; v: `*` synchronised earlier, not now;
// x: `U` UTC, `S` summer time, space standard time; y: `!` a change of daylight
// saving time within the hour, `A` a leap second at its end.
constexpr Layout layout{"\x02"
                        "D:nn.nn.nn;T:n;U:nn.nn.nn;ssss\x03",
                        {"# ", "* ", "US ", "!A "}};
constexpr std::size_t dayAt = 3, monthAt = 6, weekdayAt = 14, hourAt = 18,
                      statusAt = 27;

std::size_t length(const FormatSettings&) {
    return layout.pattern.size();
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    ByteString out;
    out.reserve(layout.pattern.size());
    appendText(out, "\x02"
                    "D:");
    appendDigits(out, time.day, 2);
    out.push_back('.');
    appendDigits(out, time.month + 1, 2);
    out.push_back('.');
    appendDigits(out, time.year % 100, 2);
    appendText(out, ";T:");
    // Monday = 1 to Sunday = 7.
    appendDigits(out, (time.weekday + 6) % 7 + 1, 1);
    appendText(out, ";U:");
    appendTimeOfDay(out, time.local(), '.');
    out.push_back(';');
    out.push_back(!synchronised(time) && !time.wasSynchronised ? '#' : ' ');
    out.push_back(holdover(time) ? '*' : ' ');
    // Only a zone with neither offset nor daylight saving is taken for UTC.
    out.push_back(time.daylightSaving ? 'S' : time.utcOffsetSeconds == 0 ? 'U' : ' ');
    // A leap second and a change of daylight saving time never fall in one hour
    // anywhere clocks are set by law; the leap second is said if they did.
    out.push_back(leapThisHour(time) ? 'A' : offsetChangeWithin(time, 3600) ? '!' : ' ');
    out.push_back(0x03);
    return out;
}

std::string transmittedText(const TimeReading& time, const FormatSettings& settings) {
    return transmittedLine(title, build(time, settings));
}

void read(std::span<const std::uint8_t> bytes, DecodedMessage& message) {
    message.day = digitsAt(bytes, dayAt, 2);
    message.month = digitsAt(bytes, monthAt, 2);
    const std::optional<int> weekday = digitsAt(bytes, weekdayAt, 1);
    if (weekday) {
        message.weekday = *weekday % 7 + 1;
    }
    readTimeOfDay(bytes, hourAt, message);
    checkRange(message, message.day, 1, 31);
    checkRange(message, message.month, 1, 12);
    checkRange(message, weekday, 1, 7);
    if (bytes.size() > statusAt + 1) {
        const bool never = bytes[statusAt] == '#';
        const bool lost = bytes[statusAt + 1] == '*';
        message.claimsSync = !never && !lost;
        if (never) {
            message.status.emplace_back("not synchronised");
        }
        if (lost) {
            message.status.emplace_back("holdover");
        }
    }
    if (bytes.size() > statusAt + 3) {
        if (bytes[statusAt + 3] == '!') {
            message.status.emplace_back("DST change ahead");
        } else if (bytes[statusAt + 3] == 'A') {
            message.status.emplace_back("leap second ahead");
        }
    }
}

std::unique_ptr<FormatDecoder> makeDecoder() {
    return clock_string::makeDecoder(layout, read);
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat meinbergFormat;
constexpr TimeFormat meinbergFormat{
    .names = {title, "", "Meinberg", "meinberg", "meinberg"},
    .example = "<STX>D:09.12.26;T:3;U:23.15.07;    <ETX>",
    .needsYear = true,
    .needsZone = true,
    .carriesDate = true,
    .carriesWeekday = true,
    .carriesLeapSecond = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(meinbergFormat));

}  // namespace chronvane
