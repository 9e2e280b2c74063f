#pragma once

#include <windows.h>

#include "dialog_rules/dialog_rules.h"
#include "core/system_error.h"

namespace chronvane {

// The About box from dialog template 100: name and version, OK, and the "Help >>"
// toggle that folds the help pane out by growing the box foldPixels downwards.
// Each showing is a new modal run; it opens shortened, centred over owner when that
// is visible and not minimized, else on the work area, and already open (with no
// visible resize) when helpExpanded is true. Enter, Escape and Close end it.
class AboutDialog {
  public:
    // How far the box grows and shrinks as the help pane folds out and away: fixed
    // pixels, not dialog units, whatever the dialog font. At the script's
    // 8-point MS Sans Serif on a 96 dots-per-inch screen this cuts the box in the
    // band of its separator (54 to 59 dialog units from the top), so the short box
    // keeps the icon, the three lines and both buttons; the Qt window instead folds
    // at the separator itself, read from the script. Being pixels, it fits this
    // script's pane alone: a taller pane needs it grown by as much.
    static constexpr int foldPixels = 230;

    explicit AboutDialog(HINSTANCE instance) : m_instance(instance) {}

    // Runs the box modally over owner; returns once it is closed. The reason when
    // the box could not be made (a missing template); no failure otherwise.
    SystemError run(HWND owner);

  private:
    template <typename Dialog>
    friend INT_PTR CALLBACK boundDialogProcedure(HWND, UINT, WPARAM, LPARAM);
    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    void initialize();
    void toggleHelp();
    void resizeBy(int pixels);

    HINSTANCE m_instance;
    HWND m_window = nullptr;
};

}  // namespace chronvane
