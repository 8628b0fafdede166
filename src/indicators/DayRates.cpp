// Day and candle rates: the close against the previous close and against the open, and the two
// shadows against the candle body, in percent.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Close against the previous close and against the open, and the two shadows against the candle
// body, in percent. Every day but the oldest.
void dayRates(SeriesWork& s)
{
    const auto& C = s.C;
    const auto& O = s.O;
    const auto& H = s.H;
    const auto& L = s.L;
    const auto z = [&](int day, std::uint8_t which) { return s.zero(day, which); };
    for (int i = 0; i < s.N - 1; ++i) {
        const auto u = at(i);
        s.put(DayField::ZenjituRate, i,
              rateOf(z(i, SeriesWork::kZeroClose), C[u], z(i + 1, SeriesWork::kZeroClose), C[u + 1]));
        s.putFinal(DayField::ToujituRate, i,
                   rateOf(z(i, SeriesWork::kZeroClose), C[u], z(i, SeriesWork::kZeroOpen), O[u]));
        if (C[u] < O[u]) { // falling candle: body from the open down to the close
            s.putFinal(DayField::UpperShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroHigh), H[u], z(i, SeriesWork::kZeroOpen), O[u]));
            s.putFinal(DayField::LowerShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroLow), L[u], z(i, SeriesWork::kZeroClose), C[u]));
        } else {
            s.putFinal(DayField::UpperShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroHigh), H[u], z(i, SeriesWork::kZeroClose), C[u]));
            s.putFinal(DayField::LowerShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroLow), L[u], z(i, SeriesWork::kZeroOpen), O[u]));
        }
    }
}

void compute(SeriesWork& s, const ParamValues&, int)
{
    dayRates(s);
}

constexpr OutputDef kOutputs[] = {
    {DayField::ZenjituRate, OutputKind::Rounded, {"PY_RANGE", 1}},
    {DayField::ToujituRate, OutputKind::Rounded, {"PT_RANGE", 0}},
    {DayField::UpperShadowRate, OutputKind::Rounded, {"H_RANGE", 2}},
    {DayField::LowerShadowRate, OutputKind::Rounded, {"L_RANGE", 3}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues&, DayField)
{
    return 1; // the day before
}

} // namespace

extern const IndicatorDef kDayRates = {"DayRates", {}, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
