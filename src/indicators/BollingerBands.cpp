// Bollinger bands: the mean close over n days plus and minus one and two population deviations.
// C is the close; the window of n days at day i is days i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Bollinger bands over n days: mean m of C, population deviation sd = sqrt(mean of C^2 - m^2)
// (a variance rounded below zero counts as 0); bands m +- sd and m +- 2 sd. Days with i + n < N.
void bollingerBands(SeriesWork& s, int n)
{
    WindowSums closes(n, s.wholeSquares, [&](int d) {
        const long double c = s.C[at(d)];
        return std::array<long double, 2>{c, c * c};
    });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto& [sum, sumSquares] = closes.at(i);
        const long double m = sum / n;
        long double variance = sumSquares / n - m * m;
        if (variance < 0)
            variance = 0;
        const long double sd = std::sqrt(variance);
        s.putFinal(DayField::VolinPlus1, i, m + sd);
        s.putFinal(DayField::VolinMinus1, i, m - sd);
        s.putFinal(DayField::VolinPlus2, i, m + 2 * sd);
        s.putFinal(DayField::VolinMinus2, i, m - 2 * sd);
    }
}

void compute(SeriesWork& s, const ParamValues& p, int)
{
    bollingerBands(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtBuyVolin",
     "DayVolin",
     ParamKind::Period,
     20,
     {1, 4, "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ", ""},
     {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ", 50, "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞの数値の上限は50です。", 1,
      "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::VolinPlus1, OutputKind::Rounded, {"VOL_P1", 28}},
    {DayField::VolinMinus1, OutputKind::Rounded, {"VOL_M1", 29}},
    {DayField::VolinPlus2, OutputKind::Rounded, {"VOL_P2", 26}},
    {DayField::VolinMinus2, OutputKind::Rounded, {"VOL_M2", 27}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField)
{
    return p.period(0); // a window of n days and the day before it
}

} // namespace

extern const IndicatorDef kBollingerBands = {"Bollinger", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
