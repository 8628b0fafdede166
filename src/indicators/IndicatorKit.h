#pragma once

// Helpers the indicator computations share: window bounds, the highest high and lowest low of a
// window, the rate guard and the mean over complete windows, the oldest-first walk of pass 4.
// Passes 1 to 3 compute every day of the series, day 0 (the newest) first; within a pass they read
// only the prices and the fields of earlier passes, so one indicator after the other gives what a
// day-by-day walk gives. Pass 4 runs steps r = 1, 2, ... on the days d = N - r, from the oldest day
// to the newest, each step reading the day before; the pass-4 indicators read only their own
// earlier days and pass 1's fields, so they too may run one after the other. An indicator writes
// its fields only on the days its window allows; on every other day they stay empty.

#include "indicators/SeriesWork.h"

namespace vorteq::indicators {

// Window bounds are compared in 64 bits, so that a huge period cannot overflow i + n.
constexpr long long ll(int v)
{
    return v;
}
// A day index as a vector index.
constexpr std::size_t at(int day)
{
    return static_cast<std::size_t>(day);
}

// The highest high and the lowest low of the n days i..i+n-1 (n >= 1).
struct HighLow {
    long double high;
    long double low;
};
inline HighLow highLowOfWindow(const SeriesWork& s, int i, int n)
{
    HighLow w{s.H[at(i)], s.L[at(i)]};
    for (int j = 1; j < n; ++j) {
        const auto u = at(i + j);
        w.high = s.H[u] > w.high ? s.H[u] : w.high;
        w.low = s.L[u] < w.low ? s.L[u] : w.low;
    }
    return w;
}

// The highest high and the lowest low of the windows of n days at days i = 0, 1, ...: with the
// days cut into blocks of n, a window is the end of one block and the start of the next, and the
// running highs and lows of each block, from its end and from its start, give every window with
// one more comparison, whatever n. Highs and lows are exact and ties go to the newest day as in
// highLowOfWindow (only 0 and -0 tie with different bits), so every window gets exactly its
// value. Off (SeriesWork::slideWindows), each window is scanned.
class WindowHighLow {
public:
    WindowHighLow(SeriesWork& s, int n) : m_s(s), m_n(n)
    {
        if (!s.slideWindows || n < 2)
            return;
        for (auto& v : s.scratch)
            v.resize(indicators::at(s.N));
        long double* endHigh = s.scratch[0].data(); // days d to the end of d's block
        long double* endLow = s.scratch[1].data();
        long double* startHigh = s.scratch[2].data(); // the start of d's block to day d
        long double* startLow = s.scratch[3].data();
        const auto& H = s.H;
        const auto& L = s.L;
        for (int b = 0; b < s.N; b += n) {
            const int last = ll(b) + n < s.N ? b + n - 1 : s.N - 1;
            startHigh[indicators::at(b)] = H[indicators::at(b)];
            startLow[indicators::at(b)] = L[indicators::at(b)];
            for (int d = b + 1; d <= last; ++d) {
                const auto u = indicators::at(d);
                startHigh[u] = H[u] > startHigh[u - 1] ? H[u] : startHigh[u - 1];
                startLow[u] = L[u] < startLow[u - 1] ? L[u] : startLow[u - 1];
            }
            endHigh[indicators::at(last)] = H[indicators::at(last)];
            endLow[indicators::at(last)] = L[indicators::at(last)];
            for (int d = last - 1; d >= b; --d) {
                const auto u = indicators::at(d);
                endHigh[u] = H[u] >= endHigh[u + 1] ? H[u] : endHigh[u + 1];
                endLow[u] = L[u] <= endLow[u + 1] ? L[u] : endLow[u + 1];
            }
        }
    }

    // The window of days i..i+n-1 (i + n <= N).
    HighLow at(int i) const
    {
        if (!m_s.slideWindows || m_n < 2)
            return highLowOfWindow(m_s, i, m_n);
        const auto u = static_cast<std::size_t>(i);
        const auto v = static_cast<std::size_t>(i + m_n - 1);
        const long double* endHigh = m_s.scratch[0].data();
        const long double* endLow = m_s.scratch[1].data();
        if (i % m_n == 0) // the window is a whole block
            return {endHigh[u], endLow[u]};
        const long double laterHigh = m_s.scratch[2][v];
        const long double laterLow = m_s.scratch[3][v];
        return {laterHigh > endHigh[u] ? laterHigh : endHigh[u], laterLow < endLow[u] ? laterLow : endLow[u]};
    }

private:
    const SeriesWork& m_s;
    int m_n;
};

// Percent change of a against b, the rate guard on texts: 0 when either text is "0".
inline long double rateOf(bool aIsZeroText, long double a, bool bIsZeroText, long double b)
{
    if (aIsZeroText || bIsZeroText)
        return 0;
    return (a - b) / b * 100;
}

// Mean of field `from` over the n days i..i+n-1, written to `to` on the days with i + n < N;
// nothing where a day of the window has no value. The averages of averages (slow %D, ADX).
inline void meanOverCompleteWindows(SeriesWork& s, DayField from, DayField to, int n)
{
    for (int i = 0; ll(i) + n < s.N; ++i) {
        long double sum = 0;
        bool complete = true;
        for (int j = 0; j < n && complete; ++j) {
            complete = s.has(from, i + j);
            if (complete)
                sum += s.at(from, i + j);
        }
        if (complete)
            s.putFinal(to, i, sum / n);
    }
}

// Runs step(r, d) for r = 1..steps, oldest day first.
template <class Step> void forEachStep(SeriesWork& s, int steps, Step step)
{
    for (int r = 1; r <= steps; ++r) {
        s.step(r);
        step(r, s.N - r);
    }
}

} // namespace vorteq::indicators
