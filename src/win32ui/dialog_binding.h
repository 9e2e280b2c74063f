#pragma once

#include <windows.h>

namespace chronvane {

// The dialog manager's procedure for a dialog object of type Dialog. The object
// arrives as WM_INITDIALOG's lParam (DialogBoxParam's last argument), is kept in
// the window's DWLP_USER slot and learns its window; from then on every message
// goes to its handle(). The few messages before WM_INITDIALOG (WM_SETFONT and the
// like) find no object and are left to the dialog manager (FALSE). Dialog befriends
// this function for its m_window and handle().
template <typename Dialog>
INT_PTR CALLBACK boundDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        reinterpret_cast<Dialog*>(lParam)->m_window = window;
    }
    auto* self = reinterpret_cast<Dialog*>(GetWindowLongPtrA(window, DWLP_USER));
    return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

}  // namespace chronvane
