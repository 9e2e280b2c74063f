// IRIG J (IRIG 212): the UTC day of the year and time of day, no status.
// <SOH>DDD:HH:MM:SS<CR><LF>, 7 data bits, odd parity, on time at the first start
// bit. A listener at 8N1 reads the parity bit as the eighth data bit, so the
// monitor must listen at 7O1 to recognise it.
//
// It opens as the TrueTime string does, whose row comes first: that one leaves
// the bytes to this one when a CR stands where its quality character would.

#include "clock_string.h"

namespace chronvane {
namespace {

using namespace clock_string;

constexpr std::string_view title = "IRIG J";
constexpr Layout layout{"\x01"
                        "nnn:nn:nn:nn\r\n",
                        {},
                        14};
constexpr std::size_t dayAt = 1, hourAt = 5;

std::size_t length(const FormatSettings&) {
    return layout.pattern.size();
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    ByteString out;
    out.reserve(layout.pattern.size());
    out.push_back(0x01);
    appendDigits(out, dayOfYear(time.utc), 3);
    out.push_back(':');
    appendTimeOfDay(out, time.utc);
    appendText(out, "\r\n");
    return out;
}

std::string transmittedText(const TimeReading& time, const FormatSettings& settings) {
    return transmittedLine(title, build(time, settings));
}

void read(std::span<const std::uint8_t> bytes, DecodedMessage& message) {
    readTimeOfDay(bytes, hourAt, message);
    checkRange(message, digitsAt(bytes, dayAt, 3), 1, 366);
}

std::unique_ptr<FormatDecoder> makeDecoder() {
    return clock_string::makeDecoder(layout, read);
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat irigJFormat;
constexpr TimeFormat irigJFormat{
    .names = {title, "", "IRIG J", "irig-j", "irig-j"},
    .line = {9600, 7, Parity::Odd, StopBits::One},
    .example = "<SOH>343:22:15:07<CR><LF>",
    .needsUtc = true,
    .needsYear = true,
    .carriesUtc = true,
    .carriesLeapSecond = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(irigJFormat));

}  // namespace chronvane
