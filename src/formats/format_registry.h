#pragma once

// src/formats: the time formats, one file each (ese.cpp, datetime8.cpp), and this
// registry of their rows: what each is called, the line it goes on, how its bytes
// are made from a time reading, its log text, and how the monitor recognises and
// checks it. Nothing outside this folder knows a format's bytes.
//
// A new format is its own file exporting one TimeFormat row, an entry in the enum
// below and its row in format_registry.cpp; the compiler then insists on a radio id
// (src/dialog_rules/dialog_rules.h). What it cannot find, and a new format needs:
//   - resources/chronvane32.rc: the main window's radio for it (IDC_..._RADIO in
//     resources/resource.h), in id order with the others;
//   - packaging/ (the manual pages chronvane32.1 and chronvane32-monitor.1): its
//     option and what it sends;
//   - README.md: the list of formats at the top, the options table and the
//     monitor's example lines;
//   - the help texts take their titles and options from the rows, but their
//     sentences (src/start/program_options.cpp, src/monitor/monitor_options.cpp)
//     name the formats there are.

#include <array>
#include <cstddef>
#include <memory>

#include <string>
#include <string_view>

#include "core/byte_string.h"
#include "core/parsed.h"
#include "time_format.h"

namespace chronvane {

// Which time message goes on the wire. Not stored: the controller asks the window
// at every send.
enum class Protocol {
    EseRealTimeClock,  // 12-byte text line, the default
    OstrelDateTime,    // six 8-byte binary packets
    NmeaRmc,           // NMEA 0183 RMC sentence
    NmeaZda,           // NMEA 0183 ZDA sentence
    Nmea,              // RMC then ZDA
    Meinberg,          // Meinberg standard time string, 32 characters
    Spectracom0,       // Spectracom format 0 (NENA)
    Spectracom1,       // Spectracom format 1 (NENA)
    Spectracom2,       // Spectracom format 2, UTC to the millisecond
    TrueTime,          // TrueTime-style string, UTC, on time at its CR
    IrigJ,             // IRIG J, UTC, 7O1
    Custom,            // the operator's own template (--format custom:TEXT)
};

// Every protocol, in the enum's order (that of the rows).
inline constexpr std::array<Protocol, 12> allProtocols{
    Protocol::EseRealTimeClock, Protocol::OstrelDateTime, Protocol::NmeaRmc,
    Protocol::NmeaZda,          Protocol::Nmea,           Protocol::Meinberg,
    Protocol::Spectracom0,      Protocol::Spectracom1,    Protocol::Spectracom2,
    Protocol::TrueTime,         Protocol::IrigJ,          Protocol::Custom};
inline constexpr std::size_t formatCount = allProtocols.size();

// The formats the main window has a radio for (their rows' hasRadio): the first
// entries of the enum, so that a radio's place is its protocol's index. Any other
// is sent in console mode and by the service only.
inline constexpr std::array<Protocol, 2> radioProtocols{Protocol::EseRealTimeClock,
                                                        Protocol::OstrelDateTime};

// The one protocol that needs no option.
inline constexpr Protocol defaultProtocol = Protocol::EseRealTimeClock;

constexpr std::size_t protocolIndex(Protocol protocol) {
    return static_cast<std::size_t>(protocol);
}

// The row of a protocol, and every row in the enum's order.
const TimeFormat& formatOf(Protocol protocol);
const std::array<const TimeFormat*, formatCount>& allFormats();

inline const FormatNames& namesOf(Protocol protocol) {
    return formatOf(protocol).names;
}

// The message and its log text with a format's settings left as they are.
ByteString buildMessage(Protocol protocol, const TimeReading& reading,
                        const FormatSettings& settings = {});
std::string transmittedText(Protocol protocol, const TimeReading& reading,
                            const FormatSettings& settings = {});

// The monitor's decoder of a protocol with its settings (a custom template's
// decoder matches that template; without one it matches nothing).
std::unique_ptr<FormatDecoder> makeDecoder(Protocol protocol, const FormatSettings& settings = {});

// The longest message of any format, in bytes.
std::size_t longestMessage();

// What --format chooses: the format and what it is told beyond that (the template
// of custom:TEXT).
struct FormatChoice {
    Protocol protocol = defaultProtocol;
    FormatSettings settings;
    friend bool operator==(const FormatChoice&, const FormatChoice&) = default;
};

// A row's word ("ese", "ostrel8") as --format takes it, or custom:TEXT with TEXT
// compiled (parseCustomFormat); otherwise no value and a line listing the words
// there are, or pointing at the template's problem.
Parsed<FormatChoice> parseFormatName(std::string_view name);

// Every row's word, in the enum's order, joined by ", ".
std::string formatWords();

}  // namespace chronvane
