#pragma once

#include "common/NumberText.h"
#include "indicators/IndicatorTable.h"
#include "indicators/TextRates.h"
#include "series/LargePages.h"
#include "series/TStkDailyData.h"

#include <array>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

namespace vorteq {

// The fields that only the final pass reads, which truncates them to two decimals: an indicator
// writes them with SeriesWork::putFinal.
inline constexpr DayField kFinalFields[] = {
    DayField::ToujituRate,
    DayField::UpperShadowRate,
    DayField::LowerShadowRate,
    DayField::VlmRate,
    DayField::Kairi1,
    DayField::Kairi2,
    DayField::Kairi3,
    DayField::Kairi4,
    DayField::WilR,
    DayField::RCI,
    DayField::PSY,
    DayField::MPSY,
    DayField::VolinPlus1,
    DayField::VolinMinus1,
    DayField::VolinPlus2,
    DayField::VolinMinus2,
    DayField::ARatio,
    DayField::BRatio,
    DayField::VRA,
    DayField::VRB,
    DayField::VRW,
    DayField::OSI,
    DayField::CCI,
    DayField::DPO,
    DayField::STC_K,
    DayField::STC_SD,
    DayField::ADX,
    DayField::RSI,
    DayField::WilSAR,
};

namespace detail {
// For each position, its column among the stored values or among the final fields (-1: none).
struct ColumnMap {
    std::array<int, kDayFieldCount> value{};
    std::array<int, kDayFieldCount> final{};
    int values = 0;
    int finals = 0;
};
constexpr ColumnMap makeColumnMap(int firstComputed)
{
    ColumnMap m;
    m.value.fill(-1);
    m.final.fill(-1);
    for (const DayField f : kFinalFields)
        m.final[static_cast<std::size_t>(pos(f))] = m.finals++;
    for (int p = firstComputed; p < kDayFieldCount; ++p)
        if (!kDayFieldNames[static_cast<std::size_t>(p)].empty() && m.final[static_cast<std::size_t>(p)] < 0)
            m.value[static_cast<std::size_t>(p)] = m.values++;
    return m;
}
} // namespace detail

// The working state of one stock while its indicators are computed. Prices are read from their
// texts once into columns. Computed fields are kept in columns of their own, one value a day, each
// as the value its general-format text reads back as (empty: NaN), so a later step that reads a
// field sees exactly what reading the text would give; the final pass copies them into the day
// records. A field only the final pass reads is kept as its two-decimal result instead, a whole
// number of hundredths found while the value is computed. Day i = 0 is the newest, N the number
// of days.
class SeriesWork {
public:
    // Bits of zeroText: the price's text is exactly "0" (the rate guards test the text).
    static constexpr std::uint8_t kZeroOpen = 1, kZeroHigh = 2, kZeroLow = 4, kZeroClose = 8,
                                  kZeroVolume = 16;

    // The first position an indicator writes; the prices and the date lie below it.
    static constexpr int kFirstComputed = pos(DayField::ZenjituRate);
    static constexpr detail::ColumnMap kColumns = detail::makeColumnMap(kFirstComputed);
    static constexpr int kValueColumns = kColumns.values;
    static constexpr int kFinalColumns = kColumns.finals;

    // The columns of stored values: the named fields', then one for each free position an
    // indicator's output takes (freeDayField), in position order.
    static int valueColumns() { return kValueColumns + freeColumnMap().count; }

    // A final field's hundredths that the final pass settles from the value itself (rare: values
    // next to a whole number of hundredths, or too large).
    static constexpr std::int64_t kSettleLater = std::numeric_limits<std::int64_t>::min();

    static constexpr bool isFinal(DayField f)
    {
        return kColumns.final[static_cast<std::size_t>(pos(f))] >= 0;
    }

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
        // The values of the final fields that are settled later follow the stored values; only
        // the ones written are ever read.
        m_valueColumns = static_cast<std::size_t>(valueColumns());
        m_values.resize(days * (m_valueColumns + kFinalColumns));
        fillEmpty(m_values.data(), days * m_valueColumns);
        // An empty final field gives "0", as 0 hundredths do.
        m_hundredths.assign(days * kFinalColumns, 0);
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
        if (!slideWindows)
            wholePrices = wholeSquares = wholeVolumes = false;
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

    // Writes v into a field that no later step reads, only the final two-decimal pass: its
    // hundredths where they are plain from v, otherwise v itself for the final pass to settle. A
    // value without a finite text leaves the field empty.
    void putFinal(DayField f, int i, long double v)
    {
        const std::size_t k = finalIndex(f);
        std::int64_t& q = m_hundredths[k * idx(N) + idx(i)];
        if (round2ToHundredthsQuick(v, q))
            return;
        if (!std::isfinite(v)) {
            q = 0;
            return;
        }
        q = kSettleLater;
        m_values[(m_valueColumns + k) * idx(N) + idx(i)] = v;
    }

