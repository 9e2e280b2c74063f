#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The two wire formats' fixed bytes, shared by the message builders and by the
// stream decoder so that the two can never drift apart.
namespace chronvane::wire {

// ESE Real Time Clock: "HH:MM:SS" then three spaces and a carriage return.
inline constexpr std::size_t eseLength = 12;
inline constexpr std::uint8_t eseSeparator = 0x3A;  // ':'
inline constexpr std::uint8_t eseSpace = 0x20;
inline constexpr std::uint8_t eseTerminator = 0x0D;
// Where each part sits in the message. Each number is two ASCII digits.
inline constexpr std::size_t eseHourAt = 0;
inline constexpr std::size_t eseFirstSeparatorAt = 2;
inline constexpr std::size_t eseMinuteAt = 3;
inline constexpr std::size_t eseSecondSeparatorAt = 5;
inline constexpr std::size_t eseSecondAt = 6;
inline constexpr std::size_t eseFirstSpaceAt = 8;
inline constexpr std::size_t eseSpaceCount = 3;
inline constexpr std::size_t eseTerminatorAt = 11;
inline constexpr std::size_t eseDigitCount = 2;
static_assert(eseFirstSpaceAt + eseSpaceCount == eseTerminatorAt);
static_assert(eseTerminatorAt + 1 == eseLength);

// 8-bit Date/Time: six packets, each F5 00 00 03 28 <variable> <value> <checksum>.
inline constexpr std::size_t packetLength = 8;
inline constexpr std::size_t packetCount = 6;
inline constexpr std::size_t dateTimeLength = packetLength * packetCount;
inline constexpr std::array<std::uint8_t, 5> packetHeader{0xF5, 0x00, 0x00, 0x03, 0x28};
// Where each part sits in one packet.
inline constexpr std::size_t packetHeaderAt = 0;
inline constexpr std::size_t packetVariableAt = packetHeader.size();
inline constexpr std::size_t packetValueAt = packetVariableAt + 1;
inline constexpr std::size_t packetChecksumAt = packetValueAt + 1;
static_assert(packetChecksumAt + 1 == packetLength);

// Variable bytes in packet order: month, day, weekday, hour, minute, second. The
// operator's documentation numbers them one higher (Var26 to Var31).
inline constexpr std::uint8_t firstVariable = 0x19;

struct ValueRange {
    int low;
    int high;
};
// Allowed value bytes per packet, as sent (month and weekday are one-based).
inline constexpr std::array<ValueRange, packetCount> valueRanges{
    {{1, 12}, {1, 31}, {1, 7}, {0, 23}, {0, 59}, {0, 59}}};

// The checksum covers bytes 3 to 6; the first three header bytes are left out.
inline constexpr std::size_t checksumFirstHeaderByte = 3;
constexpr std::uint8_t packetChecksum(std::uint8_t variable, std::uint8_t value) {
    return static_cast<std::uint8_t>(packetHeader[checksumFirstHeaderByte] +
                                     packetHeader[checksumFirstHeaderByte + 1] + variable + value);
}

}  // namespace chronvane::wire
