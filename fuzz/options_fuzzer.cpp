// Command lines of any shape: the option readers must take every one without
// crashing, and what they accept must keep its promises.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "start/program_options.h"
#include "start/start_options.h"
#include "monitor/monitor_options.h"

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// NUL separates arguments, as in argv.
std::vector<std::string> splitArguments(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back().push_back(static_cast<char>(data[i]));
        }
    }
    return args;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace chronvane;
    const std::vector<std::string> args = splitArguments(data, size);

    const Parsed<ProgramOptions> parsed = parseProgramArguments(args);
    check(parsed.value.has_value() != !parsed.error.empty());
    if (parsed.value) {
        for (int i = 0; i < portCount; ++i) {
            check(!parsed.value->devices.path(i).empty());
        }
        std::string commandLine = parsed.value->commandLine;
        const StartOptions start = readStartOptions(commandLine);
        check(start.portNumber >= 1 && start.portNumber <= 4);
    }

    std::string raw(reinterpret_cast<const char*>(data), size);
    const std::size_t length = raw.size();
    const StartOptions start = readStartOptions(raw);
    check(start.portNumber >= 1 && start.portNumber <= 4);
    check(raw.size() == length);

    const Parsed<monitor::MonitorOptions> monitorParsed = monitor::parseMonitorArguments(args);
    check(monitorParsed.value.has_value() != !monitorParsed.error.empty());
    if (monitorParsed.value && monitorParsed.value->count) {
        check(*monitorParsed.value->count >= 1);
    }
    return 0;
}
