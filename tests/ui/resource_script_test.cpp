#include <gtest/gtest.h>

#include <string>

#include "ui/resource_script.h"

namespace chronvane {
namespace {

constexpr const char* header =
    "#define IDD_BOX 7\n#define IDC_NAME 1001\n#define IDC_STATIC (-1)\n"
    "#define IDS_TEXT 0x0010\n";

TEST(ResourceScriptTest, ReadsControlsAsTheResourceCompilerDoes) {
    const Parsed<ResourceScript> result = parseResourceScript(header, R"(#include "x.h"
IDR_X ICON "x.ico"
IDD_BOX DIALOGEX 0, 0, 40, 30
STYLE WS_POPUP | WS_CAPTION
CAPTION "Say ""hi"""
FONT 8, "MS Sans Serif"
BEGIN
    LTEXT "One", IDC_STATIC, 1, 2, 3, 4  // first
    LTEXT "Two", IDC_NAME, 5, 6, 7, 8, NOT WS_GROUP  // second
    AUTORADIOBUTTON "A", 1002, 1, 1, 1, 1, WS_GROUP | NOT WS_TABSTOP  // radioA
    AUTORADIOBUTTON "B", 1003, 1, 1, 1, 1, NOT WS_TABSTOP  // radioB
    LTEXT "A long text",
          IDC_STATIC, 9, 10, 11, 12  // long
    ICON IDR_X, IDC_STATIC, 1, 2, 3, 4  // picture
    DEFPUSHBUTTON "OK", IDOK, 1, 2, 3, 4, WS_GROUP  // ok
END
STRINGTABLE
BEGIN
    IDS_TEXT "&Menu..."
END
)");
    ASSERT_TRUE(result.value) << result.error;
    const DialogTemplate& box = result.value->dialogs.at(7).layout;
    EXPECT_STREQ(box.caption, "Say \"hi\"");
    EXPECT_EQ(box.width, 40);
    EXPECT_EQ(box.height, 30);
    struct Expected {
        const char* name;
        ControlKind kind;
        const char* text;
        int id;
        int x;
        int height;
        bool groupStart;
    };
    const Expected expected[] = {
        {"first", ControlKind::Label, "One", 0, 1, 4, true},
        {"second", ControlKind::Label, "Two", 1001, 5, 8, false},
        {"radioA", ControlKind::RadioButton, "A", 1002, 1, 1, true},
        {"radioB", ControlKind::RadioButton, "B", 1003, 1, 1, false},
        {"long", ControlKind::Label, "A long text", 0, 9, 12, true},
        {"picture", ControlKind::Icon, "", 0, 1, 4, false},
        {"ok", ControlKind::DefaultButton, "OK", 1, 1, 4, true},
    };
    ASSERT_EQ(box.controls.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(expected[i].name);
        const ControlTemplate& control = box.controls[i];
        EXPECT_STREQ(control.objectName, expected[i].name);
        EXPECT_EQ(control.kind, expected[i].kind);
        EXPECT_STREQ(control.text, expected[i].text);
        EXPECT_EQ(control.id, expected[i].id);
        EXPECT_EQ(control.x, expected[i].x);
        EXPECT_EQ(control.height, expected[i].height);
        EXPECT_EQ(control.groupStart, expected[i].groupStart);
    }
    EXPECT_EQ(result.value->strings.at(16), "&Menu...");
}

TEST(ResourceScriptTest, SaysWhichLineItCannotRead) {
    const struct {
        const char* script;
        const char* error;
    } cases[] = {
        {"1 DIALOG 0, 0, 1, 1\nBEGIN\n  CHECKBOX \"x\", 1, 1, 1, 1, 1  // box\nEND\n",
         "line 3: unknown control statement CHECKBOX"},
        {"1 DIALOG 0, 0, 1, 1\nBEGIN\n  LTEXT \"x\", 1, 1, 1, 1, 1\nEND\n",
         "line 3: a control needs its name after //"},
        {"1 DIALOG 0, 0, 1, 1\nBEGIN\n  LTEXT \"x\", IDC_NONE, 1, 1, 1, 1  // x\nEND\n",
         "line 3: argument 2 is not a number"},
        {"1 DIALOG 0, 0, 1, 1\nBEGIN\n  LTEXT \"x, 1, 1, 1, 1, 1  // x\nEND\n",
         "line 3: a text has no closing quote"},
        {"1 DIALOG 0, 0, 1, 1\nBEGIN\n", "line 1: the dialog has no END"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        EXPECT_EQ(parseResourceScript(header, c.script).error, c.error);
    }
}

}  // namespace
}  // namespace chronvane
