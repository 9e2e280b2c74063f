// Spectracom format 1 (a NENA format): the sync character, the local weekday, date
// and time of day, names in three capitals.
// <CR><LF>I^WWW^DDMMMYY^HH:MM:SS<CR><LF>, on time at the first CR.

#include <algorithm>
#include <cctype>

#include "clock_string.h"
#include "core/calendar_names.h"

namespace chronvane {
namespace {

using namespace clock_string;

constexpr std::string_view title = "Spectracom format 1";
constexpr Layout layout{"\r\ns aaa nnaaann nn:nn:nn\r\n", {" ?*"}, 5};
constexpr std::size_t syncAt = 2, weekdayAt = 4, dayAt = 8, monthAt = 10,
                      hourAt = 16;
constexpr std::size_t nameLength = 3;

std::size_t length(const FormatSettings&) {
    return layout.pattern.size();
}

void appendName(ByteString& out, std::string_view name) {
    for (std::size_t i = 0; i < nameLength; ++i) {
        out.push_back(static_cast<std::uint8_t>(
            std::toupper(static_cast<unsigned char>(i < name.size() ? name[i] : '?'))));
    }
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    ByteString out;
    out.reserve(layout.pattern.size());
    appendText(out, "\r\n");
    out.push_back(synchronised(time) ? ' ' : '?');
    out.push_back(' ');
    appendName(out, weekdayNames.at(static_cast<std::size_t>(time.weekday)));
    out.push_back(' ');
    appendDigits(out, time.day, 2);
    appendName(out, monthNames.at(static_cast<std::size_t>(time.month)));
    appendDigits(out, time.year % 100, 2);
    out.push_back(' ');
    appendTimeOfDay(out, time.local());
    appendText(out, "\r\n");
    return out;
}

std::string transmittedText(const TimeReading& time, const FormatSettings& settings) {
    return transmittedLine(title, build(time, settings));
}

// One-based place of the three letters at bytes[at] among names, in any case.
template <std::size_t N>
std::optional<int> nameAt(std::span<const std::uint8_t> bytes, std::size_t at,
                          const std::array<std::string_view, N>& names) {
    if (at + nameLength > bytes.size()) {
        return std::nullopt;
    }
    for (std::size_t n = 0; n < N; ++n) {
        bool same = true;
        for (std::size_t i = 0; i < nameLength; ++i) {
            same = same && std::toupper(bytes[at + i]) ==
                               std::toupper(static_cast<unsigned char>(names[n][i]));
        }
        if (same) {
            return static_cast<int>(n) + 1;
        }
    }
    return 0;
}

void read(std::span<const std::uint8_t> bytes, DecodedMessage& message) {
    message.weekday = nameAt(bytes, weekdayAt, weekdayNames);
    message.day = digitsAt(bytes, dayAt, 2);
    message.month = nameAt(bytes, monthAt, monthNames);
    readTimeOfDay(bytes, hourAt, message);
    checkRange(message, message.weekday, 1, 7);
    checkRange(message, message.day, 1, 31);
    checkRange(message, message.month, 1, 12);
    if (bytes.size() > syncAt) {
        readSpectracomSync(bytes[syncAt], message);
    }
}

std::unique_ptr<FormatDecoder> makeDecoder() {
    return clock_string::makeDecoder(layout, read);
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat spectracom1Format;
constexpr TimeFormat spectracom1Format{
    .names = {title, "", "Spectracom 1", "spectracom1", "spectracom1"},
    .example = "<CR><LF>  WED 09DEC26 23:15:07<CR><LF>",
    .needsYear = true,
    .carriesDate = true,
    .carriesWeekday = true,
    .carriesLeapSecond = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(spectracom1Format));

}  // namespace chronvane
