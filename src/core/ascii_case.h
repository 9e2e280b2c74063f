#pragma once

#include <string>
#include <string_view>

namespace chronvane {

// Case folding for option and port names, whatever the locale. ASCII letters only,
// so that UTF-8 text (a device path, a command line) passes through intact.
inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char asciiUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string asciiLower(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = asciiLower(c);
    }
    return folded;
}

inline std::string asciiUpper(std::string_view text) {
    std::string folded(text);
    for (char& c : folded) {
        c = asciiUpper(c);
    }
    return folded;
}

}  // namespace chronvane
