#include "base/number_text.h"

#include <gtest/gtest.h>

#include "test_text.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::u16string wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::string fixed(double value, int decimals) {
    char16_t out[400];
    size_t length = num_format_fixed(out, 400, value, decimals);
    EXPECT_EQ(length, std::char_traits<char16_t>::length(out));
    return narrow(out);
}

std::string whole(int32_t value) {
    char16_t out[20];
    num_format_int(out, 20, value);
    return narrow(out);
}

double parse(const std::string& text) {
    return num_parse_wide(wide(text).c_str());
}

// ---- formatting -------------------------------------------------------------------------

TEST(NumFormat, WholeNumbersIncludingExtremes) {
    EXPECT_EQ(whole(0), "0");
    EXPECT_EQ(whole(250), "250");
    EXPECT_EQ(whole(-7), "-7");
    EXPECT_EQ(whole(INT32_MAX), "2147483647");
    EXPECT_EQ(whole(INT32_MIN), "-2147483648");
}

TEST(NumFormat, HalvesRoundAwayFromZero) {
    EXPECT_EQ(fixed(2.5, 0), "3");
    EXPECT_EQ(fixed(-2.5, 0), "-3");
    EXPECT_EQ(fixed(0.5, 0), "1");
    EXPECT_EQ(fixed(0.25, 1), "0.3");
    EXPECT_EQ(fixed(-0.25, 1), "-0.3");
    EXPECT_EQ(fixed(1234.5, 0), "1235");
    EXPECT_EQ(fixed(9.95f, 1), "9.9"); // float 9.9499998... stays below the half
    EXPECT_EQ(fixed(9.96, 1), "10.0"); // carry through every digit
    EXPECT_EQ(fixed(99.5, 0), "100");
}

TEST(NumFormat, ValuesOfTheForm) {
    EXPECT_EQ(fixed(49.8f, 1), "49.8");
    EXPECT_EQ(fixed(49.8f, 0), "50");
    EXPECT_EQ(fixed(0.1f, 1), "0.1");
    EXPECT_EQ(fixed(100.0f, 1), "100.0");
    EXPECT_EQ(fixed(12.4f, 0), "12");
    EXPECT_EQ(fixed(0.0, 1), "0.0");
    EXPECT_EQ(fixed(180.0, 0), "180");
}

// 0.05 as a double lies just above the half (0.05000000000000000277), 0.15 just below it
// (0.1499999999999999944); as floats both lie above it. Rounding must follow the exact value.
TEST(NumFormat, RoundingFollowsTheExactBinaryValue) {
    EXPECT_EQ(fixed(0.05, 1), "0.1");
    EXPECT_EQ(fixed(0.15, 1), "0.1");
    EXPECT_EQ(fixed(0.15f, 1), "0.2");
    EXPECT_EQ(fixed(0.35, 1), "0.3"); // 0.34999999999999997780
    EXPECT_EQ(fixed(0.45, 1), "0.5"); // 0.45000000000000001110
    EXPECT_EQ(fixed(0.49999999999999994, 0), "0");
    EXPECT_EQ(fixed(0.04, 1), "0.0");
    EXPECT_EQ(fixed(0.004, 0), "0");
}

TEST(NumFormat, HugeAndTinyValues) {
    EXPECT_EQ(fixed(1e30, 0), "1000000000000000000000000000000");
    EXPECT_EQ(fixed(FLT_MAX, 0), "340282346638528850000000000000000000000");
    EXPECT_EQ(fixed(-FLT_MAX, 1), "-340282346638528850000000000000000000000.0");
    std::string max = fixed(DBL_MAX, 0);
    EXPECT_EQ(max.size(), 309u);
    EXPECT_EQ(max.substr(0, 18), "179769313486231570");
    EXPECT_EQ(fixed(FLT_MIN, 1), "0.0");
    EXPECT_EQ(fixed(4.9e-324, 0), "0");
    EXPECT_EQ(fixed(1.25e-7, 1), "0.0");
}

