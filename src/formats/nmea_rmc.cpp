// NMEA 0183 RMC alone: the UTC time and date once a second, valid ("A") only while
// this computer's clock is synchronised, with the position left empty, for the
// receivers that take their time from a GPS's RMC sentence.

#include "nmea_sentence.h"

namespace chronvane {
namespace {

std::size_t length(const FormatSettings&) {
    return nmea::rmcLength;
}

ByteString build(const TimeReading& reading, const FormatSettings& settings) {
    const std::string text = nmea::rmcSentence(reading, settings);
    return ByteString(text.begin(), text.end());
}

std::string transmittedText(const TimeReading& reading, const FormatSettings& settings) {
    return nmea::transmittedText({nmea::rmcSentence(reading, settings)});
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat nmeaRmcFormat;
constexpr TimeFormat nmeaRmcFormat{
    .names = {"NMEA 0183 RMC", "", "NMEA RMC", "nmea-rmc", "nmea-rmc"},
    .line = {.baudRate = 4800},
    .onTimeAt = 0,
    .example = "$GPRMC,220120.00,A,,,,,,,091226,,,A*68<CR><LF>",
    .needsUtc = true,
    .carriesUtc = true,
    .carriesDate = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = nmea::makeDecoder,
};
static_assert(complete(nmeaRmcFormat));

}  // namespace chronvane
