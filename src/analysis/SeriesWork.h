#pragma once

#include "analysis/TStkDailyData.h"
#include "common/NumberText.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace vorteq {

// The working columns of one stock while its indicators are computed. Prices are read from their
// texts once. Every computed field is kept as the value its general-format text reads back as, so a
// later step that reads the field sees exactly what reading the text would give; NaN marks an
// empty field. Day i = 0 is the newest, N the number of days.
class SeriesWork {
public:
    // Bits of zeroText: the price's text is exactly "0" (the rate guards test the text).
    static constexpr std::uint8_t kZeroOpen = 1, kZeroHigh = 2, kZeroLow = 4, kZeroClose = 8,
                                  kZeroVolume = 16;

    void reset(int days)
    {
        N = days;
        const auto n = static_cast<std::size_t>(days);
        O.assign(n, 0);
        H.assign(n, 0);
        L.assign(n, 0);
        C.assign(n, 0);
        V.assign(n, 0);
        zeroText.assign(n, 0);
        // Every field starts empty. The NaN pattern is copied as bytes: filling through the FPU
        // would load and store each 80-bit value.
        m_values.resize(n * kDayFieldCount);
        for (long double& v : m_values)
            std::memcpy(&v, &kNonePattern, sizeof v);
        missingField = -1;
        missingDay = -1;
    }

    bool zero(int i, std::uint8_t which) const { return (zeroText[idx(i)] & which) != 0; }

    bool has(DayField f, int i) const { return !std::isnan(at(f, i)); }

    // A stored value a computation needs. Reading an empty field is an error of the run: the first
    // one is remembered (CalcStock reports it) and 0 is returned so the pass can finish.
    long double get(DayField f, int i)
    {
        const long double v = at(f, i);
        if (std::isnan(v)) {
            if (missingField < 0) {
                missingField = pos(f);
                missingDay = i;
            }
            return 0;
        }
        return v;
    }

    // The raw column entry (NaN when empty).
    long double at(DayField f, int i) const { return m_values[slot(f, i)]; }

    // Writes v into field f of day i in the general format and returns what the text reads back
    // as. A value without a finite text leaves the field empty.
    long double put(DayField f, int i, long double v)
    {
        const long double stored = std::isfinite(v) ? readBackNumber(v) : kNone;
        m_values[slot(f, i)] = stored;
        return stored;
    }

    // Writes v into a field that no later step reads, only its text and the final two-decimal
    // pass: kept as computed, since the general format of v and of its read-back value are the same
    // text and the final pass (round2OfText) reads it back where that matters.
    void putFinal(DayField f, int i, long double v) { m_values[slot(f, i)] = std::isfinite(v) ? v : kNone; }

    // Writes a whole number (an integer text, no general-format rounding involved).
    void putWhole(DayField f, int i, std::int64_t v) { m_values[slot(f, i)] = static_cast<long double>(v); }

    int N = 0;
    std::vector<long double> O, H, L, C, V;
    std::vector<std::uint8_t> zeroText;
    int missingField = -1;
    int missingDay = -1;

private:
    static constexpr long double kNone = std::numeric_limits<long double>::quiet_NaN();
    static constexpr long double kNonePattern = kNone;
    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }
    std::size_t slot(DayField f, int i) const
    {
        return static_cast<std::size_t>(pos(f)) * static_cast<std::size_t>(N) + idx(i);
    }

    std::vector<long double> m_values; // column-major: field, then day
};

} // namespace vorteq
