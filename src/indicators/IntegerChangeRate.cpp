// The day's change of the close as a whole percent.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// The day's change in percent, truncated toward zero to an integer. Every day but the oldest.
// A zero previous close gives 0 instead of a division by zero.
void integerChangeRate(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const long double prev = s.C[at(i + 1)];
        if (prev == 0) {
            s.putWhole(DayField::ZenjituRateInt, i, 0);
            continue;
        }
        s.putWhole(DayField::ZenjituRateInt, i, truncateToInt64((s.C[at(i)] - prev) / prev * 100));
    }
}

void compute(SeriesWork& s, const ParamValues&, int)
{
    integerChangeRate(s);
}

constexpr OutputDef kOutputs[] = {
    {DayField::ZenjituRateInt, OutputKind::Whole},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues&, DayField)
{
    return 1; // the day before
}

} // namespace

extern const IndicatorDef kIntegerChangeRate = {"IntegerChangeRate", {}, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
