#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/program_options.h"

namespace chronvane {
namespace {

using Args = std::vector<std::string>;

TEST(ProgramOptions, LongOptionsAreTakenOutAndTheRestJoined) {
    const ParseResult result =
        parseProgramArguments({"-com2", "--console", "--device", "COM1=/dev/ttyUSB0", "--min",
                               "--device=com4=/dev/x", "-admin", "--unknown"});
    ASSERT_TRUE(result.options) << result.error;
    const ProgramOptions& options = *result.options;
    EXPECT_TRUE(options.console);
    EXPECT_FALSE(options.help);
    EXPECT_EQ(options.commandLine, "-com2 --min -admin --unknown");
    EXPECT_EQ(options.devices.path(0), "/dev/ttyUSB0");
    EXPECT_EQ(options.devices.path(1), "/dev/ttyS1");
    EXPECT_EQ(options.devices.path(3), "/dev/x");
}

TEST(ProgramOptions, DeviceNamesNeverReachTheOptionSearch) {
    const ParseResult result = parseProgramArguments({"--device", "COM2=/dev/serial/by-id/min-1"});
    ASSERT_TRUE(result.options);
    EXPECT_EQ(result.options->commandLine, "");
}

TEST(ProgramOptions, PathsMayContainEqualsSigns) {
    const ParseResult result = parseProgramArguments({"--device=COM3=/dev/a=b"});
    ASSERT_TRUE(result.options);
    EXPECT_EQ(result.options->devices.path(2), "/dev/a=b");
}

TEST(ProgramOptions, HelpAndVersion) {
    EXPECT_TRUE(parseProgramArguments({"--help"}).options->help);
    EXPECT_TRUE(parseProgramArguments({"--version"}).options->version);
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
    const ParseResult result = parseProgramArguments(GetParam().args);
    EXPECT_FALSE(result.options);
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
        const ParseResult result = parseProgramArguments(c.args);
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args.back());
        ASSERT_EQ(result.options.has_value(), c.flow.has_value()) << result.error;
        if (c.flow) {
            EXPECT_EQ(result.options->flow, *c.flow);
            EXPECT_EQ(result.options->commandLine.find("flow"), std::string::npos);
        } else {
            EXPECT_TRUE(result.error.starts_with("--flow")) << result.error;
        }
    }
    EXPECT_NE(usageText("chronvane32").find("--flow none|xonxoff|rtscts"), std::string::npos);
}

}  // namespace
}  // namespace chronvane
