#include "format_registry.h"

#include <algorithm>

#include "custom_template.h"

namespace chronvane {

// Each format's own file exports its row.
extern const TimeFormat eseFormat;
extern const TimeFormat dateTime8Format;
extern const TimeFormat nmeaRmcFormat;
extern const TimeFormat nmeaZdaFormat;
extern const TimeFormat nmeaFormat;
extern const TimeFormat meinbergFormat;
extern const TimeFormat spectracom0Format;
extern const TimeFormat spectracom1Format;
extern const TimeFormat spectracom2Format;
extern const TimeFormat trueTimeFormat;
extern const TimeFormat irigJFormat;
extern const TimeFormat customFormat;
std::unique_ptr<FormatDecoder> makeCustomDecoder(std::shared_ptr<const CustomTemplate> custom);

namespace {

// Indexed by the enum, so that the rows follow its order whatever the order here;
// a protocol without its row is left null and does not build.
// Which rows were given is kept beside them: a sanitizer build cannot compare an
// object's address with null at compile time.
struct RowTable {
    std::array<const TimeFormat*, formatCount> rows{};
    std::array<bool, formatCount> given{};
    constexpr void put(Protocol protocol, const TimeFormat& row) {
        rows[protocolIndex(protocol)] = &row;
        given[protocolIndex(protocol)] = true;
    }
};
constexpr RowTable rowTable = [] {
    RowTable table;
    table.put(Protocol::EseRealTimeClock, eseFormat);
    table.put(Protocol::OstrelDateTime, dateTime8Format);
    table.put(Protocol::NmeaRmc, nmeaRmcFormat);
    table.put(Protocol::NmeaZda, nmeaZdaFormat);
    table.put(Protocol::Nmea, nmeaFormat);
    table.put(Protocol::Meinberg, meinbergFormat);
    table.put(Protocol::Spectracom0, spectracom0Format);
    table.put(Protocol::Spectracom1, spectracom1Format);
    table.put(Protocol::Spectracom2, spectracom2Format);
    table.put(Protocol::TrueTime, trueTimeFormat);
    table.put(Protocol::IrigJ, irigJFormat);
    table.put(Protocol::Custom, customFormat);
    return table;
}();
constexpr const std::array<const TimeFormat*, formatCount>& rows = rowTable.rows;
static_assert(std::ranges::all_of(rowTable.given, [](bool given) { return given; }),
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

TimeReading insertedSecondFor(const TimeFormat& format, const TimeReading& lastOfDay) {
    if (format.carriesLeapSecond) {
        return lastOfDay.insertedSecond();
    }
    TimeReading again = lastOfDay;
    again.inLeapSecond = true;
    return again;
}

namespace {

// The air time of count bytes, rounded up to the microsecond.
std::chrono::microseconds bytesTime(std::size_t count, const LineSettings& line) {
    const long long bitsPerByte =
        1 + line.dataBits + (line.parity == Parity::None ? 0 : 1) +
        (line.stopBits == StopBits::One ? 1 : 2);
    const long long bits = bitsPerByte * static_cast<long long>(count);
    return std::chrono::microseconds((bits * 1'000'000 + line.baudRate - 1) / line.baudRate);
}

}  // namespace

std::chrono::microseconds airTime(const TimeFormat& format, const LineSettings& line,
                                  const FormatSettings& settings) {
    return bytesTime(format.length(settings), line);
}

std::size_t onTimeIndex(const TimeFormat& format, const FormatSettings& settings) {
    return settings.custom ? settings.custom->onTimeAt : format.onTimeAt;
}

std::chrono::microseconds leadTime(const TimeFormat& format, const LineSettings& line,
                                   const FormatSettings& settings) {
    return bytesTime(onTimeIndex(format, settings), line);
}

std::string formatWords() {
    std::string words;
    for (const TimeFormat* row : rows) {
        words.append(words.empty() ? "" : ", ").append(row->names.word);
    }
    return words;
}

Parsed<FormatChoice> parseFormatName(std::string_view name) {
    // A format whose message the operator writes; its reading comes with that format.
    constexpr std::string_view customPrefix = "custom:";
    if (name.starts_with(customPrefix)) {
        return parseCustomFormat(name.substr(customPrefix.size()));
    }
    for (const Protocol protocol : allProtocols) {
        if (formatOf(protocol).names.word == name) {
            return {FormatChoice{protocol, {}}, {}};
        }
    }
    return {std::nullopt, "--format " + std::string(name) + ": expected one of " + formatWords()};
}

}  // namespace chronvane
