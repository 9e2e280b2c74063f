#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/wire_format.h"

namespace chronvane::test {

// The time of day one received message carries.
struct WireTime {
    int hour = 0;
    int minute = 0;
    int second = 0;

    // "HH:MM:SS", as the log shows it.
    std::string text() const {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", hour, minute, second);
        return buffer;
    }
};

// One whole ESE message; nullopt unless every fixed byte and digit is right.
inline std::optional<WireTime> decodeEse(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != wire::eseLength || bytes[2] != wire::eseSeparator ||
        bytes[5] != wire::eseSeparator || bytes[11] != wire::eseTerminator) {
        return std::nullopt;
    }
    for (std::size_t i = 8; i < 11; ++i) {
        if (bytes[i] != wire::eseSpace) {
            return std::nullopt;
        }
    }
    auto field = [&](std::size_t at) -> int {
        const int tens = bytes[at] - '0';
        const int ones = bytes[at + 1] - '0';
        return tens >= 0 && tens <= 9 && ones >= 0 && ones <= 9 ? tens * 10 + ones : -1;
    };
    const WireTime time{field(0), field(3), field(6)};
    if (time.hour < 0 || time.hour > 23 || time.minute < 0 || time.minute > 59 || time.second < 0 ||
        time.second > 59) {
        return std::nullopt;
    }
    return time;
}

// One whole 8-bit Date/Time message; nullopt unless all six packets are well formed
// (header, variable in order, value in range, checksum).
inline std::optional<WireTime> decodeDateTime(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != wire::dateTimeLength) {
        return std::nullopt;
    }
    int values[wire::packetCount] = {};
    for (std::size_t packet = 0; packet < wire::packetCount; ++packet) {
        const std::uint8_t* p = bytes.data() + packet * wire::packetLength;
        for (std::size_t i = 0; i < wire::packetHeader.size(); ++i) {
            if (p[i] != wire::packetHeader[i]) {
                return std::nullopt;
            }
        }
        const auto variable = static_cast<std::uint8_t>(wire::firstVariable + packet);
        if (p[5] != variable || p[7] != wire::packetChecksum(variable, p[6]) ||
            p[6] < wire::valueRanges[packet].low || p[6] > wire::valueRanges[packet].high) {
            return std::nullopt;
        }
        values[packet] = p[6];
    }
    return WireTime{values[3], values[4], values[5]};
}

}  // namespace chronvane::test
