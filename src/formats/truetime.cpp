// TrueTime-style string: the UTC day of the year and time of day, and a quality
// character. <SOH>DDD:HH:MM:SSQ<CR><LF>, on time at the CR, the 15th character.
//
// It opens as IRIG J does: a message that breaks before its quality character is
// left to IRIG J, whose row follows; one with a CR there is IRIG J's.

#include "clock_string.h"

namespace chronvane {
namespace {

using namespace clock_string;

constexpr std::string_view title = "TrueTime time string";
constexpr Layout layout{"\x01"
                        "nnn:nn:nn:nns\r\n",
                        {" .*#?"},
                        14};
constexpr std::size_t dayAt = 1, hourAt = 5, qualityAt = 13;

std::size_t length(const FormatSettings&) {
    return layout.pattern.size();
}

// TrueTime's classes, each symbol the order of the error bound: space under 1 ms,
// `.` under 5 ms (about 1 ms), `*` under 50 ms (about 5), `#` under 500 ms (about
// 50), `?` beyond or not synchronised.
char quality(const TimeReading& time) {
    if (!synchronised(time)) {
        return '?';
    }
    const std::int64_t bound = time.maxErrorMicros;
    return bound < 1'000 ? ' ' : bound < 5'000 ? '.' : bound < 50'000 ? '*' : bound < 500'000 ? '#' : '?';
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    ByteString out;
    out.reserve(layout.pattern.size());
    out.push_back(0x01);
    appendDigits(out, dayOfYear(time.utc), 3);
    out.push_back(':');
    appendTimeOfDay(out, time.utc);
    out.push_back(static_cast<std::uint8_t>(quality(time)));
    appendText(out, "\r\n");
    return out;
}

std::string transmittedText(const TimeReading& time, const FormatSettings& settings) {
    return transmittedLine(title, build(time, settings));
}

void read(std::span<const std::uint8_t> bytes, DecodedMessage& message) {
    readTimeOfDay(bytes, hourAt, message);
    checkRange(message, digitsAt(bytes, dayAt, 3), 1, 366);
    if (bytes.size() > qualityAt) {
        const std::uint8_t q = bytes[qualityAt];
        message.claimsSync = q != '?';
        if (q == '?') {
            message.status.emplace_back("not synchronised");
        } else if (q != ' ') {
            message.status.emplace_back(q == '.'   ? "error under 5 ms"
                                        : q == '*' ? "error under 50 ms"
                                                   : "error under 500 ms");
        }
    }
}

std::unique_ptr<FormatDecoder> makeDecoder() {
    return clock_string::makeDecoder(layout, read);
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat trueTimeFormat;
constexpr TimeFormat trueTimeFormat{
    .names = {title, "", "TrueTime", "truetime", "truetime"},
    .onTimeAt = qualityAt + 1,
    .example = "<SOH>343:22:15:07 <CR><LF>",
    .needsUtc = true,
    .needsYear = true,
    .carriesUtc = true,
    .carriesLeapSecond = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(trueTimeFormat));
static_assert(trueTimeFormat.onTimeAt == 14, "on time at the CR");

}  // namespace chronvane
