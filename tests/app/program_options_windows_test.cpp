#include <string>

#include <gtest/gtest.h>

#include "app/program_options.h"

namespace chronvane {
namespace {

// Windows has no pseudo-terminals: asking for a virtual COM must end with what to
// use instead, not with a bare system error.
TEST(ProgramOptionsWindows, VirtualPortsAreRefusedWithWhatToUseInstead) {
    ParseResult parsed = parseProgramArguments({"--console", "--device", "COM2=virtual"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    std::string notice;
    std::string error;
    EXPECT_FALSE(openVirtualPorts(*parsed.options, notice, error));
    EXPECT_NE(error.find("COM2=virtual"), std::string::npos) << error;
    EXPECT_NE(error.find("null-modem pair"), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(notice, "");
}

TEST(ProgramOptionsWindows, HelpNamesTheWindowsDevices) {
    const std::string usage = usageText("chronvane32");
    EXPECT_NE(usage.find("\\\\.\\COM1 to \\\\.\\COM4"), std::string::npos) << usage;
}

}  // namespace
}  // namespace chronvane
