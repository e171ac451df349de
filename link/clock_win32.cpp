// The performance counter, which never goes back, in milliseconds: whole seconds and the rest
// are scaled apart so that the product cannot overflow.
#include <windows.h>

#include "link/clock.h"

int64_t clock_now_ms() {
    static LARGE_INTEGER frequency{};
    if (frequency.QuadPart == 0) {
        QueryPerformanceFrequency(&frequency);
    }
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    return static_cast<int64_t>(now.QuadPart / frequency.QuadPart * 1000 +
                                now.QuadPart % frequency.QuadPart * 1000 / frequency.QuadPart);
}
