// The four simple moving averages of the close (lines A to D) and the close's deviation from each.
// C is the close; the window of p days at day i is days i..i+p-1, summed from day i toward older
// days (WindowSums).

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

#include <iterator>

namespace vorteq::indicators {
namespace {

// Simple moving average of the close over p days, and the close's deviation from it in percent
// (0 when the close's or the average's text is "0"). Days with i + p <= N.
void movingAverage(SeriesWork& s, int p, DayField avgField, DayField kairiField)
{
    WindowSums closes(p, s.wholePrices, [&](int d) { return OneTerm{s.C[at(d)]}; });
    for (int i = 0; ll(i) + p <= s.N; ++i) {
        const long double avg = s.put(avgField, i, closes.at(i)[0] / p);
        const long double close = s.C[at(i)];
        s.putFinal(kairiField, i, rateOf(s.zero(i, SeriesWork::kZeroClose), close, avg == 0, avg));
    }
}

// The average and deviation fields of line k (A = 0).
constexpr DayField kAverage[] = {DayField::IdoAvg1, DayField::IdoAvg2, DayField::IdoAvg3, DayField::IdoAvg4};
constexpr DayField kDeviation[] = {DayField::Kairi1, DayField::Kairi2, DayField::Kairi3, DayField::Kairi4};

void compute(SeriesWork& s, const ParamValues& p, int)
{
    for (std::size_t k = 0; k < std::size(kAverage); ++k)
        movingAverage(s, p.period(k), kAverage[k], kDeviation[k]);
}

constexpr ParamDef kParams[] = {
    {"AmtBuyIdo",
     "DayIdo1",
     ParamKind::Period,
     5,
     {0, 1, "移動平均線A", ""},
     {"移動平均線A", 50, "移動平均の数値の上限は50です。", 1, "移動平均の数値は1以上にしてください。"}},
    {"AmtBuyKairi1",
     "DayIdo2",
     ParamKind::Period,
     15,
     {0, 2, "移動平均線B", ""},
     {"移動平均線B", 50, "移動平均の数値の上限は50です。", 1, "移動平均の数値は1以上にしてください。"}},
    {"AmtBuyCloss1",
     "DayIdo3",
     ParamKind::Period,
     25,
     {0, 3, "移動平均線C", ""},
     {"移動平均線C", 50, "移動平均の数値の上限は50です。", 1, "移動平均の数値は1以上にしてください。"}},
    {"AmtBuyCloss2",
     "DayIdo4",
     ParamKind::Period,
     50,
     {0, 4, "移動平均線D", ""},
     {"移動平均線D", 50, "移動平均の数値の上限は50です。", 1, "移動平均の数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::IdoAvg1, OutputKind::Rounded, {"MA_05", 6}},
    {DayField::Kairi1, OutputKind::Rounded, {"MARATIO_05", 10}},
    {DayField::IdoAvg2, OutputKind::Rounded, {"MA_15", 7}},
    {DayField::Kairi2, OutputKind::Rounded, {"MARATIO_15", 11}},
    {DayField::IdoAvg3, OutputKind::Rounded, {"MA_25", 8}},
    {DayField::Kairi3, OutputKind::Rounded, {"MARATIO_25", 12}},
    {DayField::IdoAvg4, OutputKind::Rounded, {"MA_50", 9}},
    {DayField::Kairi4, OutputKind::Rounded, {"MARATIO_50", 13}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField output)
{
    for (std::size_t k = 0; k < std::size(kAverage); ++k)
        if (output == kAverage[k] || output == kDeviation[k])
            return p.period(k) - 1; // the window ends on the oldest day
    return 0;
}

} // namespace

extern const IndicatorDef kMovingAverages = {"MovingAverages", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
