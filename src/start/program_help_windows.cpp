#include "program_options.h"

namespace chronvane {

bool servicesOffered() {
    return true;
}

PlatformHelp platformHelp() {
    PlatformHelp help;
    help.deviceNote =
        ";\n"
        "                       \\\\.\\COM10 and above need that form too\n";
    help.serviceOptions =
        "  --install-service    register a service that sends on the chosen port from\n"
        "                       boot, with the other options given (run elevated)\n"
        "  --uninstall-service COMn|all\n"
        "                       stop and remove that port's service, or all of them\n"
        "                       (run elevated)\n";
    help.metricsOption =
        "  --metrics DIR        every 5 s write the sender's health figures to\n"
        "                       DIR\\chronvane32_COMn.prom for windows_exporter's\n"
        "                       textfile collector; console mode and the service only\n";
    help.runParagraph =
        "In console mode and as a service the program runs at high priority, and the\n"
        "service writes its log, all but the per-second lines, to the Event Log\n"
        "(source Chronvane32).\n";
    help.exitStatus =
        "Exit status: 0 on a normal end, 1 when no timer could be had in console mode\n"
        "or a service could not be installed or removed, 2 for a bad option.\n";
    return help;
}

}  // namespace chronvane
