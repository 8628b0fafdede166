// Volume, volatility, band and direction indicators: true range, volume rates and ratios, A and B
// ratios, Bollinger bands, DMI and ADX, MACD, the parabolic stop-and-reverse and Wilder's
// volatility system. C, O, H, L, V are the close, open, high, low and volume; day i+1 is the day
// before day i; the window of n days at day i is days i..i+n-1, summed toward older days.

#include "indicators/IndicatorKit.h"
#include "common/NumberText.h"

#include <algorithm>

namespace vorteq::indicators {
// True range: with P the previous close, the largest of H - L, H - P and P - L.
// Every day but the oldest.
void trueRange(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const long double p = s.C[at(i + 1)];
        long double tr = s.H[at(i)] - s.L[at(i)];
        if (s.H[at(i)] - p > tr)
            tr = s.H[at(i)] - p;
        if (p - s.L[at(i)] > tr)
            tr = p - s.L[at(i)];
        s.put(DayField::TrueRange, i, tr);
    }
}

// Volume against the previous day's, in percent (0 when either text is "0"), and the same
// truncated to an integer (0 when either volume is zero). Every day but the oldest.
void volumeRates(SeriesWork& s)
{
    for (int i = 0; i < s.N - 1; ++i) {
        const long double v = s.V[at(i)];
        const long double prev = s.V[at(i + 1)];
        s.putFinal(
            DayField::VlmRate, i,
            rateOf(s.zero(i, SeriesWork::kZeroVolume), v, s.zero(i + 1, SeriesWork::kZeroVolume), prev));
        if (v != 0 && prev != 0)
            s.putWhole(DayField::VlmRateInt, i, truncateToInt64((v - prev) / prev * 100));
        else
            s.putWhole(DayField::VlmRateInt, i, 0);
    }
}

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

// Bollinger bands over n days: mean m of C, population deviation sd = sqrt(mean of C^2 - m^2)
// (a variance rounded below zero counts as 0); bands m +- sd and m +- 2 sd. Days with i + n < N.
void bollingerBands(SeriesWork& s, int n)
{
    WindowSums closes(n, s.wholeSquares, [&](int d) {
        const long double c = s.C[at(d)];
        return std::array<long double, 2>{c, c * c};
    });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto& [sum, sumSquares] = closes.at(i);
        const long double m = sum / n;
        long double variance = sumSquares / n - m * m;
        if (variance < 0)
            variance = 0;
        const long double sd = std::sqrt(variance);
        s.putFinal(DayField::VolinPlus1, i, m + sd);
        s.putFinal(DayField::VolinMinus1, i, m - sd);
        s.putFinal(DayField::VolinPlus2, i, m + 2 * sd);
        s.putFinal(DayField::VolinMinus2, i, m - 2 * sd);
    }
}

// A ratio = sum(H - O) / sum(O - L) x 100 and B ratio = sum(H - P) / sum(P - L) x 100 over n days,
// P the previous close; 0 when the denominator is 0. Days with i + n < N.
void abRatio(SeriesWork& s, int n)
{
    WindowSums spans(n, s.wholePrices, [&](int d) {
        const auto u = at(d);
        const long double p = s.C[u + 1];
        return std::array<long double, 4>{s.H[u] - s.O[u], s.O[u] - s.L[u], s.H[u] - p, p - s.L[u]};
    });
    for (int i = 0; ll(i) + n < s.N; ++i) {
        const auto& [highOpen, openLow, highPrev, prevLow] = spans.at(i);
        s.putFinal(DayField::ARatio, i, openLow != 0 ? highOpen / openLow * 100 : 0);
        s.putFinal(DayField::BRatio, i, prevLow != 0 ? highPrev / prevLow * 100 : 0);
    }
}

