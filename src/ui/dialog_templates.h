#pragma once

#include "dialog_template.h"
#include "resource.h"

namespace chronvane {

// Control numbers of the main window.
inline constexpr int eseRadioId = IDC_ESE_RADIO;
inline constexpr int ostrelRadioId = IDC_OSTREL_RADIO;
inline constexpr int com1RadioId = IDC_COM1_RADIO;
inline constexpr int com2RadioId = IDC_COM2_RADIO;
inline constexpr int com3RadioId = IDC_COM3_RADIO;
inline constexpr int com4RadioId = IDC_COM4_RADIO;
inline constexpr int logLine1Id = IDC_LOG_LINE1;  // top line; the next three follow on
// Control numbers of the About box.
inline constexpr int okButtonId = 1;
inline constexpr int helpButtonId = IDC_HELP_BUTTON;

// Where the About box's help pane begins, in dialog units from the top: the
// separator and everything below it fold away together.
inline constexpr int helpPaneTop = 54;

// String 101 of the resource script; a test keeps the two equal.
inline constexpr const char* aboutMenuText = "&About Chronvane32...";

// The main window: caption, 230 by 114 units, port and protocol radios, four log lines.
const DialogTemplate& clockDialogTemplate();
// The About box: caption, 235 by 199 units, name and version, help pane below helpPaneTop.
const DialogTemplate& aboutDialogTemplate();

struct ResourceScript;
// resources/chronvane32.rc as built into the program, read on first use. A script
// that does not parse is a build defect: the program stops with the reason.
const ResourceScript& programResourceScript();

}  // namespace chronvane
