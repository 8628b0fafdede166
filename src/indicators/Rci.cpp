// Rank correlation index over n days: the ranks of the closes against the ranks of the dates.
// C is the close; the window of n days at day i is days i..i+n-1.

#include "indicators/Indicator.h"
#include "indicators/IndicatorKit.h"

namespace vorteq::indicators {
namespace {

// RCI over n days: the date rank of day i+j is j+1; the price rank starts at n, drops by 1 for
// each other day of the window with a strictly lower close, and by 1/t more when t other days
// share the close (two tied for the top both rank 1, three rank 2.5). D = sum of squared rank
// differences; RCI = (1 - 6D / (n(n^2 - 1))) x 100. A one-day window has no rank correlation and
// stays empty. Days with i + n < N.
// The counts of lower and equal closes are kept per day while the window moves: only the day
// that leaves and the day that joins change them.
void rci(SeriesWork& s, int n)
{
    const long double nl = n;
    const long double denominator = nl * (nl * nl - 1);
    if (denominator == 0 || !(ll(n) < s.N))
        return;
    const auto& C = s.C;
    std::vector<int> lower(at(s.N)); // closes of the window below the day's close
    std::vector<int> equal(at(s.N)); // closes of the window equal to it, the day itself included
    const auto countAgainstWindow = [&](int day, int i) {
        int below = 0;
        int same = 0;
        for (int m = 0; m < n; ++m) {
            const long double other = C[at(i + m)];
            below += other < C[at(day)];
            same += other == C[at(day)];
        }
        lower[at(day)] = below;
        equal[at(day)] = same;
    };
    for (int i = 0; ll(i) + n < s.N; ++i) {
        if (i == 0 || !s.slideWindows) {
            for (int j = 0; j < n; ++j)
                countAgainstWindow(i + j, i);
        } else {
            const long double left = C[at(i - 1)];
            const int joined = i + n - 1;
            const long double added = C[at(joined)];
            for (int day = i; day < joined; ++day) {
                const long double c = C[at(day)];
                lower[at(day)] += (added < c) - (left < c);
                equal[at(day)] += (added == c) - (left == c);
            }
            countAgainstWindow(joined, i);
        }
        long double d = 0;
        for (int j = 0; j < n; ++j) {
            const int ties = equal[at(i + j)] - 1;
            long double priceRank = n - lower[at(i + j)];
            if (ties > 0)
                priceRank -= 1.0L / ties;
            const long double diff = priceRank - (j + 1);
            d += diff * diff;
        }
        s.putFinal(DayField::RCI, i, (1 - 6 * d / denominator) * 100);
    }
}

void compute(SeriesWork& s, const ParamValues& p, int)
{
    rci(s, p.period(0));
}

constexpr ParamDef kParams[] = {
    {"AmtBuyRCI1",
     "DayRCI",
     ParamKind::Period,
     9,
     {0, 8, "RCI", ""},
     {"RCI", 50, "RCIの数値の上限は50です。", 1, "RCIの数値は1以上にしてください。", ExtraRule::None, "",
      true}},
};
constexpr OutputDef kOutputs[] = {
    {DayField::RCI, OutputKind::Rounded, {"RCI", 20}},
};
constexpr IndicatorStage kStages[] = {
    {1, compute},
};

int lookback(const ParamValues& p, DayField)
{
    return p.period(0); // a window of n days and the day before it
}

} // namespace

extern const IndicatorDef kRci = {"RCI", kParams, kOutputs, kStages, lookback};

} // namespace vorteq::indicators
