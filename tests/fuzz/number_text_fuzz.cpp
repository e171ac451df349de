// Number texts: what a user types into the form (and the version text of a controller), the
// table value it becomes, and the texts the form shows for any value.
//
// Input, read twice. As text, it goes through the narrow parser (with its length), the wide
// parser (the same bytes as UTF-16 units, terminated) and the C library's strtod, which must
// agree to the bit where their grammars do, and strtod's end tells whether the text is one
// number and blanks; with the comma option the parsers must read it as the point-only parser
// reads the text with that comma made a point; the form's reading of it must be the nearest
// float of the reading with the comma.
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

// The comma rule, written apart from the parser: after the leading blanks, a sign and the
// digits, a comma with a digit after it is the decimal point.
std::string comma_as_point(const char* text, size_t len) {
    std::string copy(text, strnlen(text, len));
    size_t at = copy.find_first_not_of(" \t\n\v\f\r");
    if (at == std::string::npos) {
        return copy;
    }
    at += copy[at] == '+' || copy[at] == '-';
    while (at < copy.size() && copy[at] >= '0' && copy[at] <= '9') {
        ++at;
    }
    if (at + 1 < copy.size() && copy[at] == ',' && copy[at + 1] >= '0' && copy[at + 1] <= '9') {
        copy[at] = '.';
    }
    return copy;
}

// Whether strtod reads the whole text as one number, blanks after it aside.
bool reference_whole(const std::string& text) {
    std::string copy = text;
    std::replace(copy.begin(), copy.end(), 'd', 'e');
    std::replace(copy.begin(), copy.end(), 'D', 'E');
    char* end = nullptr;
    strtod(copy.c_str(), &end);
    if (end == copy.c_str()) {
        return false;
    }
    return strspn(end, " \t\n\v\f\r") == strlen(end);
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

    const char* text = reinterpret_cast<const char*>(narrow.get());
    const std::string pointed = comma_as_point(text, size);
    double with_comma = num_parse_narrow(text, size, NUM_COMMA_SEPARATES);
    FUZZ_CHECK(bits_of_double(with_comma) ==
               bits_of_double(num_parse_narrow(pointed.c_str(), pointed.size())));
    FUZZ_CHECK(bits_of_double(with_comma) ==
               bits_of_double(num_parse_wide(wide.get(), NUM_COMMA_SEPARATES)));
    // A typed value goes into the table as the nearest float (infinite beyond its range).
    float typed = form_text_value(wide.get());
    FUZZ_CHECK(bits_of_float(typed) == bits_of_float(static_cast<float>(with_comma)));

    double whole_value = 0.0;
    const bool whole = num_parse_whole_narrow(text, size, NUM_POINT_ONLY, &whole_value);
    FUZZ_CHECK(!whole || bits_of_double(whole_value) == bits_of_double(from_narrow));
    double wide_whole = 0.0;
    FUZZ_CHECK(
        num_parse_whole_wide(wide.get(), NUM_COMMA_SEPARATES, &wide_whole) ==
        num_parse_whole_narrow(pointed.c_str(), pointed.size(), NUM_POINT_ONLY, &whole_value));

    bool comparable = false;
    double expected = reference_number(text, size, &comparable);
    if (comparable) {
        FUZZ_CHECK(bits_of_double(from_narrow) == bits_of_double(expected));
        FUZZ_CHECK(whole == reference_whole(std::string(text, strnlen(text, size))));
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
