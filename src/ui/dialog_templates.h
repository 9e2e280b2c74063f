#pragma once

#include "dialog_template.h"

namespace chronvane {

// Control numbers of the main window.
inline constexpr int eseRadioId = 1000;
inline constexpr int ostrelRadioId = 1001;
inline constexpr int com1RadioId = 1002;
inline constexpr int com2RadioId = 1003;
inline constexpr int com3RadioId = 1007;
inline constexpr int com4RadioId = 1008;
inline constexpr int logLine1Id = 1009;  // top line; the next three follow on
// Control numbers of the About box.
inline constexpr int okButtonId = 1;
inline constexpr int helpButtonId = 1013;

// Where the About box's help pane begins, in dialog units from the top: the
// separator and everything below it fold away together.
inline constexpr int helpPaneTop = 54;

inline constexpr const char* aboutMenuText = "&About Chronvane32...";

// The main window: caption, 230 by 114 units, port and protocol radios, four log lines.
const DialogTemplate& clockDialogTemplate();
// The About box: caption, 235 by 199 units, name and version, help pane below helpPaneTop.
const DialogTemplate& aboutDialogTemplate();

}  // namespace chronvane
