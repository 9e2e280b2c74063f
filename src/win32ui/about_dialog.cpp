#include "about_dialog.h"

#include "dialog_rules/dialog_rules.h"
#include "dialog_binding.h"
#include "resource.h"
#include "window_placement.h"

namespace chronvane {

SystemError AboutDialog::run(HWND owner) {
    const INT_PTR result =
        DialogBoxParamA(m_instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), owner,
                        boundDialogProcedure<AboutDialog>, reinterpret_cast<LPARAM>(this));
    return result == -1 ? lastSystemError() : SystemError{};
}

INT_PTR AboutDialog::handle(UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            initialize();
            return TRUE;  // the dialog manager sets the focus
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(m_window, LOWORD(wParam));
                    return TRUE;
                case dialog::helpButtonId:
                    if (HIWORD(wParam) == BN_CLICKED) {
                        toggleHelp();
                    }
                    return TRUE;
                default:
                    return FALSE;
            }
        case WM_HELP:
            if (!helpExpanded) {
                toggleHelp();
            }
            return TRUE;
        default:
            return FALSE;
    }
}

void AboutDialog::initialize() {
    SetDlgItemTextA(m_window, dialog::helpButtonId, dialog::helpButtonText(false));
    resizeBy(-foldPixels);
    if (helpExpanded) {
        // Posted, not done here: the box's loop handles the click before the box is
        // first shown, so it appears open without being seen to grow.
        helpExpanded = false;
        PostMessageA(m_window, WM_COMMAND, MAKEWPARAM(dialog::helpButtonId, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(m_window, dialog::helpButtonId)));
    }
    // Centred at its shortened height; opening the pane later grows it downwards.
    const HWND owner = GetWindow(m_window, GW_OWNER);
    RECT centre = workAreaOf(m_window);
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &centre);
    }
    centreWindow(m_window, centre);
}

void AboutDialog::toggleHelp() {
    helpExpanded = !helpExpanded;
    SetDlgItemTextA(m_window, dialog::helpButtonId, dialog::helpButtonText(helpExpanded));
    resizeBy(helpExpanded ? foldPixels : -foldPixels);
}

// Keeps the top-left corner: the pane unrolls below what is already there.
void AboutDialog::resizeBy(int pixels) {
    RECT frame{};
    if (!GetWindowRect(m_window, &frame)) {
        return;
    }
    MoveWindow(m_window, frame.left, frame.top, frame.right - frame.left,
               frame.bottom - frame.top + pixels, TRUE);
}

}  // namespace chronvane
