#include "format_registry.h"

#include <algorithm>

namespace chronvane {

// Each format's own file exports its row.
extern const TimeFormat eseFormat;
extern const TimeFormat dateTime8Format;
extern const TimeFormat customFormat;
std::unique_ptr<FormatDecoder> makeCustomDecoder(std::shared_ptr<const CustomTemplate> custom);

namespace {

// Indexed by the enum, so that the rows follow its order whatever the order here;
// a protocol without its row is left null and does not build.
constexpr std::array<const TimeFormat*, formatCount> rows = [] {
    std::array<const TimeFormat*, formatCount> table{};
    table[protocolIndex(Protocol::EseRealTimeClock)] = &eseFormat;
    table[protocolIndex(Protocol::OstrelDateTime)] = &dateTime8Format;
    table[protocolIndex(Protocol::Custom)] = &customFormat;
    return table;
}();
static_assert(std::ranges::none_of(rows, [](const TimeFormat* row) { return row == nullptr; }),
              "every protocol has its row");
static_assert([] {
    for (std::size_t i = 0; i < allProtocols.size(); ++i) {
        if (protocolIndex(allProtocols[i]) != i) {
            return false;
        }
    }
    return true;
}(), "allProtocols follows the enum's order");
// The default's own file checks that its option is empty.
static_assert(rows[protocolIndex(defaultProtocol)] == &eseFormat,
              "the default is the format chosen without an option");

}  // namespace

const TimeFormat& formatOf(Protocol protocol) {
    return *rows.at(protocolIndex(protocol));
}

const std::array<const TimeFormat*, formatCount>& allFormats() {
    return rows;
}

ByteString buildMessage(Protocol protocol, const TimeReading& reading,
                        const FormatSettings& settings) {
    return formatOf(protocol).build(reading, settings);
}

std::string transmittedText(Protocol protocol, const TimeReading& reading,
                            const FormatSettings& settings) {
    return formatOf(protocol).transmittedText(reading, settings);
}

std::unique_ptr<FormatDecoder> makeDecoder(Protocol protocol, const FormatSettings& settings) {
    if (protocol == Protocol::Custom && settings.custom) {
        return makeCustomDecoder(settings.custom);
    }
    return formatOf(protocol).makeDecoder();
}

std::size_t longestMessage() {
    std::size_t longest = 0;
    for (const TimeFormat* row : rows) {
        longest = std::max(longest, row->length({}));
    }
    return longest;
}

std::chrono::microseconds airTime(const TimeFormat& format, const LineSettings& line,
                                  const FormatSettings& settings) {
    const long long bitsPerByte =
        1 + line.dataBits + (line.parity == Parity::None ? 0 : 1) +
        (line.stopBits == StopBits::One ? 1 : 2);
    const long long bits = bitsPerByte * static_cast<long long>(format.length(settings));
    return std::chrono::microseconds(bits * 1'000'000 / line.baudRate);
}

}  // namespace chronvane
