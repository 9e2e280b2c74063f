#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/custom_template.h"
#include "formats/decoded_message.h"
#include "formats/format_registry.h"

namespace chronvane {
namespace {

// Wednesday 9 December 2026 (day 343), 14:05:09 in a zone one hour east of UTC.
TimeReading winterAfternoon() {
    TimeReading time{9, 5, 13, 9, 11, 3, 2026};
    time.hour = 14;
    time.utcOffsetSeconds = 3600;
    return time;
}

TimeReading withState(TimeReading time, TimeReading::Trust trust, std::int64_t maxErrorMicros,
                      bool summer, bool changeDue, TimeReading::Leap leap) {
    time.trust = trust;
    time.maxErrorMicros = maxErrorMicros;
    time.daylightSaving = summer;
    if (changeDue) {
        time.nextOffsetChange = OffsetChange{1'800'000'000, 7200};
    }
    time.leap = leap;
    return time;
}

FormatSettings compiled(const std::string& text) {
    const CompiledTemplate result = compileTemplate(text, timeLine);
    EXPECT_TRUE(result.value) << text << ": " << result.problem.what;
    return {.custom = result.value};
}

TEST(CustomTemplate, BuildsTheBytesAndLogText) {
    using Trust = TimeReading::Trust;
    using Leap = TimeReading::Leap;
    const TimeReading base = winterAfternoon();
    struct Case {
        std::string text;
        TimeReading time;
        std::string bytes;
        std::string logged;
        std::size_t onTimeAt;
    };
    const std::vector<Case> cases{
        {"%j %H:%M:%S\\r", base, "343 14:05:09\r", "343 14:05:09", 0},
        {"%Y-%m-%dT%H:%M:%S.%f%z", base, "2026-12-09T14:05:09.000+0100",
         "2026-12-09T14:05:09.000+0100", 0},
        {"%a %b %d %y %u %w", base, "Wed Dec 09 26 3 3", "Wed Dec 09 26 3 3", 0},
        {"%H%Z%H%z", base, "1413+0000", "1413+0000", 0},
        {"$%[GPZDA,%Z%H%M%S.00,%d,%m,%Y,00,00%]*%x\\r\\n", base,
         "$GPZDA,130509.00,09,12,2026,00,00*64\r\n", "$GPZDA,130509.00,09,12,2026,00,00*64", 0},
        {"%{lock:AV}%{quality: 1ms,10ms,100ms,500ms: ABCD?}%{dst:SWsw}%{leap:NID}",
         withState(base, Trust::Synchronised, 5000, true, true, Leap::Insert), "ABwI", "ABwI", 0},
        {"%{lock:AV}%{quality: 1ms,10ms,100ms,500ms: ABCD?}%{dst:SWsw}%{leap:NID}",
         withState(base, Trust::NotSynchronised, 5000, false, false, Leap::None), "V?SN", "V?SN",
         0},
        {"%{quality:1ms:\\x20*}%{leap:-L}", withState(base, Trust::Synchronised, 1000, false,
                                                      false, Leap::Delete),
         " L", " L", 0},
        {"\\stx%H\\etx\\x7F\\\\%%", base, "\x02" "14\x03\x7F\\%", "\\x0214\\x03\\x7F\\\\%", 0},
        {"%H%^:%M\\r", base, "14:05\r", "14:05", 2},
    };
    for (const Case& c : cases) {
        const FormatSettings settings = compiled(c.text);
        ASSERT_TRUE(settings.custom) << c.text;
        const ByteString message = buildMessage(Protocol::Custom, c.time, settings);
        EXPECT_EQ(std::string(message.begin(), message.end()), c.bytes) << c.text;
        EXPECT_EQ(formatOf(Protocol::Custom).length(settings), c.bytes.size()) << c.text;
        EXPECT_EQ(transmittedText(Protocol::Custom, c.time, settings),
                  "Transmitted custom message \"" + c.logged + "\"")
            << c.text;
        EXPECT_EQ(settings.custom->onTimeAt, c.onTimeAt) << c.text;
    }
}

TEST(CustomTemplate, RefusesWhereTheTextIsWrong) {
    struct Case {
        std::string text;
        std::size_t column;
        std::string what;
    };
    const std::vector<Case> cases{
        {"", 1, "the template is empty"},
        {"%j %q", 4, "unknown token %q"},
        {"%H:%M%", 6, "a lone % at the end"},
        {"AB\\q", 3, "unknown escape \\q"},
        {"\\x4", 1, "\\x needs two hex digits"},
        {"%{lock:A}", 1, "%{lock:...} takes two glyphs, synchronised and not"},
        {"%{quality:10ms,1ms:ABC}", 16, "thresholds go from the smallest up"},
        {"%{quality:10 parsecs:AB}", 11, "a threshold is a number with us, ms or s, for example 10ms"},
        {"%{moon:AB}", 1, "unknown token %{moon}"},
        {"%{lock:AV", 1, "%{ without its closing }"},
        {"%H%x", 3, "%x comes once, after a checksum span %[ ... %]"},
        {"%[AB", 1, "the checksum span %[ is never closed with %]"},
        {"%[AB%]", 5, "a checksum span without %x to put its checksum in"},
        {"%H%^", 3, "%^ marks no character after it"},
        // 960 bytes of 10 bits are a whole second at 9600 baud.
        {std::string(960, 'A'), 960, "the message no longer fits in its second at 9600 baud 8N1"},
    };
    for (const Case& c : cases) {
        const CompiledTemplate result = compileTemplate(c.text, timeLine);
        EXPECT_FALSE(result.value) << c.text;
        EXPECT_EQ(result.problem.column, c.column) << c.text;
        EXPECT_EQ(result.problem.what, c.what) << c.text;
    }
    EXPECT_TRUE(compileTemplate(std::string(959, 'A'), timeLine).value);
    EXPECT_EQ(templateProblemText("%j %q", {4, "unknown token %q"}),
              "--format custom:%j %q: unknown token %q at column 4\n"
              "  custom:%j %q\n"
              "            ^");
}

TEST(CustomTemplate, DecodesWhatItBuilds) {
    const FormatSettings settings =
        compiled("$%[T,%H%M%S,%d,%m,%{lock:AV},%{quality:1ms,10ms:ABC}%]*%x\\r\\n");
    TimeReading time = winterAfternoon();
    time.trust = TimeReading::Trust::Synchronised;
    time.maxErrorMicros = 4000;
    ByteString message = buildMessage(Protocol::Custom, time, settings);
    ASSERT_EQ(std::string(message.begin(), message.end()).substr(0, 20), "$T,140509,09,12,A,B*");
    const std::unique_ptr<FormatDecoder> decoder = makeDecoder(Protocol::Custom, settings);
    struct NoLookahead final : StreamLookahead {
        Match matchAt(std::size_t) const override { return Match::broken; }
    } ahead;
    const UnitMatch unit = decoder->match(message, ahead);
    ASSERT_EQ(unit.match, Match::complete);
    ASSERT_EQ(unit.length, message.size());
    std::vector<DecodedMessage> out;
    decoder->take(message, Timestamp{}, out);
    message[9] = '6';  // the minute, under the checksum
    decoder->take(message, Timestamp{}, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].hour, 14);
    EXPECT_EQ(out[0].minute, 5);
    EXPECT_EQ(out[0].second, 9);
    EXPECT_EQ(out[0].day, 9);
    EXPECT_EQ(out[0].month, 12);
    EXPECT_EQ(out[0].claimsSync, true);
    EXPECT_EQ(out[0].status, (std::vector<std::string>{"synchronised", "quality B"}));
    EXPECT_TRUE(out[0].sound());
    EXPECT_EQ(out[1].faults, std::vector<Fault>{Fault::badChecksum});
    // Without a template the row matches nothing: the monitor is not to guess one.
    EXPECT_EQ(makeDecoder(Protocol::Custom)->match(message, ahead).match, Match::broken);
}

}  // namespace
}  // namespace chronvane
