#pragma once

#include <windows.h>

#include "core/system_error.h"

namespace chronvane {

// Whether the About box's help pane is (or is to be) open. One value for the whole
// run, shared by every About box, false at start; it outlives each box, so the next
// box opens the way the last one was left. The main window's F1 sets it first.
extern bool helpExpanded;

// The About box from dialog template 100: name and version, OK, and the "Help >>"
// toggle that folds the help pane out by growing the box 230 pixels downwards.
// Each showing is a new modal run; it opens shortened, centred over owner when that
// is visible and not minimized, else on the work area, and already open (with no
// visible resize) when helpExpanded is true. Enter, Escape and Close end it.
class AboutDialog {
  public:
    // The pixels the pane takes: fixed, whatever the dialog font's size.
    static constexpr int paneHeight = 230;

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
