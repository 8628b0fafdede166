#pragma once

// Made-up daily prices for benchmarks: a reproducible random walk per stock, in the layout of the
// daily-price query (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM), newest day
// first. Prices are whole yen with a tick of 1, volumes multiples of 100, weekends skipped.

#include "gateway/Ptbl.h"

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>

namespace vorteq::bench {

struct GeneratedStock {
    Ptbl table;
    int rows = 0;
};

// One stock of `days` trading days ending 2011/12/30; the same code and seed give the same table.
inline GeneratedStock generateStock(int code, int days, std::uint64_t seed = 1)
{
    std::mt19937_64 rng(seed * 1000003u + static_cast<std::uint64_t>(code));
    std::normal_distribution<double> step(0.0, 0.018);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::uniform_int_distribution<int> volume(1, 5000);

    // Dates from the oldest day: weekdays only, starting far enough back.
    struct Day {
        int y, m, d;
    };
    std::vector<Day> dates;
    dates.reserve(static_cast<std::size_t>(days));
    int y = 2011 - days / 250 - 1, m = 1, d = 3, weekday = 1; // 1 = Monday
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    while (static_cast<int>(dates.size()) < days) {
        if (weekday <= 5)
            dates.push_back({y, m, d});
        weekday = weekday % 7 + 1;
        const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
        if (++d > kMonthDays[m - 1] + (m == 2 && leap ? 1 : 0)) {
            d = 1;
            if (++m > 12) {
                m = 1;
                ++y;
            }
        }
    }

    GeneratedStock g;
    g.rows = days;
    g.table = makePtbl(8, days + 1);
    PtblData& t = *g.table;
    double close = 200.0 + 4800.0 * unit(rng);
    const std::string codeText = std::to_string(code);
    for (int k = 0; k < days; ++k) { // k = 0 oldest
        const double open = std::max(1.0, std::round(close * (1.0 + step(rng) / 3)));
        close = std::max(1.0, std::round(close * (1.0 + step(rng))));
        const double high = std::max(open, close) + std::round(unit(rng) * close * 0.01);
        const double low = std::max(1.0, std::min(open, close) - std::round(unit(rng) * close * 0.01));
        const int row = days - k; // newest first
        char date[16];
        std::snprintf(date, sizeof date, "%04d-%02d-%02d", dates[static_cast<std::size_t>(k)].y,
                      dates[static_cast<std::size_t>(k)].m, dates[static_cast<std::size_t>(k)].d);
        t.set(1, row, codeText);
        t.set(2, row, date);
        t.set(3, row, std::to_string(static_cast<long long>(open)));
        t.set(4, row, std::to_string(static_cast<long long>(high)));
        t.set(5, row, std::to_string(static_cast<long long>(low)));
        t.set(6, row, std::to_string(static_cast<long long>(close)));
        t.set(7, row, std::to_string(static_cast<long long>(volume(rng)) * 100));
    }
    return g;
}

} // namespace vorteq::bench
