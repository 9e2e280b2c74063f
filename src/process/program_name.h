#pragma once

namespace chronvane {

// How the sender names itself in its own messages ("chronvane32: ..."), whichever
// room the message comes from: the start, the send thread, the console, the service.
inline constexpr const char* executableName = "chronvane32";

}  // namespace chronvane
