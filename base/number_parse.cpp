// Reading typed numbers: the longest decimal prefix of a text, correctly rounded to a double.
//
// The digits are kept exactly (the first 800 significant ones; any nonzero digit after them is
// remembered as one extra trailing 1, which cannot move the value across a halfway point
// between doubles, since those have under 770 significant digits). The value is then the ratio
// N / D of two big integers, and the ratio is divided out to 54 or 55 bits plus a remainder,
// which decides the rounding exactly (to nearest, ties to even, like any IEEE conversion).
// Decimal exponents far outside the double range give infinity or zero before any big
// arithmetic, so neither a huge exponent nor a long digit string can overflow anything.
#include "base/number_text.h"

#include <cmath>
#include <type_traits>

namespace {

constexpr int KEPT_DIGITS = 800;
constexpr int64_t COUNT_LIMIT = int64_t{1} << 50; // saturation of positions and exponents
constexpr int BIG_LIMBS = 136;                    // 4352 bits; the largest operand needs < 3800

// Unsigned big integer in base 2^32, least significant limb first.
struct BinaryBig {
    uint32_t limb[BIG_LIMBS];
    int used;
};

void big_set(BinaryBig* big, uint32_t value) {
    big->used = value != 0 ? 1 : 0;
    big->limb[0] = value;
}

// big = big * factor + addend.
void big_mul_add(BinaryBig* big, uint32_t factor, uint32_t addend) {
    uint64_t carry = addend;
    for (int i = 0; i < big->used; ++i) {
        uint64_t product = static_cast<uint64_t>(big->limb[i]) * factor + carry;
        big->limb[i] = static_cast<uint32_t>(product);
        carry = product >> 32;
    }
    if (carry != 0 && big->used < BIG_LIMBS) {
        big->limb[big->used++] = static_cast<uint32_t>(carry);
    }
}

void big_mul_pow10(BinaryBig* big, int64_t power) {
    for (; power >= 9; power -= 9) {
        big_mul_add(big, 1000000000u, 0);
    }
    for (; power > 0; --power) {
        big_mul_add(big, 10u, 0);
    }
}

int big_bit_length(const BinaryBig* big) {
    if (big->used == 0) {
        return 0;
    }
    uint32_t top = big->limb[big->used - 1];
    int bits = 0;
    while (top != 0) {
        ++bits;
        top >>= 1;
    }
    return 32 * (big->used - 1) + bits;
}

// big <<= shift; the callers' operands stay far below the capacity.
void big_shift_left(BinaryBig* big, int shift) {
    if (big->used == 0 || shift <= 0) {
        return;
    }
    int limbs = shift / 32;
    int bits = shift % 32;
    int used = big->used + limbs + 1;
    if (used > BIG_LIMBS) {
        used = BIG_LIMBS;
    }
    for (int i = used - 1; i >= 0; --i) {
        int from = i - limbs;
        uint64_t high = from >= 0 && from < big->used ? big->limb[from] : 0;
        uint64_t low = from - 1 >= 0 && from - 1 < big->used ? big->limb[from - 1] : 0;
        uint64_t joined = (high << 32) | low;
        big->limb[i] = static_cast<uint32_t>(joined >> (32 - bits));
    }
    big->used = used;
    while (big->used > 0 && big->limb[big->used - 1] == 0) {
        --big->used;
    }
}

void big_shift_right_one(BinaryBig* big) {
    for (int i = 0; i < big->used; ++i) {
        uint32_t next = i + 1 < big->used ? big->limb[i + 1] : 0;
        big->limb[i] = (big->limb[i] >> 1) | (next << 31);
    }
    while (big->used > 0 && big->limb[big->used - 1] == 0) {
        --big->used;
    }
}

int big_compare(const BinaryBig* a, const BinaryBig* b) {
    if (a->used != b->used) {
        return a->used < b->used ? -1 : 1;
    }
    for (int i = a->used - 1; i >= 0; --i) {
        if (a->limb[i] != b->limb[i]) {
            return a->limb[i] < b->limb[i] ? -1 : 1;
        }
    }
    return 0;
}

// a -= b, where a >= b.
void big_subtract(BinaryBig* a, const BinaryBig* b) {
    int64_t borrow = 0;
    for (int i = 0; i < a->used; ++i) {
        int64_t difference = static_cast<int64_t>(a->limb[i]) - borrow -
                             (i < b->used ? static_cast<int64_t>(b->limb[i]) : 0);
        borrow = difference < 0 ? 1 : 0;
        a->limb[i] = static_cast<uint32_t>(difference + (borrow << 32));
    }
    while (a->used > 0 && a->limb[a->used - 1] == 0) {
        --a->used;
    }
}

// The double nearest to num / den (both nonzero), ties to even.
double ratio_to_double(BinaryBig* num, BinaryBig* den) {
    int estimate = big_bit_length(num) - big_bit_length(den); // ratio in (2^(e-1), 2^(e+1))
    int scale = 54 - estimate;                                // quotient of 54 or 55 bits
    if (scale > 0) {
        big_shift_left(num, scale);
    } else {
        big_shift_left(den, -scale);
    }
    BinaryBig step = *den;
    big_shift_left(&step, 54);
    uint64_t quotient = 0;
    for (int bit = 54; bit >= 0; --bit) {
        if (big_compare(num, &step) >= 0) {
            big_subtract(num, &step);
            quotient |= uint64_t{1} << bit;
        }
        big_shift_right_one(&step);
    }
    bool below_exact = num->used != 0; // a remainder is left under the quotient

    int bits = 0;
    for (uint64_t rest = quotient; rest != 0; rest >>= 1) {
        ++bits;
    }
    // Keep 53 bits, or fewer where the result is subnormal (its last place is 2^-1074).
    int drop = bits - 53;
    if (scale - 1074 > drop) {
        drop = scale - 1074;
    }
    if (drop > 63) {
        return 0.0;
    }
    uint64_t kept = quotient >> drop;
    uint64_t rest = quotient & ((uint64_t{1} << drop) - 1);
    uint64_t half = uint64_t{1} << (drop - 1);
    if (rest > half || (rest == half && (below_exact || (kept & 1) != 0))) {
        ++kept;
    }
    return std::ldexp(static_cast<double>(kept), drop - scale);
}

int64_t saturate(int64_t value) {
    if (value > COUNT_LIMIT) {
        return COUNT_LIMIT;
    }
    if (value < -COUNT_LIMIT) {
        return -COUNT_LIMIT;
    }
    return value;
}

// The decimal number read from the text: 0.DIGITS x 10^point.
struct DecimalNumber {
    char digit[KEPT_DIGITS + 1];
    int count;
    bool dropped_nonzero; // a nonzero digit followed the kept ones
    int64_t point;
};

void number_push_digit(DecimalNumber* number, uint32_t unit) {
    if (number->count < KEPT_DIGITS) {
        number->digit[number->count++] = static_cast<char>(unit);
    } else if (unit != '0') {
        number->dropped_nonzero = true;
    }
}

double number_value(DecimalNumber* number, bool negative) {
    while (!number->dropped_nonzero && number->count > 0 &&
           number->digit[number->count - 1] == '0') {
        --number->count; // trailing zeros add nothing but work
    }
    double sign = negative ? -1.0 : 1.0;
    if (number->count == 0) {
        return sign * 0.0;
    }
    if (number->dropped_nonzero) {
        number->digit[number->count++] = '1';
    }
    if (number->point > 310) {
        return sign * HUGE_VAL; // above 10^309, beyond every double
    }
    if (number->point < -324) {
        return sign * 0.0; // below 10^-325, under half the smallest subnormal
    }
    BinaryBig num;
    big_set(&num, 0);
    for (int i = 0; i < number->count; ++i) {
        big_mul_add(&num, 10, static_cast<uint32_t>(number->digit[i] - '0'));
    }
    BinaryBig den;
    big_set(&den, 1);
    int64_t exponent = number->point - number->count; // value = num x 10^exponent
    if (exponent >= 0) {
        big_mul_pow10(&num, exponent);
    } else {
        big_mul_pow10(&den, -exponent);
    }
    return sign * ratio_to_double(&num, &den);
}

bool is_blank(uint32_t unit) {
    return unit == ' ' || unit == '\t' || unit == '\n' || unit == '\r' || unit == '\v' ||
           unit == '\f';
}

bool is_digit(uint32_t unit) {
    return unit >= '0' && unit <= '9';
}

// The number read from the start of a text, and where it ends.
struct ParsedPrefix {
    double value;
    size_t end; // units read, leading blanks included; 0 when the text starts with no number
};

// Reads the longest numeric prefix of text[0..length), which may end earlier at a 0 unit.
template <typename Unit>
ParsedPrefix parse_units(const Unit* text, size_t length, uint32_t options) {
    size_t at = 0;
    auto unit_at = [&](size_t index) -> uint32_t {
        if (index >= length) {
            return 0;
        }
        return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Unit>>(text[index]));
    };
    // A point always separates the fraction; with the option, so does a comma with a digit after
    // it (without one the comma is no part of the number: "12," is 12 and a comma).
    auto separator_at = [&](size_t index) {
        return unit_at(index) == '.' || ((options & NUM_COMMA_SEPARATES) != 0 &&
                                         unit_at(index) == ',' && is_digit(unit_at(index + 1)));
    };
    // The terminator ends the text, so no index below passes it.
    while (is_blank(unit_at(at))) {
        ++at;
    }
    bool negative = false;
    if (unit_at(at) == '+' || unit_at(at) == '-') {
        negative = unit_at(at) == '-';
        ++at;
    }
    DecimalNumber number;
    number.count = 0;
    number.dropped_nonzero = false;
    number.point = 0;
    bool any_digit = false;
    for (; is_digit(unit_at(at)); ++at) {
        any_digit = true;
        if (number.count > 0 || number.dropped_nonzero || unit_at(at) != '0') {
            number_push_digit(&number, unit_at(at));
            number.point = saturate(number.point + 1);
        }
    }
    if (separator_at(at)) {
        for (++at; is_digit(unit_at(at)); ++at) {
            any_digit = true;
            if (number.count > 0 || number.dropped_nonzero || unit_at(at) != '0') {
                number_push_digit(&number, unit_at(at));
            } else {
                number.point = saturate(number.point - 1); // a zero right after the point
            }
        }
    }
    if (!any_digit) {
        return {0.0, 0};
    }
    uint32_t mark = unit_at(at);
    if (mark == 'e' || mark == 'E' || mark == 'd' || mark == 'D') {
        size_t next = at + 1;
        bool exponent_negative = false;
        if (unit_at(next) == '+' || unit_at(next) == '-') {
            exponent_negative = unit_at(next) == '-';
            ++next;
        }
        int64_t exponent = 0;
        const size_t digits_at = next;
        for (; is_digit(unit_at(next)); ++next) {
            exponent = saturate(exponent * 10 + (unit_at(next) - '0'));
        }
        // Without a digit the letter is not part of the number and the exponent stays 0.
        if (next != digits_at) {
            at = next;
            number.point = saturate(number.point + (exponent_negative ? -exponent : exponent));
        }
    }
    return {number_value(&number, negative), at};
}

