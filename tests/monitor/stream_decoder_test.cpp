#include "monitor/stream_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "formats/custom_template.h"
#include "formats/format_registry.h"
#include "monitor/message_report.h"

namespace chronvane::monitor {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

constexpr Timestamp start = std::chrono::seconds(1'800'000'000);

// Monday 22 February, 14:05:<second>.
TimeReading at(int second, int minute = 5, int hour = 14) {
    return TimeReading{second, minute, hour, 22, 1, 1};
}

// Every format but custom, which is recognised only when the monitor is given the
// template (--format custom:TEXT).
std::vector<Protocol> recognisedByThemselves() {
    std::vector<Protocol> protocols(allProtocols.begin(), allProtocols.end());
    std::erase(protocols, Protocol::Custom);
    return protocols;
}

Bytes message(Protocol protocol, const TimeReading& time) {
    return buildMessage(protocol, time);
}

void append(Bytes& stream, const Bytes& more) {
    stream.insert(stream.end(), more.begin(), more.end());
}

// Messages for consecutive seconds from 14:05:<first>.
Bytes run(Protocol protocol, int first, int count) {
    Bytes stream;
    for (int i = 0; i < count; ++i) {
        append(stream, message(protocol, at(first + i)));
    }
    return stream;
}

// Everything the decoder makes of stream fed in one chunk, then a long silence.
std::vector<DecodedMessage> decodeAll(const Bytes& stream) {
    StreamDecoder decoder;
    auto out = decoder.feed(stream, start);
    auto late = decoder.idle(start + 1s);
    out.insert(out.end(), late.begin(), late.end());
    return out;
}

std::vector<std::string> lines(const std::vector<DecodedMessage>& messages) {
    std::vector<std::string> text;
    for (const auto& decoded : messages) {
        text.push_back(reportLine(decoded));
    }
    return text;
}

TEST(StreamDecoder, SoundStreamsInEitherProtocolAndBothInTurn) {
    struct Case {
        const char* name;
        std::vector<Protocol> protocols;
    };
    const Case cases[] = {
        {"ese",
         {Protocol::EseRealTimeClock, Protocol::EseRealTimeClock, Protocol::EseRealTimeClock}},
        {"8-bit", {Protocol::OstrelDateTime, Protocol::OstrelDateTime, Protocol::OstrelDateTime}},
        {"switched",
         {Protocol::EseRealTimeClock, Protocol::OstrelDateTime, Protocol::EseRealTimeClock,
          Protocol::OstrelDateTime}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Consecutive seconds from 14:04:58, across the minute.
        Bytes stream;
        TimeReading time = at(58, 4);
        for (Protocol protocol : c.protocols) {
            append(stream, message(protocol, time));
            if (++time.second == 60) {
                time.second = 0;
                ++time.minute;
            }
        }
        const auto decoded = decodeAll(stream);
        ASSERT_EQ(decoded.size(), c.protocols.size());
        for (std::size_t i = 0; i < decoded.size(); ++i) {
            EXPECT_TRUE(decoded[i].sound()) << reportLine(decoded[i]);
            EXPECT_EQ(decoded[i].protocol, c.protocols[i]);
            EXPECT_EQ(decoded[i].hour, 14);
        }
        EXPECT_EQ(decoded[1].second, 59);
        EXPECT_EQ(decoded[2].minute, 5);
        EXPECT_EQ(decoded[2].second, 0);
    }
}

TEST(StreamDecoder, DateTimeFieldsAreTheValuesSent) {
    const auto decoded = decodeAll(buildMessage(Protocol::OstrelDateTime, TimeReading{9, 5, 14, 22, 1, 1}));
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_EQ(decoded[0].month, 2);
    EXPECT_EQ(decoded[0].day, 22);
    EXPECT_EQ(decoded[0].weekday, 2);
    EXPECT_EQ(reportLine(decoded[0]).substr(0, 8), "14:05:09");
}

// Each fault planted in the second of three messages for 14:05:10 to 14:05:12.
TEST(StreamDecoder, EveryKindOfFaultIsNamedOnItsMessage) {
    using P = Protocol;
    struct Case {
        const char* name;
        Protocol protocol;
        void (*spoil)(Bytes& middle);
        std::vector<Fault> expected;
        std::size_t expectedCount = 3;
    };
    auto setPacket = [](Bytes& bytes, std::size_t packet, std::uint8_t variable,
                        std::uint8_t value) {
        bytes[packet * 8 + 5] = variable;
        bytes[packet * 8 + 6] = value;
        // The checksum: 03 + 28 + variable + value.
        bytes[packet * 8 + 7] = static_cast<std::uint8_t>(0x2B + variable + value);
    };
    static auto set = setPacket;
    const Case cases[] = {
        {"bad checksum",
         P::OstrelDateTime,
         [](Bytes& b) { b[2 * 8 + 7] ^= 0x01; },
         {Fault::badChecksum}},
        {"unknown variable",
         P::OstrelDateTime,
         [](Bytes& b) { set(b, 1, 0x30, 22); },
         {Fault::unknownVariable}},
        {"hour 24",
         P::OstrelDateTime,
         [](Bytes& b) { set(b, 3, 0x1C, 24); },
         {Fault::valueOutOfRange}},
        {"month 13",
         P::OstrelDateTime,
         [](Bytes& b) { set(b, 0, 0x19, 13); },
         {Fault::valueOutOfRange}},
        {"weekday 0",
         P::OstrelDateTime,
         [](Bytes& b) { set(b, 2, 0x1B, 0); },
         {Fault::valueOutOfRange}},
        {"ese hour 25",
         P::EseRealTimeClock,
         [](Bytes& b) { b[0] = '2', b[1] = '5'; },
         {Fault::valueOutOfRange}},
        {"ese second 61",
         P::EseRealTimeClock,
         [](Bytes& b) { b[6] = '6', b[7] = '1'; },
         {Fault::valueOutOfRange}},
        {"packet 4 missing",
         P::OstrelDateTime,
         [](Bytes& b) { b.erase(b.begin() + 24, b.begin() + 32); },
         {Fault::packetMissing}},
        {"last packet missing",
         P::OstrelDateTime,
         [](Bytes& b) { b.resize(40); },
         {Fault::packetMissing}},
        {"packets swapped",
         P::OstrelDateTime,
         [](Bytes& b) { std::swap_ranges(b.begin() + 8, b.begin() + 16, b.begin() + 16); },
         {Fault::packetMissing},
         4},
        {"ese cut short", P::EseRealTimeClock, [](Bytes& b) { b.resize(6); }, {Fault::cutShort}},
        {"8-bit cut short in packet 3",
         P::OstrelDateTime,
         [](Bytes& b) { b.erase(b.begin() + 20, b.begin() + 24); },
         {Fault::cutShort}},
        {"8-bit cut short after the header",
         P::OstrelDateTime,
         [](Bytes& b) { b.erase(b.begin() + 45, b.end()); },
         {Fault::cutShort}},
        {"second skipped",
         P::EseRealTimeClock,
         [](Bytes& b) { b = buildMessage(Protocol::EseRealTimeClock, at(40)); },
         {Fault::secondSkipped}},
        {"second repeated",
         P::OstrelDateTime,
         [](Bytes& b) { b = buildMessage(Protocol::OstrelDateTime, at(10)); },
         {Fault::secondRepeated}},
        {"stray bytes",
         P::EseRealTimeClock,
         [](Bytes& b) {
             b.insert(b.begin(), {'x', 0x0A});
         },
         {Fault::strayBytes}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes middle = message(c.protocol, at(11));
        c.spoil(middle);
        Bytes stream = message(c.protocol, at(10));
        append(stream, middle);
        append(stream, message(c.protocol, at(12)));
        const auto decoded = decodeAll(stream);
        ASSERT_EQ(decoded.size(), c.expectedCount) << testing::PrintToString(lines(decoded));
        EXPECT_TRUE(decoded.front().sound()) << reportLine(decoded.front());
        EXPECT_EQ(decoded[1].faults, c.expected) << reportLine(decoded[1]);
        if (c.expected != std::vector<Fault>{Fault::secondSkipped} &&
            c.expected != std::vector<Fault>{Fault::secondRepeated}) {
            EXPECT_TRUE(decoded.back().sound() ||
                        decoded.back().faults == std::vector<Fault>{Fault::secondSkipped})
                << reportLine(decoded.back());
        }
    }
}

// The zone's own change of offset between two messages moves the local time they
// carry by as much; any other jump is a fault.
TEST(StreamDecoder, ADaylightSavingChangeIsNeitherASkipNorARepeat) {
    const struct {
        const char* name;
        long offsetBefore;
        long offsetAfter;
        TimeReading last;
        TimeReading next;
        std::vector<Fault> expected;
    } cases[] = {
        {"clocks go forward", 3600, 7200, at(59, 59, 1), at(0, 0, 3), {}},
        {"clocks go back", 7200, 3600, at(59, 59, 2), at(0, 0, 2), {}},
        {"an hour lost without a change",
         3600,
         3600,
         at(59, 59, 1),
         at(0, 0, 3),
         {Fault::secondSkipped}},
        {"an hour again without a change",
         7200,
         7200,
         at(59, 59, 2),
         at(0, 0, 2),
         {Fault::secondRepeated}},
        {"the sender's clock set back", 3600, 3600, at(9), at(7), {Fault::secondRepeated}},
        {"set back across midnight", 3600, 3600, at(0, 0, 0), at(58, 59, 23),
         {Fault::secondRepeated}},
        {"forward across midnight", 3600, 3600, at(58, 59, 23), at(1, 0, 0),
         {Fault::secondSkipped}},
        {"a change the sender missed",
         3600,
         7200,
         at(59, 59, 1),
         at(0, 0, 2),
         {Fault::secondSkipped}},
        {"a second repeated across a change",
         7200,
         3600,
         at(59, 59, 2),
         at(59, 59, 2),
         {Fault::secondRepeated}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StreamDecoder decoder(
            250ms, [&c](Timestamp t) { return t < start ? c.offsetBefore : c.offsetAfter; });
        const auto first = decoder.feed(buildMessage(Protocol::EseRealTimeClock, c.last), start - 1s + 2ms);
        const auto second = decoder.feed(buildMessage(Protocol::EseRealTimeClock, c.next), start + 2ms);
        ASSERT_EQ(first.size(), 1u);
        ASSERT_EQ(second.size(), 1u);
        EXPECT_EQ(second.front().faults, c.expected) << reportLine(second.front());
    }
}

TEST(StreamDecoder, GarbageBeforeBetweenAndInsideMessagesIsSkipped) {
    const Bytes noise{'7', '7', 0xF5, 0x00, 0x0D, 0x0A, '1', ':', 0xFF};
    for (const Protocol protocol : recognisedByThemselves()) {
        SCOPED_TRACE(std::string(namesOf(protocol).jsonName));
        // Before the first message: the reader joined a noisy line, no fault.
        Bytes stream = noise;
        append(stream, run(protocol, 10, 2));
        auto decoded = decodeAll(stream);
        ASSERT_EQ(decoded.size(), 2u);
        EXPECT_TRUE(decoded[0].sound() && decoded[1].sound()) << reportLine(decoded[0]);

        // More noise before the first message than a joined message's rest: stray
        // bytes on the first message.
        Bytes random(100'000);
        std::mt19937 generator(25);
        std::generate(random.begin(), random.end(), [&] { return generator() & 0xFF; });
        stream = random;
        append(stream, run(protocol, 10, 3));
        decoded = decodeAll(stream);
        ASSERT_GE(decoded.size(), 3u);
        const DecodedMessage& firstGood = decoded[decoded.size() - 3];
        EXPECT_EQ(firstGood.second, 10);
        EXPECT_TRUE(firstGood.has(Fault::strayBytes)) << reportLine(firstGood);

        // Between two messages: counted on the next one, which is otherwise sound.
        stream = run(protocol, 10, 1);
        append(stream, noise);
        append(stream, run(protocol, 11, 2));
        decoded = decodeAll(stream);
        ASSERT_EQ(decoded.size(), 3u) << testing::PrintToString(lines(decoded));
        EXPECT_EQ(decoded[1].faults, std::vector<Fault>{Fault::strayBytes});
        EXPECT_EQ(decoded[1].strayBytes, noise.size());
        EXPECT_TRUE(decoded[2].sound());

        // Inside a message: it is cut short, the one after is found again.
        stream = run(protocol, 10, 1);
        Bytes broken = message(protocol, at(11));
        broken.insert(broken.begin() + 7, noise.begin(), noise.end());
        append(stream, broken);
        append(stream, run(protocol, 12, 2));
        decoded = decodeAll(stream);
        ASSERT_GE(decoded.size(), 3u) << testing::PrintToString(lines(decoded));
        EXPECT_FALSE(decoded[1].sound());
        EXPECT_EQ(decoded[decoded.size() - 2].second, 12);
        EXPECT_TRUE(decoded.back().sound()) << reportLine(decoded.back());
        EXPECT_EQ(decoded.back().second, 13);
    }
}

TEST(StreamDecoder, ACutShortMessageIsFollowedByTheNextOneAtOnce) {
    // "14:05:" and straight on with "14:05:11   \r": the digits after the cut look
    // like the rest of the first message until the separator breaks it.
    Bytes stream = buildMessage(Protocol::EseRealTimeClock, at(10));
    Bytes cut = buildMessage(Protocol::EseRealTimeClock, at(11));
    cut.resize(6);
    append(stream, cut);
    append(stream, run(Protocol::EseRealTimeClock, 12, 1));
    const auto decoded = decodeAll(stream);
    ASSERT_EQ(decoded.size(), 3u) << testing::PrintToString(lines(decoded));
    EXPECT_EQ(decoded[1].faults, std::vector<Fault>{Fault::cutShort});
    EXPECT_EQ(decoded[1].minute, 5);
    EXPECT_FALSE(decoded[1].second.has_value());
    // The cut message's second is unknown, so nothing is said about the gap.
    EXPECT_TRUE(decoded[2].sound());
}

TEST(StreamDecoder, SplitAcrossReadsAtEveryBytePositionDecodesTheSame) {
    for (const Protocol protocol : recognisedByThemselves()) {
        const Bytes stream = run(protocol, 10, 3);
        const auto whole = lines(decodeAll(stream));
        ASSERT_EQ(whole.size(), 3u);
        for (std::size_t split = 1; split < stream.size(); ++split) {
            SCOPED_TRACE(split);
            StreamDecoder decoder;
            auto out = decoder.feed({stream.data(), split}, start);
            auto rest = decoder.feed({stream.data() + split, stream.size() - split}, start);
            out.insert(out.end(), rest.begin(), rest.end());
            // A lone RMC is told from the start of RMC-then-ZDA by the gap after it.
            rest = decoder.idle(start + 1s);
            out.insert(out.end(), rest.begin(), rest.end());
            EXPECT_EQ(lines(out), whole);
        }
        StreamDecoder decoder;
        std::vector<DecodedMessage> out;
        for (std::size_t i = 0; i < stream.size(); ++i) {
            auto more = decoder.feed({stream.data() + i, 1}, start);
            out.insert(out.end(), more.begin(), more.end());
        }
        const auto last = decoder.idle(start + 1s);
        out.insert(out.end(), last.begin(), last.end());
        EXPECT_EQ(lines(out), whole);
    }
}

TEST(StreamDecoder, LineFeedAndCarriageReturnInsideAPacketAreData) {
    // Hour 10 is 0x0A, minute 13 is 0x0D, second 10 is 0x0A again.
    const auto decoded = decodeAll(buildMessage(Protocol::OstrelDateTime, TimeReading{10, 13, 10, 10, 9, 3}));
    ASSERT_EQ(decoded.size(), 1u);
    EXPECT_TRUE(decoded[0].sound()) << reportLine(decoded[0]);
    EXPECT_EQ(decoded[0].hour, 0x0A);
    EXPECT_EQ(decoded[0].minute, 0x0D);
    EXPECT_EQ(decoded[0].day, 10);
    EXPECT_EQ(decoded[0].month, 10);
}

TEST(StreamDecoder, AMessageThatStopsIsCutShortOnlyOnceTheGapHasPassed) {
    for (const Protocol protocol : recognisedByThemselves()) {
        StreamDecoder decoder(250ms);
        Bytes stream = message(protocol, at(10));
        Bytes cut = message(protocol, at(11));
        cut.resize(cut.size() - 4);
        append(stream, cut);
        EXPECT_EQ(decoder.feed(stream, start).size(), 1u);
        EXPECT_TRUE(decoder.idle(start + 200ms).empty());
        const auto late = decoder.idle(start + 300ms);
        ASSERT_EQ(late.size(), 1u);
        EXPECT_TRUE(late[0].has(Fault::cutShort)) << reportLine(late[0]);
        // IRIG J cut before the byte that tells it from the TrueTime string, whose
        // row is asked first, is taken for that.
        EXPECT_EQ(late[0].protocol, protocol == Protocol::IrigJ ? Protocol::TrueTime : protocol);

        // A pause in the middle of a message cuts it too, though more bytes follow.
        StreamDecoder paused(250ms);
        paused.feed(message(protocol, at(9)), start - 1s);
        const Bytes whole = message(protocol, at(10));
        paused.feed({whole.data(), 5}, start);
        const auto after = paused.feed({whole.data() + 5, whole.size() - 5}, start + 1s);
        ASSERT_FALSE(after.empty());
        EXPECT_TRUE(after[0].has(Fault::cutShort));
    }
}

TEST(StreamDecoder, JoiningMidMessageAndStoppingMidMessageAreNoFaults) {
    const Bytes stream = run(Protocol::OstrelDateTime, 10, 3);
    StreamDecoder decoder;
    // Joined at packet 4 of the first message.
    auto out = decoder.feed({stream.data() + 27, stream.size() - 27 - 20}, start);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].sound()) << reportLine(out[0]);
    EXPECT_EQ(out[0].second, 11);
    decoder.finish();
    EXPECT_TRUE(decoder.idle(start + 5s).empty());
}

TEST(StreamDecoder, FirstByteArrivalIsWhenTheMessageBegan) {
    const Bytes whole = buildMessage(Protocol::OstrelDateTime, at(10));
    StreamDecoder decoder;
    decoder.feed({whole.data(), 3}, start + 12ms);
    const auto out = decoder.feed({whole.data() + 3, whole.size() - 3}, start + 60ms);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].firstByte, start + 12ms);
    EXPECT_EQ(arrivalOffsetMs(out[0]), 12);
}

// start is 08:00:00 UTC. The bytes arrive in one chunk 15 ms into the second; the
// offset is the on-time character's, worked out from the line's speed (at 9600
// baud 8N1 six bytes take 6.25 ms).
TEST(StreamDecoder, TimesTheOnTimeCharacterAndFlagsAClaimOfSyncThisClockLacks) {
    using Trust = TimeReading::Trust;
    struct Case {
        std::string name;
        std::string format;  // empty: every format recognised by itself
        Trust claimed;
        std::optional<bool> ownSynchronised;
        long long offsetMs;
        std::vector<Fault> faults;
        std::vector<std::string> status;
    };
    const std::vector<Case> cases{
        {"ese, first byte on time", "", Trust::Unknown, false, 15, {}, {}},
        {"custom, seventh byte on time", "%H%M%S%^*\\r", Trust::Unknown, false, 21, {}, {}},
        {"claims sync, this clock is not", "%{lock:AV}%H%M%S\\r", Trust::Synchronised, false, 15,
         {Fault::claimsSyncUnsynced}, {"synchronised"}},
        {"claims sync, this clock is too", "%{lock:AV}%H%M%S\\r", Trust::Synchronised, true, 15,
         {}, {"synchronised"}},
        {"claims sync, this clock unknown", "%{lock:AV}%H%M%S\\r", Trust::Synchronised,
         std::nullopt, 15, {}, {"synchronised"}},
        {"claims none", "%{lock:AV}%H%M%S\\r", Trust::NotSynchronised, false, 15, {},
         {"not synchronised"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<FormatChoice> only;
        if (!c.format.empty()) {
            only = parseCustomFormat(c.format).value;
            ASSERT_TRUE(only);
        }
        TimeReading time = at(0, 0, 8);
        time.trust = c.claimed;
        const Bytes bytes = only ? buildMessage(Protocol::Custom, time, only->settings)
                                 : buildMessage(Protocol::EseRealTimeClock, time);
        StreamDecoder decoder(250ms, {}, only);
        decoder.judgeTimes(true);
        decoder.setOwnClockSynchronised(c.ownSynchronised);
        auto out = decoder.feed(bytes, start + 15ms);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].offsetMs, c.offsetMs);
        EXPECT_EQ(out[0].faults, c.faults);
        EXPECT_EQ(out[0].status, c.status);
    }
}

TEST(StreamDecoder, ABytesMarkedDamagedByTheDriverFaultsItsMessage) {
    // 0xFF 0x00 X: X arrived with a framing error; 0xFF 0xFF: a sound 0xFF (stray).
    const Bytes marked{'1', '4', ':', 0xFF, 0x00, '0', '5', ':', '0', '9', ' ', ' ', ' ', '\r',
                       0xFF, 0xFF};
    StreamDecoder decoder;
    decoder.markedErrors(false);
    auto out = decoder.feed({marked.data(), 4}, start);
    const auto rest = decoder.feed({marked.data() + 4, marked.size() - 4}, start + 1ms);
    out.insert(out.end(), rest.begin(), rest.end());
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].minute, 5);
    EXPECT_EQ(out[0].faults, std::vector<Fault>{Fault::framingError});
    EXPECT_EQ(decoder.finish(), 1u);
}

