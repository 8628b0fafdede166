#pragma once

#include "analysis/TStkDailyData.h"
#include "common/NumberText.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace vorteq {

// The working state of one stock while its indicators are computed. Prices are read from their
// texts once into columns. Computed fields are written straight into the day records, each as the
// value its general-format text reads back as, so a later step that reads a field sees exactly
// what reading the text would give. Day i = 0 is the newest, N the number of days.
class SeriesWork {
public:
    // Bits of zeroText: the price's text is exactly "0" (the rate guards test the text).
    static constexpr std::uint8_t kZeroOpen = 1, kZeroHigh = 2, kZeroLow = 4, kZeroClose = 8,
                                  kZeroVolume = 16;

    void reset(std::vector<TStkDailyData>& days)
    {
        m_days = days.data();
        N = static_cast<int>(days.size());
        const auto n = days.size();
        O.assign(n, 0);
        H.assign(n, 0);
        L.assign(n, 0);
        C.assign(n, 0);
        V.assign(n, 0);
        zeroText.assign(n, 0);
        missingField = -1;
        missingDay = -1;
        m_splitDay = -1;
    }

    bool zero(int i, std::uint8_t which) const { return (zeroText[idx(i)] & which) != 0; }

    bool has(DayField f, int i) const { return !cell(f, i).empty(); }

    // A stored value a computation needs. Reading an empty field is an error of the run: the first
    // one is remembered (CalcStock reports it) and 0 is returned so the pass can finish.
    long double get(DayField f, int i)
    {
        const DayValue& c = cell(f, i);
        if (!c.isNumber()) {
            if (missingField < 0) {
                missingField = pos(f);
                missingDay = i;
            }
            return 0;
        }
        return c.storedNumber();
    }

    // The stored value of a field known to hold one (has()).
    long double at(DayField f, int i) const { return cell(f, i).storedNumber(); }

    // Writes v into field f of day i in the general format and returns what the text reads back
    // as. A value without a finite text leaves the field empty (and NaN is returned).
    long double put(DayField f, int i, long double v)
    {
        DayValue& c = cell(f, i);
        if (!std::isfinite(v)) {
            c.clear();
            return std::numeric_limits<long double>::quiet_NaN();
        }
        const long double stored = readBackNumber(v);
        c.setReadBack(stored);
        return stored;
    }

    // Writes v into a field that no later step reads, only the final two-decimal pass: kept as
    // computed until that pass (round2OfText) turns it into the value of its truncated text.
    void putFinal(DayField f, int i, long double v)
    {
        DayValue& c = cell(f, i);
        if (std::isfinite(v))
            c.setReadBack(v);
        else
            c.clear();
    }

    // Writes a whole number as its integer text.
    void putWhole(DayField f, int i, std::int64_t v)
    {
        DayValue& c = cell(f, i);
        if (v > -kPlainWhole && v < kPlainWhole)
            c.setReadBack(static_cast<long double>(v)); // written as its plain digits
        else
            c.setText(std::to_string(v));
    }

    // Volume of the rising, flat and falling days of a window (close against the previous close)
    // and of all its days; kept for the window last split, which both volume ratios share when
    // their periods agree.
    struct VolumeSplit {
        long double up = 0, flat = 0, down = 0, total = 0;
    };
    const VolumeSplit& splitVolume(int i, int n)
    {
        if (i == m_splitDay && n == m_splitDays)
            return m_split;
        VolumeSplit v;
        // Adding 0 to the other two sums changes nothing and avoids a branch that rising and
        // falling days would keep mispredicting.
        for (int j = 0; j < n; ++j) {
            const auto u = idx(i + j);
            const long double vol = V[u];
            const bool rising = C[u] > C[u + 1];
            const bool flat = C[u] == C[u + 1];
            v.up += rising ? vol : 0.0L;
            v.flat += flat ? vol : 0.0L;
            v.down += rising || flat ? 0.0L : vol;
            v.total += vol;
        }
        m_split = v;
        m_splitDay = i;
        m_splitDays = n;
        return m_split;
    }

    int N = 0;
    std::vector<long double> O, H, L, C, V;
    std::vector<std::uint8_t> zeroText;
    int missingField = -1;
    int missingDay = -1;

private:
    static constexpr std::int64_t kPlainWhole = 1000000000000000; // 1E15
    static std::size_t idx(int i) { return static_cast<std::size_t>(i); }
    DayValue& cell(DayField f, int i) { return m_days[idx(i)][f]; }
    const DayValue& cell(DayField f, int i) const { return m_days[idx(i)][f]; }

    TStkDailyData* m_days = nullptr;
    VolumeSplit m_split;
    int m_splitDay = -1;
    int m_splitDays = 0;
};

} // namespace vorteq
