#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "start/program_options.h"

namespace chronvane {
namespace {

using Args = std::vector<std::string>;

TEST(ProgramOptions, LongOptionsAreTakenOutAndTheRestJoined) {
    const Parsed<ProgramOptions> result =
        parseProgramArguments({"-com2", "--console", "--device", "COM1=/dev/ttyUSB0", "min",
                               "--device=com4=/dev/x", "-admin", "--qwindowtitle", "x"});
    ASSERT_TRUE(result.value) << result.error;
    const ProgramOptions& options = *result.value;
    EXPECT_TRUE(options.console);
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.commandLine, "-com2 min -admin --qwindowtitle x");
    EXPECT_EQ(options.devices.path(0), "/dev/ttyUSB0");
    EXPECT_EQ(options.devices.path(1), DeviceMap::defaultPath(1));
    EXPECT_EQ(options.devices.path(3), "/dev/x");
}

TEST(ProgramOptions, DeviceNamesNeverReachTheOptionSearch) {
    const Parsed<ProgramOptions> result =
        parseProgramArguments({"--device", "COM2=/dev/serial/by-id/min-1"});
    ASSERT_TRUE(result.value);
    EXPECT_EQ(result.value->commandLine, "");
}

TEST(ProgramOptions, PathsMayContainEqualsSigns) {
    const Parsed<ProgramOptions> result = parseProgramArguments({"--device=COM3=/dev/a=b"});
    ASSERT_TRUE(result.value);
    EXPECT_EQ(result.value->devices.path(2), "/dev/a=b");
}

TEST(ProgramOptions, HelpAndVersion) {
    EXPECT_TRUE(parseProgramArguments({"--help"}).value->help);
    EXPECT_TRUE(parseProgramArguments({"--version"}).value->version);
    const std::string usage = usageText("chronvane32");
    for (const char* option :
         {"-com1", "-com4", "-ostrel8", "-min", "--console", "--device", "--help", "--version"}) {
        EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

struct BadCase {
    Args args;
    const char* named;  // what the error line must name
};

class BadDevice : public ::testing::TestWithParam<BadCase> {};

TEST_P(BadDevice, IsRejectedWithALineNamingTheArgument) {
    const Parsed<ProgramOptions> result = parseProgramArguments(GetParam().args);
    EXPECT_FALSE(result.value);
    EXPECT_NE(result.error.find(GetParam().named), std::string::npos) << result.error;
    EXPECT_EQ(result.error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Forms, BadDevice,
                         ::testing::Values(BadCase{{"--device"}, "--device"},
                                           BadCase{{"--device", "COM5=/dev/x"}, "COM5=/dev/x"},
                                           BadCase{{"--device=COM0=/dev/x"}, "COM0=/dev/x"},
                                           BadCase{{"--device", "LPT1=/dev/x"}, "LPT1=/dev/x"},
                                           BadCase{{"--device", "COM1="}, "COM1="},
                                           BadCase{{"--device=COM1"}, "COM1"},
                                           BadCase{{"--device", "/dev/ttyUSB0"}, "/dev/ttyUSB0"},
                                           BadCase{{"--device="}, "--device"}));

// A mistyped option must not reach the text search, where "--devic
// COM1=/dev/ttyUSB0" chose COM1 on its default device.
TEST(ProgramOptions, UnknownOptionsAreRefusedWithTheClosestOne) {
    const struct {
        Args args;
        const char* error;
    } cases[] = {
        {{"--devic", "COM1=/dev/ttyUSB0"}, "--devic: unknown option, did you mean --device?"},
        {{"--devcie=COM1=/dev/x"}, "--devcie=COM1=/dev/x: unknown option, did you mean --device?"},
        {{"--consle"}, "--consle: unknown option, did you mean --console?"},
        {{"--verison"}, "--verison: unknown option, did you mean --version?"},
        {{"--vers"}, "--vers: unknown option, did you mean --version?"},
        {{"--min"}, "--min: unknown option, did you mean -min?"},
        {{"--com3"}, "--com3: unknown option, did you mean -com3?"},
        {{"--platfrom", "offscreen"}, "--platfrom: unknown option, did you mean --platform?"},
        {{"--frobnicate"}, "--frobnicate: unknown option"},
        {{"--"}, "--: unknown option"},
        {{"-devcie", "COM1=/dev/x"}, "-devcie: unknown option, did you mean --device?"},
        {{"-dev", "COM1=/dev/x"}, "-dev: unknown option, did you mean --device?"},
        {{"-device"}, "-device: unknown option, did you mean --device?"},
        {{"-Flow=rtscts"}, "-Flow=rtscts: unknown option, did you mean --flow?"},
        {{"COM1=/dev/ttyUSB0"}, "COM1=/dev/ttyUSB0: unknown option, did you mean --device?"},
        {{"device", "com2=/dev/x"}, "com2=/dev/x: unknown option, did you mean --device?"},
        {{"advance=20"}, "advance=20: unknown option, did you mean --advance?"},
        {{"\u2014device", "COM1=/dev/x"}, "\u2014device: unknown option, did you mean --device?"},
        {{"\u2013console"}, "\u2013console: unknown option, did you mean --console?"},
        {{"-"}, "-: unknown option"},
        {{"--platform", "--device", "COM1=virtual"},
         "--platform: missing its value before --device"},
        {{"-qwindowtitle", "-com3"}, "-qwindowtitle: missing its value before -com3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const Parsed<ProgramOptions> result = parseProgramArguments(c.args);
        EXPECT_FALSE(result.value);
        EXPECT_EQ(result.error, c.error);
    }
}

TEST(ProgramOptions, QtsOwnOptionsAndShortOnesAreNoUnknownOptions) {
    const Args args{"--platform", "offscreen", "--qwindowtitle", "a=b", "--reverse",
                    "--style=fusion", "-geometry", "-0-0", "-platform", "xcb:x=1", "-com2",
                    "\u2014MIN", "ostrel8", "-admin"};
    const Parsed<ProgramOptions> result = parseProgramArguments(args);
    ASSERT_TRUE(result.value) << result.error;
    EXPECT_EQ(result.value->commandLine,
              "--platform offscreen --qwindowtitle a=b --reverse --style=fusion -geometry -0-0 "
              "-platform xcb:x=1 -com2 \u2014MIN ostrel8 -admin");
    EXPECT_TRUE(result.value->warnings.empty());
}

// "com" and a number that is no port's keeps what the text search makes of it, and
// says which port that is.
TEST(ProgramOptions, ANumberOfNoPortIsTakenAndTheChosenPortNamed) {
    const struct {
        Args args;
        std::vector<std::string> warnings;
    } cases[] = {
        {{"-com0"}, {"-com0: there is no COM0, so the port is COM1"}},
        {{"-com5", "-com3"}, {"-com5: there is no COM5, so the port is COM3"}},
        {{"-COM12"}, {"-COM12: there is no COM12, so the port is COM1"}},
        {{"-com23"}, {"-com23: there is no COM23, so the port is COM2"}},
        {{"-com4"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        const Parsed<ProgramOptions> result = parseProgramArguments(c.args);
        ASSERT_TRUE(result.value) << result.error;
        EXPECT_EQ(result.value->warnings, c.warnings);
    }
}

TEST(ProgramOptions, FlowControlIsNoneUnlessToldAndOnlyOneOfThree) {
    struct Case {
        Args args;
        std::optional<FlowControl> flow;  // nullopt: rejected, naming the argument
    };
    const Case cases[] = {
        {{}, FlowControl::None},
        {{"--flow", "none"}, FlowControl::None},
        {{"--flow", "xonxoff", "-com2"}, FlowControl::XonXoff},
        {{"--flow=rtscts"}, FlowControl::RtsCts},
        {{"--flow"}, std::nullopt},
        {{"--flow", "hardware"}, std::nullopt},
        {{"--flow="}, std::nullopt},
    };
    for (const Case& c : cases) {
        const Parsed<ProgramOptions> result = parseProgramArguments(c.args);
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
        ASSERT_EQ(result.value.has_value(), c.flow.has_value()) << result.error;
        if (c.flow) {
            EXPECT_EQ(result.value->flow, *c.flow);
            EXPECT_EQ(result.value->commandLine.find("flow"), std::string::npos);
        } else {
            EXPECT_TRUE(result.error.starts_with("--flow")) << result.error;
        }
    }
    EXPECT_NE(usageText("chronvane32").find("--flow none|xonxoff|rtscts"), std::string::npos);
}

// A template is compiled while the options are read, so that a wrong one ends the
// program at start (status 2, as every refused option) with its place shown.
TEST(ProgramOptions, FormatTakesACustomTemplateOrSaysWhereItIsWrong) {
    struct Case {
        Args args;
        std::string error;  // empty: taken
    };
    const Case cases[] = {
        {{"--format", "custom:%j %H:%M:%S\\r"}, ""},
        {{"--format=custom:%H%M%S"}, ""},
        {{"--format", "custom:%j %q"},
         "--format custom:%j %q: unknown token %q at column 4\n"
         "  custom:%j %q\n"
         "            ^"},
        {{"--format=custom:%H:%M%"},
         "--format custom:%H:%M%: a lone % at the end at column 6\n"
         "  custom:%H:%M%\n"
         "              ^"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const Parsed<ProgramOptions> result = parseProgramArguments(c.args);
        EXPECT_EQ(result.error, c.error);
        if (c.error.empty()) {
            ASSERT_TRUE(result.value);
            EXPECT_EQ(result.value->format.protocol, Protocol::Custom);
            EXPECT_TRUE(result.value->format.settings.custom);
            EXPECT_EQ(result.value->commandLine, "");
        }
    }
}

// Where the system has no service manager to register with, the service options
// are typos like any other, and the help does not offer them.
TEST(ProgramOptions, ServiceOptionsExistOnlyWhereOffered) {
    for (const char* arg : {"--install-service", "--service"}) {
        SCOPED_TRACE(arg);
        const Parsed<ProgramOptions> parsed = parseProgramArguments({arg});
        EXPECT_EQ(parsed.value.has_value(), servicesOffered()) << parsed.error;
    }
    EXPECT_EQ(usageText("chronvane32").find("--install-service") != std::string::npos,
              servicesOffered());
}

}  // namespace
}  // namespace chronvane

namespace chronvane {
namespace {

// --format and --line: what each value chooses, or the refusal and what it names.
struct FormatLineCase {
    Args args;
    Protocol protocol;
    const char* line;    // lineOptionText of the line chosen; null: refused
    const char* named;   // refused: what the error names
};

TEST(ProgramOptions, FormatAndLineValuesChooseOrAreRefused) {
    const FormatLineCase cases[] = {
        {{}, Protocol::EseRealTimeClock, "9600,8N1", nullptr},
        {{"-ostrel8"}, Protocol::OstrelDateTime, "9600,8N1", nullptr},
        {{"--format", "ostrel8"}, Protocol::OstrelDateTime, "9600,8N1", nullptr},
        {{"-ostrel8", "--format=ese"}, Protocol::EseRealTimeClock, "9600,8N1", nullptr},
        {{"--line", "4800,8n1"}, Protocol::EseRealTimeClock, "4800,8N1", nullptr},
        {{"--line=9600,7O1"}, Protocol::EseRealTimeClock, "9600,7O1", nullptr},
        {{"--line", "115200,8E2"}, Protocol::EseRealTimeClock, "115200,8E2", nullptr},
        {{"--line", "1200,7N2", "-ostrel8"}, Protocol::OstrelDateTime, "1200,7N2", nullptr},
        {{"--format", "nope"}, {}, nullptr, "expected one of ese, ostrel8"},
        {{"--format", "ESE"}, {}, nullptr, "--format ESE"},
        {{"--format", "custom:%q"}, {}, nullptr, "unknown token %q"},
        {{"--format", "custom"}, {}, nullptr, "custom:TEXT"},
        {{"--format"}, {}, nullptr, "--format: missing"},
        {{"--line", "9601,8N1"}, {}, nullptr, "--line 9601,8N1"},
        {{"--line", "9600,6N1"}, {}, nullptr, "--line 9600,6N1"},
        {{"--line", "9600,8X1"}, {}, nullptr, "--line 9600,8X1"},
        {{"--line", "9600,8N3"}, {}, nullptr, "--line 9600,8N3"},
        {{"--line", "9600"}, {}, nullptr, "expected SPEED,FRAMING"},
        // 48 bytes of 11 bits at 1200 baud: 440 ms, and 900 ms of advance on top.
        {{"-ostrel8", "--line", "1200,8E1", "--advance", "900"}, {}, nullptr,
         "needs 1340.0 ms (440.0 ms on the line, 0.0 ms lead, 900.0 ms advance)"},
    };
    for (const FormatLineCase& c : cases) {
        const Parsed<ProgramOptions> result = parseProgramArguments(c.args);
        const std::string what = ::testing::PrintToString(c.args);
        if (c.line == nullptr) {
            EXPECT_FALSE(result.value) << what;
            EXPECT_NE(result.error.find(c.named), std::string::npos) << what << ": " << result.error;
            continue;
        }
        ASSERT_TRUE(result.value) << what << ": " << result.error;
        EXPECT_EQ(result.value->format.protocol, c.protocol) << what;
        EXPECT_EQ(lineOptionText(result.value->line), c.line) << what;
    }
}

}  // namespace
}  // namespace chronvane
