// The main window on the screen it is shown on (window_place.h).
#include "app/main_dialog.h"
#include "app/window_place.h"

void main_dialog_place(HWND dialog) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    RECT frame{};
    if (!GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor) ||
        !GetWindowRect(dialog, &frame)) {
        return;
    }
    const PlaceArea area{monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right,
                         monitor.rcWork.bottom};
    int32_t left = 0;
    int32_t top = 0;
    window_place(&area, frame.right - frame.left, frame.bottom - frame.top, &left, &top);
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
