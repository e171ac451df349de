// The texts and check states through which table values appear in the form.
//
// Whole numbers (distances, timers, times) show as "%.0f", brightness levels as "%.1f", and
// LightThreshold as "%.1f" after a file load but "%.0f" after a controller read. A check box is
// on exactly when its value is 1.0. A typed text becomes the correctly rounded double of its
// longest numeric prefix, then single precision; a comma followed by a digit is read as the
// decimal point ("12,5" is 12.5), as a Russian technician types it. Values are still shown with
// the point.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/text_line.h" // TEXT_LINE_UNITS, the buffer of one value's text

// Where the values being shown came from.
enum ShowVariant : int {
    SHOW_FILE,       // a settings file
    SHOW_CONTROLLER, // the controller
};

// Formats the value of table position `position` as the form shows it (the value is widened to
// double first). Writes at most cap - 1 units and a terminator; returns the units written.
// Check-box positions have no text: an empty text, 0.
size_t form_value_text(char16_t* out, size_t cap, int position, float value, ShowVariant variant);

// True when a check box shows `value` as on: exactly 1.0 (not a NaN, not 2.0, not 0.5).
bool form_flag_checked(float value);

// The table value of a typed text; a text with no leading number gives 0. Values beyond the
// single-precision range become infinities.
float form_text_value(const char16_t* text);

// What a typed text holds, for the checks before a write or a save: one number (blanks before
// and after it aside), nothing but blanks, or anything else ("abc", "100 %", "12,", "1 000").
enum TextKind : uint8_t {
    TEXT_NUMBER = 0,
    TEXT_EMPTY = 1,
    TEXT_NOT_A_NUMBER = 2,
};
TextKind form_text_kind(const char16_t* text);
