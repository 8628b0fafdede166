#pragma once

#include "analysis/TStkDailyData.h"
#include "common/NumberText.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

namespace vorteq {

// The working state of one stock while its indicators are computed. Prices are read from their
// texts once into columns. Computed fields are kept in columns of their own, one value a day, each
// as the value its general-format text reads back as (empty: NaN), so a later step that reads a
// field sees exactly what reading the text would give; the final pass copies them into the day
// records. Day i = 0 is the newest, N the number of days.
class SeriesWork {
public:
    // Bits of zeroText: the price's text is exactly "0" (the rate guards test the text).
    static constexpr std::uint8_t kZeroOpen = 1, kZeroHigh = 2, kZeroLow = 4, kZeroClose = 8,
                                  kZeroVolume = 16;

    // The first position an indicator writes; the prices and the date lie below it.
    static constexpr int kFirstComputed = pos(DayField::ZenjituRate);
    static constexpr int kColumnCount = kDayFieldCount - kFirstComputed;

    // Sizes the columns for `days` days, every computed field empty.
    void reset(std::size_t days)
    {
        N = static_cast<int>(days);
        O.assign(days, 0);
        H.assign(days, 0);
        L.assign(days, 0);
        C.assign(days, 0);
        V.assign(days, 0);
        zeroText.assign(days, 0);
        m_values.resize(days * kColumnCount);
        fillEmpty(m_values);
        missingField = -1;
        missingDay = -1;
        m_missingAt = {};
        m_at = {};
        m_scaleHint.fill(-1);
        wholePrices = wholeSquares = wholeVolumes = false;
    }

    // Tells, once the prices are read, which window sums are exact whatever their order (see
    // WindowSums): every price a whole number small enough that any sum of up to N + 1 of them, of
    // their differences or (wholeSquares) of the closes squared is a whole number below 2^62,
    // which an extended float holds exactly; likewise for the volumes.
    void classifyPrices()
    {
        const long double room = 4611686018427387904.0L / (static_cast<long double>(N) + 2); // 2^62 / (N + 2)
        long double highest = 0;
        bool whole = true;
        for (const auto* column : {&O, &H, &L, &C})
            for (const long double v : *column) {
                whole = whole && isWhole(v);
                const long double a = std::fabs(v);
                highest = a > highest ? a : highest;
            }
        // Differences of prices, stored as fields and read back, must stay below 1E15 to read back
        // unchanged.
        wholePrices = whole && 2 * highest <= room && 2 * highest < 1e15L;
        wholeSquares = wholePrices && highest * highest <= room;
        long double volume = 0;
        bool wholeV = true;
        for (const long double v : V) {
            wholeV = wholeV && isWhole(v);
            const long double a = std::fabs(v);
            volume = a > volume ? a : volume;
        }
        wholeVolumes = wholeV && volume <= room;
    }

    bool zero(int i, std::uint8_t which) const { return (zeroText[idx(i)] & which) != 0; }

    bool has(DayField f, int i) const { return !std::isnan(cell(f, i)); }

    // A stored value a computation needs. Reading an empty field is an error of the run: the one
    // that the passes, run day by day, would meet first is remembered (CalcStock reports it) and 0
    // is returned so the pass can finish.
    long double get(DayField f, int i)
    {
        const long double v = cell(f, i);
        if (std::isnan(v)) {
            noteMissing(f, i);
            return 0;
        }
        return v;
    }

    // The stored value of a field known to hold one (has()); NaN when empty.
    long double at(DayField f, int i) const { return cell(f, i); }

    // Writes v into field f of day i in the general format and returns what the text reads back
    // as. A value without a finite text leaves the field empty (and NaN is returned).
    long double put(DayField f, int i, long double v)
    {
        long double& c = cell(f, i);
        c = std::isfinite(v) ? readBackNumber(v, m_scaleHint[columnIndex(f)])
                             : std::numeric_limits<long double>::quiet_NaN();
        return c;
    }

    // Writes v into a field that no later step reads, only the final two-decimal pass: kept as
    // computed until that pass turns it into the value of its truncated text.
    void putFinal(DayField f, int i, long double v)
    {
        cell(f, i) = std::isfinite(v) ? v : std::numeric_limits<long double>::quiet_NaN();
    }

    // Writes a whole number as its integer text (an extended float holds every 64-bit integer).
    void putWhole(DayField f, int i, std::int64_t v) { cell(f, i) = static_cast<long double>(v); }

