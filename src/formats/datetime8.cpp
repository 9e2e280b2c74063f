// Ostrel 8-bit Date/Time: six 8-byte binary packets that set month, day, weekday,
// hour, minute and second in a show controller, 48 bytes in all.

#include <algorithm>
#include <array>
#include <memory>

#include "clock_text.h"
#include "core/calendar_names.h"
#include "decoded_message.h"
#include "time_format.h"

namespace chronvane {
namespace {

// Each packet: F5 00 00 03 28 <variable> <value> <checksum>.
constexpr std::size_t packetLength = 8;
constexpr std::size_t packetCount = 6;
constexpr std::size_t messageLength = packetLength * packetCount;
constexpr std::array<std::uint8_t, 5> packetHeader{0xF5, 0x00, 0x00, 0x03, 0x28};
// Where each part sits in one packet.
constexpr std::size_t variableAt = packetHeader.size();
constexpr std::size_t valueAt = variableAt + 1;
constexpr std::size_t checksumAt = valueAt + 1;
static_assert(checksumAt + 1 == packetLength);

// Variable bytes in packet order: month, day, weekday, hour, minute, second. The
// operator's documentation numbers them one higher (Var26 to Var31).
constexpr std::uint8_t firstVariable = 0x19;

struct ValueRange {
    int low;
    int high;
};
// Allowed value bytes per packet, as sent (month and weekday are one-based).
constexpr std::array<ValueRange, packetCount> valueRanges{
    {{1, 12}, {1, 31}, {1, 7}, {0, 23}, {0, 59}, {0, 59}}};

// The checksum covers bytes 3 to 6; the first three header bytes are left out.
constexpr std::size_t checksumFirstHeaderByte = 3;
constexpr std::uint8_t checksum(std::uint8_t variable, std::uint8_t value) {
    return static_cast<std::uint8_t>(packetHeader[checksumFirstHeaderByte] +
                                     packetHeader[checksumFirstHeaderByte + 1] + variable + value);
}

template <std::size_t N>
std::string_view nameAt(const std::array<std::string_view, N>& names, int index) {
    return index >= 0 && static_cast<std::size_t>(index) < N
               ? names[static_cast<std::size_t>(index)]
               : std::string_view{"?"};
}

std::size_t length(const FormatSettings&) {
    return messageLength;
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    const std::array<int, packetCount> values{time.month + 1, time.day,    time.weekday + 1,
                                              time.hour,      time.minute, time.second};
    ByteString message;
    message.reserve(messageLength);
    for (std::size_t i = 0; i < packetCount; ++i) {
        const auto variable = static_cast<std::uint8_t>(firstVariable + i);
        const auto value = static_cast<std::uint8_t>(values[i]);
        message.insert(message.end(), packetHeader.begin(), packetHeader.end());
        message.push_back(variable);
        message.push_back(value);
        message.push_back(checksum(variable, value));
    }
    return message;
}

// "Transmitted "Weekday Month DD  HH:MM:SS"", two spaces before the hour.
std::string transmittedText(const TimeReading& time, const FormatSettings&) {
    std::string text = "Transmitted \"";
    text.append(nameAt(weekdayNames, time.weekday));
    text.push_back(' ');
    text.append(nameAt(monthNames, time.month));
    text.push_back(' ');
    text.append(twoDigits(time.day));
    text.append("  ");
    text.append(clockText(time));
    text.push_back('"');
    return text;
}

bool knownVariable(std::uint8_t variable) {
    return variable >= firstVariable && variable < firstVariable + packetCount;
}

// A message is put together from its packets, which arrive as units of their own.
class DateTimeDecoder final : public FormatDecoder {
  public:
    UnitMatch match(std::span<const std::uint8_t> bytes,
                    const StreamLookahead& ahead) const override {
        if (bytes.empty() || bytes[0] != packetHeader[0]) {
            return {Match::broken, 0};
        }
        const std::size_t limit = std::min(bytes.size(), packetHeader.size());
        for (std::size_t i = 0; i < limit; ++i) {
            if (bytes[i] != packetHeader[i]) {
                return {Match::broken, i};
            }
        }
        if (bytes.size() < packetLength) {
            return {Match::partial, bytes.size()};
        }
        // A packet that stops early is followed straight away by the next header. A
        // known variable byte rules that out; otherwise look for the header inside.
        if (!knownVariable(bytes[variableAt])) {
            for (std::size_t i = variableAt; i < packetLength; ++i) {
                if (bytes[i] != packetHeader[0]) {
                    continue;
                }
                // Only a whole header decides; until then, how the stream was cut
                // into reads would change the outcome.
                const Match inner = ahead.matchAt(i);
                if (inner == Match::complete) {
                    return {Match::broken, i};
                }
                if (inner == Match::partial) {
                    return {Match::partial, bytes.size()};
                }
            }
        }
        return {Match::complete, packetLength};
    }