// Volume of the rising, flat and falling days of a window (close against the previous close) and
// of all its days. Adding 0 to the other sums changes nothing and avoids a branch that rising and
// falling days would keep mispredicting.
namespace {
auto volumeSplit(SeriesWork& s, int n)
{
    return WindowSums(n, s.wholeVolumes, [&s](int d) {
        const auto u = at(d);
        const long double vol = s.V[u];
        const bool rising = s.C[u] > s.C[u + 1];
        const bool flat = s.C[u] == s.C[u + 1];
        return std::array<long double, 4>{rising ? vol : 0.0L, flat ? vol : 0.0L, rising || flat ? 0.0L : vol,
                                          vol};
    });
}
} // namespace

// Volume ratios A and B over abDays, flat days split half and half:
// VRA = (U + S/2) / (D + S/2) x 100, VRB = (U + S/2) / T x 100; 0 on a zero denominator.
// Wako volume ratio over wakoDays, flat days counted as falling: (U - (S + D)) / T x 100, between
// -100 and +100; 0 when there was no volume. Each on the days with i + its period < N; one split
// serves both when the periods agree.
void volumeRatios(SeriesWork& s, int abDays, int wakoDays)
{
    auto abSplit = volumeSplit(s, abDays);
    auto wakoSplit = volumeSplit(s, wakoDays);
    auto& wakoSums = wakoDays == abDays ? abSplit : wakoSplit;
    for (int i = 0; ll(i) + std::min(abDays, wakoDays) < s.N; ++i) {
        if (ll(i) + abDays < s.N) {
            const auto& [up, flat, down, total] = abSplit.at(i);
            s.putFinal(DayField::VRA, i,
                       down + flat / 2 == 0 ? 0 : (up + flat / 2) / (down + flat / 2) * 100);
            s.putFinal(DayField::VRB, i, total == 0 ? 0 : (up + flat / 2) / total * 100);
        }
        if (ll(i) + wakoDays < s.N) {
            const auto& [up, flat, down, total] = wakoSums.at(i);
            s.putFinal(DayField::VRW, i, total == 0 ? 0 : (up - (flat + down)) / total * 100);
        }
    }
}

