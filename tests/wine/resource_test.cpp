// What windres made of the resource script, read back through the Win32 calls the
// program will use: the dialogs' styles, the menu string, the icon's images.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "resource.h"

namespace {

const std::uint8_t* resourceBytes(int id, LPCSTR type) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(nullptr, found);
    return loaded == nullptr ? nullptr : static_cast<const std::uint8_t*>(LockResource(loaded));
}

template <typename T>
T readAt(const std::uint8_t* bytes, std::size_t offset) {
    T value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

// The header fields of a DIALOG or DIALOGEX template, and the caption after it.
struct DialogHeader {
    DWORD style;
    DWORD exStyle;
    int controls;
    int width;
    int height;
    std::string caption;
};

DialogHeader readDialogHeader(const std::uint8_t* bytes) {
    DialogHeader header{};
    std::size_t offset = 0;
    const bool extended = readAt<WORD>(bytes, 0) == 1 && readAt<WORD>(bytes, 2) == 0xFFFF;
    if (extended) {  // dlgVer, signature, helpID, exStyle, style
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
    header.height = readAt<short>(bytes, offset + 8);
    offset += 10;
    for (int skipped = 0; skipped < 2; ++skipped) {  // menu, window class
        if (readAt<WORD>(bytes, offset) == 0xFFFF) {
            offset += 4;
        } else {
            while (readAt<WORD>(bytes, offset) != 0) {
                offset += 2;
            }
            offset += 2;
        }
    }
    for (WORD c; (c = readAt<WORD>(bytes, offset)) != 0; offset += 2) {
        header.caption += static_cast<char>(c);
    }
    return header;
}

// Sizes and texts are the script's and are checked where they show (the window
// tests); what windres makes of the style words is checked here.
TEST(ResourceTest, DialogsHaveTheirCaptionAndStyle) {
    const struct {
        int id;
        const char* caption;
        DWORD style;
        DWORD exStyle;
    } cases[] = {
        {IDD_CHRONVANE32_DIALOG, "Chronvane32",
         DS_MODALFRAME | WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
         WS_EX_APPWINDOW},
        {IDD_ABOUTBOX, "About Chronvane32",
         DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        const std::uint8_t* bytes = resourceBytes(c.id, MAKEINTRESOURCEA(5) /* RT_DIALOG */);
        ASSERT_NE(bytes, nullptr);
        const DialogHeader header = readDialogHeader(bytes);
        EXPECT_EQ(header.caption, c.caption);
        const DWORD checked = WS_VISIBLE | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME |
                              WS_SYSMENU | WS_CAPTION | DS_MODALFRAME;
        EXPECT_EQ(header.style & checked, c.style & checked);
        EXPECT_EQ(header.exStyle & WS_EX_APPWINDOW, c.exStyle);
    }
}

TEST(ResourceTest, SystemMenuStringLoads) {
    char text[64] = {};
    ASSERT_GT(LoadStringA(GetModuleHandleA(nullptr), IDS_ABOUTBOX, text, sizeof text), 0);
    EXPECT_STREQ(text, "&About Chronvane32...");
}

TEST(ResourceTest, IconHasA16ColourImageAndLargerOnes) {
    const std::uint8_t* group = resourceBytes(IDR_MAINFRAME, MAKEINTRESOURCEA(14));
    ASSERT_NE(group, nullptr);  // RT_GROUP_ICON
    const int count = readAt<WORD>(group, 4);
    bool sixteenColours = false;
    int largest = 0;
    for (int i = 0; i < count; ++i) {
        const std::size_t entry = 6 + static_cast<std::size_t>(i) * 14;
        const int width = group[entry] == 0 ? 256 : group[entry];
        const int bits = readAt<WORD>(group, entry + 6);
        sixteenColours = sixteenColours || (width == 32 && bits == 4);
        largest = width > largest ? width : largest;
    }
    EXPECT_TRUE(sixteenColours);
    EXPECT_EQ(largest, 256);
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
}

}  // namespace
