// Parabolic stop-and-reverse, computed oldest day first. H, L are the high and low; day d+1 is the
// day before day d.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Parabolic stop-and-reverse. Starts long on the second-oldest day (step 2): SAR = its low,
// extreme point = the oldest day's high, factor = the step. Each later day moves the stop
// SAR = SAR' + AF' (EP' - SAR'); a low at or below it (long) or a high at or above it (short)
// reverses to the old extreme point; otherwise a new extreme (equality counts) raises the factor
// by a step while the previous factor is below the limit.
void parabolicStep(SeriesWork& s, int r, int d, long double afStep, long double afLimit)
{
    if (r < 2)
        return;
    if (r == 2) {
        s.put(DayField::ParaboPos, d, 0);
        s.put(DayField::ParaboSAR, d, s.L[at(d)]);
        s.put(DayField::ParaboEp, d, s.H[at(d + 1)]);
        s.put(DayField::ParaboAf, d, afStep);
        return;
    }
    const long double prevAf = s.get(DayField::ParaboAf, d + 1);
    const long double prevSar = s.get(DayField::ParaboSAR, d + 1);
    const long double prevEp = s.get(DayField::ParaboEp, d + 1);
    const bool wasLong = s.get(DayField::ParaboPos, d + 1) == 0;
    const long double high = s.H[at(d)];
    const long double low = s.L[at(d)];

    long double sar = prevSar + prevAf * (prevEp - prevSar);
    long double ep = prevEp;
    long double af = prevAf;
    int position = 0;
    const auto grow = [&] { return prevAf < afLimit ? prevAf + afStep : prevAf; };
    if (wasLong) {
        if (low <= sar) {
            position = 1;
            sar = prevEp;
            ep = low;
            af = afStep;
        } else if (high >= prevEp) {
            ep = high;
            af = grow();
        }
    } else {
        position = 1;
        if (high >= sar) {
            position = 0;
            sar = prevEp;
            ep = high;
            af = afStep;
        } else if (low <= prevEp) {
            ep = low;
            af = grow();
        }
    }
    s.put(DayField::ParaboSAR, d, sar);
    s.put(DayField::ParaboPos, d, position);
    s.put(DayField::ParaboEp, d, ep);
    s.put(DayField::ParaboAf, d, af);
}

void compute(SeriesWork& s, const ParamValues& p, int steps)
{
    const long double afStep = p.factor(0);
    const long double afLimit = p.factor(1);
    forEachStep(s, steps, [&](int r, int d) { parabolicStep(s, r, d, afStep, afLimit); });
}

constexpr ParamDef kParams[] = {
    {"AmtDayParaboAf",
     "ParaboAfStep",
     ParamKind::Factor,
     0.02L,
     {1, 2, "ﾊﾟﾗﾎﾞﾘｯｸ", "加速因子初期値"},
     {"加速因子初期値", 1, "加速因子の数値の上限は1です。", 0, ""}},
    {"AmtDayParaboLim",
     "ParaboAfLim",
     ParamKind::Factor,
     2.0L,
     {1, 2, "", "上限"},
     {"上限", 3, "加速因子の数値の上限は3です。", 0, ""}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::ParaboAf, OutputKind::Stored},
    {DayField::ParaboPos, OutputKind::Stored},
    {DayField::ParaboEp, OutputKind::Stored},
    {DayField::ParaboSAR, OutputKind::Rounded, {"PAR_SAR", 24}},
};
constexpr IndicatorStage kStages[] = {
    {4, compute},
};

int lookback(const ParamValues&, DayField)
{
    return 1; // starts on the second-oldest day
}

} // namespace

extern const IndicatorDef kParabolic = {"Parabolic", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
