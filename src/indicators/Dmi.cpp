// Directional movement index: the directional movements (pass 1), +DI, -DI and DX over n days
// (pass 2) and ADX, their mean (pass 3). C, H, L are the close, high and low; day i+1 is the day
// before day i; the window of n days at day i is days i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Directional movement: up = H - previous H, down = previous L - L; the larger one counts when it
// is the strictly larger, nothing when both are negative or equal. Every day but the oldest.
void directionalMovement(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const long double up = s.H[at(i)] - s.H[at(i + 1)];
        const long double down = s.L[at(i + 1)] - s.L[at(i)];
        long double plus = 0;
        long double minus = 0;
        if (!(up < 0 && down < 0)) {
            if (up > down)
                plus = up;
            else if (down > up)
                minus = down;
        }
        s.put(DayField::PlusDM, i, plus);
        s.put(DayField::MinusDM, i, minus);
    }
}

// +DI and -DI over n days: (sum of DM / n) / (sum of true range / n) x 100; nothing when the mean
// true range is 0. DX = |+DI - -DI| / (+DI + -DI) x 100 from the stored DI, 0 when both are 0.
// Days with i + n < N.
void directionalIndex(SeriesWork& s, int n)
{
    WindowSums moves(n, s.wholePrices, [&](int d) {
        return std::array<long double, 3>{s.get(DayField::TrueRange, d), s.get(DayField::PlusDM, d),
                                          s.get(DayField::MinusDM, d)};
    });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        s.step(i);
        const auto& [tr, plus, minus] = moves.at(i);
        const long double atr = tr / n;
        if (atr == 0)
            continue;
        const long double plusDI = s.put(DayField::PlusDI, i, plus / n / atr * 100);
        const long double minusDI = s.put(DayField::MinusDI, i, minus / n / atr * 100);
        const long double sum = plusDI + minusDI;
        s.put(DayField::DX, i, sum == 0 ? 0 : std::fabs(plusDI - minusDI) / sum * 100);
    }
}

// ADX: mean DX over n days; nothing when a day of the window has no DX (so the first ADX is on
// the day with 2n - 1 older days). Days with i + n < N.
void adx(SeriesWork& s, int n)
{
    meanOverCompleteWindows(s, DayField::DX, DayField::ADX, n);
}

void computeMovement(SeriesWork& s, const ParamValues&, int)
{
    directionalMovement(s);
}
void computeIndex(SeriesWork& s, const ParamValues& p, int)
{
    directionalIndex(s, p.period(0));
}
void computeAdx(SeriesWork& s, const ParamValues& p, int)
{
    adx(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtBuyDMI",
     "DayDMI",
     ParamKind::Period,
     14,
     {1, 7, "DMI", ""},
     {"DMI", 25, "DMIの数値の上限は25です。", 1, "DMIの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::PlusDM, OutputKind::Stored},
    {DayField::MinusDM, OutputKind::Stored},
    {DayField::PlusDI, OutputKind::Rounded, {"DMI_P", 33}},
    {DayField::MinusDI, OutputKind::Rounded, {"DMI_M", 34}},
    {DayField::DX, OutputKind::Stored},
    {DayField::ADX, OutputKind::Rounded, {"DMI_ADX", 35}},
};
constexpr IndicatorStage kStages[] = {
    {1, computeMovement},
    {2, computeIndex},
    {3, computeAdx},
};

int lookback(const ParamValues& p, DayField output)
{
    const int n = p.period(0);
    switch (output) {
    case DayField::PlusDM:
    case DayField::MinusDM:
        return 1;
    case DayField::ADX:
        return 2 * n - 1; // n days of DX, the oldest with n days before it
    default:
        return n;
    }
}

} // namespace

extern const IndicatorDef kDmi = {"DMI", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
