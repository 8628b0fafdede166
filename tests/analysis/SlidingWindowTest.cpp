// The windows that the indicators carry from day to day (sums of whole prices and volumes, counts
// of rising days and of lower closes, running highs and lows) against the same indicators with
// every window computed afresh: on random series of whole, decimal, very large and long flat
// prices, for every period the calculation tab accepts, each stored value must agree to the bit.
#include "indicators/IndicatorTable.h"
#include "indicators/SeriesWork.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace vorteq;

namespace {

struct Prices {
    std::vector<long double> open, high, low, close, volume;
};

enum class Kind { Whole, Decimal, VeryLarge, TooLargeToCarry, FlatStretches };

// A random walk of `days` days, newest first, of the given kind.
Prices randomSeries(Kind kind, int days, std::uint64_t seed)
{
    std::mt19937_64 rng(seed);
    std::uniform_int_distribution<int> move(-30, 30);
    std::uniform_int_distribution<int> spread(0, 12);
    std::uniform_int_distribution<int> lots(0, 60);
    std::uniform_int_distribution<int> run(15, 80);
    Prices p;
    long long level = 1000; // in ticks
    int flatLeft = 0;
    for (int d = 0; d < days; ++d) {
        long long o = level, h = level, l = level, c = level;
        long long v = 100LL * lots(rng);
        if (kind == Kind::FlatStretches && flatLeft == 0 && rng() % 3 == 0)
            flatLeft = run(rng);
        if (flatLeft > 0) {
            --flatLeft;
            v = flatLeft % 2 ? 0 : v; // flat days with and without volume
        } else {
            o = std::max(1LL, level + move(rng) / 3);
            c = std::max(1LL, level + move(rng));
            h = std::max(o, c) + spread(rng);
            l = std::max(1LL, std::min(o, c) - spread(rng));
            level = c;
        }
        // Ticks to prices: whole yen, tenths and hundredths, or large whole numbers.
        long double scale = 1;
        switch (kind) {
        case Kind::Decimal:
            scale = d % 2 ? 0.1L : 0.01L;
            break;
        case Kind::VeryLarge:
            scale = 3e10L; // prices up to about 1E14, still summed exactly
            v *= 10000000;
            break;
        case Kind::TooLargeToCarry:
            scale = 9e15L;
            break;
        default:
            break;
        }
        p.open.push_back(static_cast<long double>(o) * scale);
        p.high.push_back(static_cast<long double>(h) * scale);
        p.low.push_back(static_cast<long double>(l) * scale);
        p.close.push_back(static_cast<long double>(c) * scale);
        p.volume.push_back(static_cast<long double>(v));
    }
    return p;
}

void load(SeriesWork& s, const Prices& p, bool slide)
{
    s.reset(p.close.size());
    s.O = p.open;
    s.H = p.high;
    s.L = p.low;
    s.C = p.close;
    s.V = p.volume;
    for (int i = 0; i < s.N; ++i) {
        const auto u = static_cast<std::size_t>(i);
        s.zeroText[u] = static_cast<std::uint8_t>((p.close[u] == 0 ? SeriesWork::kZeroClose : 0) |
                                                  (p.volume[u] == 0 ? SeriesWork::kZeroVolume : 0));
    }
    s.slideWindows = slide;
    s.classifyPrices();
    // Every field of pass 1 with the default periods, for what the windows of pass 2 read.
    const std::vector<long double> defaults = defaultParamValues();
    for (const IndicatorDef* ind : indicatorTable())
        for (const IndicatorStage& stage : ind->stages)
            if (stage.pass == 1)
                stage.compute(s, paramsOf(*ind, defaults), 0);
}

// The first field, position and day where the two differ, or "".
std::string firstDifference(const SeriesWork& a, const SeriesWork& b)
{
    for (int p = SeriesWork::kFirstComputed; p < kDayFieldCount; ++p) {
        if (kDayFieldNames[static_cast<std::size_t>(p)].empty())
            continue;
        const auto f = static_cast<DayField>(p);
        for (int i = 0; i < a.N; ++i) {
            const auto u = static_cast<std::size_t>(i);
            bool same = true;
            if (SeriesWork::isFinal(f)) {
                same = a.hundredths(f)[u] == b.hundredths(f)[u];
                if (same && a.hundredths(f)[u] == SeriesWork::kSettleLater) {
                    const long double x = a.settleValue(f, i), y = b.settleValue(f, i);
                    same = std::memcmp(&x, &y, 10) == 0;
                }
            } else {
                same = std::memcmp(a.column(f) + u, b.column(f) + u, 10) == 0; // the 80 value bits
            }
            if (!same)
                return std::string(kDayFieldNames[static_cast<std::size_t>(p)]) + " day " + std::to_string(i);
        }
    }
    return "";
}

void expectCarriedWindowsEqualFreshOnes(Kind kind, int days, std::uint64_t seed)
{
    const Prices p = randomSeries(kind, days, seed);
    SeriesWork carried, fresh;
    load(carried, p, true);
    load(fresh, p, false);
    // Every period of every indicator that computes whole columns (passes 1 to 3), up to the largest
    // one the calculation tab accepts, the other periods at their defaults.
    for (const TableParam& param : tableParams()) {
        if (param.def->kind != ParamKind::Period)
            continue;
        const IndicatorDef& ind = *param.indicator;
        std::vector<long double> values = defaultParamValues();
        for (int n = 1; n <= static_cast<int>(param.def->check.upperLimit); ++n) {
            values[param.index] = n;
            for (int pass = 1; pass <= 3; ++pass)
                for (const IndicatorStage& stage : ind.stages)
                    if (stage.pass == pass) {
                        stage.compute(carried, paramsOf(ind, values), 0);
                        stage.compute(fresh, paramsOf(ind, values), 0);
                    }
            const std::string diff = firstDifference(carried, fresh);
            ASSERT_EQ(diff, "") << param.def->key << " = " << n << ", seed " << seed;
        }
    }
}

} // namespace

