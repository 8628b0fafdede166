// The volume against the previous day's, in percent and as a whole percent.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Volume against the previous day's, in percent (0 when either text is "0"), and the same
// truncated to an integer (0 when either volume is zero). Every day but the oldest.
void volumeRates(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const long double v = s.V[at(i)];
        const long double prev = s.V[at(i + 1)];
        s.putFinal(
            DayField::VlmRate, i,
            rateOf(s.zero(i, SeriesWork::kZeroVolume), v, s.zero(i + 1, SeriesWork::kZeroVolume), prev));
        if (v != 0 && prev != 0)
            s.putWhole(DayField::VlmRateInt, i, truncateToInt64((v - prev) / prev * 100));
        else
            s.putWhole(DayField::VlmRateInt, i, 0);
    }
}

void compute(SeriesWork& s, const ParamValues&, int)
{
    volumeRates(s);
}

constexpr OutputDef kOutputs[] = {
    {DayField::VlmRate, OutputKind::Rounded, {"V_RANGE", 4}},
    {DayField::VlmRateInt, OutputKind::Whole},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues&, DayField)
{
    return 1; // the day before
}

} // namespace

extern const IndicatorDef kVolumeRates = {"VolumeRates", {}, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
