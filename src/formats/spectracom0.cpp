// Spectracom format 0 (a NENA format): the local day of the year and time of day,
// the sync character, the daylight character and the zone.
// <CR><LF>I^^DDD^HH:MM:SS^DTZ=XX<CR><LF>, on time at the first CR.
//
// XX is the zone's standard time as the hours to add to it for UTC, 00 to 23:
// "05" in New York, "23" (that is, -1) in Berlin; a zone off the whole hour gives
// the whole hours below its offset.

#include "clock_string.h"

namespace chronvane {
namespace {

using namespace clock_string;

constexpr std::string_view title = "Spectracom format 0";
constexpr Layout layout{"\r\ns  nnn nn:nn:nn sTZ=nn\r\n", {" ?*", "SIDO"}, 5};
constexpr std::size_t syncAt = 2, dayAt = 5, hourAt = 9,
                      daylightAt = 18, zoneAt = 22;

std::size_t length(const FormatSettings&) {
    return layout.pattern.size();
}

int zoneHours(const TimeReading& time) {
    constexpr int hour = 3600;
    const int standard = time.utcOffsetSeconds - (time.daylightSaving ? hour : 0);
    // Rounded down, east of Greenwich too.
    int west = -standard / hour;
    if (-standard % hour < 0) {
        --west;
    }
    return (west % 24 + 24) % 24;
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    ByteString out;
    out.reserve(layout.pattern.size());
    appendText(out, "\r\n");
    out.push_back(synchronised(time) ? ' ' : '?');
    appendText(out, "  ");
    appendDigits(out, dayOfYear(time.local()), 3);
    out.push_back(' ');
    appendTimeOfDay(out, time.local());
    out.push_back(' ');
    out.push_back(static_cast<std::uint8_t>(daylightCharacter(time)));
    appendText(out, "TZ=");
    appendDigits(out, zoneHours(time), 2);
    appendText(out, "\r\n");
    return out;
}

std::string transmittedText(const TimeReading& time, const FormatSettings& settings) {
    return transmittedLine(title, build(time, settings));
}

void read(std::span<const std::uint8_t> bytes, DecodedMessage& message) {
    readTimeOfDay(bytes, hourAt, message);
    checkRange(message, digitsAt(bytes, dayAt, 3), 1, 366);
    checkRange(message, digitsAt(bytes, zoneAt, 2), 0, 23);
    if (bytes.size() > syncAt) {
        readSpectracomSync(bytes[syncAt], message);
    }
    if (bytes.size() > daylightAt) {
        readSpectracomDaylight(bytes[daylightAt], message);
    }
}

std::unique_ptr<FormatDecoder> makeDecoder() {
    return clock_string::makeDecoder(layout, read);
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat spectracom0Format;
constexpr TimeFormat spectracom0Format{
    .names = {title, "", "Spectracom 0", "spectracom0", "spectracom0"},
    .example = "<CR><LF>   343 23:15:07 STZ=23<CR><LF>",
    .needsYear = true,
    .needsZone = true,
    .carriesLeapSecond = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(spectracom0Format));

}  // namespace chronvane