TEST(MessageReport, TextAndJsonCarryTimeProtocolOffsetAndFaults) {
    StreamDecoder decoder;
    Bytes stream = buildMessage(Protocol::EseRealTimeClock, at(9));
    Bytes bad = buildMessage(Protocol::OstrelDateTime, at(11));
    bad[7] ^= 0x10;
    append(stream, bad);
    auto out = decoder.feed(stream, start + 7ms);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(reportLine(out[0]), "14:05:09  ESE              +  7 ms  sound");
    EXPECT_EQ(reportLine(out[1]),
              "14:05:11  8-bit Date/Time  +  7 ms  Monday February 22  bad checksum, second "
              "skipped");
    EXPECT_EQ(reportJson(out[0], "synchronised"),
              "{\"time\":\"14:05:09\",\"protocol\":\"ese\",\"hour\":14,\"minute\":5,"
              "\"second\":9,\"offset_ms\":7,\"sound\":true,\"faults\":[],\"stray_bytes\":0,"
              "\"clock\":\"synchronised\"}");
    const std::optional<FormatChoice> custom = parseCustomFormat("%H:%M:%S %{lock:AV}\\r").value;
    ASSERT_TRUE(custom);
    StreamDecoder customDecoder(250ms, {}, custom);
    const auto claimed = customDecoder.feed(
        buildMessage(Protocol::Custom, at(9), custom->settings), start + 7ms);
    ASSERT_EQ(claimed.size(), 1u);
    EXPECT_EQ(reportLine(claimed[0]), "14:05:09  custom           +  7 ms  not synchronised  sound");
    EXPECT_NE(reportJson(claimed[0], "unknown").find("\"faults\":[],\"status\":[\"not synchronised\"],"),
              std::string::npos);
    EXPECT_NE(reportJson(out[1], "unknown").find("\"faults\":[\"bad checksum\",\"second skipped\"]"),
              std::string::npos);
    // The values as sent: February is 2, and Monday 2 (Sunday = 1).
    EXPECT_NE(reportJson(out[1], "unknown").find("\"month\":2,\"day\":22,\"weekday\":2,"), std::string::npos);
}

}  // namespace
}  // namespace chronvane::monitor
