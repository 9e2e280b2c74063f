#include <windows.h>

#include <string>

#include "system_error.h"

namespace chronvane {

SystemError lastSystemError() {
    return SystemError{static_cast<int>(GetLastError())};
}

// English, like the rest of the program's output, when the system carries English
// texts; otherwise the user's own language rather than nothing.
std::string errorText(SystemError error) {
    const auto code = static_cast<DWORD>(error.code);
    char* buffer = nullptr;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = 0;
    for (const DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
                                 static_cast<DWORD>(0)}) {
        length = FormatMessageA(flags, nullptr, code, language, reinterpret_cast<LPSTR>(&buffer), 0,
                                nullptr);
        if (length > 0) {
            break;
        }
    }
    if (length == 0 || buffer == nullptr) {
        return "Windows error " + std::to_string(code);
    }
    std::string text(buffer, length);
    LocalFree(buffer);
    // The system's texts end in ".\r\n"; ours append a hint in brackets after them.
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text.empty() ? "Windows error " + std::to_string(code) : text;
}

}  // namespace chronvane
