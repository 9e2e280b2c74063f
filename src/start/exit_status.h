#pragma once

namespace chronvane {

// chronvane32's exit statuses, the same on every platform. A service manager
// restarts the program after exitFailure and not after exitBadOption, which a
// restart could not cure.
inline constexpr int exitNormal = 0;
// Something the system would not give: a timer, a pseudo-terminal for a virtual
// port, the window, the standard descriptors, or standard output for --help.
inline constexpr int exitFailure = 1;
inline constexpr int exitBadOption = 2;

}  // namespace chronvane
