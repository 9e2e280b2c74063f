// NMEA 0183 ZDA alone: the UTC time, the date with its year and the local zone's
// offset once a second. ZDA has no field that says whether it is to be believed.

#include "nmea_sentence.h"

namespace chronvane {
namespace {

std::size_t length(const FormatSettings&) {
    return nmea::zdaLength;
}

ByteString build(const TimeReading& reading, const FormatSettings& settings) {
    const std::string text = nmea::zdaSentence(reading, settings);
    return ByteString(text.begin(), text.end());
}

std::string transmittedText(const TimeReading& reading, const FormatSettings& settings) {
    return nmea::transmittedText({nmea::zdaSentence(reading, settings)});
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat nmeaZdaFormat;
constexpr TimeFormat nmeaZdaFormat{
    .names = {"NMEA 0183 ZDA", "", "NMEA ZDA", "nmea-zda", "nmea-zda"},
    .line = {.baudRate = 4800},
    .onTimeAt = 0,
    .example = "$GPZDA,220120.00,09,12,2026,01,00*68<CR><LF>",
    .needsUtc = true,
    .needsYear = true,
    .needsZone = true,
    .carriesUtc = true,
    .carriesDate = true,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = nmea::makeDecoder,
};
static_assert(complete(nmeaZdaFormat));

}  // namespace chronvane
