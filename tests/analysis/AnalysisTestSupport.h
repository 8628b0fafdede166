#pragma once

// Helpers shared by the analysis tests: price tables in the layout of the daily-price query.

#include "analysis/TStkAnalisys.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

namespace vorteq::testing {

// One row of the daily-price query: code, date, open, high, low, close, volume.
struct PriceRow {
    std::string code, date, open, high, low, close, volume;
};

inline Ptbl makePriceTable(const std::vector<PriceRow>& rows)
{
    Ptbl t = makePtbl(8, static_cast<int>(rows.size()) + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int r = static_cast<int>(i) + 1;
        t->set(1, r, rows[i].code);
        t->set(2, r, rows[i].date);
        t->set(3, r, rows[i].open);
        t->set(4, r, rows[i].high);
        t->set(5, r, rows[i].low);
        t->set(6, r, rows[i].close);
        t->set(7, r, rows[i].volume);
    }
    return t;
}

// Rows of one stock from closes given oldest first; open = high = low = close unless given, the
// dates count up from 2006/01/01 and the table lists them newest first, as the query does.
inline std::vector<PriceRow> closesNewestFirst(const std::vector<std::string>& closesOldestFirst,
                                               const std::string& volume = "1000")
{
    std::vector<PriceRow> rows;
    for (std::size_t i = closesOldestFirst.size(); i-- > 0;) {
        const std::string& c = closesOldestFirst[i];
        char date[16];
        std::snprintf(date, sizeof date, "2006-%02d-%02d", static_cast<int>(i / 28 + 1),
                      static_cast<int>(i % 28 + 1));
        rows.push_back({"1301", date, c, c, c, c, volume});
    }
    return rows;
}

// Rows of one stock from {open, high, low, close, volume} given oldest first, listed newest first.
inline std::vector<PriceRow> ohlcNewestFirst(const std::vector<std::array<std::string, 5>>& oldestFirst)
{
    std::vector<PriceRow> rows;
    for (std::size_t i = oldestFirst.size(); i-- > 0;) {
        const auto& d = oldestFirst[i];
        char date[16];
        std::snprintf(date, sizeof date, "2006/%02d/%02d", static_cast<int>(i / 28 + 1),
                      static_cast<int>(i % 28 + 1));
        rows.push_back({"1301", date, d[0], d[1], d[2], d[3], d[4]});
    }
    return rows;
}

// Conditions with only the given keys set (every other period at the engine's default).
inline TJouken conditionsWith(std::initializer_list<std::pair<const char*, const char*>> values)
{
    TJouken j;
    for (const auto& [key, value] : values)
        j.set(key, value);
    return j;
}

// The texts of one field over the days, newest first.
inline std::vector<std::string> column(const TStkData& s, DayField f)
{
    std::vector<std::string> out;
    for (const auto& d : s.Days)
        out.push_back(d.text(f));
    return out;
}

// A CSV of Date,Open,High,Low,Close,Volume (oldest first) as the rows of one stock, newest first.
inline std::vector<PriceRow> loadCsvNewestFirst(const std::string& path, const std::string& code)
{
    std::ifstream in(path);
    std::string line;
    std::vector<PriceRow> rows;
    std::getline(in, line); // header
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::stringstream ss(line);
        PriceRow r;
        r.code = code;
        std::getline(ss, r.date, ',');
        std::getline(ss, r.open, ',');
        std::getline(ss, r.high, ',');
        std::getline(ss, r.low, ',');
        std::getline(ss, r.close, ',');
        std::getline(ss, r.volume, ',');
        rows.push_back(r);
    }
    return {rows.rbegin(), rows.rend()};
}

// Analyzes the rows with the given conditions (defaults of the engine when empty).
inline TStkData analyzeRows(const std::vector<PriceRow>& rows, const TJouken& conditions = TJouken())
{
    TStkAnalisys a;
    const Status st = a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), conditions, "2006/01/01",
                                "2006/12/31", false);
    TStkData out;
    if (st)
        (void)a.GetStkData(0, out);
    return out;
}

} // namespace vorteq::testing
