// Number formatting of the form: "%d" and fixed-point "%.Nf" / "%W.Nf" in UTF-16.
//
// A double is m * 2^e exactly, so its decimal expansion is finite: m * 2^e digits when e >= 0,
// and the digits of m * 5^-e with the point moved -e places when e < 0. That expansion is built
// exactly in a small base-10^9 big integer (a 53-bit m times 5^1074 has under 800 digits), cut
// to 17 significant digits (the rest count as 0), and rounded at the wanted decimal place by the
// next digit alone: 5 or more rounds away from zero. Because the cut keeps every digit up to
// the 17th, this is the exact value rounded with halves away from zero whenever the rounding
// digit lies within the first 17 significant digits.
#include "base/number_text.h"

#include <cstring>

namespace {

constexpr int SIGNIFICANT_DIGITS = 17;
constexpr uint32_t LIMB_BASE = 1000000000u; // each limb holds nine decimal digits
constexpr int LIMB_COUNT = 96;              // 864 digits, more than any double needs

// Unsigned big integer in base 10^9, least significant limb first.
struct DecimalBig {
    uint32_t limb[LIMB_COUNT];
    int used;
};

void decimal_big_set(DecimalBig* big, uint64_t value) {
    big->used = 0;
    while (value != 0) {
        big->limb[big->used++] = static_cast<uint32_t>(value % LIMB_BASE);
        value /= LIMB_BASE;
    }
}

// big *= factor. The limb count is bounded by the largest expansion of a double.
void decimal_big_mul(DecimalBig* big, uint32_t factor) {
    uint64_t carry = 0;
    for (int i = 0; i < big->used; ++i) {
        uint64_t product = static_cast<uint64_t>(big->limb[i]) * factor + carry;
        big->limb[i] = static_cast<uint32_t>(product % LIMB_BASE);
        carry = product / LIMB_BASE;
    }
    while (carry != 0 && big->used < LIMB_COUNT) {
        big->limb[big->used++] = static_cast<uint32_t>(carry % LIMB_BASE);
        carry /= LIMB_BASE;
    }
}

void decimal_big_mul_pow(DecimalBig* big, uint32_t base, uint32_t chunk, int chunk_power,
                         int power) {
    while (power >= chunk_power) {
        decimal_big_mul(big, chunk);
        power -= chunk_power;
    }
    uint32_t rest = 1;
    for (int i = 0; i < power; ++i) {
        rest *= base;
    }
    decimal_big_mul(big, rest);
}

// Decimal digits of a finite, nonzero magnitude: digits[0..count) with the point after
// `point` digits (point may be <= 0 or > count). At most SIGNIFICANT_DIGITS are kept.
struct DigitText {
    char digit[SIGNIFICANT_DIGITS + 1]; // one more for a carry out of the first digit
    int count;
    int point;
};

void digits_of_double(double magnitude, DigitText* out) {
    uint64_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    int biased = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t{1} << 52) - 1);
    int exponent;
    if (biased == 0) {
        exponent = -1074; // subnormal
    } else {
        mantissa |= uint64_t{1} << 52;
        exponent = biased - 1075;
    }

    DecimalBig big;
    decimal_big_set(&big, mantissa);
    int shift = 0; // digits after the point in the expansion
    if (exponent >= 0) {
        decimal_big_mul_pow(&big, 2, 1u << 29, 29, exponent);
    } else {
        decimal_big_mul_pow(&big, 5, 1220703125u, 13, -exponent); // 5^13
        shift = -exponent;
    }

    // Write the most significant digits, skipping leading zeros of the top limb.
    char all[LIMB_COUNT * 9];
    int total = 0;
    for (int i = big.used - 1; i >= 0; --i) {
        uint32_t limb = big.limb[i];
        char nine[9];
        for (int k = 8; k >= 0; --k) {
            nine[k] = static_cast<char>('0' + limb % 10);
            limb /= 10;
        }
        for (int k = 0; k < 9; ++k) {
            if (total == 0 && nine[k] == '0') {
                continue;
            }
            all[total++] = nine[k];
        }
    }
    out->point = total - shift;
    out->count = total < SIGNIFICANT_DIGITS ? total : SIGNIFICANT_DIGITS;
    std::memcpy(out->digit, all, static_cast<size_t>(out->count));
}

