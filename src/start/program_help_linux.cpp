#include "program_options.h"

namespace chronvane {

// The package's systemd unit is the service here; the program registers nothing.
bool servicesOffered() {
    return false;
}

PlatformHelp platformHelp() {
    PlatformHelp help;
    help.deviceNote =
        "; PATH\n"
        "                       virtual makes a pseudo-terminal and prints the path\n"
        "                       that readers open\n";
    help.metricsOption =
        "  --metrics DIR        every 5 s write the sender's health figures to\n"
        "                       DIR/chronvane32_<device>.prom for node_exporter's\n"
        "                       textfile collector (/var/lib/prometheus/node-exporter);\n"
        "                       console mode and the service only\n";
    help.runParagraph =
        "In console mode the program asks for real-time priority (SCHED_FIFO 10) and\n"
        "locks its memory where the system allows it, and says once how to allow it\n"
        "where not.\n";
    help.exitStatus =
        "Exit status: 0 on a normal end, 1 when no timer could be had in console mode,\n"
        "2 for a bad option.\n";
    return help;
}

}  // namespace chronvane
