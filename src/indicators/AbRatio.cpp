// A ratio and B ratio over n days: the highs' reach above the open and above the previous close
// against the lows' reach below them. C, O, H, L are the close, open, high and low.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// A ratio = sum(H - O) / sum(O - L) x 100 and B ratio = sum(H - P) / sum(P - L) x 100 over n days,
// P the previous close; 0 when the denominator is 0. Days with i + n < N.
void abRatio(SeriesWork& s, int n)
{
    WindowSums spans(n, s.wholePrices, [&](int d) {
        const auto u = at(d);
        const long double p = s.C[u + 1];
        return std::array<long double, 4>{s.H[u] - s.O[u], s.O[u] - s.L[u], s.H[u] - p, p - s.L[u]};
    });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto& [highOpen, openLow, highPrev, prevLow] = spans.at(i);
        s.putFinal(DayField::ARatio, i, openLow != 0 ? highOpen / openLow * 100 : 0);
        s.putFinal(DayField::BRatio, i, prevLow != 0 ? highPrev / prevLow * 100 : 0);
    }
}

void compute(SeriesWork& s, const ParamValues& p, int)
{
    abRatio(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtDayABRatio",
     "DayABRatio",
     ParamKind::Period,
     26,
     {0, 11, "強弱レシオ", ""},
     {"強弱レシオ", 50, "強弱ﾚｼｵの数値の上限は50です。", 1, "強弱ﾚｼｵの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::ARatio, OutputKind::Rounded, {"ARATIO", 22}},
    {DayField::BRatio, OutputKind::Rounded, {"BRATIO", 23}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField)
{
    return p.period(0); // a window of n days and the day before it
}

} // namespace

extern const IndicatorDef kAbRatio = {"ABRatio", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
