#include "program_start.h"

#include <utility>

#include "console/console_app.h"
#include "start/exit_status.h"
#include "process/print.h"

namespace chronvane {

ProgramStart startProgram(const std::vector<std::string>& args) {
    const std::string self = executableName;
    Parsed<ProgramOptions> parsed = parseProgramArguments(args);
    prepareOutput(parsed.value ? &*parsed.value : nullptr);
    if (!parsed.value) {
        reportAtStart(parsed.error + "\nTry '" + self + " --help'.");
        return {std::nullopt, exitBadOption};
    }
    ProgramOptions& options = *parsed.value;
    if (options.help || options.version) {
        const std::string text = options.help ? usageText(self) : std::string(versionText) + "\n";
        return {std::nullopt, print(stdout, text) ? exitNormal : exitFailure};
    }
    // The window's send thread keeps no tally; the console and the service do.
    if (!options.metricsDir.empty() && !options.console && !options.service &&
        !options.installService) {
        reportAtStart("--metrics: only in console mode (--console) and the service\nTry '" + self +
                      " --help'.");
        return {std::nullopt, exitBadOption};
    }
    // The window has radios for some formats only; it could not show another one.
    if (const TimeFormat& format = formatOf(options.format.protocol);
        !format.hasRadio && !options.console && !options.service && !options.installService) {
        reportAtStart("--format " + std::string(format.names.word) + ": the " +
                      std::string(format.names.title) +
                      " message is sent in console mode (--console) and by the service, not "
                      "from the window\nTry '" + self + " --help'.");
        return {std::nullopt, exitBadOption};
    }
    reportStartConditions();
    for (const std::string& warning : options.warnings) {
        noteAtStart(self + ": " + warning + "\n");
    }
    std::string notice;
    const ProblemLine problem = openVirtualPorts(options, notice);
    if (!notice.empty()) {
        noteAtStart(notice);
    }
    if (!problem.empty()) {
        // Not a bad option: the system had no pseudo-terminal to give (or, on
        // Windows, has none at all).
        reportAtStart(problem);
        return {std::nullopt, exitFailure};
    }
    return {std::move(options), exitNormal};
}

}  // namespace chronvane
