// ESE Real Time Clock: the time of day as a 12-byte text line, "HH:MM:SS", three
// spaces and a carriage return. The default format.

#include <algorithm>
#include <memory>

#include "clock_text.h"
#include "decoded_message.h"
#include "time_format.h"

namespace chronvane {
namespace {

constexpr std::size_t messageLength = 12;
constexpr std::uint8_t separator = 0x3A;  // ':'
constexpr std::uint8_t space = 0x20;
constexpr std::uint8_t terminator = 0x0D;
// Where each part sits in the message. Each number is two ASCII digits.
constexpr std::size_t hourAt = 0;
constexpr std::size_t firstSeparatorAt = 2;
constexpr std::size_t minuteAt = 3;
constexpr std::size_t secondSeparatorAt = 5;
constexpr std::size_t secondAt = 6;
constexpr std::size_t firstSpaceAt = 8;
constexpr std::size_t spaceCount = 3;
constexpr std::size_t terminatorAt = 11;
constexpr std::size_t digitCount = 2;
static_assert(firstSpaceAt + spaceCount == terminatorAt);
static_assert(terminatorAt + 1 == messageLength);

std::size_t length(const FormatSettings&) {
    return messageLength;
}

ByteString build(const TimeReading& time, const FormatSettings&) {
    const std::string text = clockText(time);
    ByteString message(text.begin(), text.end());
    message.insert(message.end(), spaceCount, space);
    message.push_back(terminator);
    return message;
}

std::string transmittedText(const TimeReading& time, const FormatSettings&) {
    return "Transmitted ESE Clock message \"" + clockText(time) + "\"";
}

bool isDigit(std::uint8_t byte) {
    return byte >= '0' && byte <= '9';
}

// Whether byte may stand at offset i of a message.
bool fits(std::size_t i, std::uint8_t byte) {
    if (i == firstSeparatorAt || i == secondSeparatorAt) {
        return byte == separator;
    }
    if (i >= firstSpaceAt && i < firstSpaceAt + spaceCount) {
        return byte == space;
    }
    if (i == terminatorAt) {
        return byte == terminator;
    }
    return isDigit(byte);
}

std::optional<int> number(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + digitCount > bytes.size() || !isDigit(bytes[at]) || !isDigit(bytes[at + 1])) {
        return std::nullopt;
    }
    return (bytes[at] - '0') * 10 + (bytes[at + 1] - '0');
}

// Every message stands alone: nothing is kept between units.
class EseDecoder final : public FormatDecoder {
  public:
    UnitMatch match(std::span<const std::uint8_t> bytes, const StreamLookahead&) const override {
        if (bytes.empty() || !isDigit(bytes[0])) {
            return {Match::broken, 0};
        }
        const std::size_t limit = std::min(bytes.size(), messageLength);
        for (std::size_t i = 0; i < limit; ++i) {
            if (!fits(i, bytes[i])) {
                return {Match::broken, i};
            }
        }
        return {limit == messageLength ? Match::complete : Match::partial, limit};
    }
    bool startsStream(std::span<const std::uint8_t>) const override { return true; }
    void take(std::span<const std::uint8_t> unit, Timestamp firstByte,
              std::vector<DecodedMessage>& out) override {
        out.push_back(decode(unit, firstByte));
    }
    void cutShort(std::span<const std::uint8_t> part, Timestamp firstByte,
                  std::vector<DecodedMessage>& out) override {
        DecodedMessage message = decode(part, firstByte);
        message.add(Fault::cutShort);
        out.push_back(std::move(message));
    }
    void close(std::vector<DecodedMessage>&) override {}
    void drop() override {}

  private:
    static DecodedMessage decode(std::span<const std::uint8_t> bytes, Timestamp firstByte) {
        DecodedMessage message;
        message.firstByte = firstByte;
        message.hour = number(bytes, hourAt);
        message.minute = number(bytes, minuteAt);
        message.second = number(bytes, secondAt);
        return message;
    }
};

std::unique_ptr<FormatDecoder> makeDecoder() {
    return std::make_unique<EseDecoder>();
}

}  // namespace

// Listed in format_registry.cpp.
extern const TimeFormat eseFormat;
constexpr TimeFormat eseFormat{
    .names = {"ESE Real Time Clock", "", "ESE", "ese", "ese"},
    .hasRadio = true,
    .example = "14:05:09   <CR>",
    // Equipment reading it knows seconds 0 to 59 only.
    .carriesLeapSecond = false,
    .length = length,
    .build = build,
    .transmittedText = transmittedText,
    .makeDecoder = makeDecoder,
};
static_assert(complete(eseFormat));
static_assert(eseFormat.names.option.empty(), "the default format is chosen without an option");

}  // namespace chronvane
