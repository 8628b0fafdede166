// Stochastics: %K over the K period with the window's high and low (pass 1), %D over the D period
// (pass 2) and slow %D, the mean of %D over the SD period (pass 3). C, H, L are the close, high and
// low; the window of n days at day i is days i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Stochastics %K over n days: (C - LL) / (HH - LL) x 100 with the window's highest high and
// lowest low, kept for %D. A flat window writes nothing. Days with i + n < N.
void stochasticsK(SeriesWork& s, int n)
{
    if (!(ll(n) < s.N))
        return;
    const WindowHighLow window(s, n);
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto [hh, lowest] = window.at(i);
        if (hh - lowest == 0)
            continue;
        s.putFinal(DayField::STC_K, i, (s.C[at(i)] - lowest) / (hh - lowest) * 100);
        s.put(DayField::STC_High, i, hh);
        s.put(DayField::STC_Low, i, lowest);
    }
}

// Stochastics %D over n days: sum(C - STC_Low) / sum(STC_High - STC_Low) x 100. A day of the
// window without %K, or a zero range sum, writes nothing. Days with i + n < N.
void stochasticsD(SeriesWork& s, int n)
{
    for (int i = 0; ll(i) + n < s.N; ++i) {
        s.step(i);
        long double u = 0;
        long double r = 0;
        bool complete = true;
        for (int j = 0; j < n && complete; ++j) {
            complete = s.has(DayField::STC_High, i + j);
            if (!complete)
                break;
            const long double low = s.get(DayField::STC_Low, i + j);
            u += s.C[at(i + j)] - low;
            r += s.get(DayField::STC_High, i + j) - low;
        }
        if (!complete || r == 0)
            continue;
        s.put(DayField::STC_D, i, u / r * 100);
    }
}

// Slow %D: mean of %D over n days; nothing when a day of the window has no %D.
// Days with i + n < N.
void stochasticsSlowD(SeriesWork& s, int n)
{
    meanOverCompleteWindows(s, DayField::STC_D, DayField::STC_SD, n);
}

void computeK(SeriesWork& s, const ParamValues& p, int)
{
    stochasticsK(s, p.period(0));
}
void computeD(SeriesWork& s, const ParamValues& p, int)
{
    stochasticsD(s, p.period(1));
}
void computeSlowD(SeriesWork& s, const ParamValues& p, int)
{
    stochasticsSlowD(s, p.period(2));
}

constexpr ParamDef kParams[] = {
    {"AmtBuySTK1",
     "DaySTC_K",
     ParamKind::Period,
     9,
     {1, 1, "ｽﾄｷｬｽﾃｨｸｽ", "%K"},
     {"ｽﾄｷｬｽﾃｨｸｽ%K", 25, "ｽﾄｷｬｽﾃｨｸｽ%Kの数値の上限は25です。", 1, "ｽﾄｷｬｽﾃｨｸｽ%Kの数値は1以上にしてください。"}},
    {"AmtDaySTC_D",
     "DaySTC_D",
     ParamKind::Period,
     5,
     {1, 1, "", "%D"},
     {"%D", 15, "ｽﾄｷｬｽﾃｨｸｽ%Dの数値の上限は15です。", 1, "ｽﾄｷｬｽﾃｨｸｽ%Dの数値は1以上にしてください。"}},
    {"AmtDaySTC_SD",
     "DaySTC_SD",
     ParamKind::Period,
     3,
     {1, 1, "", "%SD"},
     {"%SD", 15, "ｽﾄｷｬｽﾃｨｸｽ%SDの数値の上限は15です。", 1, "ｽﾄｷｬｽﾃｨｸｽ%SDの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::STC_K, OutputKind::Rounded, {"STC_K", 14}},
    {DayField::STC_High, OutputKind::Stored},
    {DayField::STC_Low, OutputKind::Stored},
    {DayField::STC_D, OutputKind::Rounded, {"STC_D", 15}},
    {DayField::STC_SD, OutputKind::Rounded, {"STC_SD", 16}},
};
constexpr IndicatorStage kStages[] = {
    {1, computeK},
    {2, computeD},
    {3, computeSlowD},
};

int lookback(const ParamValues& p, DayField output)
{
    // Each line needs the one before on every day of its window.
    const int k = p.period(0);
    switch (output) {
    case DayField::STC_D:
        return k + p.period(1) - 1;
    case DayField::STC_SD:
        return k + p.period(1) + p.period(2) - 2;
    default:
        return k;
    }
}

} // namespace

extern const IndicatorDef kStochastics = {"Stochastics", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
