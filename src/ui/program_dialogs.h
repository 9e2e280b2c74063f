#pragma once

#include <string>

#include "dialog_layout.h"

namespace chronvane {

// The program's own dialogs, as resources/chronvane32.rc lays them out: read once
// from the copy built into the program (program_resource_script.cpp). Which control
// is which is app/dialog_rules.h's; where each sits is the script's alone.

// The main window (dialog 102): caption, port and protocol radios, the log lines.
const DialogTemplate& clockDialogTemplate();
// The About box (dialog 100): name and version, OK and Help, the help pane.
const DialogTemplate& aboutDialogTemplate();
// Where the About box's help pane begins, in dialog units from the top: the top of
// its separator (helpSeparator), which folds away with everything below it.
int helpPaneTop();
// The system menu's About entry (string 101).
const std::string& aboutMenuText();

struct ResourceScript;
// resources/chronvane32.rc as built into the program, read on first use. A script
// that does not parse, or lacks a dialog or control the windows use, is a build
// defect: the program stops with the reason.
const ResourceScript& programResourceScript();

}  // namespace chronvane
