// Reading a compiled DIALOG or DIALOGEX template as the dialog manager does, for
// the tests that look at what windres made of the resource script.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace chronvane::test {

template <typename T>
T readAt(const std::uint8_t* bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

// The offset just past a name or ordinal field (menu, class, text).
inline std::size_t skipNameOrOrdinal(const std::uint8_t* bytes, std::size_t offset) {
    if (readAt<WORD>(bytes, offset) == 0xFFFF) {
        return offset + 4;
    }
    while (readAt<WORD>(bytes, offset) != 0) {
        offset += 2;
    }
    return offset + 2;
}

// A zero-ended UTF-16 string of ASCII text; offset moves past its end.
inline std::string readString(const std::uint8_t* bytes, std::size_t& offset) {
    std::string text;
    for (WORD c; (c = readAt<WORD>(bytes, offset)) != 0; offset += 2) {
        text += static_cast<char>(c);
    }
    offset += 2;
    return text;
}

// A template's header, up to where its controls begin.
struct DialogHeader {
    bool extended = false;  // DIALOGEX
    DWORD style = 0;
    DWORD exStyle = 0;
    int controls = 0;
    int width = 0;  // in dialog units
    std::string caption;
    // The font, when the style has DS_SETFONT; weight and italic only in DIALOGEX.
    std::string face;
    int points = 0;
    int weight = FW_DONTCARE;
    bool italic = false;
    std::size_t firstControl = 0;  // before its alignment to a DWORD
};

inline DialogHeader readDialogHeader(const std::uint8_t* bytes) {
    DialogHeader header;
    header.extended = readAt<WORD>(bytes, 0) == 1 && readAt<WORD>(bytes, 2) == 0xFFFF;
    std::size_t offset = 0;
    if (header.extended) {  // dlgVer, signature, helpID, exStyle, style
        header.exStyle = readAt<DWORD>(bytes, 8);
        header.style = readAt<DWORD>(bytes, 12);
        offset = 16;
    } else {  // style, exStyle
        header.style = readAt<DWORD>(bytes, 0);
        header.exStyle = readAt<DWORD>(bytes, 4);
        offset = 8;
    }
    header.controls = readAt<WORD>(bytes, offset);
    header.width = readAt<short>(bytes, offset + 6);
    offset = skipNameOrOrdinal(bytes, offset + 10);  // the menu
    offset = skipNameOrOrdinal(bytes, offset);       // the window class
    header.caption = readString(bytes, offset);
    if ((header.style & DS_SETFONT) != 0) {
        header.points = readAt<WORD>(bytes, offset);
        offset += 2;
        if (header.extended) {
            header.weight = readAt<WORD>(bytes, offset);
            header.italic = bytes[offset + 2] != 0;
            offset += 4;
        }
        header.face = readString(bytes, offset);
    }
    header.firstControl = offset;
    return header;
}

}  // namespace chronvane::test