TEST(NumFormat, NotFiniteValuesReadBackAsZero) {
    EXPECT_EQ(fixed(NAN, 1), "NaN");
    EXPECT_EQ(fixed(INFINITY, 0), "Inf");
    EXPECT_EQ(fixed(-INFINITY, 1), "-Inf");
    EXPECT_EQ(parse("NaN"), 0.0);
    EXPECT_EQ(parse("-Inf"), 0.0);
}

TEST(NumFormat, WidthPadsOnTheLeft) {
    char16_t out[20];
    num_format_fixed_width(out, 20, 5.0, 3, 1);
    EXPECT_EQ(narrow(out), "5.0");
    num_format_fixed_width(out, 20, 5.0, 6, 1);
    EXPECT_EQ(narrow(out), "   5.0");
    num_format_fixed_width(out, 20, 123.25, 3, 1);
    EXPECT_EQ(narrow(out), "123.3");
}

TEST(NumFormat, ShortBuffersAreNeverOverrun) {
    char16_t out[8];
    std::fill(out, out + 8, u'#');
    EXPECT_EQ(num_format_fixed(out, 0, 1234.5, 1), 0u);
    EXPECT_EQ(out[0], u'#');
    EXPECT_EQ(num_format_fixed(out, 1, 1234.5, 1), 0u);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], u'#');
    std::fill(out, out + 8, u'#');
    EXPECT_EQ(num_format_fixed(out, 4, 1234.5, 1), 3u);
    EXPECT_EQ(narrow(out), "123");
    EXPECT_EQ(out[4], u'#');
    EXPECT_EQ(num_format_int(out, 3, INT32_MIN), 2u);
    EXPECT_EQ(narrow(out), "-2");
    std::fill(out, out + 8, u'#');
    EXPECT_EQ(num_format_fixed_width(out, 3, 1.0, 2000000000, 1), 2u);
    EXPECT_EQ(narrow(out), "  ");
    EXPECT_EQ(out[3], u'#');
}

// Away from exact halves and within 17 significant digits the C library's correctly rounded
// fixed formatting must agree with ours.
TEST(NumFormat, AgreesWithExactRoundingAwayFromHalves) {
    std::mt19937_64 random(12345);
    int compared = 0;
    for (int i = 0; i < 20000; ++i) {
        double magnitude = std::pow(10.0, std::uniform_real_distribution<double>(-3, 14)(random));
        double value = (random() & 1) ? magnitude : -magnitude;
        if (i % 3 == 0) {
            value = static_cast<float>(value);
        }
        for (int decimals = 0; decimals <= 1; ++decimals) {
            char exact[400];
            std::snprintf(exact, sizeof exact, "%.*f", decimals + 60, value);
            std::string tail = std::strchr(exact, '.') + 1 + decimals;
            if (tail.find_first_not_of('0', 1) == std::string::npos && tail[0] == '5') {
                continue; // exact half: the C library rounds it to even
            }
            char expected[400];
            std::snprintf(expected, sizeof expected, "%.*f", decimals, value);
            ASSERT_EQ(fixed(value, decimals), expected) << exact;
            ++compared;
        }
    }
    EXPECT_GT(compared, 39000);
}

// ---- parsing ----------------------------------------------------------------------------

TEST(NumParse, TypedTexts) {
    EXPECT_EQ(parse(""), 0.0);
    EXPECT_EQ(parse(" 7"), 7.0);
    EXPECT_EQ(parse("\t\n\r\v\f 7"), 7.0);
    EXPECT_EQ(parse("12abc"), 12.0);
    EXPECT_EQ(parse("abc"), 0.0);
    EXPECT_EQ(parse("1,5"), 1.0);
    EXPECT_EQ(parse("1e3"), 1000.0);
    EXPECT_EQ(parse("1d3"), 1000.0);
    EXPECT_EQ(parse("1D+3"), 1000.0);
    EXPECT_EQ(parse("25E-1"), 2.5);
    EXPECT_EQ(parse("-5"), -5.0);
    EXPECT_EQ(parse("+.5"), 0.5);
    EXPECT_EQ(parse("5."), 5.0);
    EXPECT_EQ(parse("50.0"), 50.0);
    EXPECT_EQ(parse("007.50"), 7.5);
    EXPECT_EQ(static_cast<float>(parse("0.1")), 0.1f);
}

