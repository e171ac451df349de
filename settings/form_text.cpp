#include "settings/form_text.h"

#include <cfloat>
#include <cmath>
#include <string>

#include "base/number_text.h"
#include "settings/setting_rows.h"

size_t form_value_text(char16_t* out, size_t cap, int position, float value, ShowVariant variant) {
    double wide = value;
    switch (settings_value_kind(position)) {
    case VALUE_WHOLE:
        return num_format_fixed(out, cap, wide, 0);
    case VALUE_TENTHS:
        return num_format_fixed(out, cap, wide, 1);
    case VALUE_THRESHOLD:
        return num_format_fixed(out, cap, wide, variant == SHOW_FILE ? 1 : 0);
    case VALUE_FLAG:
        break;
    }
    if (cap != 0) {
        out[0] = 0;
    }
    return 0;
}

bool form_flag_checked(float value) {
    return value == 1.0f;
}

// Rounds a double to single precision. Converting a double beyond the float range is undefined
// in C++, so those are settled here the way the rounding would: up to half a unit above
// FLT_MAX still rounds down to it, from there on (ties go to the even infinity) it is infinite.
static float to_single(double value) {
    double magnitude = std::fabs(value);
    if (magnitude > FLT_MAX) {
        const double overflow = std::ldexp(2.0 - std::ldexp(1.0, -24), 127); // 2^128 - 2^103
        float limited = magnitude >= overflow ? INFINITY : FLT_MAX;
        return value < 0 ? -limited : limited;
    }
    return static_cast<float>(value);
}

float form_text_value(const char16_t* text) {
    return to_single(num_parse_wide(text, NUM_COMMA_SEPARATES));
}

TextKind form_text_kind(const char16_t* text) {
    double value = 0.0;
    if (num_parse_whole_wide(text, NUM_COMMA_SEPARATES, &value)) {
        return TEXT_NUMBER;
    }
    for (const char16_t* at = text; at != nullptr && *at != 0; ++at) {
        if (std::char_traits<char16_t>::find(u" \t\n\r\v\f", 6, *at) == nullptr) {
            return TEXT_NOT_A_NUMBER; // the blanks the number reader skips
        }
    }
    return TEXT_EMPTY;
}