// True when text[0..length) holds one number and blanks around it, nothing else.
template <typename Unit>
bool parse_whole(const Unit* text, size_t length, uint32_t options, double* value) {
    const ParsedPrefix prefix = parse_units(text, length, options);
    if (prefix.end == 0) {
        return false;
    }
    auto unit_at = [&](size_t index) -> uint32_t {
        return index < length ? static_cast<std::make_unsigned_t<Unit>>(text[index]) : 0;
    };
    size_t at = prefix.end;
    while (is_blank(unit_at(at))) {
        ++at;
    }
    if (unit_at(at) != 0) {
        return false; // something other than blanks follows the number
    }
    *value = prefix.value;
    return true;
}

} // namespace

double num_parse_wide(const char16_t* text, uint32_t options) {
    if (text == nullptr) {
        return 0.0;
    }
    return parse_units(text, SIZE_MAX, options).value;
}

double num_parse_narrow(const char* text, size_t len, uint32_t options) {
    if (text == nullptr) {
        return 0.0;
    }
    return parse_units(text, len, options).value;
}

bool num_parse_whole_wide(const char16_t* text, uint32_t options, double* value) {
    return text != nullptr && parse_whole(text, SIZE_MAX, options, value);
}

bool num_parse_whole_narrow(const char* text, size_t len, uint32_t options, double* value) {
    return text != nullptr && parse_whole(text, len, options, value);
}

size_t num_parse_prefix_narrow(const char* text, size_t len, uint32_t options, double* value) {
    if (text == nullptr) {
        return 0;
    }
    const ParsedPrefix prefix = parse_units(text, len, options);
    if (prefix.end != 0) {
        *value = prefix.value;
    }
    return prefix.end;
}