// Round the digits so that `decimals` places remain after the point; halves away from zero.
void digits_round(DigitText* text, int decimals) {
    int keep = text->point + decimals; // digits that stay
    if (keep >= text->count) {
        return;
    }
    if (keep < 0) {
        text->count = 0; // far below the last place: the value shows as zero
        return;
    }
    bool up = text->digit[keep] >= '5';
    text->count = keep;
    if (!up) {
        return;
    }
    int i = keep - 1;
    while (i >= 0 && text->digit[i] == '9') {
        text->digit[i] = '0';
        --i;
    }
    if (i >= 0) {
        ++text->digit[i];
        return;
    }
    // Carry out of the first digit: the number gains a leading 1.
    std::memmove(text->digit + 1, text->digit, static_cast<size_t>(text->count));
    text->digit[0] = '1';
    ++text->count;
    ++text->point;
}

// Bounded writer of code units: keeps counting what it could not store.
struct UnitWriter {
    char16_t* out;
    size_t cap;
    size_t length;
};

void writer_put(UnitWriter* writer, char16_t unit) {
    if (writer->cap != 0 && writer->length < writer->cap - 1) {
        writer->out[writer->length] = unit;
        ++writer->length;
    }
}

size_t writer_finish(UnitWriter* writer) {
    if (writer->cap != 0) {
        writer->out[writer->length] = 0;
    }
    return writer->length;
}

// The plain text of a value, at most 1 + 309 + 1 + decimals characters, into `text`.
// Returns its length.
size_t fixed_text(char* text, size_t room, double value, int decimals) {
    size_t length = 0;
    auto put = [&](char c) {
        if (length < room) {
            text[length++] = c;
        }
    };
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    bool negative = (bits >> 63) != 0;
    uint64_t exponent_bits = (bits >> 52) & 0x7FF;
    if (exponent_bits == 0x7FF) {
        const char* word = (bits & ((uint64_t{1} << 52) - 1)) != 0 ? "NaN"
                           : negative                              ? "-Inf"
                                                                   : "Inf";
        for (; *word != '\0'; ++word) {
            put(*word);
        }
        return length;
    }
    DigitText digits{};
    double magnitude = negative ? -value : value;
    if (magnitude != 0.0) {
        digits_of_double(magnitude, &digits);
        digits_round(&digits, decimals);
    }
    auto digit_at = [&](int index) {
        return index >= 0 && index < digits.count ? digits.digit[index] : '0';
    };
    if (negative) {
        put('-');
    }
    if (digits.count == 0 || digits.point <= 0) {
        put('0');
    } else {
        for (int i = 0; i < digits.point; ++i) {
            put(digit_at(i));
        }
    }
    if (decimals > 0) {
        put('.');
        int first = digits.count == 0 ? 0 : digits.point;
        for (int i = 0; i < decimals; ++i) {
            put(digits.count == 0 ? '0' : digit_at(first + i));
        }
    }
    return length;
}

constexpr int MAX_DECIMALS = 40;
constexpr size_t FIXED_TEXT_ROOM = 1 + 310 + 1 + MAX_DECIMALS;

} // namespace

size_t num_format_int(char16_t* out, size_t cap, int32_t value) {
    UnitWriter writer{out, cap, 0};
    int64_t wide = value;
    uint64_t magnitude = static_cast<uint64_t>(wide < 0 ? -wide : wide);
    char reversed[12];
    int count = 0;
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        writer_put(&writer, u'-');
    }
    while (count > 0) {
        writer_put(&writer, static_cast<char16_t>(reversed[--count]));
    }
    return writer_finish(&writer);
}

size_t num_format_fixed(char16_t* out, size_t cap, double value, int decimals) {
    return num_format_fixed_width(out, cap, value, 0, decimals);
}

size_t num_format_fixed_width(char16_t* out, size_t cap, double value, int width, int decimals) {
    if (decimals < 0) {
        decimals = 0;
    }
    if (decimals > MAX_DECIMALS) {
        decimals = MAX_DECIMALS;
    }
    char text[FIXED_TEXT_ROOM];
    size_t length = fixed_text(text, sizeof text, value, decimals);
    UnitWriter writer{out, cap, 0};
    size_t wanted = width > 0 ? static_cast<size_t>(width) : 0;
    for (size_t pad = length; pad < wanted && pad < length + cap; ++pad) {
        writer_put(&writer, u' '); // no more blanks than the buffer could take
    }
    for (size_t i = 0; i < length; ++i) {
        writer_put(&writer, static_cast<char16_t>(text[i]));
    }
    return writer_finish(&writer);
}
