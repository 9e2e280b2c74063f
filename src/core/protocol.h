#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace chronvane {

// Which time message goes on the wire. Not stored: the controller asks the window
// at every send.
enum class Protocol {
    EseRealTimeClock,  // 12-byte text line, the default
    OstrelDateTime,    // six 8-byte binary packets
};

// Every protocol, in the order of protocolNames below.
inline constexpr std::array<Protocol, 2> allProtocols{Protocol::EseRealTimeClock,
                                                      Protocol::OstrelDateTime};

// What each protocol is called wherever the program names it. A new protocol is
// added to the enum, to allProtocols and here; the controller's message table
// (clock/message_formats.cpp) and the windows' radio ids (app/dialog_rules.h)
// refuse to build until they have an entry for it too.
struct ProtocolNames {
    Protocol protocol;
    // As the help texts and the windows' radios call it.
    std::string_view title;
    // The short option that chooses it, searched for as text in any case; empty
    // for the default, which needs none.
    std::string_view option;
    // The monitor's report: its column in a line, its value in JSON.
    std::string_view reportLabel;
    std::string_view jsonName;
};

inline constexpr std::array<ProtocolNames, allProtocols.size()> protocolNames{{
    {Protocol::EseRealTimeClock, "ESE Real Time Clock", "", "ESE", "ese"},
    {Protocol::OstrelDateTime, "Ostrel 8-bit Date/Time", "ostrel8", "8-bit Date/Time", "8-bit"},
}};

constexpr std::size_t protocolIndex(Protocol protocol) {
    return static_cast<std::size_t>(protocol);
}

constexpr const ProtocolNames& namesOf(Protocol protocol) {
    return protocolNames[protocolIndex(protocol)];
}

constexpr bool protocolTablesAgree() {
    for (std::size_t i = 0; i < allProtocols.size(); ++i) {
        if (protocolIndex(allProtocols[i]) != i || protocolNames[i].protocol != allProtocols[i]) {
            return false;
        }
    }
    return true;
}
static_assert(protocolTablesAgree(), "allProtocols and protocolNames follow the enum's order");

// The one protocol that needs no option.
inline constexpr Protocol defaultProtocol = Protocol::EseRealTimeClock;
static_assert(namesOf(defaultProtocol).option.empty());

}  // namespace chronvane
