#include "window_placement.h"

#include "dialog_rules/dialog_rules.h"

namespace chronvane {

RECT workAreaOf(HWND window) {
    RECT area{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor)) {
        area = monitor.rcWork;
    }
    return area;
}

void centreWindow(HWND window, const RECT& centre) {
    RECT frame{};
    if (!GetWindowRect(window, &frame)) {
        return;
    }
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    const RECT area = workAreaOf(window);
    const int left = dialog::centredStart({centre.left, centre.right - centre.left}, width,
                                          {area.left, area.right - area.left});
    const int top = dialog::centredStart({centre.top, centre.bottom - centre.top}, height,
                                         {area.top, area.bottom - area.top});
    SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace chronvane
