#pragma once

namespace chronvane {

// Windows only. Windows 11 may lower the timer resolution of a process whose
// windows are minimized or hidden, and may run a process it deems in the
// background on efficiency cores at a low clock; either can make a message leave
// late. This asks the system to do neither to this process. Systems without the
// request (before Windows 10 1709, or without SetProcessInformation at all) are
// left as they are: they do neither anyway. Returns false when the system has the
// request and refused it.
bool optOutOfPowerThrottling();

}  // namespace chronvane
