// NMEA 0183 RMC alone: the UTC time and date once a second, valid ("A") only while
// this computer's clock is synchronised, with the position left empty, for the
// receivers that take their time from a GPS's RMC sentence.

#include "nmea_sentence.h"

namespace chronvane {
namespace {

std::size_t length(const FormatSettings&) {
    return nmea::rmcLength;
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
    .build = nmea::buildSentences<nmea::rmcSentence>,
    .transmittedText = nmea::sentencesText<nmea::rmcSentence>,
    .makeDecoder = nmea::makeDecoder,
};
static_assert(complete(nmeaRmcFormat));

}  // namespace chronvane
