#include <clocale>
#include <cstdint>
#include <string>
#include <span>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "formats/custom_template.h"
#include "formats/format_registry.h"
#include "formats/decoded_message.h"

namespace chronvane {
namespace {

using ::testing::ElementsAreArray;

// Monday 22 February, 14:05:09. The expected bytes in this file are literals, not
// the formats' own constants or their decoders: the builders are checked against
// the documented example on their own, so a wrong constant cannot agree with itself.
constexpr TimeReading workedExample{9, 5, 14, 22, 1, 1};

// What the 8-bit log line says between its quotes.
std::string dateTimeText(const TimeReading& time) {
    const std::string line = transmittedText(Protocol::OstrelDateTime, time);
    const std::string prefix = "Transmitted \"";
    EXPECT_EQ(line.substr(0, prefix.size()), prefix);
    EXPECT_EQ(line.back(), '"');
    return line.substr(prefix.size(), line.size() - prefix.size() - 1);
}

TEST(EseMessage, WorkedExampleByteForByte) {
    const ByteString expected{0x31, 0x34, 0x3A, 0x30, 0x35, 0x3A,
                              0x30, 0x39, 0x20, 0x20, 0x20, 0x0D};
    EXPECT_THAT(buildMessage(Protocol::EseRealTimeClock, workedExample), ElementsAreArray(expected));
    EXPECT_EQ(transmittedText(Protocol::EseRealTimeClock, workedExample),
              "Transmitted ESE Clock message \"14:05:09\"");
}

TEST(EseMessage, MidnightIsZeroPaddedAndEndsInCarriageReturnOnly) {
    const ByteString message = buildMessage(Protocol::EseRealTimeClock, TimeReading{0, 0, 0, 1, 0, 4});
    EXPECT_EQ(std::string(message.begin(), message.end()), "00:00:00   \r");
    EXPECT_EQ(message.size(), 12u);
}

TEST(DateTimeMessage, WorkedExampleByteForByte) {
    const ByteString expected{
        0xF5, 0x00, 0x00, 0x03, 0x28, 0x19, 0x02, 0x46,  //
        0xF5, 0x00, 0x00, 0x03, 0x28, 0x1A, 0x16, 0x5B,  //
        0xF5, 0x00, 0x00, 0x03, 0x28, 0x1B, 0x02, 0x48,  //
        0xF5, 0x00, 0x00, 0x03, 0x28, 0x1C, 0x0E, 0x55,  //
        0xF5, 0x00, 0x00, 0x03, 0x28, 0x1D, 0x05, 0x4D,  //
        0xF5, 0x00, 0x00, 0x03, 0x28, 0x1E, 0x09, 0x52,
    };
    EXPECT_THAT(buildMessage(Protocol::OstrelDateTime, workedExample), ElementsAreArray(expected));
    EXPECT_EQ(dateTimeText(workedExample), "Monday February 22  14:05:09");
}

TEST(DateTimeMessage, ZeroValuesAreSentAsBytesAndKeepTheLength) {
    const ByteString message = buildMessage(Protocol::OstrelDateTime, TimeReading{0, 0, 0, 1, 0, 0});
    ASSERT_EQ(message.size(), 48u);
    EXPECT_EQ(message[3 * 8 + 6], 0x00);  // hour
    EXPECT_EQ(message[4 * 8 + 6], 0x00);  // minute
    EXPECT_EQ(message[5 * 8 + 6], 0x00);  // second
    EXPECT_EQ(message[5 * 8 + 7], 0x49);  // checksum of second 0
}

// Which packet, which TimeReading field, what value byte and checksum must come out.
struct PacketCase {
    const char* name;
    TimeReading time;
    std::size_t packet;
    std::uint8_t value;
    std::uint8_t checksum;
};

void PrintTo(const PacketCase& c, std::ostream* os) {
    *os << c.name;
}

class DateTimePacket : public ::testing::TestWithParam<PacketCase> {};

TEST_P(DateTimePacket, ValueAndChecksum) {
    const PacketCase& c = GetParam();
    const ByteString message = buildMessage(Protocol::OstrelDateTime, c.time);
    ASSERT_EQ(message.size(), 48u);
    const std::size_t at = c.packet * 8;
    EXPECT_EQ(message[at + 5], 0x19 + c.packet);
    EXPECT_EQ(message[at + 6], c.value);
    EXPECT_EQ(message[at + 7], c.checksum);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, DateTimePacket,
    ::testing::Values(PacketCase{"January", {0, 0, 0, 1, 0, 0}, 0, 0x01, 0x45},
                      PacketCase{"December", {0, 0, 0, 1, 11, 0}, 0, 0x0C, 0x50},
                      PacketCase{"Day1", {0, 0, 0, 1, 0, 0}, 1, 0x01, 0x46},
                      PacketCase{"Day31", {0, 0, 0, 31, 0, 0}, 1, 0x1F, 0x64},
                      PacketCase{"Sunday", {0, 0, 0, 1, 0, 0}, 2, 0x01, 0x47},
                      PacketCase{"Saturday", {0, 0, 0, 1, 0, 6}, 2, 0x07, 0x4D},
                      PacketCase{"Hour23", {0, 0, 23, 1, 0, 0}, 3, 0x17, 0x5E},
                      PacketCase{"Minute59", {0, 59, 0, 1, 0, 0}, 4, 0x3B, 0x83},
                      PacketCase{"Second59IsHighestChecksum", {59, 0, 0, 1, 0, 0}, 5, 0x3B, 0x84},
                      PacketCase{"Hour10IsLineFeedValue", {0, 0, 10, 1, 0, 0}, 3, 0x0A, 0x51},
                      PacketCase{"Day13IsCarriageReturnValue", {0, 0, 0, 13, 0, 0}, 1, 0x0D, 0x52}),
    [](const ::testing::TestParamInfo<PacketCase>& param) {
        return std::string(param.param.name);
    });

TEST(DateTimeMessage, ChecksumsStayWithinRangeForEveryValidTime) {
    // Every value each packet can take; the checksum never wraps.
    for (int v = 0; v < 60; ++v) {
        const TimeReading t{v, v, v % 24, v % 31 + 1, v % 12, v % 7};
        const ByteString message = buildMessage(Protocol::OstrelDateTime, t);
        for (std::size_t p = 0; p < 6; ++p) {
            const std::uint8_t sum = message[p * 8 + 7];
            EXPECT_GE(sum, 0x45);
            EXPECT_LE(sum, 0x84);
            EXPECT_EQ(sum,
                      static_cast<std::uint8_t>(0x2B + message[p * 8 + 5] + message[p * 8 + 6]));
        }
    }
}

TEST(DateTimeLogText, SingleDigitDaysArePaddedButValueBytesArePlain) {
    for (int day = 1; day <= 9; ++day) {
        const TimeReading t{0, 0, 0, day, 0, 0};
        EXPECT_EQ(dateTimeText(t), "Sunday January 0" + std::to_string(day) + "  00:00:00");
        EXPECT_EQ(buildMessage(Protocol::OstrelDateTime, t)[8 + 6], day);
    }
}

TEST(DateTimeLogText, NamesEveryWeekdayAndMonth) {
    const char* weekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                              "Thursday", "Friday", "Saturday"};
    const char* months[] = {"January", "February", "March",     "April",   "May",      "June",
                            "July",    "August",   "September", "October", "November", "December"};
    for (int m = 0; m < 12; ++m) {
        const TimeReading t{0, 0, 12, 15, m, m % 7};
        EXPECT_EQ(dateTimeText(t), std::string(weekdays[m % 7]) + " " + months[m] + " 15  12:00:00");
    }
}

// A Qt program calls setlocale(LC_ALL, ""); with LC_TIME in another language the
// names must stay English.
TEST(DateTimeLogText, EnglishUnderAnotherTimeLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    bool switched = false;
    // The C library's names on Linux, then the Windows runtime's.
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "German_Germany.1252", "de-DE"}) {
        if (std::setlocale(LC_TIME, name) != nullptr) {
            switched = true;
            break;
        }
    }
    ASSERT_TRUE(switched) << "cannot run: no German or French locale on this machine (scripts/deps makes one)";
    EXPECT_EQ(dateTimeText(workedExample), "Monday February 22  14:05:09");
    EXPECT_EQ(transmittedText(Protocol::EseRealTimeClock, workedExample),
              "Transmitted ESE Clock message \"14:05:09\"");
    std::setlocale(LC_ALL, saved.c_str());
}