TEST(NumParse, IncompletePrefixes) {
    EXPECT_EQ(parse("."), 0.0);
    EXPECT_EQ(parse("-"), 0.0);
    EXPECT_EQ(parse("-.e5"), 0.0);
    EXPECT_EQ(parse("3e"), 3.0);
    EXPECT_EQ(parse("3e+"), 3.0);
    EXPECT_EQ(parse("3ex5"), 3.0);
    EXPECT_EQ(parse("3 e5"), 3.0);
    EXPECT_EQ(parse("- 3"), 0.0);
    EXPECT_EQ(parse("0x10"), 0.0);
    EXPECT_TRUE(std::signbit(parse("-0")));
}

// With the comma option a comma followed by a digit is the decimal point; any other comma ends
// the number. A whole text is one number with nothing but blanks around it.
TEST(NumParse, CommaOptionAndWholeTexts) {
    const struct {
        const char* text;
        double with_comma; // its leading number with the option (without it, "12,5" is 12)
        bool whole;
    } rows[] = {{"12,5", 12.5, true},    {"0,1", 0.1, true},    {",5", 0.5, true},
                {"-1,25e2", -125, true}, {" 7 \t", 7, true},    {"3e+5", 3e5, true},
                {"12,", 12, false},      {"1,5,3", 1.5, false}, {"1.5,3", 1.5, false},
                {"1 000", 1, false},     {"100 %", 100, false}, {"", 0, false},
                {"   ", 0, false},       {"3e", 3, false},      {"NaN", 0, false}};
    for (const auto& row : rows) {
        const std::u16string text = wide(row.text);
        EXPECT_EQ(num_parse_wide(text.c_str(), NUM_COMMA_SEPARATES), row.with_comma) << row.text;
        double value = -7.0;
        EXPECT_EQ(num_parse_whole_wide(text.c_str(), NUM_COMMA_SEPARATES, &value), row.whole)
            << row.text;
        EXPECT_EQ(value, row.whole ? row.with_comma : -7.0) << row.text;
        EXPECT_EQ(num_parse_whole_narrow(row.text, strlen(row.text), NUM_COMMA_SEPARATES, &value),
                  row.whole)
            << row.text;
    }
    double value = 0.0;
    EXPECT_FALSE(num_parse_whole_wide(u"12,5", NUM_POINT_ONLY, &value));
    EXPECT_TRUE(num_parse_whole_narrow("12,5", 2, NUM_COMMA_SEPARATES, &value)); // "12"
}

TEST(NumParse, ExtremeExponentsAndLengths) {
    EXPECT_EQ(parse("1e400"), HUGE_VAL);
    EXPECT_EQ(parse("-1e400"), -HUGE_VAL);
    EXPECT_EQ(parse("1e-400"), 0.0);
    EXPECT_EQ(parse("1e99999999999999999999999"), HUGE_VAL);
    EXPECT_EQ(parse("1e-99999999999999999999999"), 0.0);
    EXPECT_EQ(parse("0e99999999999999999999999"), 0.0);
    EXPECT_EQ(parse("1.7976931348623157e308"), DBL_MAX);
    EXPECT_EQ(parse("1.7976931348623159e308"), HUGE_VAL);
    EXPECT_EQ(parse("4.9406564584124654e-324"), 4.9406564584124654e-324);
    EXPECT_EQ(parse("2.4703282292062327e-324"), 0.0); // exactly below half the smallest
    EXPECT_EQ(parse("2.4703282292062328e-324"), 4.9406564584124654e-324);
    EXPECT_EQ(parse("2.2250738585072011e-308"), 2.2250738585072011e-308);

    std::string ones(5000, '1'); // longer than any kept digit string
    EXPECT_EQ(parse(ones + "e-4999"), 1.1111111111111112);
    std::string zeros = "0." + std::string(5000, '0') + "15e5001";
    EXPECT_EQ(parse(zeros), 1.5);
    std::string big = "9" + std::string(400, '0');
    EXPECT_EQ(parse(big + "e-400"), 9.0);
}

