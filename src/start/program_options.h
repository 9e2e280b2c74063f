#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chronvane32_version.h"
#include "core/advance.h"
#include "core/flow_control.h"
#include "core/parsed.h"
#include "formats/format_registry.h"
#include "serial/device_map.h"

namespace chronvane {

inline constexpr const char* versionText = "Chronvane32 Version " CHRONVANE32_VERSION;

// The command line after our own long options are taken out. Those never reach the
// substring search, so "--device COM2=..." cannot select COM2 by accident.
struct ProgramOptions {
    bool console = false;
    bool help = false;
    bool version = false;
    DeviceMap devices;
    // COMs given as "virtual": openVirtualPorts makes their pseudo-terminals.
    std::array<bool, portCount> virtualPorts{};
    // The output flow control the port is told to use (--flow).
    FlowControl flow = FlowControl::None;
    // --wait-for-sync: nothing is sent until the clock is synchronised.
    bool waitForSync = false;
    // --advance MS: each message starts this long before its second begins.
    Advance advance;
    // --metrics DIR: the folder a textfile collector reads, where the sender keeps
    // its health figures; empty: none are written.
    std::string metricsDir;
    // --format custom:TEXT: the format and its compiled template; empty: the
    // format the command line's text chooses.
    std::optional<FormatChoice> format;
    // Every other argument, Qt's options included, joined with single spaces.
    std::string commandLine;
    // Arguments taken, though likely not as meant, one line each without the
    // program's name ("-com5: there is no COM5, so the port is COM1"): for standard
    // error before the run.
    std::vector<std::string> warnings;
    // Where the system has a service manager of its own to register with (see
    // servicesOffered): --install-service, --uninstall-service COMn|all, and
    // --service, which the service manager's command line carries.
    bool installService = false;
    std::string uninstallService;  // "COM1" to "COM4" or "ALL"; empty when not asked
    bool service = false;
    // Every argument but --install-service, in order, as given: what an installed
    // service is started with after --service.
    std::vector<std::string> serviceArguments;
};

// args: the arguments without the program's own path. Long options:
//   --console, --help, --version,
//   --device COMn=PATH and --device=COMn=PATH (repeatable; n 1 to 4, PATH not empty;
//   PATH "virtual" in any case marks COMn virtual, the last --device for a COM wins),
//   --flow none|xonxoff|rtscts and --flow=... (exact lower case; the last one wins),
//   --wait-for-sync, --advance MS and --advance=MS (0 to maxAdvanceMillis),
//   --metrics DIR and --metrics=DIR (DIR not empty; the last one wins),
//   --format custom:TEXT and --format=custom:TEXT (a template that compiles),
//   where servicesOffered(): --install-service, --service and
//   --uninstall-service COMn|all (n 1 to 4, any case).
// Qt's own options (--platform NAME, -platform NAME, --reverse ...) stay in the
// command line for QApplication; a value of theirs written as an option is
// refused. Any other argument starting with "--", holding "=", or starting with
// another dash (one ASCII dash, a Unicode dash) and holding no short option is
// refused, the error naming the closest option where one is near: searched as text
// it would do nothing, and the port would be COM1's default device. "-com5" and
// the like ("com" and the number of no port) are searched as text and add a
// warning that names the port chosen. Every other argument goes to the command
// line, to be searched as text.
// Pure: creates nothing, not even the virtual ports.
Parsed<ProgramOptions> parseProgramArguments(const std::vector<std::string>& args);

// Makes a pseudo-terminal for every COM marked virtual and puts it into
// options.devices, so that every copy of the map shares it. Returns what to tell the
// operator, one line per port ("COM1 is virtual: readers open /dev/pts/3"), in
// notice. On failure: false, error holds one line with the reason; ports made so far
// are kept in options.devices.
bool openVirtualPorts(ProgramOptions& options, std::string& notice, std::string& error);

// The --help text, ending in a newline: what is the same everywhere, with what is
// true on this platform only (platformHelp) in its places.
std::string usageText(std::string_view executable);

// The parts of --help that differ by platform (program_help_<platform>.cpp). Each
// is whole lines ending in a newline, or empty.
struct PlatformHelp {
    // Follows "by default COM1 to COM4 are A to B" on the --device entry.
    std::string deviceNote;
    // Option entries between --flow and --wait-for-sync.
    std::string serviceOptions;
    // The --metrics entry, which names this platform's collector folder.
    std::string metricsOption;
    // The paragraph on how console mode (and a service) runs.
    std::string runParagraph;
    std::string exitStatus;
};
PlatformHelp platformHelp();

// True where the program registers itself with the system's service manager
// (Windows); elsewhere the service options are unknown (on Linux the package's
// systemd unit is the service).
bool servicesOffered();

}  // namespace chronvane
