// What windres made of the resource script, read back through the Win32 calls the
// program will use: the dialogs' styles, the menu string, the icon's images.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "dialog_template_bytes.h"
#include "resource.h"

namespace {

using chronvane::test::DialogHeader;
using chronvane::test::readAt;
using chronvane::test::readDialogHeader;
using chronvane::test::skipNameOrOrdinal;

const std::uint8_t* resourceBytes(int id, LPCSTR type) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), type);
    if (found == nullptr) {
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(nullptr, found);
    return loaded == nullptr ? nullptr : static_cast<const std::uint8_t*>(LockResource(loaded));
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

// One control as the resource script lays it out, or as the compiled template has it.
struct ControlLayout {
    std::string statement;  // the script's keyword, for the failure message
    int x, y, width, height;
    DWORD style;
};

// The style the resource language gives a control statement before its own flags:
// the compiler is to add those flags to it (NOT takes one away), never replace it.
DWORD defaultStyle(const std::string& statement) {
    static const std::map<std::string, DWORD> styles = {
        {"LTEXT", SS_LEFT | WS_GROUP},
        {"GROUPBOX", BS_GROUPBOX},
        {"AUTORADIOBUTTON", BS_AUTORADIOBUTTON | WS_TABSTOP},
        {"PUSHBUTTON", BS_PUSHBUTTON | WS_TABSTOP},
        {"DEFPUSHBUTTON", BS_DEFPUSHBUTTON | WS_TABSTOP},
        {"ICON", SS_ICON},
        {"CONTROL", 0},
    };
    const auto found = styles.find(statement);
    return (found == styles.end() ? 0xFFFFFFFF : found->second) | WS_CHILD | WS_VISIBLE;
}

DWORD flagValue(const std::string& name) {
    static const std::map<std::string, DWORD> flags = {
        {"WS_GROUP", WS_GROUP},         {"WS_TABSTOP", WS_TABSTOP},
        {"SS_NOPREFIX", SS_NOPREFIX},   {"SS_ICON", SS_ICON},
        {"SS_LEFT", SS_LEFT},           {"SS_REALSIZEIMAGE", SS_REALSIZEIMAGE},
        {"SS_CENTERIMAGE", SS_CENTERIMAGE},
    };
    const auto found = flags.find(name);
    return found == flags.end() ? 0xFFFFFFFF : found->second;
}

// The arguments of one statement, split at commas outside quotes, trimmed.
std::vector<std::string> splitArguments(const std::string& text) {
    std::vector<std::string> parts(1);
    bool quoted = false;
    for (const char c : text) {
        if (c == '"') {
            quoted = !quoted;
        }
        if (c == ',' && !quoted) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    for (std::string& part : parts) {
        const auto first = part.find_first_not_of(" \t");
        const auto last = part.find_last_not_of(" \t\r");
        part = first == std::string::npos ? "" : part.substr(first, last - first + 1);
    }
    return parts;
}

DWORD styleOf(const std::string& statement, const std::string& flags) {
    DWORD style = defaultStyle(statement);
    std::istringstream words(flags);
    bool negate = false;
    for (std::string word; words >> word;) {
        if (word == "|") {
            continue;
        }
        if (word == "NOT") {
            negate = true;
            continue;
        }
        style = negate ? style & ~flagValue(word) : style | flagValue(word);
        negate = false;
    }
    return style;
}

// The controls of dialog name in the resource script, in order. Statements go on
// over lines ending in ',' or '|'; what follows "//" is a comment.
std::vector<ControlLayout> scriptControls(const std::string& scriptPath, const std::string& name) {
    std::ifstream file(scriptPath);
    std::vector<ControlLayout> controls;
    std::string line;
    bool inDialog = false;
    bool inside = false;
    std::string statement;
    while (std::getline(file, line)) {
        if (const auto comment = line.find("//"); comment != std::string::npos) {
            line.erase(comment);
        }
        const auto last = line.find_last_not_of(" \t\r");
        line = last == std::string::npos ? "" : line.substr(0, last + 1);
        if (!inDialog) {
            inDialog = line.starts_with(name + " DIALOG");
            continue;
        }
        if (!inside) {
            inside = line == "BEGIN";
            continue;
        }
        if (line == "END") {
            break;
        }
        statement += line;
        if (statement.empty() || statement.back() == ',' || statement.back() == '|') {
            continue;
        }
        std::istringstream words(statement);
        std::string keyword;
        words >> keyword;
        std::string rest;
        std::getline(words, rest);
        std::vector<std::string> args = splitArguments(rest);
        if (keyword == "CONTROL" && args.size() >= 8) {  // text, id, class, style, x, y, w, h
            controls.push_back({keyword, std::stoi(args[4]), std::stoi(args[5]),
                                std::stoi(args[6]), std::stoi(args[7]),
                                styleOf(keyword, args[3])});
        } else if (args.size() >= 6) {  // text, id, x, y, w, h [, style]
            controls.push_back({keyword, std::stoi(args[2]), std::stoi(args[3]),
                                std::stoi(args[4]), std::stoi(args[5]),
                                styleOf(keyword, args.size() > 6 ? args[6] : "")});
        } else {
            ADD_FAILURE() << "cannot read: " << statement;
        }
        statement.clear();
    }
    return controls;
}

// The controls of a compiled dialog template, in order.
std::vector<ControlLayout> compiledControls(const std::uint8_t* bytes) {
    const DialogHeader header = readDialogHeader(bytes);
    const bool extended = header.extended;
    std::size_t offset = header.firstControl;
    std::vector<ControlLayout> controls;
    for (int i = 0; i < header.controls; ++i) {
        offset = (offset + 3) & ~std::size_t{3};
        ControlLayout control{};
        const std::size_t geometry = offset + (extended ? 12 : 8);
        control.style = readAt<DWORD>(bytes, offset + (extended ? 8 : 0));
        control.x = readAt<short>(bytes, geometry);
        control.y = readAt<short>(bytes, geometry + 2);
        control.width = readAt<short>(bytes, geometry + 4);
        control.height = readAt<short>(bytes, geometry + 6);
        offset = geometry + 8 + (extended ? 4 : 2);  // the id
        offset = skipNameOrOrdinal(bytes, offset);   // class
        offset = skipNameOrOrdinal(bytes, offset);   // text
        offset += 2 + readAt<WORD>(bytes, offset);   // creation data
        controls.push_back(control);
    }
    return controls;
}

// What the resource compiler made must be what the script says: windres has been
// seen to drop an icon's size and to take a style given to a text as the whole
// style instead of adding it. Every control's rectangle and style is compared.
TEST(ResourceTest, CompiledControlsAreTheScriptsLayout) {
    const struct {
        int id;
        const char* name;
    } dialogs[] = {{IDD_ABOUTBOX, "IDD_ABOUTBOX"},
                   {IDD_CHRONVANE32_DIALOG, "IDD_CHRONVANE32_DIALOG"}};
    std::string path = "Z:" CHRONVANE_RESOURCE_SCRIPT;
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    for (const auto& dialog : dialogs) {
        SCOPED_TRACE(dialog.name);
        const std::vector<ControlLayout> wanted = scriptControls(path, dialog.name);
        ASSERT_FALSE(wanted.empty()) << "no controls read from " << path;
        const std::uint8_t* bytes = resourceBytes(dialog.id, MAKEINTRESOURCEA(5));
        ASSERT_NE(bytes, nullptr);
        const std::vector<ControlLayout> made = compiledControls(bytes);
        ASSERT_EQ(made.size(), wanted.size());
        for (std::size_t i = 0; i < made.size(); ++i) {
            SCOPED_TRACE("control " + std::to_string(i) + ", " + wanted[i].statement);
            EXPECT_EQ(made[i].x, wanted[i].x);
            EXPECT_EQ(made[i].y, wanted[i].y);
            EXPECT_EQ(made[i].width, wanted[i].width);
            EXPECT_EQ(made[i].height, wanted[i].height);
            EXPECT_EQ(made[i].style, wanted[i].style)
                << std::hex << "compiled 0x" << made[i].style << ", script 0x" << wanted[i].style;
        }
    }
}

}  // namespace
