#include "app/window_place.h"

// Centred along one axis, or at the start when there is no room for that.
static int32_t place_along(int32_t start, int32_t end, int32_t size) {
    const int64_t room = static_cast<int64_t>(end) - start - size;
    return room <= 0 ? start : static_cast<int32_t>(start + room / 2);
}

void window_place(const PlaceArea* area, int32_t width, int32_t height, int32_t* left,
                  int32_t* top) {
    *left = place_along(area->left, area->right, width);
    *top = place_along(area->top, area->bottom, height);
}