TEST(SlidingWindows, WholePricesAreCarriedAndEqualFreshWindows)
{
    for (std::uint64_t seed = 1; seed <= 3; ++seed) {
        SeriesWork s;
        load(s, randomSeries(Kind::Whole, 260, seed), true);
        ASSERT_TRUE(s.wholePrices && s.wholeSquares && s.wholeVolumes) << "the carried sums are in use";
        expectCarriedWindowsEqualFreshOnes(Kind::Whole, 260, seed);
    }
}

TEST(SlidingWindows, DecimalPricesEqualFreshWindows)
{
    SeriesWork s;
    load(s, randomSeries(Kind::Decimal, 260, 11), true);
    EXPECT_FALSE(s.wholePrices) << "sums of decimals depend on their order: never carried";
    expectCarriedWindowsEqualFreshOnes(Kind::Decimal, 260, 11);
}

TEST(SlidingWindows, VeryLargePricesEqualFreshWindows)
{
    SeriesWork s;
    load(s, randomSeries(Kind::VeryLarge, 260, 21), true);
    EXPECT_TRUE(s.wholePrices && s.wholeVolumes) << "large whole numbers still sum exactly";
    EXPECT_FALSE(s.wholeSquares) << "their squares do not";
    expectCarriedWindowsEqualFreshOnes(Kind::VeryLarge, 260, 21);

    load(s, randomSeries(Kind::TooLargeToCarry, 260, 22), true);
    EXPECT_FALSE(s.wholePrices) << "beyond 2^62 over the days, sums are not exact";
    expectCarriedWindowsEqualFreshOnes(Kind::TooLargeToCarry, 260, 22);
}

TEST(SlidingWindows, LongFlatStretchesEqualFreshWindows)
{
    // Runs of equal prices: ties for the window's high and low, flat windows, zero volumes.
    for (std::uint64_t seed = 31; seed <= 33; ++seed)
        expectCarriedWindowsEqualFreshOnes(Kind::FlatStretches, 300, seed);
}

TEST(SlidingWindows, SeriesShorterThanTheWindow)
{
    for (const int days : {1, 2, 3, 9, 10, 11})
        expectCarriedWindowsEqualFreshOnes(Kind::Whole, days, 41);
}
