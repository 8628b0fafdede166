// Price-based indicators: day and candle rates, moving averages and their deviation, RSI,
// stochastics, the ultimate oscillator, Williams %R, RCI, CCI, DPO and the psychological lines.
// C, O, H, L are the close, open, high and low; day i+1 is the day before day i; the window of
// n days at day i is days i..i+n-1, summed from day i toward older days (WindowSums).

#include "indicators/IndicatorKit.h"
#include "common/NumberText.h"

namespace vorteq::indicators {
// Close against the previous close and against the open, and the two shadows against the candle
// body, in percent. Every day but the oldest.
void dayRates(SeriesWork& s)
{
    const auto& C = s.C;
    const auto& O = s.O;
    const auto& H = s.H;
    const auto& L = s.L;
    const auto z = [&](int day, std::uint8_t which) { return s.zero(day, which); };
    for (int i = 0; i < s.N - 1; ++i) {
        const auto u = at(i);
        s.put(DayField::ZenjituRate, i,
              rateOf(z(i, SeriesWork::kZeroClose), C[u], z(i + 1, SeriesWork::kZeroClose), C[u + 1]));
        s.putFinal(DayField::ToujituRate, i,
                   rateOf(z(i, SeriesWork::kZeroClose), C[u], z(i, SeriesWork::kZeroOpen), O[u]));
        if (C[u] < O[u]) { // falling candle: body from the open down to the close
            s.putFinal(DayField::UpperShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroHigh), H[u], z(i, SeriesWork::kZeroOpen), O[u]));
            s.putFinal(DayField::LowerShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroLow), L[u], z(i, SeriesWork::kZeroClose), C[u]));
        } else {
            s.putFinal(DayField::UpperShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroHigh), H[u], z(i, SeriesWork::kZeroClose), C[u]));
            s.putFinal(DayField::LowerShadowRate, i,
                       rateOf(z(i, SeriesWork::kZeroLow), L[u], z(i, SeriesWork::kZeroOpen), O[u]));
        }
    }
}

// The day's change in percent, truncated toward zero to an integer. Every day but the oldest.
// A zero previous close gives 0 instead of a division by zero.
void integerChangeRate(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const long double prev = s.C[at(i + 1)];
        if (prev == 0) {
            s.putWhole(DayField::ZenjituRateInt, i, 0);
            continue;
        }
        s.putWhole(DayField::ZenjituRateInt, i, truncateToInt64((s.C[at(i)] - prev) / prev * 100));
    }
}

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

// CCI, first part: typical price TP = (C + L + H) / 3; CCITypAvg = mean TP over n days,
// CCITypDev = |TP[i] - CCITypAvg| (the stored average). Days with i + n < N.
void cciTypicalPrice(SeriesWork& s, int n)
{
    if (!(ll(n) < s.N))
        return;
    std::vector<long double> tp(at(s.N));
    for (int d = 0; d < s.N; ++d)
        tp[at(d)] = (s.C[at(d)] + s.L[at(d)] + s.H[at(d)]) / 3;
    // Thirds are not whole numbers: every window is summed afresh.
    WindowSums typical(n, false, [&](int d) { return OneTerm{tp[at(d)]}; });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const long double avg = s.put(DayField::CCITypAvg, i, typical.at(i)[0] / n);
        s.put(DayField::CCITypDev, i, std::fabs(tp[at(i)] - avg));
    }
}

// DPO, first part: mean close over n days. Days with i + n < N.
void dpoAverage(SeriesWork& s, int n)
{
    WindowSums closes(n, s.wholePrices, [&](int d) { return OneTerm{s.C[at(d)]}; });
    for (int i = 0; ll(i) + n < s.N; ++i)
        s.put(DayField::DPOAvg, i, closes.at(i)[0] / n);
}

// Williams %R over n days: (HH - C) / (HH - LL) x 100, 0 at the window's high, 100 at its low;
// 0 for a flat window. Days with i + n < N.
void williamsR(SeriesWork& s, int n)
{
    if (!(ll(n) < s.N))
        return;
    const WindowHighLow window(s, n);
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto [hh, lowest] = window.at(i);
        if (hh - lowest == 0) {
            s.putFinal(DayField::WilR, i, 0);
            continue;
        }
        s.putFinal(DayField::WilR, i, (hh - s.C[at(i)]) / (hh - lowest) * 100);
    }
}

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

