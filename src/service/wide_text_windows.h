#pragma once

#include <windows.h>

#include <string>

namespace chronvane {

// Text from the command line or the program itself, for the wide calls. main()
// gets its arguments in the ANSI code page, so that is what they are read in: a
// device path baked into a service's command line stays the same path.
inline std::wstring wide(const std::string& text) {
    if (text.empty()) {
        return {};
    }
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

}  // namespace chronvane
