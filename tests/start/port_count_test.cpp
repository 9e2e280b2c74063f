// COM1 to COM<portCount> is one number, but each reader of the operator's words has
// its own way of recognising a port. A reader that stops short of the last port,
// or accepts one past it, disagrees with the others.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_rules/dialog_rules.h"
#include "start/program_options.h"
#include "start/start_options.h"
#include "serial/device_map.h"

namespace chronvane {
namespace {

// Which ports each reader takes, COM1 to one past the last.
struct Offered {
    std::vector<int> startOption;   // -comN on the command line
    std::vector<int> deviceOption;  // --device COMN=PATH
    std::vector<int> deviceName;    // DeviceMap::indexOfName
    std::vector<int> usage;         // "-com1 ... -comN" in --help
};

Offered offeredPorts() {
    Offered offered;
    const std::string usage = usageText("chronvane32");
    const std::string range = "-com1 ... -com";
    const auto at = usage.find(range);
    const int lastInUsage = at == std::string::npos ? 0 : std::stoi(usage.substr(at + range.size()));
    for (int n = 1; n <= portCount + 1; ++n) {
        const std::string name = "COM" + std::to_string(n);
        std::string commandLine = "-com" + std::to_string(n);
        if (readStartOptions(commandLine).portNumber == n) {
            offered.startOption.push_back(n);
        }
        const Parsed<ProgramOptions> parsed = parseProgramArguments({"--device", name + "=/dev/null"});
        if (parsed.value && parsed.value->devices.path(n - 1) == "/dev/null") {
            offered.deviceOption.push_back(n);
        }
        if (DeviceMap::indexOfName(name) == n - 1) {
            offered.deviceName.push_back(n);
        }
        if (n <= lastInUsage) {
            offered.usage.push_back(n);
        }
    }
    return offered;
}

TEST(PortCount, EveryReaderOffersTheSamePorts) {
    std::vector<int> all;
    for (int n = 1; n <= portCount; ++n) {
        all.push_back(n);
    }
    const Offered offered = offeredPorts();
    EXPECT_EQ(offered.startOption, all);
    EXPECT_EQ(offered.deviceOption, all);
    EXPECT_EQ(offered.deviceName, all);
    EXPECT_EQ(offered.usage, all);
    EXPECT_EQ(dialog::portRadioIds.size(), all.size());
    const Parsed<ProgramOptions> refused =
        parseProgramArguments({"--device", "COM" + std::to_string(portCount + 1) + "=/dev/null"});
    ASSERT_FALSE(refused.value);
    EXPECT_NE(refused.error.find("COM" + std::to_string(portCount)), std::string::npos)
        << refused.error;
}

}  // namespace
}  // namespace chronvane
