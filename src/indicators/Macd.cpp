// MACD: the short and long exponential averages of the close, their difference, its signal line
// and the oscillator, computed oldest day first. C is the close; day d+1 is the day before day d.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// The smoothing factors 2 / (period + 1) of the two averages.
struct MacdFactors {
    long double shortAlpha, longAlpha;
};

// MACD with short, long and signal periods. The short average starts on step r = short as the
// mean close of the oldest days and is then smoothed with 2 / (short + 1); the long one likewise
// from r = long; MACD = short - long (stored averages) from r > long; the signal is the simple
// mean of MACD over the signal period from r >= long + signal, and the oscillator MACD - signal.
void macdStep(SeriesWork& s, int r, int d, int shortDays, int longDays, int signalDays,
              const MacdFactors& factors)
{
    const auto mean = [&](DayField f, int days) {
        long double sum = 0;
        for (int j = 0; j < days; ++j)
            sum += f == DayField::EPrice ? s.C[at(d + j)] : s.get(f, d + j);
        return sum / days;
    };
    if (r == shortDays) {
        s.put(DayField::MACShortEMA, d, mean(DayField::EPrice, shortDays));
        return;
    }
    const long double close = s.C[at(d)];
    if (r > shortDays) {
        const long double prev = s.get(DayField::MACShortEMA, d + 1);
        s.put(DayField::MACShortEMA, d, (close - prev) * factors.shortAlpha + prev);
    }
    if (r == longDays)
        s.put(DayField::MACLongEMA, d, mean(DayField::EPrice, longDays));
    if (r > longDays) {
        const long double prev = s.get(DayField::MACLongEMA, d + 1);
        s.put(DayField::MACLongEMA, d, (close - prev) * factors.longAlpha + prev);
        s.put(DayField::MACD, d, s.get(DayField::MACShortEMA, d) - s.get(DayField::MACLongEMA, d));
    }
    if (ll(r) >= ll(longDays) + signalDays) {
        const long double signal = s.put(DayField::MACSignal, d, mean(DayField::MACD, signalDays));
        s.put(DayField::MACDOsc, d, s.get(DayField::MACD, d) - signal);
    }
}

void compute(SeriesWork& s, const ParamValues& p, int steps)
{
    const int shortDays = p.period(0);
    const int longDays = p.period(1);
    const int signalDays = p.period(2);
    const MacdFactors factors{2.0L / (ll(shortDays) + 1), 2.0L / (ll(longDays) + 1)};
    forEachStep(s, steps, [&](int r, int d) { macdStep(s, r, d, shortDays, longDays, signalDays, factors); });
}

constexpr ParamDef kParams[] = {
    {"AmtBuyMACD1",
     "DayMACShort",
     ParamKind::Period,
     12,
     {1, 8, "MACD", "ｼｮｰﾄ"},
     {"ｼｮｰﾄ", 30, "MACDｼｮｰﾄの数値の上限は30です。", 1, "MACDｼｮｰﾄの数値は1以上にしてください。"}},
    {"AmtBuyMACD2",
     "DayMACLong",
     ParamKind::Period,
     26,
     {1, 8, "", "ﾛﾝｸﾞ"},
     {"ﾛﾝｸﾞ", 30, "MACDﾛﾝｸﾞの数値の上限は30です。", 1, "MACDﾛﾝｸﾞの数値は1以上にしてください。",
      ExtraRule::GreaterThanShort, "MACDﾛﾝｸﾞの数値はMACDｼｮｰﾄより大きくする必要があります。"}},
    {"AmtDayMAC_SI",
     "DayMAC_SI",
     ParamKind::Period,
     9,
     {1, 8, "", "ｼｸﾞﾅﾙ"},
     {"ｼｸﾞﾅﾙ", 25, "MACDｼｸﾞﾅﾙの数値の上限は25です。", 1, "MACDｼｸﾞﾅﾙの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::MACShortEMA, OutputKind::Stored},
    {DayField::MACLongEMA, OutputKind::Stored},
    {DayField::MACSignal, OutputKind::Rounded, {"MACD_S", 37}},
    {DayField::MACD, OutputKind::Rounded, {"MACD", 36}},
    {DayField::MACDOsc, OutputKind::Stored},
};
constexpr IndicatorStage kStages[] = {
    {4, compute},
};

int lookback(const ParamValues& p, DayField output)
{
    switch (output) {
    case DayField::MACShortEMA:
        return p.period(0) - 1;
    case DayField::MACLongEMA:
        return p.period(1) - 1;
    case DayField::MACD:
        return p.period(1); // the day after the long average's first
    default:
        return p.period(1) + p.period(2) - 1; // the signal and the oscillator
    }
}

// The short average must be the faster one.
std::optional<std::string> checkParams(const ParamValues& p)
{
    if (p.period(0) < p.period(1))
        return std::nullopt;
    return "MACDのロング期間はショート期間より大きくしてください: AmtBuyMACD1 = " +
           std::to_string(p.period(0)) + ", AmtBuyMACD2 = " + std::to_string(p.period(1));
}

} // namespace

extern const IndicatorDef kMacd = {"MACD", kParams, kOutputs, kStages, lookback, checkParams};

} // namespace vorteq::indicators
