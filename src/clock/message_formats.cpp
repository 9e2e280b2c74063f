#include "message_formats.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "core/calendar_names.h"
#include "core/wire_format.h"

namespace chronvane {
namespace {

template <std::size_t N>
std::string_view nameAt(const std::array<std::string_view, N>& names, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < N
               ? names[static_cast<std::size_t>(index)]
               : std::string_view{"?"};
}

// Two digits, zero-padded; a value outside 0 to 99 cannot occur for a valid time
// and is folded into that range rather than overflowing the field.
void putTwoDigits(std::string& out, int value) {
    const int v = ((value % 100) + 100) % 100;
    out.push_back(static_cast<char>('0' + v / 10));
    out.push_back(static_cast<char>('0' + v % 10));
}

std::string clockText(const LocalTime& time) {
    std::string text;
    text.reserve(wire::eseFirstSpaceAt);
    putTwoDigits(text, time.hour);
    text.push_back(static_cast<char>(wire::eseSeparator));
    putTwoDigits(text, time.minute);
    text.push_back(static_cast<char>(wire::eseSeparator));
    putTwoDigits(text, time.second);
    return text;
}

}  // namespace

ByteString buildEseMessage(const LocalTime& time) {
    const std::string text = clockText(time);
    ByteString message(text.begin(), text.end());
    message.insert(message.end(), wire::eseSpaceCount, wire::eseSpace);
    message.push_back(wire::eseTerminator);
    return message;
}

std::string eseLogText(const LocalTime& time) {
    return clockText(time);
}

ByteString buildDateTimeMessage(const LocalTime& time) {
    const std::array<int, wire::packetCount> values{time.month + 1, time.day,    time.weekday + 1,
                                                    time.hour,      time.minute, time.second};
    ByteString message;
    message.reserve(wire::dateTimeLength);
    for (std::size_t i = 0; i < wire::packetCount; ++i) {
        const auto variable = static_cast<std::uint8_t>(wire::firstVariable + i);
        const auto value = static_cast<std::uint8_t>(values[i]);
        std::array<std::uint8_t, wire::packetLength> packet{};
        std::copy(wire::packetHeader.begin(), wire::packetHeader.end(),
                  packet.begin() + wire::packetHeaderAt);
        packet[wire::packetVariableAt] = variable;
        packet[wire::packetValueAt] = value;
        packet[wire::packetChecksumAt] = wire::packetChecksum(variable, value);
        message.insert(message.end(), packet.begin(), packet.end());
    }
    return message;
}

std::string dateTimeLogText(const LocalTime& time) {
    std::string text;
    text.append(nameAt(weekdayNames, time.weekday));
    text.push_back(' ');
    text.append(nameAt(monthNames, time.month));
    text.push_back(' ');
    putTwoDigits(text, time.day);
    text.append("  ");
    text.append(clockText(time));
    return text;
}

namespace {

std::string eseTransmittedText(const LocalTime& time) {
    return "Transmitted ESE Clock message \"" + eseLogText(time) + "\"";
}

std::string dateTimeTransmittedText(const LocalTime& time) {
    return "Transmitted \"" + dateTimeLogText(time) + "\"";
}

// In the order of allProtocols; a protocol without its row does not build.
constexpr std::array<MessageFormat, allProtocols.size()> messageFormats{{
    {buildEseMessage, eseTransmittedText},
    {buildDateTimeMessage, dateTimeTransmittedText},
}};
static_assert(std::ranges::all_of(messageFormats,
                                  [](const MessageFormat& format) {
                                      return format.build != nullptr &&
                                             format.transmittedText != nullptr;
                                  }),
              "every protocol has its builder and its log text");

}  // namespace

const MessageFormat& messageFormat(Protocol protocol) {
    return messageFormats.at(protocolIndex(protocol));
}

}  // namespace chronvane
