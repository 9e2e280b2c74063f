#include "dialog_rules.h"

#include "core/ascii_case.h"

namespace chronvane {

bool helpExpanded = false;

namespace dialog {

std::string applicationName(std::string_view executablePath) {
    const auto slash = executablePath.find_last_of("\\/:");
    std::string_view name =
        slash == std::string_view::npos ? executablePath : executablePath.substr(slash + 1);
    name = name.substr(0, name.find_last_of('.'));
    return name.empty() ? std::string("chronvane32") : std::string(name);
}

std::string clockStateTip(const ClockState& state) {
    std::string tip = clockStateDetail(state);
    if (!tip.empty()) {
        tip[0] = asciiUpper(tip[0]);
    }
    return tip;
}

}  // namespace dialog
}  // namespace chronvane
