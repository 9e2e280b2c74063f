#include "program_options.h"

#include <algorithm>
#include <array>
#include <utility>

#include "core/ascii_case.h"
#include "core/line_settings.h"
#include "core/long_options.h"
#include "formats/format_registry.h"
#include "serial/virtual_port.h"
#include "start_options.h"

namespace chronvane {
namespace {

// "COM1, COM2, COM3 or COM4", joined by word before the last.
std::string portList(std::string_view word) {
    std::string list;
    for (int i = 0; i < portCount; ++i) {
        if (i + 1 == portCount && i > 0) {
            list.append(" ").append(word).append(" ");
        } else if (i > 0) {
            list.append(", ");
        }
        list.append(DeviceMap::portName(i));
    }
    return list;
}

// "COMn=PATH" into the options; an error line otherwise.
ProblemLine applyDevice(std::string_view value, ProgramOptions& options) {
    DeviceMap& devices = options.devices;
    const auto equals = value.find('=');
    if (equals == std::string_view::npos) {
        return "--device " + std::string(value) +
               ": expected COMn=PATH, for example COM1=/dev/ttyUSB0";
    }
    const auto name = value.substr(0, equals);
    const auto path = value.substr(equals + 1);
    const auto index = DeviceMap::indexOfName(name);
    if (!index) {
        return "--device " + std::string(value) + ": the port must be " + portList("or");
    }
    if (path.empty()) {
        return "--device " + std::string(value) + ": the device path is empty";
    }
    devices.setPath(*index, std::string(path));
    options.virtualPorts[static_cast<std::size_t>(*index)] = asciiLower(path) == "virtual";
    return {};
}

// Qt's own options, in the double-dash form Qt takes as well; QApplication takes
// them out of argv before the window reads the command line. The first group is
// followed by a value, the second stands alone. The forms with "=" carry their
// value in the same argument.
constexpr std::array<std::string_view, 16> qtOptionsWithValue{
    "platform",    "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",       "style",  "stylesheet",
    "display",     "geometry",           "title",         "icon",   "name",
    "visual"};
constexpr std::array<std::string_view, 6> qtFlags{"reverse", "widgetcount", "testability",
                                                  "nograb",  "dograb",      "sync"};
constexpr std::array<std::string_view, 4> qtOptionsWithEquals{"qmljsdebugger", "style",
                                                              "stylesheet", "session"};
constexpr std::array<std::string_view, 12> ownLongOptions{
    "advance", "console", "device",  "flow",    "format",       "help",
    "leap-60", "line",    "metrics", "talker", "version", "wait-for-sync"};
constexpr std::array<std::string_view, 2> serviceLongOptions{"install-service",
                                                             "uninstall-service"};
template <std::size_t n>
bool isOneOf(std::string_view name, const std::array<std::string_view, n>& names) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Searched as text, never as options; a double dash before them is a likely slip.
std::vector<std::string> shortOptions() {
    std::vector<std::string> options;
    for (int i = 0; i < portCount; ++i) {
        options.push_back("com" + std::to_string(i + 1));
    }
    for (const TimeFormat* format : allFormats()) {
        if (!format->names.option.empty()) {
            options.emplace_back(format->names.option);
        }
    }
    options.emplace_back("min");
    return options;
}

// The option the operator most likely meant by "--name", as it is written, or
// empty when none is close.
std::string closestOption(std::string_view name) {
    ClosestOption closest(name);
    for (std::string_view option : ownLongOptions) {
        closest.consider(option, "--");
    }
    if (servicesOffered()) {
        for (std::string_view option : serviceLongOptions) {
            closest.consider(option, "--");
        }
    }
    for (const std::string& option : shortOptions()) {
        closest.consider(option, "-");
    }
    for (std::string_view option : qtOptionsWithValue) {
        closest.consider(option, "--");
    }
    return closest.best();
}

// arg refused, with the option name (written without its dashes) it comes closest to.
std::string unknownOptionError(std::string_view arg, std::string_view name) {
    return unknownOptionText(arg, name.empty() ? std::string() : closestOption(asciiLower(name)));
}

// The bytes of the dash text starts with, 0 when none: the ASCII one, or a Unicode
// dash in UTF-8, as a word processor or a web page turns "--" into (en dash, em
// dash, minus sign and their kin).
std::size_t dashLength(std::string_view text) {
    if (text.starts_with('-')) {
        return 1;
    }
    constexpr std::array<std::string_view, 13> unicodeDashes{
        "\u2010", "\u2011", "\u2012", "\u2013", "\u2014", "\u2015", "\u2212",
        "\u2e3a", "\u2e3b", "\ufe58", "\ufe63", "\uff0d", "\u00ad"};
    for (std::string_view dash : unicodeDashes) {
        if (text.starts_with(dash)) {
            return dash.size();
        }
    }
    return 0;
}

// arg without the dashes it starts with.
std::string_view withoutDashes(std::string_view arg) {
    while (const std::size_t n = dashLength(arg)) {
        arg.remove_prefix(n);
    }
    return arg;
}

// A Qt value written as an option; "-0-0" (a geometry) is none.
bool looksLikeAnOption(std::string_view value) {
    const std::string_view name = withoutDashes(value);
    return name.size() < value.size() && !name.empty() && !(name[0] >= '0' && name[0] <= '9');
}

bool holdsShortOption(std::string_view text) {
    const std::string lower = asciiLower(text);
    const std::vector<std::string> options = shortOptions();
    return std::any_of(options.begin(), options.end(), [&](const std::string& option) {
        return lower.find(option) != std::string::npos;
    });
}

// "COM5", "com12": "com" and a number that is no port's. The text search gives it
// a meaning (a port it holds, else COM1), which is seldom the one meant.
bool isNumberOfNoPort(std::string_view name) {
    if (name.size() < 4 || asciiLower(name.substr(0, 3)) != "com" ||
        DeviceMap::indexOfName(name)) {
        return false;
    }
    return std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The name of Qt's option arg is ("platform" for "-platform" or "--platform"),
// empty when it is none. Qt takes both forms, in this case only.
std::string_view qtOptionName(std::string_view arg) {
    const std::size_t dashes = arg.starts_with("--") ? 2 : arg.starts_with('-') ? 1 : 0;
    if (dashes == 0) {
        return {};
    }
    const std::string_view name = arg.substr(dashes);
    const auto equals = name.find('=');
    if (isOneOf(name, qtOptionsWithValue) || isOneOf(name, qtFlags) ||
        (equals != std::string_view::npos && isOneOf(name.substr(0, equals), qtOptionsWithEquals))) {
        return name;
    }
    return {};
}

ProblemLine applyFlow(std::string_view value, ProgramOptions& options) {
    if (value == "none") {
        options.flow = FlowControl::None;
    } else if (value == "xonxoff") {
        options.flow = FlowControl::XonXoff;
    } else if (value == "rtscts") {
        options.flow = FlowControl::RtsCts;
    } else {
        return "--flow " + std::string(value) + ": expected none, xonxoff or rtscts";
    }
    return {};
}

ProblemLine applyAdvance(std::string_view value, ProgramOptions& options) {
    Parsed<Advance> advance = parseAdvance(value);
    if (!advance.value) {
        return std::move(advance.error);
    }
    options.advance = *advance.value;
    return {};
}

ProblemLine applyMetrics(std::string_view value, ProgramOptions& options) {
    if (value.empty()) {
        return ProblemLine("--metrics: the folder is empty");
    }
    options.metricsDir = value;
    return {};
}

ProblemLine applyFormat(std::string_view value, ProgramOptions& options) {
    Parsed<FormatChoice> format = parseFormatName(value);
    if (!format.value) {
        return std::move(format.error);
    }
    // --talker and --leap-60 hold whichever side of --format they were given on.
    format.value->settings.talker = std::move(options.format.settings.talker);
    format.value->settings.leap60 = options.format.settings.leap60;
    options.format = std::move(*format.value);
    options.formatGiven = true;
    return {};
}

ProblemLine applyLine(std::string_view value, ProgramOptions& options) {
    Parsed<LineSettings> line = parseLine(value);
    if (!line.value) {
        return std::move(line.error);
    }
    options.lineGiven = *line.value;
    return {};
}

// "16.0 ms": to a tenth of a millisecond.
std::string millisText(std::chrono::microseconds time) {
    const long long tenths = (time.count() + 50) / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " ms";
}

// Receivers match the talker as two capitals ("GP", "GN"); anything else would be
// a sentence none of them takes.
ProblemLine applyTalker(std::string_view value, ProgramOptions& options) {
    if (value.size() != 2 || !std::all_of(value.begin(), value.end(),
                                           [](char c) { return c >= 'A' && c <= 'Z'; })) {
        return "--talker " + std::string(value) + ": expected two upper-case letters, for example GP";
    }
    options.format.settings.talker = value;
    return {};
}

// The options that take a value, as "--name VALUE" or "--name=VALUE".
constexpr std::array<ValueOption<ProgramOptions>, 7> valueOptions{{
    {"--device", "--device: missing COMn=PATH, for example --device COM1=/dev/ttyUSB0",
     applyDevice},
    {"--flow", "--flow: missing none, xonxoff or rtscts", applyFlow},
    {"--advance", "--advance: missing milliseconds, for example --advance 20", applyAdvance},
    {"--metrics", "--metrics: missing the folder a textfile collector reads", applyMetrics},
    {"--format", "--format: missing the format, for example --format ese", applyFormat},
    {"--line", "--line: missing SPEED,FRAMING, for example --line 9600,8N1", applyLine},
    {"--talker", "--talker: missing two letters, for example --talker GP", applyTalker},
}};

ProblemLine applyUninstall(std::string_view value, ProgramOptions& options) {
    const std::string name = asciiUpper(value);
    if (name != "ALL" && !DeviceMap::indexOfName(name)) {
        return "--uninstall-service " + std::string(value) + ": expected COM1 to COM4, or all";
    }
    options.uninstallService = name;
    return {};
}

}  // namespace

Parsed<ProgramOptions> parseProgramArguments(const std::vector<std::string>& args) {
    ProgramOptions options;
    std::vector<std::string_view> rest;
    std::vector<std::string_view> comNumbersOfNoPort;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const std::size_t first = i;
        if (servicesOffered() && arg == "--install-service") {
            options.installService = true;
        } else if (servicesOffered() && arg == "--service") {
            options.service = true;
        } else if (servicesOffered() && arg == "--uninstall-service") {
            if (i + 1 >= args.size()) {
                return {std::nullopt, "--uninstall-service: missing COMn or all"};
            }
            if (ProblemLine problem = applyUninstall(args[++i], options); !problem.empty()) {
                return {std::nullopt, std::move(problem)};
            }
        } else if (arg == "--console") {
            options.console = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--wait-for-sync") {
            options.waitForSync = true;
        } else if (arg == "--leap-60") {
            options.format.settings.leap60 = true;
        } else if (ValueOptionRead read = readValueOption(args, i, valueOptions, options);
                   read.matched) {
            if (!read.error.empty()) {
                return {std::nullopt, std::move(read.error)};
            }
        } else if (const std::string_view qtName = qtOptionName(arg); !qtName.empty()) {
            // Qt's, with its value, which is Qt's whatever it looks like, but for an
            // option: "--platform --device COM1=..." would give Qt the --device.
            rest.push_back(arg);
            if (isOneOf(qtName, qtOptionsWithValue) && i + 1 < args.size()) {
                if (looksLikeAnOption(args[i + 1])) {
                    return {std::nullopt,
                            std::string(arg) + ": missing its value before " + args[i + 1]};
                }
                rest.push_back(args[++i]);
            }
        } else if (arg.starts_with("--")) {
            // A typo would otherwise be searched as text and quietly pick a port.
            return {std::nullopt, unknownOptionError(arg, arg.substr(2, arg.find('=') - 2))};
        } else if (const auto equals = arg.find('='); equals != std::string_view::npos) {
            // "COM1=/dev/ttyUSB0", "-flow=rtscts": the value of an option that is not
            // there; as text it would be searched for a port.
            const std::string_view name = withoutDashes(arg.substr(0, equals));
            if (DeviceMap::indexOfName(name)) {
                return {std::nullopt, std::string(arg) + ": unknown option, did you mean --device?"};
            }
            return {std::nullopt, unknownOptionError(arg, name)};
        } else if (dashLength(arg) > 0) {
            // Written as an option, it must hold one of the short options, or it
            // would do nothing ("-dev", "-device", an em dash before "device").
            const std::string_view name = withoutDashes(arg);
            if (isNumberOfNoPort(name)) {
                comNumbersOfNoPort.push_back(arg);
            } else if (!holdsShortOption(name)) {
                return {std::nullopt, unknownOptionError(arg, name)};
            }
            rest.push_back(arg);
        } else {
            rest.push_back(arg);
        }
        if (arg != "--install-service") {
            options.serviceArguments.insert(options.serviceArguments.end(), args.begin() + first,
                                            args.begin() + i + 1);
        }
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (i > 0) {
            options.commandLine.push_back(' ');
        }
        options.commandLine.append(rest[i]);
    }
    if (!options.formatGiven) {
        std::string searched = options.commandLine;
        options.format.protocol = readStartOptions(searched).protocol;
    }
    const TimeFormat& format = formatOf(options.format.protocol);
    options.line = options.lineGiven ? *options.lineGiven : format.line;
    const auto onLine = airTime(format, options.line, options.format.settings);
    const auto lead = leadTime(format, options.line, options.format.settings);
    const auto advance = std::chrono::microseconds(options.advance.micros());
    if (onLine + lead + advance > std::chrono::seconds(1)) {
        return {std::nullopt,
                std::string(format.names.word) + " at " + lineOptionText(options.line) +
                    ": the message needs " + millisText(onLine + lead + advance) + " (" +
                    millisText(onLine) + " on the line, " + millisText(lead) + " lead, " +
                    millisText(advance) + " advance), more than the second it has"};
    }
    if (!comNumbersOfNoPort.empty()) {
        std::string searched = options.commandLine;
        const std::string port = DeviceMap::portName(readStartOptions(searched).portNumber - 1);
        for (std::string_view arg : comNumbersOfNoPort) {
            options.warnings.push_back(std::string(arg) + ": there is no " +
                                       asciiUpper(withoutDashes(arg)) + ", so the port is " + port);
        }
    }
    return {std::move(options), {}};
}

Advance sendAdvance(const ProgramOptions& options) {
    return options.advance.withLead(
        leadTime(formatOf(options.format.protocol), options.line, options.format.settings)
            .count());
}

LineSettings sendLine(const ProgramOptions& options) {
    LineSettings line = options.line;
    line.flow = options.flow;
    return line;
}

ProblemLine openVirtualPorts(ProgramOptions& options, std::string& notice) {
    for (int i = 0; i < portCount; ++i) {
        if (!options.virtualPorts[static_cast<std::size_t>(i)]) {
            continue;
        }
        SystemError reason;
        auto port = VirtualPort::create(reason);
        if (!port) {
            return DeviceMap::portName(i) + "=virtual: " + VirtualPort::createFailureText(reason);
        }
        options.devices.setVirtual(i, std::move(port));
        notice +=
            DeviceMap::portName(i) + " is virtual: readers open " + options.devices.path(i) + "\n";
    }
    return {};
}

namespace {

// Where the help's second column, the text for each option, begins.
constexpr std::size_t helpTextColumn = 23;

// "  -name" and the spaces that take the text to the help's second column.
std::string optionColumn(std::string_view option) {
    std::string line = "  -" + std::string(option);
    line.append(line.size() < helpTextColumn ? helpTextColumn - line.size() : 1, ' ');
    return line;
}

// "COM4": the last port there is.
std::string lastPortName() {
    return DeviceMap::portName(portCount - 1);
}

// One entry per row, so that a new format appears by itself.
std::string formatsHelp() {
    std::string text;
    for (const TimeFormat* format : allFormats()) {
        const std::string word(format->names.word);
        text += "  " + word + std::string(word.size() < 12 ? 12 - word.size() : 1, ' ') +
                std::string(format->names.title) + ", " + lineOptionText(format->line) +
                ", character " + std::to_string(format->onTimeAt + 1) + " on time, " +
                millisText(leadTime(*format, format->line)) + " early\n" +
                std::string(14, ' ') + "e.g. " + std::string(format->example) + "\n";
    }
    return text;
}

}  // namespace

std::string usageText(std::string_view executable) {
    const PlatformHelp platform = platformHelp();
    std::string text = "Usage: " + std::string(executable) + " [options]\n";
    text +=
        "Sends the time of day once per second out of a serial port, for show-control\n"
        "equipment (" +
        lineText(timeLine) +
        ").\n"
        "\n"
        "Options:\n" +
        optionColumn("com1 ... -com" + std::to_string(portCount)) + "send on COM1 to " +
        lastPortName() + " (default COM1)\n";
    for (const TimeFormat* format : allFormats()) {
        const FormatNames& names = format->names;
        if (!names.option.empty()) {
            text += optionColumn(names.option) + "send the " + std::string(names.title) +
                    " message instead of the\n" + std::string(helpTextColumn, ' ') +
                    std::string(namesOf(defaultProtocol).title) + " message\n";
        }
    }
    text +=
        "  --format NAME        send the format NAME (default " +
        std::string(formatOf(defaultProtocol).names.word) +
        ", see Formats below);\n"
        "                       the window has a radio for some, the others are sent\n"
        "                       in console mode and by the service only\n"
        "  --line SPEED,FRAMING the line instead of the format's own, for example\n"
        "                       --line 4800,8N1 or --line 9600,7O1 (speed 1200 to\n"
        "                       115200, 7 or 8 data bits, parity N, E or O, 1 or 2\n"
        "                       stop bits)\n"
        "  -min                 start with the window minimized\n"
        "  --console            run without a window; the log goes to standard output\n"
        "  --device COMn=PATH   use the device PATH for COMn (repeatable); by default\n"
        "                       COM1 to " +
        lastPortName() + " are " + DeviceMap::defaultPath(0) + " to " +
        DeviceMap::defaultPath(portCount - 1) + platform.deviceNote +
        "  --flow none|xonxoff|rtscts\n"
        "                       the output flow control the port uses (default none:\n"
        "                       received bytes and the CTS line never stop the clock)\n" +
        platform.serviceOptions +
        "  --wait-for-sync      send nothing until the clock is synchronised (for a\n"
        "                       machine without a battery-backed clock)\n"
        "  --advance MS         start each message MS milliseconds (0 to 900, default\n"
        "                       0) before its second begins, for equipment that takes\n"
        "                       the time when the message ends: at 9600 baud the ESE\n"
        "                       message takes 12.5 ms, the 8-bit one 50 ms\n"
        "  --talker XX          the two letters after $ in the NMEA sentences\n"
        "                       (default GP)\n"
        "  --leap-60            send an inserted leap second as second 60 in NMEA\n"
        "                       (default: second 59 again)\n" +
        platform.metricsOption +
        "  --help               show this help and exit\n"
        "  --version            show the version and exit\n"
        "\n"
        "Formats (NAME for --format: the message, its line, the character whose\n"
        "start bit marks the second and how early the message starts for it there;\n"
        "--advance adds to that):\n" +
        formatsHelp() +
        "\n"
        "The short options are found anywhere in the arguments, in any case: -COM3 and\n"
        "com3 both choose COM3, and any argument containing \"min\" minimizes.\n"
        "\n" +
        platform.runParagraph +
        "\n"
        "The log says at start and at each change whether this computer's clock is\n"
        "synchronised: the time sent is only as right as that clock.\n"
        "\n" +
        platform.exitStatus;
    return text;
}

}  // namespace chronvane
