// Commodity channel index: the typical price's mean and deviation over n days (pass 1), then the
// index against the mean deviation (pass 2). C, H, L are the close, high and low; the window of n
// days at day i is days i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// CCI, first part: typical price TP = (C + L + H) / 3; CCITypAvg = mean TP over n days,
// CCITypDev = |TP[i] - CCITypAvg| (the stored average). Days with i + n < N.
void cciTypicalPrice(SeriesWork& s, int n)
{
    if (!(ll(n) < s.N))
        return;
    std::vector<long double> tp(at(s.N));
    for (int d = 0; d < s.N; ++d)
        tp[at(d)] = (s.C[at(d)] + s.L[at(d)] + s.H[at(d)]) / 3;
    // Thirds are not whole numbers: every window is summed afresh.
    WindowSums typical(n, false, [&](int d) { return OneTerm{tp[at(d)]}; });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const long double avg = s.put(DayField::CCITypAvg, i, typical.at(i)[0] / n);
        s.put(DayField::CCITypDev, i, std::fabs(tp[at(i)] - avg));
    }
}

// CCI: MD = mean of CCITypDev over n days; CCI = (TP[i] - CCITypAvg[i]) / (0.015 x MD). A zero
// mean deviation (all typical prices equal) leaves it empty. Days with i + 2n - 1 < N.
void cci(SeriesWork& s, int n)
{
    for (int i = 0; ll(i) + 2 * ll(n) - 1 < s.N; ++i) {
        s.step(i);
        long double devSum = 0;
        for (int j = 0; j < n; ++j)
            devSum += s.get(DayField::CCITypDev, i + j);
        const long double md = devSum / n;
        if (md == 0)
            continue;
        const auto u = at(i);
        const long double tp = (s.C[u] + s.L[u] + s.H[u]) / 3;
        s.putFinal(DayField::CCI, i, (tp - s.get(DayField::CCITypAvg, i)) / (0.015L * md));
    }
}

void computeTypical(SeriesWork& s, const ParamValues& p, int)
{
    cciTypicalPrice(s, p.period(0));
}
void computeIndex(SeriesWork& s, const ParamValues& p, int)
{
    cci(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtDayCCI",
     "DayCCI",
     ParamKind::Period,
     20,
     {0, 9, "CCI", ""},
     {"CCI", 25, "CCIの数値の上限は25です。", 1, "CCIの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::CCITypAvg, OutputKind::Stored},
    {DayField::CCITypDev, OutputKind::Stored},
    {DayField::CCI, OutputKind::Rounded, {"CCI", 21}},
};
constexpr IndicatorStage kStages[] = {
    {1, computeTypical},
    {2, computeIndex},
};

int lookback(const ParamValues& p, DayField output)
{
    const int n = p.period(0);
    return output == DayField::CCI ? 2 * n - 1 : n; // n deviations, the oldest after n days
}

} // namespace

extern const IndicatorDef kCci = {"CCI", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
