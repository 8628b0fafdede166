// The run of days whose change keeps its sign, computed oldest day first.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Run length of days whose change has the same sign as the day before (0 counts as rising); an
// empty previous run counts as 1. Every day but the two oldest (r >= 3).
void consecutiveDaysStep(SeriesWork& s, int r, int d)
{
    if (r < 3)
        return;
    const long double a = s.get(DayField::ZenjituRate, d);
    const long double b = s.get(DayField::ZenjituRate, d + 1);
    if ((a >= 0 && b >= 0) || (a < 0 && b < 0)) {
        const long double prev = s.has(DayField::RenzokuDays, d + 1) ? s.at(DayField::RenzokuDays, d + 1) : 1;
        s.put(DayField::RenzokuDays, d, prev + 1);
    } else {
        s.put(DayField::RenzokuDays, d, 1);
    }
}

void compute(SeriesWork& s, const ParamValues&, int steps)
{
    forEachStep(s, steps, [&](int r, int d) { consecutiveDaysStep(s, r, d); });
}

constexpr OutputDef kOutputs[] = {
    {DayField::RenzokuDays, OutputKind::Stored, {"RENZOKU", 5, ColumnNumber::Integer}},
};
constexpr IndicatorStage kStages[] = {
    {4, compute},
};

int lookback(const ParamValues&, DayField)
{
    return 2; // two changes, so three days
}

} // namespace

extern const IndicatorDef kConsecutiveDays = {"Renzoku", {}, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
