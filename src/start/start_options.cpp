#include "start_options.h"

#include <string_view>

#include "core/ascii_case.h"

namespace chronvane {

StartOptions readStartOptions(std::string& commandLine) {
    commandLine = asciiUpper(commandLine);
    auto has = [&](std::string_view option) {
        return commandLine.find(asciiUpper(option)) != std::string::npos;
    };

    StartOptions options;
    // The search order decides, not the order on the command line. COM1 is the
    // default and needs no search.
    for (int n = 2; n <= portCount; ++n) {
        if (has("COM" + std::to_string(n))) {
            options.portNumber = n;
            break;
        }
    }
    for (const Protocol protocol : allProtocols) {
        const std::string_view option = namesOf(protocol).option;
        if (!option.empty() && has(option)) {
            options.protocol = protocol;
            break;
        }
    }
    options.minimize = has("MIN");
    return options;
}

}  // namespace chronvane
