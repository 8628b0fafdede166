// Detrended price oscillator: the mean close over n days (pass 1), then the close against the mean
// of n/2 + 1 days earlier (pass 2). C is the close; the window of n days at day i is days
// i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// DPO, first part: mean close over n days. Days with i + n < N.
void dpoAverage(SeriesWork& s, int n)
{
    WindowSums closes(n, s.wholePrices, [&](int d) { return OneTerm{s.C[at(d)]}; });
    for (int i = 0; ll(i) + n < s.N; ++i)
        s.put(DayField::DPOAvg, i, closes.at(i)[0] / n);
}

// DPO: the close against the DPO average of k = n/2 + 1 (truncated) days earlier.
// Days with i + n + n/2 + 1 < N, n/2 an exact half (10.5 for 21).
void dpo(SeriesWork& s, int n)
{
    const int k = n / 2 + 1;
    for (int i = 0; 2 * (ll(i) + n + 1) + n < 2 * ll(s.N); ++i) {
        s.step(i);
        s.putFinal(DayField::DPO, i, s.C[at(i)] - s.get(DayField::DPOAvg, i + k));
    }
}

void computeAverage(SeriesWork& s, const ParamValues& p, int)
{
    dpoAverage(s, p.period(0));
}
void computeOscillator(SeriesWork& s, const ParamValues& p, int)
{
    dpo(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtDayDPO",
     "DayDPO",
     ParamKind::Period,
     20,
     {0, 10, "DPO", ""},
     {"DPO", 35, "DPOの数値の上限は35です。", 1, "DPOの数値は1以上にしてください。", ExtraRule::Even,
      "DPOの数値は偶数の必要があります。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::DPOAvg, OutputKind::Stored},
    {DayField::DPO, OutputKind::Rounded},
};
constexpr IndicatorStage kStages[] = {
    {1, computeAverage},
    {2, computeOscillator},
};

int lookback(const ParamValues& p, DayField output)
{
    const int n = p.period(0);
    return output == DayField::DPO ? n + n / 2 + 1 : n;
}

} // namespace

extern const IndicatorDef kDpo = {"DPO", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
