// Ultimate oscillator: buying pressure and true range of each day (pass 1), then the weighted
// ratios over n, 2n and 4n days (pass 2). C, H, L are the close, high and low; day i+1 is the day
// before day i; the window of n days at day i is days i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// Ultimate oscillator inputs: with P the previous close, true low = min(L, P), true high =
// max(H, P); pressure = C - true low, range = true high - true low. Every day but the oldest.
void ultimateOscillatorInputs(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const auto u = at(i);
        const long double p = s.C[u + 1];
        const long double trueLow = s.L[u] < p ? s.L[u] : p;
        const long double trueHigh = s.H[u] > p ? s.H[u] : p;
        s.put(DayField::OSIPressure, i, s.C[u] - trueLow);
        s.put(DayField::OSIRange, i, trueHigh - trueLow);
    }
}

// Ultimate oscillator: A1, A2, A3 = pressure sum / range sum over n, 2n and 4n days (all sums
// from day i toward older days); OSI = (4 A1 + 2 A2 + A3) / 7 x 100. A zero range sum writes
// nothing. Days with i + 4n < N.
void ultimateOscillator(SeriesWork& s, int n)
{
    const auto ratio = [](long double pressure, long double range) {
        return range != 0 ? pressure / range : 0;
    };
    const auto write = [&](int i, const long double(&pressure)[3], const long double(&range)[3]) {
        if (range[0] == 0 || range[1] == 0 || range[2] == 0)
            return;
        const long double a1 = ratio(pressure[0], range[0]);
        const long double a2 = ratio(pressure[1], range[1]);
        const long double a3 = ratio(pressure[2], range[2]);
        s.putFinal(DayField::OSI, i, (4 * a1 + 2 * a2 + a3) / 7 * 100);
    };
    if (!(4 * ll(n) < s.N))
        return; // no day has the 4n days the longest window needs
    if (s.wholePrices) {
        // Whole pressures and ranges: three windows, each carried from day to day.
        const auto term = [&](int d) {
            return std::array<long double, 2>{s.get(DayField::OSIPressure, d), s.get(DayField::OSIRange, d)};
        };
        WindowSums one(n, true, term), two(2 * n, true, term), four(4 * n, true, term);
        for (int i = 0; ll(i) + 4 * ll(n) < s.N; ++i) {
            s.step(i);
            const auto& a = one.at(i);
            const auto& b = two.at(i);
            const auto& c = four.at(i);
            const long double pressure[3] = {a[0], b[0], c[0]};
            const long double range[3] = {a[1], b[1], c[1]};
            write(i, pressure, range);
        }
        return;
    }
    // One sum over 4n days, read off after n and 2n days.
    for (int i = 0; ll(i) + 4 * ll(n) < s.N; ++i) {
        s.step(i);
        long double pressureSum = 0;
        long double rangeSum = 0;
        long double pressure[3] = {};
        long double range[3] = {};
        int k = 0;
        for (int j = 0; j < 4 * n; ++j) {
            pressureSum += s.get(DayField::OSIPressure, i + j);
            rangeSum += s.get(DayField::OSIRange, i + j);
            if (j + 1 == n || j + 1 == 2 * n || j + 1 == 4 * n) {
                pressure[k] = pressureSum;
                range[k] = rangeSum;
                ++k;
            }
        }
        write(i, pressure, range);
    }
}

void computeInputs(SeriesWork& s, const ParamValues&, int)
{
    ultimateOscillatorInputs(s);
}
void computeOscillator(SeriesWork& s, const ParamValues& p, int)
{
    ultimateOscillator(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtDayOSI",
     "DayOSI",
     ParamKind::Period,
     7,
     {0, 6, "U-OSI", ""},
     {"U-OSI", 15, "OSIの数値の上限は15です。", 1, "OSIの数値は1以上にしてください。"}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::OSIRange, OutputKind::Stored},
    {DayField::OSIPressure, OutputKind::Stored},
    {DayField::OSI, OutputKind::Rounded, {"U_OSI", 18}},
};
constexpr IndicatorStage kStages[] = {
    {1, computeInputs},
    {2, computeOscillator},
};

int lookback(const ParamValues& p, DayField output)
{
    return output == DayField::OSI ? 4 * p.period(0) : 1;
}

} // namespace

extern const IndicatorDef kUltimateOscillator = {"U-OSI", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
