#include "program_options.h"

namespace chronvane {

bool servicesOffered() {
    return true;
}

std::string usageText(std::string_view executable) {
    std::string text = usageIntro(executable);
    text +=
        "  --console            run without a window; the log goes to standard output\n"
        "  --device COMn=PATH   use the device PATH for COMn (repeatable); by default\n"
        "                       COM1 to " +
        lastPortName() + " are " + DeviceMap::defaultPath(0) + " to " +
        DeviceMap::defaultPath(portCount - 1) +
        ";\n"
        "                       \\\\.\\COM10 and above need that form too\n"
        "  --flow none|xonxoff|rtscts\n"
        "                       the output flow control the port uses (default none:\n"
        "                       received bytes and the CTS line never stop the clock)\n"
        "  --install-service    register a service that sends on the chosen port from\n"
        "                       boot, with the other options given (run elevated)\n"
        "  --uninstall-service COMn|all\n"
        "                       stop and remove that port's service, or all of them\n"
        "                       (run elevated)\n"
        "  --wait-for-sync      send nothing until the clock is synchronised (for a\n"
        "                       machine without a battery-backed clock)\n"
        "  --advance MS         start each message MS milliseconds (0 to 900, default\n"
        "                       0) before its second begins, for equipment that takes\n"
        "                       the time when the message ends: at 9600 baud the ESE\n"
        "                       message takes 12.5 ms, the 8-bit one 50 ms\n"
        "  --help               show this help and exit\n"
        "  --version            show the version and exit\n"
        "\n"
        "The short options are found anywhere in the arguments, in any case: -COM3 and\n"
        "com3 both choose COM3, and any argument containing \"min\" minimizes.\n"
        "\n"
        "In console mode and as a service the program runs at high priority, and the\n"
        "service writes its log, all but the per-second lines, to the Event Log\n"
        "(source Chronvane32).\n"
        "\n"
        "The log says at start and at each change whether this computer's clock is\n"
        "synchronised: the time sent is only as right as that clock.\n"
        "\n"
        "Exit status: 0 on a normal end, 1 when no timer could be had in console mode\n"
        "or a service could not be installed or removed, 2 for a bad option.\n";
    return text;
}

}  // namespace chronvane
