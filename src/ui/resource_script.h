#pragma once

#include <deque>
#include <map>
#include <string>
#include <string_view>

#include "core/parsed.h"
#include "dialog_layout.h"

namespace chronvane {

// A dialog read from a resource script. layout points into texts, which no move of
// the dialog relocates, so a ScriptDialog may be moved but not copied.
struct ScriptDialog {
    ScriptDialog() = default;
    ScriptDialog(ScriptDialog&&) = default;
    ScriptDialog& operator=(ScriptDialog&&) = default;
    ScriptDialog(const ScriptDialog&) = delete;
    ScriptDialog& operator=(const ScriptDialog&) = delete;

    std::deque<std::string> texts;
    DialogTemplate layout{};
};

struct ResourceScript {
    std::map<int, ScriptDialog> dialogs;
    std::map<int, std::string> strings;
};

// Reads the part of the Windows resource language the program's script uses:
// `id DIALOG|DIALOGEX x, y, w, h` with CAPTION and a BEGIN..END (or { }) block of
// LTEXT, GROUPBOX, AUTORADIOBUTTON, PUSHBUTTON, DEFPUSHBUTTON and ICON controls (the
// icon also as CONTROL id, id, "Static", SS_ICON, x, y, w, h), and
// STRINGTABLE blocks. Other top-level statements (ICON, LANGUAGE, #include) are
// skipped. Numbers may be symbols #defined in header, IDOK and IDCANCEL. A control
// starts a group where the resource compiler makes it do so: LTEXT by default, any
// control with WS_GROUP, none with NOT WS_GROUP. The word after "//" ending a
// control statement is its objectName. A statement continues on the next line while
// it ends in ',' or '|'. Fails on anything else inside a dialog, on a number it
// cannot resolve, or on a control without a name, with "line N: what was wrong".
Parsed<ResourceScript> parseResourceScript(std::string_view header, std::string_view script);

}  // namespace chronvane
