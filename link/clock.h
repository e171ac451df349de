// The monotonic clock that transactions, their deadlines and the tool's watch run on. Each
// platform implements it in its own file (clock_posix.cpp, clock_win32.cpp).
#pragma once

#include <cstdint>

int64_t clock_now_ms(); // milliseconds from an unspecified start; never goes back
