#include <cstdlib>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clock/clock.h"
#include "formats/decoded_message.h"
#include "formats/format_registry.h"

namespace chronvane {
namespace {

using Trust = TimeReading::Trust;

std::string text(const ByteString& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The sentences below were worked out by hand from the layout, their checksums by
// a separate XOR, not by the builders. Each instant is read through the system
// clock under its zone, as the sender reads it: the fields stay UTC, the zone is
// in ZDA's last two.
TEST(NmeaSentences, FixedInstantsAndStates) {
    struct Row {
        const char* zone;
        std::int64_t second;
        Trust trust;
        const char* talker;
        bool inLeapSecond;
        bool leap60;
        const char* rmc;
        const char* zda;
    };
    const Row rows[] = {
        {"UTC0", 1796853680, Trust::Synchronised, "GP", false, false,
         "$GPRMC,220120.00,A,,,,,,,091226,,,A*68\r\n", "$GPZDA,220120.00,09,12,2026,00,00*69\r\n"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1796853680, Trust::Synchronised, "GP", false, false,
         "$GPRMC,220120.00,A,,,,,,,091226,,,A*68\r\n", "$GPZDA,220120.00,09,12,2026,01,00*68\r\n"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1782907200, Trust::NotSynchronised, "GP", false, false,
         "$GPRMC,120000.00,V,,,,,,,010726,,,N*7C\r\n", "$GPZDA,120000.00,01,07,2026,02,00*67\r\n"},
        // Already the new year in the zone, not yet in UTC.
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1798759805, Trust::Synchronised, "GN", false, false,
         "$GNRMC,233005.00,A,,,,,,,311226,,,A*79\r\n", "$GNZDA,233005.00,31,12,2026,01,00*79\r\n"},
        {"NST3:30NDT,M3.2.0,M11.1.0", 1768446245, Trust::Unknown, "GP", false, false,
         "$GPRMC,030405.00,V,,,,,,,150126,,,N*7E\r\n", "$GPZDA,030405.00,15,01,2026,-03,30*4A\r\n"},
        {"UTC0", 1483228799, Trust::Synchronised, "GP", true, true,
         "$GPRMC,235960.00,A,,,,,,,311216,,,A*68\r\n", "$GPZDA,235960.00,31,12,2016,00,00*69\r\n"},
        {"UTC0", 1483228799, Trust::Synchronised, "GP", true, false,
         "$GPRMC,235959.00,A,,,,,,,311216,,,A*62\r\n", "$GPZDA,235959.00,31,12,2016,00,00*63\r\n"},
    };
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved != nullptr ? saved : "";
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.zone) + " " + std::to_string(row.second));
        setenv("TZ", row.zone, 1);
        tzset();
        SystemClock clock;
        TimeReading reading = clock.reading(row.second);
        reading.trust = row.trust;
        reading.inLeapSecond = row.inLeapSecond;
        FormatSettings settings;
        settings.talker = row.talker;
        settings.leap60 = row.leap60;
        EXPECT_EQ(text(buildMessage(Protocol::NmeaRmc, reading, settings)), row.rmc);
        EXPECT_EQ(text(buildMessage(Protocol::NmeaZda, reading, settings)), row.zda);
        EXPECT_EQ(text(buildMessage(Protocol::Nmea, reading, settings)),
                  std::string(row.rmc) + row.zda);
    }
    if (saved != nullptr) {
        setenv("TZ", savedZone.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
    const TimeReading noon{0, 0, 12, 1, 6, 3, 2026};
    EXPECT_EQ(transmittedText(Protocol::Nmea, noon),
              "Transmitted NMEA \"$GPRMC,120000.00,V,,,,,,,010726,,,N*7C\" "
              "\"$GPZDA,120000.00,01,07,2026,00,00*65\"");
}

// What the monitor makes of a stream of sentences: an RMC and the sound ZDA of its
// second are one message, named by the RMC; a ZDA alone is a message of its own.
TEST(NmeaDecoding, SentencesIntoMessages) {
    struct Expect {
        Protocol protocol;
        int second;
        std::optional<bool> claimsSync;
        std::vector<std::string> status;
        std::vector<Fault> faults;
    };
    struct Row {
        const char* name;
        std::string stream;
        std::vector<Expect> messages;
    };
    const std::string rmcA = "$GPRMC,220120.00,A,,,,,,,091226,,,A*68\r\n";
    const std::string zda = "$GPZDA,220120.00,09,12,2026,01,00*68\r\n";
    const std::string rmcV = "$GNRMC,120000.00,V,,,,,,,010726,,,N*62\r\n";
    const Row rows[] = {
        {"rmc then zda", rmcA + zda, {{Protocol::NmeaRmc, 20, true, {"synchronised"}, {}}}},
        {"rmc alone, other talker", rmcV,
         {{Protocol::NmeaRmc, 0, false, {"not synchronised"}, {}}}},
        {"zda of another second", rmcV + zda,
         {{Protocol::NmeaRmc, 0, false, {"not synchronised"}, {}},
          {Protocol::NmeaZda, 20, std::nullopt, {}, {}}}},
        {"zda then rmc", zda + rmcV,
         {{Protocol::NmeaZda, 20, std::nullopt, {}, {}},
          {Protocol::NmeaRmc, 0, false, {"not synchronised"}, {}}}},
        {"bad checksum", "$GPZDA,220120.00,09,12,2026,01,00*69\r\n",
         {{Protocol::NmeaZda, 20, std::nullopt, {}, {Fault::badChecksum}}}},
    };
    struct NoLookahead final : StreamLookahead {
        Match matchAt(std::size_t) const override { return Match::broken; }
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto decoder = formatOf(Protocol::NmeaRmc).makeDecoder();
        std::vector<DecodedMessage> out;
        std::span<const std::uint8_t> rest(reinterpret_cast<const std::uint8_t*>(row.stream.data()),
                                           row.stream.size());
        while (!rest.empty()) {
            const UnitMatch unit = decoder->match(rest, NoLookahead{});
            ASSERT_EQ(unit.match, Match::complete);
            decoder->take(rest.first(unit.length), {}, out);
            rest = rest.subspan(unit.length);
        }
        ASSERT_EQ(out.size(), row.messages.size());
        for (std::size_t i = 0; i < out.size(); ++i) {
            const Expect& e = row.messages[i];
            EXPECT_EQ(out[i].protocol, e.protocol);
            EXPECT_EQ(out[i].second, e.second);
            EXPECT_EQ(out[i].claimsSync, e.claimsSync);
            EXPECT_EQ(out[i].status, e.status);
            EXPECT_EQ(out[i].faults, e.faults);
        }
    }
}

}  // namespace
}  // namespace chronvane
