// Relative strength index with Wilder's smoothing, computed oldest day first. C is the close; day
// i+1 is the day before day i.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// RSI with n days. First value on day N-n-1 from the simple means of the n gains and losses; each
// newer day smooths the previous day's stored means: (prev x (n-1) + today's move) / n.
// RSI = up / (up + down) x 100, 0 when nothing moved.
void rsiStep(SeriesWork& s, int r, int d, int n)
{
    (void)r;
    const long long first = ll(s.N) - n - 1;
    if (d > first)
        return;
    long double up = 0;
    long double down = 0;
    if (d == first) {
        long double gains = 0;
        long double losses = 0;
        for (int j = 0; j < n; ++j) {
            const auto u = at(d + j);
            const long double rise = s.C[u] - s.C[u + 1];
            if (rise > 0)
                gains += rise;
            const long double fall = s.C[u + 1] - s.C[u];
            if (fall > 0)
                losses += fall;
        }
        up = s.put(DayField::RSIUpAvg, d, gains / n);
        down = s.put(DayField::RSIDownAvg, d, losses / n);
    } else {
        const auto u = at(d);
        const long double rise = s.C[u] - s.C[u + 1];
        const long double fall = s.C[u + 1] - s.C[u];
        const long double gain = rise > 0 ? rise : 0;
        const long double loss = fall > 0 ? fall : 0;
        up = s.put(DayField::RSIUpAvg, d, (s.get(DayField::RSIUpAvg, d + 1) * (n - 1) + gain) / n);
        down = s.put(DayField::RSIDownAvg, d, (s.get(DayField::RSIDownAvg, d + 1) * (n - 1) + loss) / n);
    }
    s.putFinal(DayField::RSI, d, up + down != 0 ? up / (up + down) * 100 : 0);
}

void compute(SeriesWork& s, const ParamValues& p, int steps)
{
    const int n = p.period(0);
    forEachStep(s, steps, [&](int r, int d) { rsiStep(s, r, d, n); });
}

constexpr ParamDef kParams[] = {
    {"AmtBuyRSI1",
     "DayRSI",
     ParamKind::Period,
     9,
     {0, 5, "RSI", ""},
     {"RSI", 50, "RSIの数値の上限は50です。", 1, "RSIの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::RSI, OutputKind::Rounded, {"RSI", 17}},
    {DayField::RSIUpAvg, OutputKind::Stored},
    {DayField::RSIDownAvg, OutputKind::Stored},
};
constexpr IndicatorStage kStages[] = {
    {4, compute},
};

int lookback(const ParamValues& p, DayField)
{
    return p.period(0); // a window of n days and the day before it
}

} // namespace

extern const IndicatorDef kRsi = {"RSI", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