    // The stored values of field f, day 0 first (NaN where empty).
    const long double* column(DayField f) const { return m_values.data() + offset(f); }

    // Where the passes stand, for the report of a missing value: the pass, the computation's
    // place in it (its order in the pass tables) and the day or step being computed.
    void computing(int pass, int place)
    {
        m_at.pass = pass;
        m_at.place = place;
    }
    void step(int day) { m_at.step = day; }

    int N = 0;
    std::vector<long double> O, H, L, C, V;
    std::vector<std::uint8_t> zeroText;
    bool wholePrices = false;  // see classifyPrices
    bool wholeSquares = false; // the closes squared too
    bool wholeVolumes = false;
    int missingField = -1;
    int missingDay = -1;

private:
    // Ordered as a day-by-day run of the passes meets the computations.
    struct Place {
        int pass = 0;
        int step = 0;
        int place = 0;
        auto operator<=>(const Place&) const = default;
    };

    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }
    static std::size_t columnIndex(DayField f) { return static_cast<std::size_t>(pos(f) - kFirstComputed); }
    std::size_t offset(DayField f) const { return columnIndex(f) * static_cast<std::size_t>(N); }
    long double& cell(DayField f, int i) { return m_values[offset(f) + idx(i)]; }
    long double cell(DayField f, int i) const { return m_values[offset(f) + idx(i)]; }

    static bool isWhole(long double v)
    {
        // Adding 2^63 to a magnitude below 2^63 rounds it to a whole number.
        constexpr long double kToInteger = 9223372036854775808.0L;
        const long double a = std::fabs(v);
        return a < 1e18L && (a + kToInteger) - kToInteger == a;
    }

    // Every value NaN. Copying its 16 bytes as plain data lets the compiler store them in wide
    // moves; the extended-float stores an assignment would make are many times slower.
    static void fillEmpty(std::vector<long double>& values)
    {
        static const long double kEmpty = std::numeric_limits<long double>::quiet_NaN();
        unsigned char bytes[sizeof(long double)];
        std::memcpy(bytes, &kEmpty, sizeof bytes);
        unsigned char* out = reinterpret_cast<unsigned char*>(values.data());
        for (std::size_t k = 0; k < values.size(); ++k)
            std::memcpy(out + k * sizeof bytes, bytes, sizeof bytes);
    }

    // Keeps the missing value met first; within one computation on one day, the first one read.
    void noteMissing(DayField f, int i)
    {
        if (missingField >= 0 && !(m_at < m_missingAt))
            return;
        missingField = pos(f);
        missingDay = i;
        m_missingAt = m_at;
    }

    std::vector<long double> m_values;           // kColumnCount columns of N days
    std::array<int, kColumnCount> m_scaleHint{}; // readBackNumber's hint for each field
    Place m_at;
    Place m_missingAt;
};

// The sums of a day's terms over the window of n days at day i (days i to i+n-1), asked for days
// i = first, first + 1, ... in turn (a day asked again gets the same sums); term(d) gives the
// terms of day d as an array, one sum each. Each window is summed from day i toward older days,
// unless the terms are whole numbers whose every partial sum an extended float holds exactly
// (prices and volumes that SeriesWork::classifyPrices found whole): then the previous day's sums
// are carried over, their newest day dropped and the new oldest day added. An exact sum does not
// depend on the order of its terms, so both give the same values.
template <class Term> class WindowSums {
public:
    using Sums = std::invoke_result_t<Term, int>;

    WindowSums(int n, bool exact, Term term) : m_n(n), m_exact(exact), m_term(term) {}

    const Sums& at(int i)
    {
        if (i == m_day)
            return m_sums;
        if (m_exact && i == m_day + 1) {
            const Sums dropped = m_term(i - 1);
            const Sums added = m_term(i + m_n - 1);
            for (std::size_t k = 0; k < m_sums.size(); ++k)
                m_sums[k] = m_sums[k] - dropped[k] + added[k];
        } else {
            Sums sums{};
            for (int j = 0; j < m_n; ++j) {
                const Sums t = m_term(i + j);
                for (std::size_t k = 0; k < sums.size(); ++k)
                    sums[k] += t[k];
            }
            m_sums = sums;
        }
        m_day = i;
        return m_sums;
    }

private:
    int m_n;
    bool m_exact;
    Term m_term;
    Sums m_sums{};
    int m_day = -2;
};

// One term a day: an array of one.
using OneTerm = std::array<long double, 1>;

} // namespace vorteq