// Ultimate oscillator: A1, A2, A3 = pressure sum / range sum over n, 2n and 4n days (all sums
// from day i toward older days); OSI = (4 A1 + 2 A2 + A3) / 7 x 100. A zero range sum writes
// nothing. Days with i + 4n < N.
void ultimateOscillator(SeriesWork& s, int n)
{
    s.computing(2, 1);
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

// CCI: MD = mean of CCITypDev over n days; CCI = (TP[i] - CCITypAvg[i]) / (0.015 x MD). A zero
// mean deviation (all typical prices equal) leaves it empty. Days with i + 2n - 1 < N.
void cci(SeriesWork& s, int n)
{
    s.computing(2, 2);
    for (int i = 0; ll(i) + 2 * ll(n) - 1 < s.N; ++i) {
        s.step(i);
        long double devSum = 0;
        for (int j = 0; j < n; ++j)
            devSum += s.get(DayField::CCITypDev, i + j);
        const long double md = devSum / n;
        if (md == 0)
            continue;
        const auto u = at(i);
        const long double tp = (s.C[u] + s.L[u] + s.H[u]) / 3;
        s.putFinal(DayField::CCI, i, (tp - s.get(DayField::CCITypAvg, i)) / (0.015L * md));
    }
}

// DPO: the close against the DPO average of k = n/2 + 1 (truncated) days earlier.
// Days with i + n + n/2 + 1 < N, n/2 an exact half (10.5 for 21).
void dpo(SeriesWork& s, int n)
{
    s.computing(2, 3);
    const int k = n / 2 + 1;
    for (int i = 0; 2 * (ll(i) + n + 1) + n < 2 * ll(s.N); ++i) {
        s.step(i);
        s.putFinal(DayField::DPO, i, s.C[at(i)] - s.get(DayField::DPOAvg, i + k));
    }
}

// Stochastics %D over n days: sum(C - STC_Low) / sum(STC_High - STC_Low) x 100. A day of the
// window without %K, or a zero range sum, writes nothing. Days with i + n < N.
void stochasticsD(SeriesWork& s, int n)
{
    s.computing(2, 4);
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

namespace {

// RSI with n days. First value on day N-n-1 from the simple means of the n gains and losses; each
// newer day smooths the previous day's stored means: (prev x (n-1) + today's move) / n.
// RSI = up / (up + down) x 100, 0 when nothing moved.
void rsiStep(SeriesWork& s, int r, int d, int n)
{
    (void)r;
    const long long first = ll(s.N) - n - 1;
    if (d > first)
        return;
    long double up = 0;
    long double down = 0;
    if (d == first) {
        long double gains = 0;
        long double losses = 0;
        for (int j = 0; j < n; ++j) {
            const auto u = at(d + j);
            const long double rise = s.C[u] - s.C[u + 1];
            if (rise > 0)
                gains += rise;
            const long double fall = s.C[u + 1] - s.C[u];
            if (fall > 0)
                losses += fall;
        }
        up = s.put(DayField::RSIUpAvg, d, gains / n);
        down = s.put(DayField::RSIDownAvg, d, losses / n);
    } else {
        const auto u = at(d);
        const long double rise = s.C[u] - s.C[u + 1];
        const long double fall = s.C[u + 1] - s.C[u];
        const long double gain = rise > 0 ? rise : 0;
        const long double loss = fall > 0 ? fall : 0;
        up = s.put(DayField::RSIUpAvg, d, (s.get(DayField::RSIUpAvg, d + 1) * (n - 1) + gain) / n);
        down = s.put(DayField::RSIDownAvg, d, (s.get(DayField::RSIDownAvg, d + 1) * (n - 1) + loss) / n);
    }
    s.putFinal(DayField::RSI, d, up + down != 0 ? up / (up + down) * 100 : 0);
}

// Run length of days whose change has the same sign as the day before (0 counts as rising); an
// empty previous run counts as 1. Every day but the two oldest (r >= 3).
void consecutiveDaysStep(SeriesWork& s, int r, int d)
{
    if (r < 3)
        return;
    const long double a = s.get(DayField::ZenjituRate, d);
    const long double b = s.get(DayField::ZenjituRate, d + 1);
    if ((a >= 0 && b >= 0) || (a < 0 && b < 0)) {
        const long double prev = s.has(DayField::RenzokuDays, d + 1) ? s.at(DayField::RenzokuDays, d + 1) : 1;
        s.put(DayField::RenzokuDays, d, prev + 1);
    } else {
        s.put(DayField::RenzokuDays, d, 1);
    }
}

} // namespace

void rsi(SeriesWork& s, int steps, int n)
{
    forEachStep(s, steps, [&](int r, int d) { rsiStep(s, r, d, n); });
}

void consecutiveDays(SeriesWork& s, int steps)
{
    forEachStep(s, steps, [&](int r, int d) { consecutiveDaysStep(s, r, d); });
}

} // namespace vorteq::indicators
