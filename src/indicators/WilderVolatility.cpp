// Wilder's volatility system, computed oldest day first. C is the close; day d+1 is the day before
// day d.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Wilder's volatility system with n days and multiple M. First day (no previous significant
// close): ATR = mean true range over n days, SIC = highest close of the window, long, no stop.
// Later days: ATR = (ATR' (n-1) + TR) / n; ARC = M x ATR' (the previous average). Long: the stop
// is SIC' - ARC and a close at or below it reverses; short: SIC' + ARC, a close at or above it
// reverses. Steps r >= n + 1.
void wilderVolatilityStep(SeriesWork& s, int r, int d, int n, long double multiple)
{
    if (ll(r) < ll(n) + 1)
        return;
    if (!s.has(DayField::WilSIC, d + 1)) {
        long double tr = 0;
        long double highestClose = s.C[at(d)];
        for (int j = 0; j < n; ++j) {
            tr += s.get(DayField::TrueRange, d + j);
            if (s.C[at(d + j)] > highestClose)
                highestClose = s.C[at(d + j)];
        }
        s.put(DayField::WilATR, d, tr / n);
        s.put(DayField::WilSIC, d, highestClose);
        s.put(DayField::WilPos, d, 0);
        return;
    }
    const long double prevAtr = s.get(DayField::WilATR, d + 1);
    const long double prevSic = s.get(DayField::WilSIC, d + 1);
    const bool wasLong = s.get(DayField::WilPos, d + 1) == 0;
    const long double close = s.C[at(d)];
    s.put(DayField::WilATR, d, (prevAtr * (n - 1) + s.get(DayField::TrueRange, d)) / n);
    const long double arc = multiple * prevAtr;
    if (wasLong) {
        if (close <= prevSic - arc) {
            s.put(DayField::WilPos, d, 1);
            s.put(DayField::WilSIC, d, close);
            s.putFinal(DayField::WilSAR, d, close + arc);
        } else {
            s.put(DayField::WilPos, d, 0);
            s.put(DayField::WilSIC, d, prevSic > close ? prevSic : close);
            s.putFinal(DayField::WilSAR, d, prevSic - arc);
        }
    } else {
        if (close >= prevSic + arc) {
            s.put(DayField::WilPos, d, 0);
            s.put(DayField::WilSIC, d, close);
            s.putFinal(DayField::WilSAR, d, close - arc);
        } else {
            s.put(DayField::WilPos, d, 1);
            s.put(DayField::WilSIC, d, prevSic < close ? prevSic : close);
            s.putFinal(DayField::WilSAR, d, prevSic + arc);
        }
    }
}

void compute(SeriesWork& s, const ParamValues& p, int steps)
{
    const int n = p.period(0);
    const long double multiple = p.factor(1);
    forEachStep(s, steps, [&](int r, int d) { wilderVolatilityStep(s, r, d, n, multiple); });
}

constexpr ParamDef kParams[] = {
    {"AmtDayWIL",
     "DayWIL",
     ParamKind::Period,
     7,
     {1, 3, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", ""},
     {"ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", 50, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨの数値の上限は50です。", 1,
      "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨの数値は1以上にしてください。"}},
    {"AmtDayWIL_VI",
     "WIL_VI",
     ParamKind::Factor,
     3.0L,
     {1, 3, "", "VIの倍数"},
     {"VIの倍数", 5, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ倍数の数値の上限は5です。", 0, ""}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::WilATR, OutputKind::Stored},
    {DayField::WilSIC, OutputKind::Stored},
    {DayField::WilPos, OutputKind::Stored},
    {DayField::WilSAR, OutputKind::Rounded, {"WIL_SAR", 25}},
};
constexpr IndicatorStage kStages[] = {
    {4, compute},
};

int lookback(const ParamValues& p, DayField output)
{
    // The stop follows the first average by a day.
    return output == DayField::WilSAR ? p.period(0) + 1 : p.period(0);
}

} // namespace

extern const IndicatorDef kWilderVolatility = {"WilderVolatility", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
