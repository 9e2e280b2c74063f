// NMEA 0183 RMC then ZDA each second in one write, so that a receiver wanting
// either finds it, and one wanting the validity of RMC and the year of ZDA has
// both. The second starts with the "$" of the RMC.

#include "nmea_sentence.h"

namespace chronvane {
namespace {

std::size_t length(const FormatSettings&) {
    return nmea::rmcLength + nmea::zdaLength;
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
    .build = nmea::buildSentences<nmea::rmcSentence, nmea::zdaSentence>,
    .transmittedText = nmea::sentencesText<nmea::rmcSentence, nmea::zdaSentence>,
    .makeDecoder = nmea::makePairDecoder,
};
static_assert(complete(nmeaFormat));

}  // namespace chronvane
