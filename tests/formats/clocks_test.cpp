#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "formats/decoded_message.h"
#include "formats/format_registry.h"

namespace chronvane {
namespace {

using Trust = TimeReading::Trust;
using Leap = TimeReading::Leap;

struct Instant {
    CalendarTime local;
    CalendarTime utc;
    int offset = 0;
    bool dst = false;
    std::optional<OffsetChange> change;
    Leap leap = Leap::None;
};
struct State {
    Trust trust;
    std::int64_t maxErrorMicros;
    bool wasSynchronised;
};

// Berlin, Wednesday 9 December 2026, 23:15:07 CET.
const Instant winter{{7, 15, 23, 9, 11, 3, 2026}, {7, 15, 22, 9, 11, 3, 2026}, 3600, false, {}};
// Sunday 25 October 2026, 02:30 CEST: summer time ends at 01:00 UTC, half an hour on.
const Instant autumn{{0, 30, 2, 25, 9, 0, 2026}, {0, 30, 0, 25, 9, 0, 2026}, 7200, true,
                     OffsetChange{1792890000, 3600}};
// Saturday 28 March 2026, noon CET: summer time begins 14 hours on.
const Instant spring{{0, 0, 12, 28, 2, 6, 2026}, {0, 0, 11, 28, 2, 6, 2026}, 3600, false,
                     OffsetChange{1774746000, 7200}};
// UTC, Thursday 31 December 2026, a leap second announced: half an hour before it,
// and the leap second itself.
const Instant leapEve{{0, 30, 23, 31, 11, 4, 2026}, {0, 30, 23, 31, 11, 4, 2026}, 0, false, {},
                      Leap::Insert};
const Instant leapSecond{{60, 59, 23, 31, 11, 4, 2026}, {60, 59, 23, 31, 11, 4, 2026}, 0, false,
                         {}, Leap::Insert};

const State locked{Trust::Synchronised, 400, true};
const State within3ms{Trust::Synchronised, 3'000, true};
const State within20ms{Trust::Synchronised, 20'000, true};
const State never{Trust::NotSynchronised, 16'000'000, false};
const State holdover{Trust::NotSynchronised, 900'000, true};

TimeReading readingOf(const Instant& instant, const State& state) {
    const CalendarTime& l = instant.local;
    TimeReading reading(l.second, l.minute, l.hour, l.day, l.month, l.weekday, l.year);
    reading.utc = instant.utc;
    reading.utcOffsetSeconds = instant.offset;
    reading.daylightSaving = instant.dst;
    reading.nextOffsetChange = instant.change;
    reading.leap = instant.leap;
    reading.trust = state.trust;
    reading.maxErrorMicros = state.maxErrorMicros;
    reading.wasSynchronised = state.wasSynchronised;
    return reading;
}

struct Case {
    Protocol protocol;
    const Instant& instant;
    const State& state;
    std::string_view bytes;
    std::vector<std::string> status;
    std::optional<bool> claimsSync;
};

// Worked out by hand from each layout. ("\x02" "D" is split so that the escape
// stops at two digits.)
const Case cases[] = {
    {Protocol::Meinberg, winter, locked, "\x02" "D:09.12.26;T:3;U:23.15.07;    \x03", {}, true},
    {Protocol::Meinberg, winter, never, "\x02" "D:09.12.26;T:3;U:23.15.07;#   \x03",
     {"not synchronised"}, false},
    {Protocol::Meinberg, winter, holdover, "\x02" "D:09.12.26;T:3;U:23.15.07; *  \x03",
     {"holdover"}, false},
    {Protocol::Meinberg, autumn, within20ms, "\x02" "D:25.10.26;T:7;U:02.30.00;  S!\x03",
     {"DST change ahead"}, true},
    {Protocol::Meinberg, spring, locked, "\x02" "D:28.03.26;T:6;U:12.00.00;    \x03", {}, true},
    {Protocol::Meinberg, leapEve, locked, "\x02" "D:31.12.26;T:4;U:23.30.00;  UA\x03",
     {"leap second ahead"}, true},
    {Protocol::Meinberg, leapSecond, locked, "\x02" "D:31.12.26;T:4;U:23.59.60;  UA\x03",
     {"leap second ahead"}, true},
    {Protocol::Spectracom0, winter, locked, "\r\n   343 23:15:07 STZ=23\r\n", {}, true},
    {Protocol::Spectracom0, winter, holdover, "\r\n?  343 23:15:07 STZ=23\r\n",
     {"not synchronised"}, false},
    {Protocol::Spectracom0, spring, locked, "\r\n   087 12:00:00 ITZ=23\r\n",
     {"DST change ahead"}, true},
    {Protocol::Spectracom0, autumn, locked, "\r\n   298 02:30:00 OTZ=23\r\n",
     {"DST change ahead"}, true},
    {Protocol::Spectracom1, winter, locked, "\r\n  WED 09DEC26 23:15:07\r\n", {}, true},
    {Protocol::Spectracom1, winter, never, "\r\n? WED 09DEC26 23:15:07\r\n",
     {"not synchronised"}, false},
    {Protocol::Spectracom2, winter, locked, "\r\n  26 343 22:15:07.000  S", {}, true},
    {Protocol::Spectracom2, winter, never, "\r\n?D26 343 22:15:07.000  S",
     {"not synchronised", "quality D"}, false},
    {Protocol::Spectracom2, autumn, within20ms, "\r\n B26 298 00:30:00.000  O",
     {"quality B", "DST change ahead"}, true},
    {Protocol::Spectracom2, leapEve, within3ms, "\r\n A26 365 23:30:00.000 LS",
     {"quality A", "leap second ahead"}, true},
    {Protocol::Spectracom2, leapSecond, within3ms, "\r\n A26 365 23:59:60.000 LS",
     {"quality A", "leap second ahead"}, true},
    {Protocol::TrueTime, winter, locked, "\x01" "343:22:15:07 \r\n", {}, true},
    {Protocol::TrueTime, leapEve, within3ms, "\x01" "365:23:30:00.\r\n", {"error under 5 ms"}, true},
    {Protocol::TrueTime, autumn, within20ms, "\x01" "298:00:30:00*\r\n", {"error under 50 ms"},
     true},
    {Protocol::TrueTime, winter, holdover, "\x01" "343:22:15:07?\r\n", {"not synchronised"}, false},
    {Protocol::IrigJ, winter, never, "\x01" "343:22:15:07\r\n", {}, std::nullopt},
    {Protocol::IrigJ, leapSecond, locked, "\x01" "365:23:59:60\r\n", {}, std::nullopt},
};

struct NoLookahead final : StreamLookahead {
    Match matchAt(std::size_t) const override { return Match::broken; }
};

// Each case's bytes, then what the row's decoder makes of them; the rows before
// it in the enum, which the monitor asks first, must leave them alone.
TEST(ClockStrings, BytesForEachStateAndTheirDecoding) {
    for (const Case& c : cases) {
        const TimeFormat& format = formatOf(c.protocol);
        SCOPED_TRACE(std::string(format.names.word) + " " + std::string(c.bytes.substr(1, 14)));
        const TimeReading reading = readingOf(c.instant, c.state);
        const ByteString bytes = format.build(reading, {});
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.bytes);
        ASSERT_EQ(bytes.size(), format.length({}));

        for (const Protocol before : allProtocols) {
            if (before == c.protocol) {
                break;
            }
            const UnitMatch other = formatOf(before).makeDecoder()->match(bytes, NoLookahead{});
            EXPECT_EQ(other.match, Match::broken) << formatOf(before).names.word;
            EXPECT_EQ(other.length, 0u) << formatOf(before).names.word;
        }
        const auto decoder = format.makeDecoder();
        const UnitMatch unit = decoder->match(bytes, NoLookahead{});
        ASSERT_EQ(unit.match, Match::complete);
        ASSERT_EQ(unit.length, bytes.size());
        std::vector<DecodedMessage> out;
        decoder->take(bytes, {}, out);
        ASSERT_EQ(out.size(), 1u);
        const DecodedMessage& m = out[0];
        EXPECT_TRUE(m.sound());
        const CalendarTime sent = format.needsUtc ? reading.utc : reading.local();
        EXPECT_EQ(m.hour, sent.hour);
        EXPECT_EQ(m.minute, sent.minute);
        EXPECT_EQ(m.second, sent.second);
        if (format.carriesDate) {
            EXPECT_EQ(m.day, sent.day);
            EXPECT_EQ(m.month, sent.month + 1);
            EXPECT_EQ(m.weekday, sent.weekday + 1);
        }
        EXPECT_EQ(m.status, c.status);
        EXPECT_EQ(m.claimsSync, c.claimsSync);
    }
}

TEST(ClockStrings, TheLogShowsThePrintableBytes) {
    EXPECT_EQ(transmittedText(Protocol::Meinberg, readingOf(winter, locked)),
              "Transmitted Meinberg standard time string \"D:09.12.26;T:3;U:23.15.07;    \"");
}

}  // namespace
}  // namespace chronvane
