#include "common/NumberText.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace vorteq;

namespace {
long double num(const char* text)
{
    return *parseNumber(text);
}
} // namespace

TEST(GeneralFormat, FixedAndExponentBoundaries)
{
    EXPECT_EQ(formatNumber(num("0.0001")), "0.0001");
    EXPECT_EQ(formatNumber(num("0.00001")), "1E-5");
    EXPECT_EQ(formatNumber(num("0.000012345")), "1.2345E-5");
    EXPECT_EQ(formatNumber(num("999999999999999")), "999999999999999");
    EXPECT_EQ(formatNumber(num("999999999999999.6")), "1E15");
    EXPECT_EQ(formatNumber(num("1e15")), "1E15");
    EXPECT_EQ(formatNumber(num("25000000000000000")), "2.5E16");
    EXPECT_EQ(formatNumber(num("123456789012345678")), "1.23456789012346E17");
    EXPECT_EQ(formatNumber(num("-0.00001")), "-1E-5");
    EXPECT_EQ(formatNumber(num("1e-300")), "1E-300");
}

TEST(GeneralFormat, DropsTrailingZerosAndWritesZeroPlainly)
{
    EXPECT_EQ(formatNumber(0.0L), "0");
    EXPECT_EQ(formatNumber(-0.0L), "0");
    EXPECT_EQ(formatNumber(num("12.50")), "12.5");
    EXPECT_EQ(formatNumber(num("100.0")), "100");
    EXPECT_EQ(formatNumber(num("-7.25")), "-7.25");
    EXPECT_EQ(formatNumber(1.0L / 3.0L), "0.333333333333333");
    EXPECT_EQ(formatNumber(2.0L / 3.0L), "0.666666666666667");
    EXPECT_EQ(formatNumber(-200.0L / 3.0L), "-66.6666666666667");
    EXPECT_EQ(formatNumber(num("22351900")), "22351900");
    EXPECT_EQ(formatNumber(num("0.1")), "0.1");
}

TEST(GeneralFormat, FastPathAgreesWithTheExactConversion)
{
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> expo(-30, 30);
    for (int i = 0; i < 200000; ++i) {
        const long double v = static_cast<long double>(mant(rng)) * std::pow(10.0L, expo(rng)) / 3.0L;
        ASSERT_EQ(formatNumber(v), formatNumberExact(v)) << static_cast<double>(v);
    }
    // Values whose 16th digit is exactly a 5 in decimal but not in base 2.
    for (const char* t :
         {"0.1234567890123455", "1234.56789012345", "100.000000000000050", "0.30000000000000005"})
        EXPECT_EQ(formatNumber(num(t)), formatNumberExact(num(t))) << t;
}

TEST(GeneralFormat, RoundTripsThroughParse)
{
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<long long> cents(-100000000, 100000000);
    for (int i = 0; i < 50000; ++i) {
        const long double v = static_cast<long double>(cents(rng)) / 100.0L;
        const std::string text = formatNumber(v);
        const auto back = parseNumber(text);
        ASSERT_TRUE(back) << text;
        EXPECT_EQ(formatNumber(*back), text);
    }
}

// The stored value of a computed number is what its text reads back as; the shortcut that skips the
// text must agree bit for bit with writing and reading the text.
TEST(GeneralFormat, ReadBackWithoutTextEqualsParsingTheText)
{
    auto sameBits = [](long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; };
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> expo(-40, 40);
    std::uniform_int_distribution<long long> whole(-2000000000000000LL, 2000000000000000LL);
    for (int i = 0; i < 300000; ++i) {
        long double v = static_cast<long double>(mant(rng)) * std::pow(10.0L, expo(rng)) / 7.0L;
        if (i % 5 == 0)
            v = static_cast<long double>(whole(rng)) / (i % 2 ? 1.0L : 3.0L);
        const auto back = parseNumber(formatNumber(v));
        ASSERT_TRUE(back);
        ASSERT_TRUE(sameBits(readBackNumber(v), *back)) << formatNumber(v);
        // Writing the read-back value again gives the same text.
        ASSERT_EQ(formatNumber(readBackNumber(v)), formatNumber(v));
    }
    // Near powers of two the estimate of the decimal exponent is off by one; far out of the double
    // range the text decides.
    for (int e = -200; e <= 200; ++e)
        for (long double f : {1.0L, 1.0L - 0x1p-63L, 1.0L + 0x1p-62L, 0.7L})
            for (long double v : {std::ldexp(f, e), -std::ldexp(f, e)})
                ASSERT_TRUE(sameBits(readBackNumber(v), *parseNumber(formatNumber(v)))) << formatNumber(v);
    for (const char* t : {"1e-4000", "3.3e4000", "0.00012345678901234567", "123456789012345678901"})
        EXPECT_TRUE(sameBits(readBackNumber(num(t)), *parseNumber(formatNumber(num(t))))) << t;
    EXPECT_EQ(readBackNumber(999999999999999.6L), 1e15L);
    EXPECT_FALSE(std::signbit(readBackNumber(-0.0L)));
    EXPECT_EQ(readBackNumber(525.6L), num("525.6"));
    EXPECT_EQ(readBackNumber(1.0L / 3.0L), num("0.333333333333333"));
}

