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
// that leaves and the day that joins change them. Closes are compared as given, or as doubles
// when they are whole numbers below 2^53 (SeriesWork::wholePrices), which a double holds exactly;
// then too a window without ties has whole ranks, and its D, a sum of squares of small whole
// numbers, is summed in integers: the same value the extended sum of the same terms gives.
template <class Close> void rciOver(SeriesWork& s, int n, const Close* C)
{
    const long double nl = n;
    const long double denominator = nl * (nl * nl - 1);
    std::vector<int> lower(at(s.N)); // closes of the window below the day's close
    std::vector<int> equal(at(s.N)); // closes of the window equal to it, the day itself included
    const auto countAgainstWindow = [&](int day, int i) {
        int below = 0;
        int same = 0;
        for (int m = 0; m < n; ++m) {
            const Close other = C[at(i + m)];
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
            const Close left = C[at(i - 1)];
            const int joined = i + n - 1;
            const Close added = C[at(joined)];
            for (int day = i; day < joined; ++day) {
                const Close c = C[at(day)];
                lower[at(day)] += (added < c) - (left < c);
                equal[at(day)] += (added == c) - (left == c);
            }
            countAgainstWindow(joined, i);
        }
        long double d = 0;
        bool tied = true;
        if (s.wholePrices) {
            std::int64_t squares = 0;
            int ties = 0;
            for (int j = 0; j < n; ++j) {
                ties += equal[at(i + j)] - 1;
                const std::int64_t diff = n - lower[at(i + j)] - (j + 1);
                squares += diff * diff;
            }
            tied = ties != 0;
            d = static_cast<long double>(squares);
        }
        if (tied) {
            d = 0;
            for (int j = 0; j < n; ++j) {
                const int ties = equal[at(i + j)] - 1;
                long double priceRank = n - lower[at(i + j)];
                if (ties > 0)
                    priceRank -= 1.0L / ties;
                const long double diff = priceRank - (j + 1);
                d += diff * diff;
            }
        }
        s.putFinal(DayField::RCI, i, (1 - 6 * d / denominator) * 100);
    }
}

void rci(SeriesWork& s, int n)
{
    const long double nl = n;
    if (nl * (nl * nl - 1) == 0 || !(ll(n) < s.N))
        return;
    if (!s.wholePrices) {
        rciOver(s, n, s.C.data());
        return;
    }
    std::vector<double>& closes = s.wholeCloses;
    closes.assign(s.C.begin(), s.C.end());
    rciOver(s, n, closes.data());
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
