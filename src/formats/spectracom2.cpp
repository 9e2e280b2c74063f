// Spectracom format 2: the sync and quality characters, the UTC year, day of the
// year and time of day to the millisecond, the leap and daylight characters.
// <CR><LF>IQYY^DDD^HH:MM:SS.SSS^LD, on time at the first CR; the next message's
// CR LF ends it.

#include "clock_string.h"

namespace chronvane {
namespace {

using namespace clock_string;

constexpr std::string_view title = "Spectracom format 2";
constexpr Layout layout{"\r\nssnn nnn nn:nn:nn.nnn ss", {" ?*", " ABCD", " L", "SIDO"}, 5};
constexpr std::size_t syncAt = 2, qualityAt = 3, yearAt = 4, dayAt = 7, hourAt = 11,
                      leapAt = 24, daylightAt = 25;

std::size_t length(const FormatSettings&) {
    return layout.pattern.size();
}

// The bound on the error: space under 1 ms (locked), then `A` under 10 ms, `B`
// under 100 ms, `C` under 500 ms, `D` beyond or not synchronised.
char quality(const TimeReading& time) {
    if (!synchronised(time)) {
        return 'D';
    }
    const std::int64_t bound = time.maxErrorMicros;
    return bound < 1'000 ? ' ' : bound < 10'000 ? 'A' : bound < 100'000 ? 'B' : bound < 500'000 ? 'C' : 'D';
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    ByteString out;
    out.reserve(layout.pattern.size());
    appendText(out, "\r\n");
    out.push_back(synchronised(time) ? ' ' : '?');
    out.push_back(static_cast<std::uint8_t>(quality(time)));
    appendDigits(out, time.utc.year % 100, 2);
    out.push_back(' ');
    appendDigits(out, dayOfYear(time.utc), 3);
    out.push_back(' ');
    appendTimeOfDay(out, time.utc);
    // Sent at the change of second.
    appendText(out, ".000 ");
    out.push_back(leapThisMonth(time) ? 'L' : ' ');
    out.push_back(static_cast<std::uint8_t>(daylightCharacter(time)));
    return out;
}

std::string transmittedText(const TimeReading& time, const FormatSettings& settings) {
    return transmittedLine(title, build(time, settings));
}

void read(std::span<const std::uint8_t> bytes, DecodedMessage& message) {
    const std::optional<int> year = digitsAt(bytes, yearAt, 2);
    const std::optional<int> day = digitsAt(bytes, dayAt, 3);
    if (year && day) {
        // Two digits of the year: this century's.
        setDateFromDayOfYear(message, 2000 + *year, *day);
    }
    readTimeOfDay(bytes, hourAt, message);
    if (bytes.size() > syncAt) {
        readSpectracomSync(bytes[syncAt], message);
    }
    if (bytes.size() > qualityAt && bytes[qualityAt] != ' ') {
        message.status.push_back(std::string("quality ") + static_cast<char>(bytes[qualityAt]));
    }
    if (bytes.size() > leapAt && bytes[leapAt] == 'L') {
        message.status.emplace_back("leap second ahead");
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
extern const TimeFormat spectracom2Format;
constexpr TimeFormat spectracom2Format{
    .names = {title, "", "Spectracom 2", "spectracom2", "spectracom2"},
    .example = "<CR><LF>  26 343 22:15:07.000  S",
    .needsUtc = true,
    .needsYear = true,
    .needsZone = true,
    .carriesUtc = true,
    .carriesDate = true,
    .carriesLeapSecond = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(spectracom2Format));

}  // namespace chronvane