// The analysis passes the power of ten of the previous value of a field as a hint; a hint that is
// right, off by one or out of the table must give the same value as the text.
TEST(GeneralFormat, ReadBackIsTheSameWhateverTheScaleHint)
{
    auto sameBits = [](long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; };
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> mant(-1.0, 1.0);
    std::uniform_int_distribution<int> expo(-14, 14);
    int carried = -1;
    for (int i = 0; i < 100000; ++i) {
        // Runs of one magnitude, then a jump, as the values of one field go.
        const int e = i % 50 < 45 ? 3 : expo(rng);
        const long double v = static_cast<long double>(mant(rng)) * std::pow(10.0L, e) / 7.0L;
        const long double expected = *parseNumber(formatNumber(v));
        ASSERT_TRUE(sameBits(readBackNumber(v, carried), expected)) << formatNumber(v);
        for (int hint : {-1, 0, 10, 11, 12, 13, 27, 28, 400}) {
            int h = hint;
            ASSERT_TRUE(sameBits(readBackNumber(v, h), expected)) << formatNumber(v) << " hint " << hint;
        }
    }
    // Fifteen digits that round up into a sixteenth: the scaled value sits at the top of its range.
    for (const long double v :
         {99999999999999.96L, 0.09999999999999996L, 9.999999999999996L, 0.00010000000000000001L}) {
        for (int hint : {-1, 0, 1, 2, 13, 14, 15, 18}) {
            int h = hint;
            EXPECT_TRUE(sameBits(readBackNumber(v, h), *parseNumber(formatNumber(v)))) << formatNumber(v);
        }
    }
    int h = 13;
    EXPECT_EQ(readBackNumber(1.0L / 3.0L, h), num("0.333333333333333"));
    EXPECT_EQ(h, 15) << "the hint follows the value";
}

TEST(ParseNumber, AcceptsSignsDecimalsExponentsAndLeadingBlanks)
{
    EXPECT_EQ(parseNumber("1000000"), 1000000.0L);
    EXPECT_EQ(parseNumber("1e6"), 1000000.0L);
    EXPECT_EQ(parseNumber("  -2.5"), -2.5L);
    EXPECT_EQ(parseNumber("+5"), 5.0L);
    EXPECT_EQ(parseNumber(".5"), 0.5L);
    EXPECT_EQ(parseNumber("3."), 3.0L);
    EXPECT_EQ(parseNumber("1.5E-3"), 0.0015L);
    EXPECT_EQ(parseNumber("0.02"), 0.02L);
    EXPECT_EQ(parseNumber("12345678901234567890123"), 12345678901234567890123.0L);
}

TEST(ParseNumber, RejectsWhatIsNotANumber)
{
    for (const char* t : {"", " ", "   ", "1,000,000", "abc", "1e", "1e+", "--1", "+-1", "1.2.3", "5 ", "inf",
                          "nan", "0x10", ".", "-", "1e99999", "１２"})
        EXPECT_FALSE(parseNumber(t)) << '"' << t << '"';
}

TEST(ParseNumber, MatchesTheExactConversionOnLongAndShortTexts)
{
    std::mt19937_64 rng(99);
    std::uniform_int_distribution<long long> digits(0, 999999999999999999LL);
    std::uniform_int_distribution<int> point(0, 18);
    for (int i = 0; i < 20000; ++i) {
        std::string t = std::to_string(digits(rng));
        const auto p = static_cast<std::size_t>(point(rng));
        if (p < t.size())
            t.insert(t.size() - p, ".");
        const auto fast = parseNumber(t);
        ASSERT_TRUE(fast) << t;
        EXPECT_EQ(*fast, std::strtold(t.c_str(), nullptr)) << t;
    }
}

TEST(ParseInteger, DecimalDigitsWithOptionalSignOnly)
{
    EXPECT_EQ(parseInt32("25"), 25);
    EXPECT_EQ(parseInt32("  -3"), -3);
    EXPECT_EQ(parseInt32("+7"), 7);
    EXPECT_EQ(parseInt32("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_FALSE(parseInt32("2147483648"));
    EXPECT_FALSE(parseInt32("5.5"));
    EXPECT_FALSE(parseInt32("1e3"));
    EXPECT_FALSE(parseInt32(""));
    EXPECT_FALSE(parseInt32(" "));
    EXPECT_FALSE(parseInt32("-"));
    EXPECT_FALSE(parseInt32("12 "));
    EXPECT_EQ(parseInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
    EXPECT_FALSE(parseInt64("9223372036854775808"));
}

TEST(TwoDecimals, TruncatesTowardZeroInBaseTwo)
{
    EXPECT_EQ(formatNumber(truncate2(num("12.3456"))), "12.34");
    EXPECT_EQ(formatNumber(truncate2(num("-7.899"))), "-7.89");
    EXPECT_EQ(formatNumber(truncate2(num("-0.004"))), "0");
    EXPECT_EQ(formatNumber(truncate2(num("5"))), "5");
    // 525.6 lies just below itself in base 2, so the product is 52559.999... and loses a hundredth.
    EXPECT_EQ(formatNumber(truncate2(num("525.6"))), "525.59");
    EXPECT_EQ(formatNumber(truncate2(num("0.29"))), "0.29"); // lies just above in base 2
    EXPECT_EQ(formatNumber(truncate2(num("0.5"))), "0.5");
}

TEST(TwoDecimals, IntegerTruncationSaturates)
{
    EXPECT_EQ(truncateToInt64(num("-3.9")), -3);
    EXPECT_EQ(truncateToInt64(num("1e30")), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(truncateToInt64(std::nanl("")), 0);
}
