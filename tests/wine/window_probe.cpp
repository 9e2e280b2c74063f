// A test tool, not part of the program: finds the program's dialog by its caption
// from another process and prints what a test needs to know about it, one
// "key=value" line each, so the end-to-end driver can check the window without any
// hook inside the program.
//   window_probe CAPTION
// Exit status 0 with the report when a visible dialog of that caption exists, 1
// when none does (the driver polls), 2 for a usage error.
#include <windows.h>

#include <array>
#include <cstdio>
#include <string>

namespace {

std::string windowText(HWND window) {
    std::array<char, 512> text{};
    // WM_GETTEXT crosses processes; GetWindowText would not ask the other one.
    SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, 2000, nullptr);
    return text.data();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: window_probe CAPTION\n", stderr);
        return 2;
    }
    const HWND dialog = FindWindowA("#32770", argv[1]);
    if (dialog == nullptr || !IsWindowVisible(dialog)) {
        return 1;
    }
    RECT frame{};
    GetWindowRect(dialog, &frame);
    std::printf("caption=%s\n", windowText(dialog).c_str());
    std::printf("rect=%ld %ld %ld %ld\n", frame.left, frame.top, frame.right, frame.bottom);
    std::printf("iconic=%d\n", IsIconic(dialog) ? 1 : 0);
    std::printf("enabled=%d\n", IsWindowEnabled(dialog) ? 1 : 0);
    // Keys typed on the X side reach the foreground window only.
    std::printf("foreground=%d\n", GetForegroundWindow() == dialog ? 1 : 0);
    for (int id = 1000; id <= 1013; ++id) {
        const HWND control = GetDlgItem(dialog, id);
        if (control == nullptr) {
            continue;
        }
        const LRESULT checked = SendMessageA(control, BM_GETCHECK, 0, 0);
        std::printf("control%d=%s\n", id, windowText(control).c_str());
        std::printf("checked%d=%d\n", id, static_cast<int>(checked));
    }
    // Every control in the order the dialog made them, which is the template's.
    int index = 0;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        std::printf("child%d=%s\n", index++, windowText(child).c_str());
    }
    return 0;
}
