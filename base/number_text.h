// Number texts of the form, independent of any C runtime.
//
// Formatting follows the wide printf formats "%d", "%.0f", "%.1f" and "%3.1f" with one rule of
// our own making it identical everywhere: exact halves round away from zero ("%.0f" shows 2.5 as
// 3, "%.1f" shows 0.25 as 0.3). At most 17 significant digits are produced; further integer
// digits of a huge value print as 0. Values that are not finite print as "NaN", "Inf" and "-Inf",
// texts with no leading number, so that reading them back gives 0.
//
// Parsing reads typed text the way the C runtime does: leading blanks skipped, the longest
// prefix that reads as a decimal number taken (optional sign, digits, optional point and digits,
// optional exponent introduced by e, E, d or D), 0 when there is none, the point as separator.
// With NUM_COMMA_SEPARATES a comma followed by a digit separates the fraction as well, as a
// Russian technician writes it ("12,5" is 12.5, "0,1" is 0.1); a comma without a digit after it
// is no part of the number. The result is the correctly rounded double.
#pragma once

#include <cstddef>
#include <cstdint>

// Each formatter writes at most cap - 1 code units and a terminator (nothing when cap is 0) and
// returns the number of code units written without the terminator.
size_t num_format_int(char16_t* out, size_t cap, int32_t value);                // "%d"
size_t num_format_fixed(char16_t* out, size_t cap, double value, int decimals); // "%.Nf"
size_t num_format_fixed_width(char16_t* out, size_t cap, double value, int width,
                              int decimals); // "%W.Nf", padded on the left with blanks

// How a text is read.
enum NumParseOptions : uint32_t {
    NUM_POINT_ONLY = 0,            // the point alone separates the fraction
    NUM_COMMA_SEPARATES = 1u << 0, // a comma followed by a digit does too
};

// Parse a NUL-terminated UTF-16 text (wide form) or a narrow text of at most `len` bytes that
// may end earlier at a NUL byte (narrow form): the value of its longest numeric prefix.
double num_parse_wide(const char16_t* text, uint32_t options = NUM_POINT_ONLY);
double num_parse_narrow(const char* text, size_t len, uint32_t options = NUM_POINT_ONLY);

// True when the text is one number and nothing else but blanks before and after it ("12,5 " with
// NUM_COMMA_SEPARATES; not "", "abc", "100 %", "1 000" or "12,"); *value then holds the number.
// *value is left alone otherwise.
bool num_parse_whole_wide(const char16_t* text, uint32_t options, double* value);
bool num_parse_whole_narrow(const char* text, size_t len, uint32_t options, double* value);

// The longest numeric prefix of a narrow text, as num_parse_narrow reads it, into *value; returns
// the bytes it takes, leading blanks included, or 0 (*value left alone) when the text starts with
// no number. Lets a caller read a number followed by text of its own ("0,5+1" as 0.5, then "+1").
size_t num_parse_prefix_narrow(const char* text, size_t len, uint32_t options, double* value);
