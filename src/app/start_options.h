#pragma once

#include <string>

#include "core/protocol.h"

namespace chronvane {

// What the command line preselects.
struct StartOptions {
    int portNumber = 1;  // 1 to 4, COM1 to COM4
    Protocol protocol = Protocol::EseRealTimeClock;
    bool minimize = false;
};

// Upper-cases commandLine in place (ASCII letters only, so UTF-8 text stays
// intact) and finds the options by plain substring search: "COM2", then "COM3",
// then "COM4" (first hit in that order wins, else COM1); "OSTREL8"; "MIN".
// No dash, separator or word boundary is needed: "-admin" minimizes.
StartOptions readStartOptions(std::string& commandLine);

}  // namespace chronvane
