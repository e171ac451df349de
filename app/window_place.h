// Where the main window goes on the screen.
//
// It is centred in the work area of its screen (the screen less the taskbar). A window larger
// than the work area cannot be seen whole there; its fixed frame cannot be made smaller, and a
// window is moved by its caption bar, so it starts at the work area's top (and left) edge: the
// caption bar stays on the screen, and the rest can be brought into view by moving it.
#pragma once

#include <cstdint>

struct PlaceArea {
    int32_t left, top, right, bottom; // the work area, in pixels
};

// The top-left corner for a window of `width` x `height` pixels in `area`.
void window_place(const PlaceArea* area, int32_t width, int32_t height, int32_t* left,
                  int32_t* top);
