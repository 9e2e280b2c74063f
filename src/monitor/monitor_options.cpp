#include "monitor_options.h"

#include "core/advance.h"
#include "core/ascii_case.h"
#include "core/line_settings.h"
#include "core/long_options.h"
#include "formats/custom_template.h"
#include "formats/format_registry.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <utility>

namespace chronvane::monitor {
namespace {

std::optional<long long> positiveNumber(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 1) {
        return std::nullopt;
    }
    return value;
}

ProblemLine applyCount(std::string_view value, MonitorOptions& options) {
    options.count = positiveNumber(value);
    if (!options.count) {
        return "--count " + std::string(value) + ": expected a whole number, 1 or more";
    }
    return {};
}

ProblemLine applyAdvance(std::string_view value, MonitorOptions& options) {
    Parsed<Advance> advance = parseAdvance(value);
    if (!advance.value) {
        return std::move(advance.error);
    }
    options.advance = *advance.value;
    return {};
}

ProblemLine applyLine(std::string_view value, MonitorOptions& options) {
    Parsed<LineSettings> line = parseLine(value);
    if (!line.value) {
        return std::move(line.error);
    }
    options.line = *line.value;
    options.lineGiven = true;
    return {};
}

ProblemLine applyFormat(std::string_view value, MonitorOptions& options) {
    Parsed<FormatChoice> choice = parseFormatName(value);
    if (!choice.value) {
        return std::move(choice.error);
    }
    options.format = std::move(*choice.value);
    return {};
}

constexpr std::array<ValueOption<MonitorOptions>, 4> valueOptions{{
    {"--count", "--count: missing the number of messages", applyCount},
    {"--advance", "--advance: missing milliseconds, for example --advance 20", applyAdvance},
    {"--line", "--line: missing SPEED,FRAMING, for example --line 9600,8N1", applyLine},
    {"--format", "--format: missing the format, for example --format nmea-rmc", applyFormat},
}};
constexpr std::array<std::string_view, 7> longOptions{"advance", "count", "format", "help",
                                                      "json",    "line",  "version"};

// arg refused, with the option it comes closest to.
std::string unknownOptionError(std::string_view arg) {
    std::string_view name = arg.substr(0, arg.find('='));
    name.remove_prefix(std::min(name.find_first_not_of('-'), name.size()));
    ClosestOption closest(asciiLower(name));
    for (std::string_view option : longOptions) {
        closest.consider(option, "--");
    }
    return unknownOptionText(arg, name.empty() ? std::string() : closest.best());
}

}  // namespace

Parsed<MonitorOptions> parseMonitorArguments(const std::vector<std::string>& args) {
    MonitorOptions options;
    std::vector<std::string> devices;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            devices.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (ValueOptionRead read = readValueOption(args, i, valueOptions, options);
                   read.matched) {
            if (!read.error.empty()) {
                return {std::nullopt, std::move(read.error)};
            }
        } else {
            return {std::nullopt, unknownOptionError(arg)};
        }
    }
    if (options.help || options.version) {
        return {std::move(options), {}};
    }
    if (devices.empty()) {
        return {std::nullopt, "missing DEVICE, for example /dev/ttyUSB0"};
    }
    if (devices.size() > 1) {
        return {std::nullopt, devices[1] + ": only one DEVICE can be watched"};
    }
    options.device = devices.front();
    if (options.format && !options.lineGiven) {
        options.line = formatOf(options.format->protocol).line;
    }
    return {std::move(options), {}};
}

namespace {

// text in lines of at most 80 columns, broken at spaces, each ending in a newline.
std::string wrapped(const std::string& text) {
    constexpr std::size_t columns = 80;
    std::string out;
    std::size_t lineStart = 0;
    std::size_t wordStart = 0;
    while (wordStart < text.size()) {
        std::size_t wordEnd = text.find(' ', wordStart);
        wordEnd = wordEnd == std::string::npos ? text.size() : wordEnd;
        if (wordStart > lineStart && wordEnd - lineStart > columns) {
            out.append(text, lineStart, wordStart - 1 - lineStart).push_back('\n');
            lineStart = wordStart;
        }
        wordStart = wordEnd + 1;
    }
    out.append(text, lineStart, std::string::npos).push_back('\n');
    return out;
}

}  // namespace

std::string monitorUsageText(std::string_view executable) {
    std::string text = "Usage: " + std::string(executable) +
                       " [--count N] [--json] [--advance MS] [--line SPEED,FRAMING]\n"
                       "       [--format NAME] DEVICE\n";
    text +=
        wrapped("Decodes and checks the time messages arriving on a serial port (or any "
                "terminal device, a pseudo-terminal included) at " +
                lineText(timeLine) + " (or the line --line gives)" +
                ". Both protocols are recognised by themselves: the " +
                std::string(namesOf(Protocol::EseRealTimeClock).title) + " message and the " +
                std::string(namesOf(Protocol::OstrelDateTime).title) + " message.") +
        "\n"
        "One line per message: the time it carries, the protocol, how many milliseconds\n"
        "after the start of the local clock's second its first byte arrived, and either\n"
        "\"sound\" or its faults in words (bad checksum, unknown variable, value out of\n"
        "range, packet missing, message cut short, second skipped, second repeated\n"
        "(also when the sender's clock was set back), stray bytes, late: a second or\n"
        "more after its second, early: before its second began, wrong time: off by\n"
        "more than a minute, or the wrong date or weekday).\n"
        "\n"
        "The timing column, and with it late, early and wrong time, is only as good\n"
        "as this computer's clock: its state (synchronised by a time daemon or not)\n"
        "goes to standard error at start and at each change, and into each JSON\n"
        "object as \"clock\".\n"
        "\n"
        "Options:\n"
        "  --count N       stop after N messages (default: run until interrupted)\n"
        "  --json          one JSON object per message instead of a line of text\n"
        "  --advance MS    the sender starts each message MS milliseconds (0 to 900)\n"
        "                  before its second (its --advance): times are taken from\n"
        "                  that point\n"
        "  --line SPEED,FRAMING\n"
        "                  listen at this line instead (the sender's --line, for\n"
        "                  example 4800,8N1 or 9600,7O1)\n"
        "  --format NAME   look for that format alone (the sender's --format; its\n"
        "                  line unless --line says otherwise); custom:TEXT, the\n"
        "                  sender's own template, is found only so\n"
        "  --help          show this help and exit\n"
        "  --version       show the version and exit\n"
        "\n"
        "Exit status: 0 when every message was sound, 1 when any fault was seen,\n"
        "2 when DEVICE could not be opened or an option is wrong.\n";
    return text;
}

}  // namespace chronvane::monitor
