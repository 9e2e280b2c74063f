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

#include "core/byte_string.h"
#include "time_format.h"

namespace chronvane {

// Which time message goes on the wire. Not stored: the controller asks the window
// at every send.
enum class Protocol {
    EseRealTimeClock,  // 12-byte text line, the default
    OstrelDateTime,    // six 8-byte binary packets
    Custom,            // the operator's own template (--format custom:TEXT)
};

// Every protocol, in the enum's order (that of the rows).
inline constexpr std::array<Protocol, 3> allProtocols{
    Protocol::EseRealTimeClock, Protocol::OstrelDateTime, Protocol::Custom};
// The protocols the windows offer a radio for.
inline constexpr std::array<Protocol, 2> radioProtocols{Protocol::EseRealTimeClock,
                                                        Protocol::OstrelDateTime};
inline constexpr std::size_t formatCount = allProtocols.size();

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

// A format chosen by name, with what it needs set (the template of custom:).
struct FormatChoice {
    Protocol protocol = defaultProtocol;
    FormatSettings settings;
};

// The monitor's decoder of a protocol with its settings (a custom template's
// decoder matches that template; without one it matches nothing).
std::unique_ptr<FormatDecoder> makeDecoder(Protocol protocol, const FormatSettings& settings = {});

// The longest message of any format, in bytes.
std::size_t longestMessage();

}  // namespace chronvane
