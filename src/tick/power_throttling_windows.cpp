#include <windows.h>

#include "power_throttling.h"

namespace chronvane {

bool optOutOfPowerThrottling() {
    // Looked up, not imported: Windows 7 has no SetProcessInformation, and an
    // import would keep the program from starting there at all.
    using SetInformation = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    const auto set = kernel == nullptr ? nullptr
                                       : reinterpret_cast<SetInformation>(reinterpret_cast<void*>(
                                             GetProcAddress(kernel, "SetProcessInformation")));
    if (set == nullptr) {
        return true;
    }
    PROCESS_POWER_THROTTLING_STATE state{};
    state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
    // Named in the mask and cleared in the state: "never throttle this".
    state.ControlMask =
        PROCESS_POWER_THROTTLING_EXECUTION_SPEED | PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION;
    state.StateMask = 0;
    if (set(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof state)) {
        return true;
    }
    // Older Windows 10 knows the call but not the class or a flag, and Wine
    // implements neither: nothing there to opt out of.
    const DWORD error = GetLastError();
    return error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED ||
           error == ERROR_INVALID_FUNCTION;
}

}  // namespace chronvane