// Every row against itself: its message, fed back through its own decoder unit by
// unit, carries the time it was built from, and it takes as long on its line as
// its bytes say.
TEST(FormatRows, EachDecodesWhatItBuildsAndTakesItsAirTime) {
    struct Expect {
        Protocol protocol;
        std::size_t length;
        long long airMicros;  // at the row's own line, rounded up
        std::size_t onTimeAt = 0;
        LineSettings line = timeLine;
        FormatSettings settings = {};
    };
    const Expect expects[] = {{Protocol::EseRealTimeClock, 12, 12'500},
                              {Protocol::OstrelDateTime, 48, 50'000},
                              {Protocol::NmeaRmc, 40, 83'334, 0, {.baudRate = 4800}},
                              {Protocol::NmeaZda, 39, 81'250, 0, {.baudRate = 4800}},
                              {Protocol::Nmea, 79, 164'584, 0, {.baudRate = 4800}},
                              {Protocol::Meinberg, 32, 33'334},
                              {Protocol::Spectracom0, 26, 27'084},
                              {Protocol::Spectracom1, 26, 27'084},
                              {Protocol::Spectracom2, 26, 27'084},
                              {Protocol::TrueTime, 16, 16'667, 14},
                              {Protocol::IrigJ, 15, 15'625, 0, {9600, 7, Parity::Odd, StopBits::One}},
                              {Protocol::Custom, 9, 9'375, 0, timeLine,
                               {.custom = compileTemplate("%H:%M:%S\\r", timeLine).value}}};
    static_assert(std::size(expects) == formatCount, "every format has its row here");
    struct NoLookahead final : StreamLookahead {
        Match matchAt(std::size_t) const override { return Match::broken; }
    };
    for (const Expect& e : expects) {
        const TimeFormat& format = formatOf(e.protocol);
        SCOPED_TRACE(std::string(format.names.title));
        EXPECT_EQ(format.line, e.line);
        EXPECT_EQ(format.onTimeAt, e.onTimeAt);
        EXPECT_EQ(format.length(e.settings), e.length);
        EXPECT_EQ(airTime(format, format.line, e.settings).count(), e.airMicros);
        const ByteString bytes = format.build(workedExample, e.settings);
        ASSERT_LE(bytes.size(), e.length);
        const auto decoder = makeDecoder(e.protocol, e.settings);
        std::vector<DecodedMessage> out;
        std::span<const std::uint8_t> rest(bytes);
        ASSERT_TRUE(decoder->startsStream(rest.first(decoder->match(rest, NoLookahead{}).length)));
        while (!rest.empty()) {
            const UnitMatch unit = decoder->match(rest, NoLookahead{});
            ASSERT_EQ(unit.match, Match::complete);
            decoder->take(rest.first(unit.length), {}, out);
            rest = rest.subspan(unit.length);
        }
        decoder->close(out);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_TRUE(out[0].sound());
        EXPECT_EQ(out[0].hour, 14);
        EXPECT_EQ(out[0].minute, 5);
        EXPECT_EQ(out[0].second, 9);
        EXPECT_EQ(out[0].day.has_value(), format.carriesDate);
    }
}

}  // namespace
}  // namespace chronvane
