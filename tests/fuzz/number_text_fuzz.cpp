// Number texts: what a user types into the form (and the version text of a controller), the
// table value it becomes, and the texts the form shows for any value.
//
// Input, read twice. As text, it goes through the narrow parser (with its length), the wide
// parser (the same bytes as UTF-16 units, terminated) and the C library's strtod, which must
// agree to the bit where their grammars do; the form's reading of it must be the nearest float.
// As fields, it gives a double's bits, a number of decimals, a width, a buffer size, a table
// position and where the value came from for the formatters (and the form's text of a table
// value), whose texts must equal "%W.Nf" built from the exact decimal expansion with halves
// rounded away from zero.
#include <algorithm>
#include <cstring>
#include <string>

#include "settings/form_text.h"
#include "base/number_text.h"
#include "settings/settings_layout.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

uint64_t bits_of_double(double value) {
    uint64_t bits;
    memcpy(&bits, &value, sizeof bits);
    return bits;
}

void check_parsers(const uint8_t* data, size_t size) {
    ExactBytes narrow = exact_copy(data, size);
    double from_narrow = num_parse_narrow(reinterpret_cast<const char*>(narrow.get()), size);

    std::unique_ptr<char16_t[]> wide(new char16_t[size + 1]);
    for (size_t i = 0; i < size; ++i) {
        wide[i] = data[i];
    }
    wide[size] = 0;
    double from_wide = num_parse_wide(wide.get());
    FUZZ_CHECK(bits_of_double(from_narrow) == bits_of_double(from_wide));
    // A typed value goes into the table as the nearest float (infinite beyond its range).
    float typed = form_text_value(wide.get());
    FUZZ_CHECK(bits_of_float(typed) == bits_of_float(static_cast<float>(from_wide)));

    bool comparable = false;
    double expected = reference_number(reinterpret_cast<const char*>(data), size, &comparable);
    if (comparable) {
        FUZZ_CHECK(bits_of_double(from_narrow) == bits_of_double(expected));
    } else {
        FUZZ_CHECK(from_narrow == 0.0);
    }
}

// The formatter's text must be terminated, within cap, and the expected text cut to fit.
void check_output(const char16_t* out, size_t cap, size_t length, const std::string& expected) {
    if (cap == 0) {
        FUZZ_CHECK(length == 0);
        return;
    }
    size_t fits = std::min(expected.size(), cap - 1);
    FUZZ_CHECK(length == fits);
    FUZZ_CHECK(out[length] == 0);
    FUZZ_CHECK(std::u16string(out, length) == widen(expected.substr(0, fits)));
}

void check_formatters(const uint8_t* data, size_t size) {
    FuzzReader in{data, size};
    uint64_t bits = fuzz_u32(&in) | static_cast<uint64_t>(fuzz_u32(&in)) << 32;
    double value;
    memcpy(&value, &bits, sizeof value);
    int decimals = static_cast<int8_t>(fuzz_u8(&in)) % 44;
    int width = static_cast<int8_t>(fuzz_u8(&in));
    size_t cap = fuzz_u8(&in) % 80;
    std::unique_ptr<char16_t[]> out(new char16_t[cap]);

    int kept = std::min(std::max(decimals, 0), 40); // the formatter's limits
    size_t length = num_format_fixed_width(out.get(), cap, value, width, decimals);
    check_output(out.get(), cap, length, reference_fixed(value, width, kept));
    length = num_format_fixed(out.get(), cap, value, decimals);
    check_output(out.get(), cap, length, reference_fixed(value, 0, kept));

    // What the form shows a table value as: the float widened, "%.0f" and "%.1f".
    float single = static_cast<float>(value);
    for (int places : {0, 1}) {
        length = num_format_fixed(out.get(), cap, single, places);
        check_output(out.get(), cap, length, reference_fixed(single, 0, places));
    }

    // The form's text of a table value at any position: whole numbers "%.0f", levels "%.1f",
    // the light threshold "%.1f" from a file and "%.0f" from the controller, check boxes none.
    int position = fuzz_u8(&in) % SETTINGS_COUNT;
    ShowVariant variant = fuzz_u8(&in) & 1 ? SHOW_CONTROLLER : SHOW_FILE;
    int column = position < GLOBAL_COUNT ? -1 : (position - GLOBAL_COUNT) / CHANNEL_COUNT;
    int places = column == COL_ON_START_LEVEL || column == COL_ON_END_LEVEL ||
                         column == COL_OFF_START_LEVEL || column == COL_OFF_END_LEVEL ||
                         column == COL_STANDBY_LEVEL
                     ? 1
                     : 0;
    if (position == POS_LIGHT_THRESHOLD) {
        places = variant == SHOW_FILE ? 1 : 0;
    }
    bool flag = position == POS_USE_LIGHT_SENSOR || column == COL_STANDBY_ENABLED;
    length = form_value_text(out.get(), cap, position, single, variant);
    check_output(out.get(), cap, length, flag ? "" : reference_fixed(single, 0, places));
    FUZZ_CHECK(form_flag_checked(single) == (bits_of_float(single) == 0x3F800000u));

    int32_t whole = static_cast<int32_t>(bits);
    char text[16];
    snprintf(text, sizeof text, "%d", whole);
    length = num_format_int(out.get(), cap, whole);
    check_output(out.get(), cap, length, text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_parsers(data, size);
    check_formatters(data, size);
    return 0;
}
