// Psychological line over n days: the share of rising days. C is the close; day i+1 is the day
// before day i.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Psychological line: days of the n with a close strictly above the previous close, / n x 100.
// Days with i + n < N.
void psychologicalLine(SeriesWork& s, int n)
{
    const auto rose = [&](int d) { return s.C[at(d)] > s.C[at(d + 1)] ? 1 : 0; };
    int rising = 0;
    for (int i = 0; ll(i) + n < s.N; ++i) {
        if (i == 0 || !s.slideWindows) {
            rising = 0;
            for (int j = 0; j < n; ++j)
                rising += rose(i + j);
        } else {
            rising += rose(i + n - 1) - rose(i - 1);
        }
        s.putFinal(DayField::PSY, i, static_cast<long double>(rising) / n * 100);
    }
}

void compute(SeriesWork& s, const ParamValues& p, int)
{
    psychologicalLine(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtBuyPSY1",
     "DayPSY",
     ParamKind::Period,
     12,
     {1, 9, "ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", ""},
     {"ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", 25, "ｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値の上限は25です。", 1, "ｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::PSY, OutputKind::Rounded, {"SAI_A", 38}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField)
{
    return p.period(0); // a window of n days and the day before it
}

} // namespace

extern const IndicatorDef kPsychologicalLine = {"PSY", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
