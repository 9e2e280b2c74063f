#include "start_options.h"

#include <string_view>

namespace chronvane {
namespace {

// ASCII letters only, so UTF-8 text stays intact.
void upperCase(std::string& text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
}

}  // namespace

StartOptions readStartOptions(std::string& commandLine) {
    upperCase(commandLine);
    auto has = [&](std::string_view option) {
        std::string text(option);
        upperCase(text);
        return commandLine.find(text) != std::string::npos;
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
    for (const ProtocolNames& names : protocolNames) {
        if (!names.option.empty() && has(names.option)) {
            options.protocol = names.protocol;
            break;
        }
    }
    options.minimize = has("MIN");
    return options;
}

}  // namespace chronvane
