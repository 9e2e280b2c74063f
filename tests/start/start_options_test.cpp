#include <string>

#include <gtest/gtest.h>

#include "start/start_options.h"

namespace chronvane {
namespace {

struct OptionsCase {
    const char* commandLine;
    int port;
    Protocol protocol;
    bool minimize;
};

void PrintTo(const OptionsCase& c, std::ostream* os) {
    *os << '"' << c.commandLine << '"';
}

class ReadStartOptions : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(ReadStartOptions, FindsTheOptions) {
    const OptionsCase& c = GetParam();
    std::string commandLine = c.commandLine;
    const StartOptions options = readStartOptions(commandLine);
    EXPECT_EQ(options.portNumber, c.port);
    EXPECT_EQ(options.protocol, c.protocol);
    EXPECT_EQ(options.minimize, c.minimize);
}

constexpr Protocol ese = Protocol::EseRealTimeClock;
constexpr Protocol ostrel = Protocol::OstrelDateTime;

INSTANTIATE_TEST_SUITE_P(
    Table, ReadStartOptions,
    ::testing::Values(
        OptionsCase{"", 1, ese, false},
        // The search order decides, not the order on the command line.
        OptionsCase{"-com4 -com2", 2, ese, false}, OptionsCase{"-com1 -com3", 3, ese, false},
        OptionsCase{"-COM3", 3, ese, false}, OptionsCase{"-com3", 3, ese, false},
        OptionsCase{"com3", 3, ese, false}, OptionsCase{"-cOm4", 4, ese, false},
        OptionsCase{"-com5", 1, ese, false}, OptionsCase{"-com10", 1, ese, false},
        OptionsCase{"-admin", 1, ese, true}, OptionsCase{"--min", 1, ese, true},
        OptionsCase{"-ostrel8 -min", 1, ostrel, true}, OptionsCase{"-OSTREL8", 1, ostrel, false},
        OptionsCase{"-ostrel", 1, ese, false}, OptionsCase{"xcom2ostrel8minx", 2, ostrel, true}));

TEST(ReadStartOptions, UpperCasesAsciiOnlySoUtf8StaysIntact) {
    // "Zürich Über" and a Cyrillic word; only ASCII letters may change.
    std::string commandLine =
        "Z\xC3\xBCrich \xC3\x9C"
        "ber \xD0\xBC\xD0\xB8\xD0\xBD -com2";
    const StartOptions options = readStartOptions(commandLine);
    EXPECT_EQ(commandLine,
              "Z\xC3\xBCRICH \xC3\x9C"
              "BER \xD0\xBC\xD0\xB8\xD0\xBD -COM2");
    EXPECT_EQ(options.portNumber, 2);
    EXPECT_FALSE(options.minimize);
}

}  // namespace
}  // namespace chronvane
