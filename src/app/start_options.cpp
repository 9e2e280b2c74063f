#include "start_options.h"

namespace chronvane {

StartOptions readStartOptions(std::string& commandLine) {
    for (char& c : commandLine) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    auto has = [&](const char* text) { return commandLine.find(text) != std::string::npos; };

    StartOptions options;
    // The search order decides, not the order on the command line.
    if (has("COM2")) {
        options.portNumber = 2;
    } else if (has("COM3")) {
        options.portNumber = 3;
    } else if (has("COM4")) {
        options.portNumber = 4;
    }
    if (has("OSTREL8")) {
        options.protocol = Protocol::OstrelDateTime;
    }
    options.minimize = has("MIN");
    return options;
}

}  // namespace chronvane