    // Joined mid-message: wait for the first month packet.
    bool startsStream(std::span<const std::uint8_t> unit) const override {
        return unit[variableAt] == firstVariable;
    }

    void take(std::span<const std::uint8_t> unit, Timestamp firstByte,
              std::vector<DecodedMessage>& out) override {
        const std::uint8_t variable = unit[variableAt];
        const std::uint8_t value = unit[valueAt];
        const bool known = knownVariable(variable);
        const std::size_t slot = known ? std::size_t{variable} - firstVariable : m_nextPacket;
        // A packet from earlier in the order starts the next message.
        if (m_message && known && slot < m_nextPacket) {
            close(out);
        }
        DecodedMessage& message = open(firstByte);
        if (!known) {
            message.add(Fault::unknownVariable);
        } else {
            if (slot > m_nextPacket) {
                message.add(Fault::packetMissing);
            }
            const ValueRange range = valueRanges[slot];
            if (value < range.low || value > range.high) {
                message.add(Fault::valueOutOfRange);
            }
            std::optional<int>* fields[] = {&message.month, &message.day,    &message.weekday,
                                            &message.hour,  &message.minute, &message.second};
            *fields[slot] = value;
        }
        if (unit[checksumAt] != checksum(variable, value)) {
            message.add(Fault::badChecksum);
        }
        m_nextPacket = slot + 1;
        if (m_nextPacket >= packetCount) {
            close(out);
        }
    }

    void cutShort(std::span<const std::uint8_t>, Timestamp firstByte,
                  std::vector<DecodedMessage>& out) override {
        open(firstByte).add(Fault::cutShort);
        ++m_nextPacket;
        if (m_nextPacket >= packetCount) {
            close(out);
        }
    }

    void close(std::vector<DecodedMessage>& out) override {
        if (!m_message) {
            return;
        }
        DecodedMessage message = std::move(*m_message);
        m_message.reset();
        if (m_nextPacket < packetCount) {
            message.add(Fault::packetMissing);
        }
        m_nextPacket = 0;
        out.push_back(std::move(message));
    }

    void drop() override {
        m_message.reset();
        m_nextPacket = 0;
    }

  private:
    DecodedMessage& open(Timestamp firstByte) {
        if (!m_message) {
            m_message.emplace();
            m_message->firstByte = firstByte;
            m_nextPacket = 0;
        }
        return *m_message;
    }

    std::optional<DecodedMessage> m_message;
    std::size_t m_nextPacket = 0;
};

std::unique_ptr<FormatDecoder> makeDecoder() {
    return std::make_unique<DateTimeDecoder>();
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat dateTime8Format;
constexpr TimeFormat dateTime8Format{
    .names = {"Ostrel 8-bit Date/Time", "ostrel8", "8-bit Date/Time", "8-bit", "ostrel8"},
    .hasRadio = true,
    .example = "six 8-byte binary packets: time, date, weekday",
    .carriesDate = true,
    .carriesWeekday = true,
    // Its seconds byte stops at 59.
    .carriesLeapSecond = false,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(dateTime8Format));

}  // namespace chronvane
