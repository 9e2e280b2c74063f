#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chronvane32_version.h"
#include "core/advance.h"
#include "core/line_settings.h"
#include "core/parsed.h"
#include "formats/format_registry.h"

namespace chronvane::monitor {

inline constexpr const char* monitorVersionText =
    "chronvane32-monitor (Chronvane32) " CHRONVANE32_VERSION;

struct MonitorOptions {
    std::string device;
    // Stop after this many messages; empty: run until interrupted.
    std::optional<long long> count;
    bool json = false;
    // The sender's --advance: messages start this long before their second.
    Advance advance;
    // The line listened at: --line SPEED,FRAMING, else that of --format's format,
    // else the one most formats use.
    LineSettings line = timeLine;
    bool lineGiven = false;
    // --format NAME: only that format is looked for (a custom template only so).
    std::optional<FormatChoice> format;
    bool help = false;
    bool version = false;
};

// args: without the program's own path. --count N (N at least 1), --count=N, --json,
// --advance MS and --advance=MS (0 to 900), --line SPEED,FRAMING and --line=...,
// --format NAME and --format=NAME (as the sender takes it, custom:TEXT included),
// --help, --version, and exactly one DEVICE unless --help or --version is given.
Parsed<MonitorOptions> parseMonitorArguments(const std::vector<std::string>& args);

// The --help text, ending in a newline.
std::string monitorUsageText(std::string_view executable);

}  // namespace chronvane::monitor