// Exactly halfway between two doubles, a digit far beyond the kept ones decides the rounding.
TEST(NumParse, HalfwayCasesAreDecidedExactly) {
    // 2^53 + 1 is halfway between 2^53 and 2^53 + 2; ties go to the even one.
    EXPECT_EQ(parse("9007199254740993"), 9007199254740992.0);
    EXPECT_EQ(parse("9007199254740993.0000000000000000000000000001"), 9007199254740994.0);
    std::string tail = std::string(2000, '0') + "1";
    EXPECT_EQ(parse("9007199254740993." + tail), 9007199254740994.0);
    EXPECT_EQ(parse("9007199254740995"), 9007199254740996.0);
}

// Exact decimal texts of points halfway between neighbouring doubles (hundreds of digits),
// with and without a last nonzero digit far beyond them.
TEST(NumParse, ExactHalfwayTextsOfRandomDoubles) {
    if (LDBL_MANT_DIG < 64) {
        GTEST_SKIP() << "needs a long double wider than double";
    }
    std::mt19937_64 random(4242);
    for (int i = 0; i < 400; ++i) {
        uint64_t bits = random() & ~(uint64_t{1} << 63);
        if (i % 4 == 0) {
            bits &= (uint64_t{1} << 52) - 1; // a subnormal
        }
        double low;
        std::memcpy(&low, &bits, sizeof low);
        double high = std::nextafter(low, INFINITY);
        if (!std::isfinite(high)) {
            continue;
        }
        long double middle = (static_cast<long double>(low) + high) / 2;
        std::vector<char> text(1200);
        std::snprintf(text.data(), text.size(), "%.800Le", middle);
        std::string exact = text.data();
        size_t mark = exact.find('e');
        std::string above = exact.substr(0, mark) + "0001" + exact.substr(mark);
        bool low_even = (bits & 1) == 0;
        ASSERT_EQ(parse(exact), low_even ? low : high) << exact;
        ASSERT_EQ(parse(above), high) << above;
    }
}

TEST(NumParse, AgreesWithCorrectlyRoundedLibraryParsing) {
    std::mt19937_64 random(777);
    for (int i = 0; i < 20000; ++i) {
        char text[64];
        uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value)) {
            continue;
        }
        int digits = 1 + static_cast<int>(random() % 19);
        std::snprintf(text, sizeof text, "%.*e", digits, value);
        ASSERT_EQ(parse(text), std::strtod(text, nullptr)) << text;
    }
}

TEST(NumParse, NarrowTextStopsAtItsBoundOrAtNul) {
    EXPECT_EQ(num_parse_narrow("5.000", 5), 5.0);
    EXPECT_EQ(num_parse_narrow("5.001", 5), 5.001);
    EXPECT_EQ(num_parse_narrow("4.9999", 6), 4.9999);
    EXPECT_EQ(num_parse_narrow("12345", 3), 123.0);
    EXPECT_EQ(num_parse_narrow("1e5", 2), 1.0);
    EXPECT_EQ(num_parse_narrow("7\0"
                               "9",
                               3),
              7.0);
    EXPECT_EQ(num_parse_narrow("7", 0), 0.0);
    EXPECT_EQ(num_parse_narrow("\xB5"
                               "5",
                               2),
              0.0);
    // Board revisions come from these texts as single precision times 1000, truncated.
    auto revision = [](const char* text) {
        float version = static_cast<float>(num_parse_narrow(text, std::strlen(text)));
        return static_cast<int32_t>(static_cast<double>(version) * 1000.0);
    };
    EXPECT_EQ(revision("5.000"), 5000);
    EXPECT_EQ(revision("5.001"), 5000);
    EXPECT_EQ(revision("5.002"), 5001);
    EXPECT_EQ(revision("4.9999"), 4999);
}

} // namespace
