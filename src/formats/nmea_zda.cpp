// NMEA 0183 ZDA alone: the UTC time, the date with its year and the local zone's
// offset once a second. ZDA has no field that says whether it is to be believed.

#include "nmea_sentence.h"

namespace chronvane {
namespace {

std::size_t length(const FormatSettings&) {
    return nmea::zdaLength;
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
    .build = nmea::buildSentences<nmea::zdaSentence>,
    .transmittedText = nmea::sentencesText<nmea::zdaSentence>,
    .makeDecoder = nmea::makeDecoder,
};
static_assert(complete(nmeaZdaFormat));

}  // namespace chronvane
