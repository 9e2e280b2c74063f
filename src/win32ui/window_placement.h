#pragma once

#include <windows.h>

namespace chronvane {

// Centres window over the rectangle centre (screen coordinates), each halving
// truncating, then pushes it back inside the work area of the screen where it would
// stick out. Keeps its size.
void centreWindow(HWND window, const RECT& centre);

// The work area of the screen window is on: the desktop less the taskbar.
RECT workAreaOf(HWND window);

}  // namespace chronvane
