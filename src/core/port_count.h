#pragma once

namespace chronvane {

// How many ports the operator can choose from: COM1 to COM<portCount>. The device
// map, the start options, the option reader, the windows' radio ids
// (app/dialog_rules.h) and the resource script all follow this one number; a fifth
// port starts here, and the radio ids refuse to build until the script has its
// radio too.
inline constexpr int portCount = 4;

}  // namespace chronvane
