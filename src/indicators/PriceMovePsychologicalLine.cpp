// Price-move psychological line over n days: the share of the rises in all moves of the close.
// C is the close; day i+1 is the day before day i.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Price-move psychological line: with g the day's change, sum of the rises / sum of |g| x 100;
// 0 when nothing moved. Days with i + n < N.
void priceMovePsychologicalLine(SeriesWork& s, int n)
{
    WindowSums moves(n, s.wholePrices, [&](int d) {
        const long double g = s.C[at(d)] - s.C[at(d + 1)];
        return std::array<long double, 2>{g > 0 ? g : 0.0L, std::fabs(g)};
    });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto& [up, total] = moves.at(i);
        s.putFinal(DayField::MPSY, i, total != 0 ? up / total * 100 : 0);
    }
}

void compute(SeriesWork& s, const ParamValues& p, int)
{
    priceMovePsychologicalLine(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtBuyMPSY1",
     "DayMPSY",
     ParamKind::Period,
     12,
     {1, 10, "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", ""},
     {"値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", 25, "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値の上限は25です。", 1,
      "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::MPSY, OutputKind::Rounded, {"SAI_B", 39}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField)
{
    return p.period(0); // a window of n days and the day before it
}

} // namespace

extern const IndicatorDef kPriceMovePsychologicalLine = {"MPSY", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
