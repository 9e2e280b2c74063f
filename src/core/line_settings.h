#pragma once

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <string_view>
#include <system_error>

#include "flow_control.h"
#include "parsed.h"

namespace chronvane {

enum class Parity { None, Odd, Even };
enum class StopBits { One, Two };

// How the serial line is framed: what the port opens with, what the monitor listens
// at, and what the help and manual pages say.
struct LineSettings {
    int baudRate = 9600;
    int dataBits = 8;  // 5 to 8
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
    // The output flow control: nothing by default, so that one stray 0x13 from the
    // equipment or from line noise cannot stop the clock.
    FlowControl flow = FlowControl::None;

    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// The line every show controller on the other end expects: 9600 baud, 8N1, no
// handshake. Another speed or framing starts here.
inline constexpr LineSettings timeLine{};

// "8N1": data bits, parity letter, stop bits.
inline std::string framingText(const LineSettings& line) {
    const char parity = line.parity == Parity::None ? 'N' : line.parity == Parity::Odd ? 'O' : 'E';
    return std::to_string(line.dataBits) + parity + (line.stopBits == StopBits::One ? "1" : "2");
}

// "9600 baud, 8 data bits, no parity, 1 stop bit", as the help texts say it.
inline std::string lineText(const LineSettings& line) {
    const char* parity = line.parity == Parity::None  ? "no parity"
                         : line.parity == Parity::Odd ? "odd parity"
                                                      : "even parity";
    return std::to_string(line.baudRate) + " baud, " + std::to_string(line.dataBits) +
           " data bits, " + parity + ", " + (line.stopBits == StopBits::One ? "1 stop bit" : "2 stop bits");
}

// The speeds --line takes: the standard ones a UART and its driver all have.
inline constexpr std::array<int, 8> lineSpeeds{1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};

// "SPEED,FRAMING" as --line takes it ("4800,8N1", "9600,7O1"): one of lineSpeeds,
// 7 or 8 data bits, N, E or O (any case), 1 or 2 stop bits. The flow control is
// left at none: it has an option of its own.
inline Parsed<LineSettings> parseLine(std::string_view value) {
    const std::string refused =
        "--line " + std::string(value) +
        ": expected SPEED,FRAMING, for example 9600,8N1 (speed 1200 to 115200, 7 or 8 data "
        "bits, parity N, E or O, 1 or 2 stop bits)";
    const auto comma = value.find(',');
    if (comma == std::string_view::npos) {
        return {std::nullopt, refused};
    }
    const std::string_view speedText = value.substr(0, comma);
    const std::string_view framing = value.substr(comma + 1);
    LineSettings line;
    const auto [end, error] =
        std::from_chars(speedText.data(), speedText.data() + speedText.size(), line.baudRate);
    if (speedText.empty() || error != std::errc{} || end != speedText.data() + speedText.size() ||
        std::find(lineSpeeds.begin(), lineSpeeds.end(), line.baudRate) == lineSpeeds.end() ||
        framing.size() != 3 || (framing[0] != '7' && framing[0] != '8') ||
        (framing[2] != '1' && framing[2] != '2')) {
        return {std::nullopt, refused};
    }
    line.dataBits = framing[0] - '0';
    switch (framing[1]) {
        case 'N':
        case 'n':
            line.parity = Parity::None;
            break;
        case 'E':
        case 'e':
            line.parity = Parity::Even;
            break;
        case 'O':
        case 'o':
            line.parity = Parity::Odd;
            break;
        default:
            return {std::nullopt, refused};
    }
    line.stopBits = framing[2] == '1' ? StopBits::One : StopBits::Two;
    return {line, {}};
}

// "9600,8N1", as --line takes it.
inline std::string lineOptionText(const LineSettings& line) {
    return std::to_string(line.baudRate) + "," + framingText(line);
}

}  // namespace chronvane
