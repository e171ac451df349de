// The bound of one short text the program formats: a line for the status log, a reading, a
// value shown in the form, a port's device name.
#pragma once

#include <cstddef>

constexpr size_t TEXT_LINE_UNITS = 100; // UTF-16 code units of one such text, terminator included
