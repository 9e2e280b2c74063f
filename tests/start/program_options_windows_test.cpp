#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "start/program_options.h"

namespace chronvane {
namespace {

// Windows has no pseudo-terminals: asking for a virtual COM must end with what to
// use instead, not with a bare system error.
TEST(ProgramOptionsWindows, VirtualPortsAreRefusedWithWhatToUseInstead) {
    Parsed<ProgramOptions> parsed =
        parseProgramArguments({"--console", "--device", "COM2=virtual"});
    ASSERT_TRUE(parsed.value) << parsed.error;
    std::string notice;
    const ProblemLine error = openVirtualPorts(*parsed.value, notice);
    EXPECT_NE(error.find("COM2=virtual"), std::string::npos) << error;
    EXPECT_NE(error.find("null-modem pair"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(notice, "");
}

TEST(ProgramOptionsWindows, HelpSaysOnlyWhatIsTrueOnWindows) {
    const std::string usage = usageText("chronvane32");
    EXPECT_NE(usage.find("\\\\.\\COM1 to \\\\.\\COM4"), std::string::npos) << usage;
    EXPECT_NE(usage.find("--install-service"), std::string::npos) << usage;
    EXPECT_NE(usage.find("--uninstall-service COMn|all"), std::string::npos) << usage;
    // Refused here (status 2), and a Linux scheduling class.
    EXPECT_EQ(usage.find("virtual"), std::string::npos) << usage;
    EXPECT_EQ(usage.find("SCHED_FIFO"), std::string::npos) << usage;
}

// The service is started with every option it was installed with, values included,
// and nothing else.
TEST(ProgramOptionsWindows, InstallKeepsTheOtherArgumentsForTheService) {
    const Parsed<ProgramOptions> parsed =
        parseProgramArguments({"-ostrel8", "--install-service", "--device", "COM2=\\\\.\\COM7",
                               "--flow=xonxoff", "-com2"});
    ASSERT_TRUE(parsed.value) << parsed.error;
    EXPECT_TRUE(parsed.value->installService);
    EXPECT_EQ(parsed.value->serviceArguments,
              (std::vector<std::string>{"-ostrel8", "--device", "COM2=\\\\.\\COM7",
                                        "--flow=xonxoff", "-com2"}));
}

// The service installed is the port the text search chose, and the installer says
// which when the argument named no port.
TEST(ProgramOptionsWindows, InstallWithTheNumberOfNoPortSaysWhichServiceItIs) {
    const Parsed<ProgramOptions> parsed = parseProgramArguments({"--install-service", "-com9"});
    ASSERT_TRUE(parsed.value) << parsed.error;
    EXPECT_TRUE(parsed.value->installService);
    EXPECT_EQ(parsed.value->warnings,
              std::vector<std::string>{"-com9: there is no COM9, so the port is COM1"});
    EXPECT_FALSE(parseProgramArguments({"--install-service", "-dev"}).value);
}

TEST(ProgramOptionsWindows, UninstallNamesAPortOrAll) {
    const struct {
        const char* value;
        const char* stored;  // nullptr: refused
    } cases[] = {
        {"COM3", "COM3"}, {"com1", "COM1"}, {"all", "ALL"}, {"COM5", nullptr}, {"", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        const Parsed<ProgramOptions> parsed =
            parseProgramArguments({"--uninstall-service", c.value});
        ASSERT_EQ(parsed.value.has_value(), c.stored != nullptr) << parsed.error;
        if (c.stored != nullptr) {
            EXPECT_EQ(parsed.value->uninstallService, c.stored);
        } else {
            EXPECT_TRUE(parsed.error.starts_with("--uninstall-service")) << parsed.error;
        }
    }
}

}  // namespace
}  // namespace chronvane
