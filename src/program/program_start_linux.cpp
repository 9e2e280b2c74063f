#include <string>

#include "console/console_app.h"
#include "process/console_output.h"
#include "process/time_zone_check.h"
#include "process/print.h"
#include "program_start.h"

namespace chronvane {

void reportAtStart(const std::string& text) {
    print(stderr, std::string(executableName) + ": " + text + "\n");
}

void noteAtStart(const std::string& line) {
    writeIfReady(standardError, line);
}

// Standard output and error are there already: main has filled any closed one.
void prepareOutput(const ProgramOptions* /*parsed*/) {}

void reportStartConditions() {
    const std::string zoneProblem = guardTimeZone();
    if (!zoneProblem.empty()) {
        noteAtStart(std::string(executableName) + ": " + zoneProblem + "\n");
    }
}

}  // namespace chronvane
