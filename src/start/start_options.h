#pragma once

#include <string>

#include "core/port_count.h"
#include "formats/format_registry.h"

namespace chronvane {

// What the command line preselects.
struct StartOptions {
    int portNumber = 1;  // 1 to portCount, COM1 to COM4
    Protocol protocol = defaultProtocol;
    bool minimize = false;
};

// Upper-cases commandLine in place (ASCII letters only, so UTF-8 text stays
// intact) and finds the options by plain substring search: "COM2", then "COM3",
// and so on to the last port (first hit in that order wins, else COM1); each
// protocol's option ("OSTREL8"; the first in the registry's order wins, else the
// default protocol); "MIN".
// No dash, separator or word boundary is needed: "-admin" minimizes.
StartOptions readStartOptions(std::string& commandLine);

}  // namespace chronvane