    // The hundredths of final field f, day 0 first; kSettleLater where settleValue holds the value.
    const std::int64_t* hundredths(DayField f) const { return m_hundredths.data() + finalIndex(f) * idx(N); }
    long double settleValue(DayField f, int i) const
    {
        return m_values[(m_valueColumns + finalIndex(f)) * idx(N) + idx(i)];
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

    // Day records of a finished run, kept for the next one: a new series then reuses them rather
    // than allocating, filling and later freeing its records afresh. Bounded, so that a run over a
    // whole market does not keep its memory after Clear.
    static constexpr std::size_t kSpareDays = 1u << 15;
    void keepDays(std::vector<TStkDailyData>&& days)
    {
        if (days.capacity() == 0 || m_spareDayCount + days.capacity() > kSpareDays)
            return;
        m_spareDayCount += days.capacity();
        m_spareDays.push_back(std::move(days));
    }
    // Records for a series of `count` days: kept ones where there are any, which still hold the
    // fields of their last run (TStkDailyData::clearAll empties one), then new empty ones.
    std::vector<TStkDailyData> takeDays(std::size_t count)
    {
        std::vector<TStkDailyData> days;
        if (!m_spareDays.empty()) {
            days = std::move(m_spareDays.back());
            m_spareDays.pop_back();
            m_spareDayCount -= days.capacity();
        }
        if (days.capacity() < count) {
            // New records: the kept ones are too few, and a long series' records go in large
            // pages, advised before they are first touched.
            std::vector<TStkDailyData> fresh;
            fresh.reserve(count);
            adviseLargePages(fresh.data(), count * sizeof(TStkDailyData));
            days = std::move(fresh);
        }
        days.resize(count);
        return days;
    }

    int N = 0;
    std::vector<long double> O, H, L, C, V;
    std::vector<std::uint8_t> zeroText;
    bool wholePrices = false;  // see classifyPrices
    bool wholeSquares = false; // the closes squared too
    bool wholeVolumes = false;
    // Windows may be carried from day to day (sums of whole numbers, counts, running highs and
    // lows). Off, every window is computed afresh: the plain computation the shortcuts must equal.
    bool slideWindows = true;
    // The date and prices of each day as the records keep them, six a day (TStkAnalisys).
    std::vector<DayValue> inputs;
    // Buffers an indicator may use within one call, kept from stock to stock.
    std::array<std::vector<long double>, 4> scratch;
    std::vector<double> wholeCloses; // the closes as doubles, when they are whole (wholePrices)
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
    struct FreeColumnMap {
        std::array<int, kDayFieldCount> value{};
        int count = 0;
    };
    static const FreeColumnMap& freeColumnMap()
    {
        static const FreeColumnMap map = [] {
            FreeColumnMap m;
            m.value.fill(-1);
            for (int p = kFirstComputed; p < kDayFieldCount; ++p)
                if (kColumns.value[idx(p)] < 0 && kColumns.final[idx(p)] < 0 &&
                    writerOf(static_cast<DayField>(p)))
                    m.value[idx(p)] = kValueColumns + m.count++;
            return m;
        }();
        return map;
    }
    std::size_t columnIndex(DayField f) const
    {
        // A named field's column is known when compiled; only a free position looks it up, in a
        // copy of the map this object holds: a plain load, with no call on any path that could
        // make a loop of extended-float arithmetic keep its values in memory.
        int c = kColumns.value[static_cast<std::size_t>(pos(f))];
        if (c < 0)
            c = m_freeColumns[static_cast<std::size_t>(pos(f))];
        assert(c >= 0 && "a field without a column of stored values");
        return static_cast<std::size_t>(c);
    }
    static std::size_t finalIndex(DayField f)
    {
        const int c = kColumns.final[static_cast<std::size_t>(pos(f))];
        assert(c >= 0 && "putFinal of a field that a later step reads");
        return static_cast<std::size_t>(c);
    }
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

    // The first count values NaN. Copying its 16 bytes as plain data stores them in wide moves;
    // the extended-float stores an assignment would make are many times slower.
    static void fillEmpty(long double* values, std::size_t count)
    {
        static_assert(sizeof(long double) == 16, "a value is stored in 16 bytes");
        static const long double kEmpty = std::numeric_limits<long double>::quiet_NaN();
        unsigned char bytes[sizeof(long double)];
        std::memcpy(bytes, &kEmpty, sizeof bytes);
        fillWide(values, bytes, count);
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

    LargeVector<long double> m_values;             // m_valueColumns + kFinalColumns columns of N days
    LargeVector<std::int64_t> m_hundredths;        // kFinalColumns columns of N days
    std::size_t m_valueColumns = 0;                // valueColumns()
    std::array<int, kDayFieldCount> m_scaleHint{}; // readBackNumber's hint for each field
    std::array<int, kDayFieldCount> m_freeColumns = freeColumnMap().value;
    std::vector<std::vector<TStkDailyData>> m_spareDays;
    std::size_t m_spareDayCount = 0; // records held by m_spareDays
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
