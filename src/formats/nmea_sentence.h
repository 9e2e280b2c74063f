#pragma once

// What the NMEA 0183 formats share (nmea_rmc.cpp, nmea_zda.cpp, nmea.cpp): the RMC
// and ZDA sentences for one second, and the monitor's decoding of both.

#include <memory>
#include <string>

#include "time_format.h"

namespace chronvane::nmea {

// Each sentence whole: "$", the talker, the body, "*", the checksum, CR LF.
std::string rmcSentence(const TimeReading& reading, const FormatSettings& settings);
std::string zdaSentence(const TimeReading& reading, const FormatSettings& settings);

// The longest of each: a zone west of Greenwich takes one byte more in ZDA.
inline constexpr std::size_t rmcLength = 40;
inline constexpr std::size_t zdaLength = 39;

// `Transmitted NMEA "$GPRMC,...*4A"`, one quoted sentence after another, without
// their CR LF.
std::string transmittedText(std::initializer_list<std::string> sentences);

// One sentence of a second, whole.
using SentenceMaker = std::string (*)(const TimeReading& reading, const FormatSettings& settings);

// The build and transmittedText hooks of a row that sends these sentences, in this
// order, in one write.
template <SentenceMaker... makers>
ByteString buildSentences(const TimeReading& reading, const FormatSettings& settings) {
    std::string text;
    (text.append(makers(reading, settings)), ...);
    return ByteString(text.begin(), text.end());
}
template <SentenceMaker... makers>
std::string sentencesText(const TimeReading& reading, const FormatSettings& settings) {
    return transmittedText({makers(reading, settings)...});
}

// The RMC and ZDA rows' decoder: every RMC and ZDA sentence, each a message as
// soon as it ends (a sound ZDA of the same second straight after an RMC adds
// none).
std::unique_ptr<FormatDecoder> makeDecoder();
// The nmea row's: an RMC and the ZDA after it as one message. Being longer, the
// pair wins over the RMC row's sentence wherever both match.
std::unique_ptr<FormatDecoder> makePairDecoder();

}  // namespace chronvane::nmea
