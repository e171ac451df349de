// The main window's keyboard: Tab and Shift+Tab move the focus through the form, and Enter and
// Esc do nothing.
//
// The message loop does not hand messages to IsDialogMessageW: that would turn Esc into the
// cancel command, which closes the window, and Enter into a click of the default button (all
// five buttons carry that style in the template, a write to the controller among them); and a
// multi-line edit that the dialog manager has once asked for its keys closes the window on Esc by
// itself. So the loop gives the dialog manager only the order of the tab stops
// (GetNextDlgTabItem: the template's order, visible and enabled controls only), moves the focus
// itself, and drops Enter and Esc before any window sees them. Moving the focus here rather than
// through WM_NEXTDLGCTL also keeps the buttons as they are drawn: the dialog manager would draw
// the button with the focus as the default one, the one Enter presses, while Enter presses
// nothing here.
#include "app/main_dialog.h"

namespace {

bool in_dialog(HWND dialog, HWND window) {
    return window == dialog || IsChild(dialog, window);
}

void move_focus(HWND dialog, bool backwards) {
    HWND focus = GetFocus();
    HWND next = GetNextDlgTabItem(
        dialog, focus != dialog && in_dialog(dialog, focus) ? focus : nullptr, backwards);
    if (next == nullptr) {
        return;
    }
    // The focus rectangle of a button shows from the first key on, as after any dialog's Tab.
    SendMessageW(dialog, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    if ((SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0) {
        SendMessageW(next, EM_SETSEL, 0, -1); // an edit comes with its text selected
    }
    SetFocus(next);
}

} // namespace

bool dialog_key_taken(HWND dialog, const MSG* msg) {
    if ((msg->message != WM_KEYDOWN && msg->message != WM_KEYUP) || dialog == nullptr ||
        !in_dialog(dialog, msg->hwnd)) {
        return false;
    }
    switch (msg->wParam) {
    case VK_TAB:
        if ((GetKeyState(VK_CONTROL) & 0x8000) != 0) {
            return false; // Ctrl+Tab as before
        }
        if (msg->message == WM_KEYDOWN) {
            move_focus(dialog, (GetKeyState(VK_SHIFT) & 0x8000) != 0);
        }
        return true;
    case VK_RETURN:
    case VK_ESCAPE:
        return true;
    default:
        return false;
    }
}