// +DI and -DI over n days: (sum of DM / n) / (sum of true range / n) x 100; nothing when the mean
// true range is 0. DX = |+DI - -DI| / (+DI + -DI) x 100 from the stored DI, 0 when both are 0.
// Days with i + n < N.
void directionalIndex(SeriesWork& s, int n)
{
    s.computing(2, 0);
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

namespace {

// Parabolic stop-and-reverse. Starts long on the second-oldest day (step 2): SAR = its low,
// extreme point = the oldest day's high, factor = the step. Each later day moves the stop
// SAR = SAR' + AF' (EP' - SAR'); a low at or below it (long) or a high at or above it (short)
// reverses to the old extreme point; otherwise a new extreme (equality counts) raises the factor
// by a step while the previous factor is below the limit.
void parabolicStep(SeriesWork& s, int r, int d, long double afStep, long double afLimit)
{
    if (r < 2)
        return;
    if (r == 2) {
        s.put(DayField::ParaboPos, d, 0);
        s.put(DayField::ParaboSAR, d, s.L[at(d)]);
        s.put(DayField::ParaboEp, d, s.H[at(d + 1)]);
        s.put(DayField::ParaboAf, d, afStep);
        return;
    }
    const long double prevAf = s.get(DayField::ParaboAf, d + 1);
    const long double prevSar = s.get(DayField::ParaboSAR, d + 1);
    const long double prevEp = s.get(DayField::ParaboEp, d + 1);
    const bool wasLong = s.get(DayField::ParaboPos, d + 1) == 0;
    const long double high = s.H[at(d)];
    const long double low = s.L[at(d)];

    long double sar = prevSar + prevAf * (prevEp - prevSar);
    long double ep = prevEp;
    long double af = prevAf;
    int position = 0;
    const auto grow = [&] { return prevAf < afLimit ? prevAf + afStep : prevAf; };
    if (wasLong) {
        if (low <= sar) {
            position = 1;
            sar = prevEp;
            ep = low;
            af = afStep;
        } else if (high >= prevEp) {
            ep = high;
            af = grow();
        }
    } else {
        position = 1;
        if (high >= sar) {
            position = 0;
            sar = prevEp;
            ep = high;
            af = afStep;
        } else if (low <= prevEp) {
            ep = low;
            af = grow();
        }
    }
    s.put(DayField::ParaboSAR, d, sar);
    s.put(DayField::ParaboPos, d, position);
    s.put(DayField::ParaboEp, d, ep);
    s.put(DayField::ParaboAf, d, af);
}

// Wilder's volatility system with n days and multiple M. First day (no previous significant
// close): ATR = mean true range over n days, SIC = highest close of the window, long, no stop.
// Later days: ATR = (ATR' (n-1) + TR) / n; ARC = M x ATR' (the previous average). Long: the stop
// is SIC' - ARC and a close at or below it reverses; short: SIC' + ARC, a close at or above it
// reverses. Steps r >= n + 1.
void wilderVolatilityStep(SeriesWork& s, int r, int d, int n, long double multiple)
{
    if (ll(r) < ll(n) + 1)
        return;
    if (!s.has(DayField::WilSIC, d + 1)) {
        long double tr = 0;
        long double highestClose = s.C[at(d)];
        for (int j = 0; j < n; ++j) {
            tr += s.get(DayField::TrueRange, d + j);
            if (s.C[at(d + j)] > highestClose)
                highestClose = s.C[at(d + j)];
        }
        s.put(DayField::WilATR, d, tr / n);
        s.put(DayField::WilSIC, d, highestClose);
        s.put(DayField::WilPos, d, 0);
        return;
    }
    const long double prevAtr = s.get(DayField::WilATR, d + 1);
    const long double prevSic = s.get(DayField::WilSIC, d + 1);
    const bool wasLong = s.get(DayField::WilPos, d + 1) == 0;
    const long double close = s.C[at(d)];
    s.put(DayField::WilATR, d, (prevAtr * (n - 1) + s.get(DayField::TrueRange, d)) / n);
    const long double arc = multiple * prevAtr;
    if (wasLong) {
        if (close <= prevSic - arc) {
            s.put(DayField::WilPos, d, 1);
            s.put(DayField::WilSIC, d, close);
            s.putFinal(DayField::WilSAR, d, close + arc);
        } else {
            s.put(DayField::WilPos, d, 0);
            s.put(DayField::WilSIC, d, prevSic > close ? prevSic : close);
            s.putFinal(DayField::WilSAR, d, prevSic - arc);
        }
    } else {
        if (close >= prevSic + arc) {
            s.put(DayField::WilPos, d, 0);
            s.put(DayField::WilSIC, d, close);
            s.putFinal(DayField::WilSAR, d, close - arc);
        } else {
            s.put(DayField::WilPos, d, 1);
            s.put(DayField::WilSIC, d, prevSic < close ? prevSic : close);
            s.putFinal(DayField::WilSAR, d, prevSic + arc);
        }
    }
}

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

} // namespace

void parabolic(SeriesWork& s, int steps, long double afStep, long double afLimit)
{
    forEachStep(s, steps, [&](int r, int d) { parabolicStep(s, r, d, afStep, afLimit); });
}

void wilderVolatility(SeriesWork& s, int steps, int n, long double multiple)
{
    forEachStep(s, steps, [&](int r, int d) { wilderVolatilityStep(s, r, d, n, multiple); });
}

void macd(SeriesWork& s, int steps, int shortDays, int longDays, int signalDays)
{
    const MacdFactors factors{2.0L / (ll(shortDays) + 1), 2.0L / (ll(longDays) + 1)};
    forEachStep(s, steps, [&](int r, int d) { macdStep(s, r, d, shortDays, longDays, signalDays, factors); });
}

} // namespace vorteq::indicators
