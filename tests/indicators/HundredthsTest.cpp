// The two-decimal truncation taken while a value is still in a register must give exactly the
// hundredths that writing the value, truncating its text and reading the result gives, or leave
// the value to the plain path.

#include "common/NumberText.h"
#include "indicators/TextRates.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace vorteq;

namespace {

// The hundredths of Round2Text of the value's text.
std::int64_t hundredthsViaTexts(long double x)
{
    const auto text = Round2Text(formatNumber(x));
    return std::llround(*parseNumber(*text) * 100);
}

// Checks one value: a decided value agrees with the texts; an undecided one leaves q alone.
void expectAgrees(long double x, int& decided)
{
    std::int64_t q = 12345;
    if (!round2ToHundredthsQuick(x, q)) {
        ASSERT_EQ(q, 12345) << formatNumber(x);
        return;
    }
    ++decided;
    ASSERT_EQ(q, hundredthsViaTexts(x)) << formatNumber(x);
}

// The values next to x: one and two units in the last place either way.
std::vector<long double> around(long double x)
{
    constexpr long double kInf = std::numeric_limits<long double>::infinity();
    const long double up = std::nextafter(x, kInf);
    const long double down = std::nextafter(x, -kInf);
    return {x, up, down, std::nextafter(up, kInf), std::nextafter(down, -kInf)};
}

} // namespace

// Whole numbers and values a unit off them: x x 100 lands on or next to a whole number of
// hundredths, where the decision rests on the value being the nearest to that decimal.
TEST(Hundredths, WholeNumbersAndTheirNeighbours)
{
    int decided = 0;
    std::vector<long double> wholes = {0, 1, 2, 7, 10, 99, 100, 101, 1000, 65536, 1e6L, 123456789, 1e12L};
    for (int e = 0; e <= 43; ++e)
        wholes.push_back(std::ldexp(1.0L, e)); // powers of two: the neighbour below is closer
    wholes.push_back(9999999999999.0L);        // the largest whole result below 1E13
    wholes.push_back(1e13L);
    for (const long double w : wholes)
        for (const long double sign : {1.0L, -1.0L})
            for (const long double x : around(sign * w))
                expectAgrees(x, decided);
    EXPECT_GT(decided, 100);
    std::int64_t q = 7;
    ASSERT_TRUE(round2ToHundredthsQuick(-0.0L, q));
    EXPECT_EQ(q, 0) << "negative zero is written 0";
    ASSERT_TRUE(round2ToHundredthsQuick(-250, q));
    EXPECT_EQ(q, -25000);
}

// Exact hundredths and half hundredths, their neighbours, values whose fifteen-digit text rounds
// up into the next hundredth, huge and tiny magnitudes and values without a text.
TEST(Hundredths, BoundariesAndMagnitudes)
{
    int decided = 0;
    for (const long double c : {1.0L, 5.0L, 50.0L, 99.0L, 52560.0L, 123456.0L, 99999999999.0L})
        for (const long double offset : {0.0L, 0.5L})
            for (const long double sign : {1.0L, -1.0L})
                for (const long double x : around(sign * (c + offset) / 100))
                    expectAgrees(x, decided);
    // Fifteen digits that read back as the hundredth above: 4.99999999999999996 is written 5.
    for (const long double x : {4.999999999999999996L, 0.0999999999999999996L, 12.339999999999999999L,
                                -7.8999999999999999999L, 99999999999.989999999L})
        expectAgrees(x, decided);
    for (const long double x :
         {1e-30L, -1e-30L, 1e-5L, 0.009999L, 1e13L - 0.01L, 1e14L, 1e15L, 1e20L, -1e300L})
        for (const long double y : around(x))
            expectAgrees(y, decided);
    EXPECT_GT(decided, 60);
    std::int64_t q = 3;
    EXPECT_FALSE(round2ToHundredthsQuick(std::numeric_limits<long double>::quiet_NaN(), q));
    EXPECT_FALSE(round2ToHundredthsQuick(std::numeric_limits<long double>::infinity(), q));
    EXPECT_FALSE(round2ToHundredthsQuick(-std::numeric_limits<long double>::infinity(), q));
    EXPECT_EQ(q, 3);
}

// A million values of the kinds the indicators give: rates, averages of whole and decimal prices,
// whole results, values a hair off a hundredth; most must be decided without the text.
TEST(Hundredths, RandomValuesByTheMillion)
{
    std::mt19937_64 rng(19);
    std::uniform_int_distribution<long long> price(1, 5000000);
    std::uniform_int_distribution<int> days(1, 50);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int decided = 0;
    constexpr int kCount = 1000000;
    for (int i = 0; i < kCount; ++i) {
        const auto a = static_cast<long double>(price(rng));
        const auto b = static_cast<long double>(price(rng));
        long double x = 0;
        switch (i % 5) {
        case 0: // a rate
            x = readBackNumber((a - b) / b * 100);
            break;
        case 1: // the average of whole prices over a window
            x = readBackNumber(a * 37 / days(rng));
            break;
        case 2: // the average of prices with one decimal
            x = readBackNumber(a / 10 * 13 / days(rng));
            break;
        case 3: // a whole result, as the counts and the flat windows give
            x = static_cast<long double>(price(rng) % 201 - 100);
            break;
        default: // a hair off a hundredth, not read back
            x = (a / 100) * (1 + static_cast<long double>(unit(rng)) * 1e-13L);
            break;
        }
        expectAgrees(x, decided);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(decided, kCount * 85 / 100);
}
