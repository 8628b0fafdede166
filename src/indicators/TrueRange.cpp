// True range: the day's range widened to the previous close.
// C, H, L are the close, high and low; day i+1 is the day before day i.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// True range: with P the previous close, the largest of H - L, H - P and P - L.
// Every day but the oldest.
void trueRange(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const long double p = s.C[at(i + 1)];
        long double tr = s.H[at(i)] - s.L[at(i)];
        if (s.H[at(i)] - p > tr)
            tr = s.H[at(i)] - p;
        if (p - s.L[at(i)] > tr)
            tr = p - s.L[at(i)];
        s.put(DayField::TrueRange, i, tr);
    }
}

void compute(SeriesWork& s, const ParamValues&, int)
{
    trueRange(s);
}

constexpr OutputDef kOutputs[] = {
    {DayField::TrueRange, OutputKind::Stored},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues&, DayField)
{
    return 1; // the day before
}

} // namespace

extern const IndicatorDef kTrueRange = {"TrueRange", {}, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
