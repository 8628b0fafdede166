#include "indicators/TextRates.h"

#include "common/NumberText.h"

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <random>

using namespace vorteq;

TEST(Round2Text, TruncatesTowardZeroOnTheBinaryValue)
{
    EXPECT_EQ(Round2Text(""), "0");
    EXPECT_EQ(Round2Text("12.3456"), "12.34");
    EXPECT_EQ(Round2Text("-7.899"), "-7.89");
    EXPECT_EQ(Round2Text("-0.004"), "0");
    EXPECT_EQ(Round2Text("12.34"), "12.34");
    // 525.6 is stored just below 525.6: x 100 truncates to 52559 (numpy longdouble agrees).
    EXPECT_EQ(Round2Text("525.6"), "525.59");
    EXPECT_EQ(Round2Text("1E-5"), "0");
    EXPECT_FALSE(Round2Text("abc"));
}

TEST(RateText, GuardsOnTheTextZero)
{
    EXPECT_EQ(RateText("0", "5"), "0");
    EXPECT_EQ(RateText("5", "0"), "0");
    EXPECT_EQ(RateText("110", "100"), "10");
    EXPECT_EQ(RateText("0.0", "5"), "-100") << "the guard looks at the text, not the number";
    EXPECT_EQ(RateText("98", "103"), "-4.85436893203883");
    EXPECT_FALSE(RateText("5", "0.0")) << "a division by zero has no value";
    EXPECT_FALSE(RateText("5", "x"));
}

// The engine's shortcut must give exactly what writing the value, truncating its text and reading
// the result back gives.
TEST(Round2Text, ValueShortcutAgreesWithTheTexts)
{
    auto viaTexts = [](long double x) { return *parseNumber(*Round2Text(formatNumber(x))); };
    auto sameBits = [](long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; };
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<long long> cents(-10000000, 10000000);
    std::uniform_int_distribution<int> expo(-6, 12);
    for (int i = 0; i < 200000; ++i) {
        long double x = 0;
        switch (i % 4) {
        case 0: // anywhere
            x = static_cast<long double>(unit(rng)) * std::pow(10.0L, expo(rng));
            break;
        case 1: // exact hundredths, as the sums of whole prices give
            x = static_cast<long double>(cents(rng)) / 100;
            break;
        case 2: // a hair off a hundredth
            x = static_cast<long double>(cents(rng)) / 100 *
                (1 + static_cast<long double>(unit(rng)) * 1e-14L);
            break;
        default: // ratios of small whole numbers
            x = static_cast<long double>(cents(rng) % 1000) /
                static_cast<long double>(1 + cents(rng) % 97 * 3) * 100;
            break;
        }
        ASSERT_TRUE(sameBits(round2OfText(x), viaTexts(x))) << formatNumber(x);
    }
    EXPECT_EQ(round2OfText(4.99999999999995L), *parseNumber("4.99"));
    EXPECT_EQ(round2OfText(1e14L), 1e14L);
}
