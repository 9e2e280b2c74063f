// NMEA 0183 RMC then ZDA each second in one write, so that a receiver wanting
// either finds it, and one wanting the validity of RMC and the year of ZDA has
// both. The second starts with the "$" of the RMC.

#include "nmea_sentence.h"

namespace chronvane {
namespace {

std::size_t length(const FormatSettings&) {
    return nmea::rmcLength + nmea::zdaLength;
}

ByteString build(const TimeReading& reading, const FormatSettings& settings) {
    const std::string text =
        nmea::rmcSentence(reading, settings) + nmea::zdaSentence(reading, settings);
    return ByteString(text.begin(), text.end());
}

std::string transmittedText(const TimeReading& reading, const FormatSettings& settings) {
    return nmea::transmittedText(
        {nmea::rmcSentence(reading, settings), nmea::zdaSentence(reading, settings)});
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat nmeaFormat;
constexpr TimeFormat nmeaFormat{
    .names = {"NMEA 0183 RMC and ZDA", "", "NMEA", "nmea", "nmea"},
    .line = {.baudRate = 4800},
    .onTimeAt = 0,
    .example = "$GPRMC,...*68<CR><LF>$GPZDA,...*68<CR><LF>",
    .needsUtc = true,
    .needsYear = true,
    .needsZone = true,
    .carriesUtc = true,
    .carriesDate = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = nmea::makePairDecoder,
};
static_assert(complete(nmeaFormat));

}  // namespace chronvane
