#include <cstdlib>
#include <optional>
#include <string>

#include "app/console_app.h"
#include "app/time_zone_check.h"
#include "print.h"
#include "program_start.h"

namespace chronvane {

void reportAtStart(const std::string& text) {
    print(stderr, std::string(executableName) + ": " + text + "\n");
}

// Standard output and error are there already: main has filled any closed one.
void prepareOutput(const ProgramOptions* /*parsed*/) {}

void reportStartConditions() {
    const char* zoneDirectoryValue = std::getenv("TZDIR");
    const std::string zoneDirectory = zoneDirectoryValue != nullptr && *zoneDirectoryValue != '\0'
                                          ? zoneDirectoryValue
                                          : "/usr/share/zoneinfo";
    const char* tzValue = std::getenv("TZ");
    const std::optional<std::string> tz =
        tzValue != nullptr ? std::optional<std::string>(tzValue) : std::nullopt;
    if (namesSomethingElseThanAFile(tzValue, zoneDirectory)) {
        setenv("TZ", "UTC0", 1);
    }
    const std::string zoneProblem =
        timeZoneProblem(tz ? tz->c_str() : nullptr, zoneDirectory, zoneInEffect());
    if (!zoneProblem.empty()) {
        print(stderr, std::string(executableName) + ": " + zoneProblem + "\n");
    }
}

}  // namespace chronvane
