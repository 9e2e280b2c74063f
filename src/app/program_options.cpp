#include "program_options.h"

#include <utility>

#include "serial/virtual_port.h"

namespace chronvane {
namespace {

constexpr std::string_view deviceOption = "--device";
constexpr std::string_view flowOption = "--flow";

bool isVirtualWord(std::string_view path) {
    constexpr std::string_view word = "virtual";
    if (path.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < word.size(); ++i) {
        const char c =
            path[i] >= 'A' && path[i] <= 'Z' ? static_cast<char>(path[i] - 'A' + 'a') : path[i];
        if (c != word[i]) {
            return false;
        }
    }
    return true;
}

// "COMn=PATH" into the options; an error line otherwise.
std::optional<std::string> applyDevice(std::string_view value, ProgramOptions& options) {
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
        return "--device " + std::string(value) + ": the port must be COM1, COM2, COM3 or COM4";
    }
    if (path.empty()) {
        return "--device " + std::string(value) + ": the device path is empty";
    }
    devices.setPath(*index, std::string(path));
    options.virtualPorts[static_cast<std::size_t>(*index)] = isVirtualWord(path);
    return std::nullopt;
}

std::optional<std::string> applyFlow(std::string_view value, ProgramOptions& options) {
    if (value == "none") {
        options.flow = FlowControl::None;
    } else if (value == "xonxoff") {
        options.flow = FlowControl::XonXoff;
    } else if (value == "rtscts") {
        options.flow = FlowControl::RtsCts;
    } else {
        return "--flow " + std::string(value) + ": expected none, xonxoff or rtscts";
    }
    return std::nullopt;
}

}  // namespace

ParseResult parseProgramArguments(const std::vector<std::string>& args) {
    ProgramOptions options;
    std::vector<std::string_view> rest;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--console") {
            options.console = true;
        } else if (arg == "--help") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == deviceOption) {
            if (i + 1 >= args.size()) {
                return {std::nullopt,
                        "--device: missing COMn=PATH, for example --device COM1=/dev/ttyUSB0"};
            }
            if (auto error = applyDevice(args[++i], options)) {
                return {std::nullopt, *error};
            }
        } else if (arg.starts_with("--device=")) {
            if (auto error = applyDevice(arg.substr(deviceOption.size() + 1), options)) {
                return {std::nullopt, *error};
            }
        } else if (arg == flowOption) {
            if (i + 1 >= args.size()) {
                return {std::nullopt, "--flow: missing none, xonxoff or rtscts"};
            }
            if (auto error = applyFlow(args[++i], options)) {
                return {std::nullopt, *error};
            }
        } else if (arg.starts_with("--flow=")) {
            if (auto error = applyFlow(arg.substr(flowOption.size() + 1), options)) {
                return {std::nullopt, *error};
            }
        } else {
            rest.push_back(arg);
        }
    }
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (i > 0) {
            options.commandLine.push_back(' ');
        }
        options.commandLine.append(rest[i]);
    }
    return {std::move(options), {}};
}

bool openVirtualPorts(ProgramOptions& options, std::string& notice, std::string& error) {
    for (int i = 0; i < DeviceMap::portCount; ++i) {
        if (!options.virtualPorts[static_cast<std::size_t>(i)]) {
            continue;
        }
        SystemError reason;
        auto port = VirtualPort::create(&reason);
        if (!port) {
            error = DeviceMap::portName(i) +
                    "=virtual: no pseudo-terminal could be made: " + errorText(reason);
            return false;
        }
        options.devices.setVirtual(i, std::move(port));
        notice +=
            DeviceMap::portName(i) + " is virtual: readers open " + options.devices.path(i) + "\n";
    }
    return true;
}

std::string usageText(std::string_view executable) {
    std::string text = "Usage: " + std::string(executable) + " [options]\n";
    text +=
        "Sends the time of day once per second out of a serial port, for show-control\n"
        "equipment (9600 baud, 8 data bits, no parity, 1 stop bit).\n"
        "\n"
        "Options:\n"
        "  -com1 ... -com4      send on COM1 to COM4 (default COM1)\n"
        "  -ostrel8             send the Ostrel 8-bit Date/Time message instead of the\n"
        "                       ESE Real Time Clock message\n"
        "  -min                 start with the window minimized\n"
        "  --console            run without a window; the log goes to standard output\n"
        "  --device COMn=PATH   use the device PATH for COMn (repeatable); by default\n"
        "                       COM1 to COM4 are /dev/ttyS0 to /dev/ttyS3; PATH\n"
        "                       virtual makes a pseudo-terminal and prints the path\n"
        "                       that readers open\n"
        "  --flow none|xonxoff|rtscts\n"
        "                       the output flow control the port uses (default none:\n"
        "                       received bytes and the CTS line never stop the clock)\n"
        "  --help               show this help and exit\n"
        "  --version            show the version and exit\n"
        "\n"
        "The short options are found anywhere in the arguments, in any case: -COM3 and\n"
        "com3 both choose COM3, and any argument containing \"min\" minimizes.\n"
        "\n"
        "In console mode the program asks for real-time priority (SCHED_FIFO 10) and\n"
        "locks its memory where the system allows it, and says once how to allow it\n"
        "where not.\n"
        "\n"
        "Exit status: 0 on a normal end, 1 when no timer could be had in console mode,\n"
        "2 for a bad option.\n";
    return text;
}

}  // namespace chronvane
