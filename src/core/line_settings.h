#pragma once

#include <string>

#include "flow_control.h"

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

}  // namespace chronvane
