#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "serial/device_map.h"

namespace chronvane {

inline constexpr const char* programName = "Chronvane32";
inline constexpr const char* versionText = "Chronvane32 Version 1.0";

// The command line after our own long options are taken out. Those never reach the
// substring search, so "--device COM2=..." cannot select COM2 by accident.
struct ProgramOptions {
    bool console = false;
    bool help = false;
    bool version = false;
    DeviceMap devices;
    // Every other argument, unknown ones included, joined with single spaces.
    std::string commandLine;
};

struct ParseResult {
    std::optional<ProgramOptions> options;
    // One line naming the offending argument when options is empty.
    std::string error;
};

// args: the arguments without the program's own path. Long options:
//   --console, --help, --version,
//   --device COMn=PATH and --device=COMn=PATH (repeatable; n 1 to 4, PATH not empty).
ParseResult parseProgramArguments(const std::vector<std::string>& args);

// The --help text, ending in a newline.
std::string usageText(std::string_view executable);

}  // namespace chronvane
