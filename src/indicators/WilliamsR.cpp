// Williams %R over n days: where the close stands below the window's highest high.
// C, H, L are the close, high and low; the window of n days at day i is days i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Williams %R over n days: (HH - C) / (HH - LL) x 100, 0 at the window's high, 100 at its low;
// 0 for a flat window. Days with i + n < N.
void williamsR(SeriesWork& s, int n)
{
    if (!(ll(n) < s.N))
        return;
    const WindowHighLow window(s, n);
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto [hh, lowest] = window.at(i);
        if (hh - lowest == 0) {
            s.putFinal(DayField::WilR, i, 0);
            continue;
        }
        s.putFinal(DayField::WilR, i, (hh - s.C[at(i)]) / (hh - lowest) * 100);
    }
}

void compute(SeriesWork& s, const ParamValues& p, int)
{
    williamsR(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtBuyWilR1",
     "DayWilR",
     ParamKind::Period,
     10,
     {0, 7, "ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", ""},
     {"ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", 50, "ﾗﾘｰｳｨﾘｱﾑｽﾞ%Rの数値の上限は50です。", 1,
      "ﾗﾘｰｳｨﾘｱﾑｽﾞ%Rの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::WilR, OutputKind::Rounded, {"WIL_R", 19}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField)
{
    return p.period(0); // a window of n days and the day before it
}

} // namespace

extern const IndicatorDef kWilliamsR = {"WilR", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
