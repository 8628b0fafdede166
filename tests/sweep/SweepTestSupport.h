#pragma once

// Price series for the sweep tests: the real series of the data folder and made-up random walks.

#include "../../bench/MarketGenerator.h"
#include "analysis/AnalysisTestSupport.h"
#include "sweep/ParameterSweep.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vorteq::testing {

inline SweepStock realStock()
{
    auto rows = loadCsvNewestFirst(std::string(VORTEQ_DATA_DIR) + "/goog_2004-08-19_2008-10-14.csv", "GOOG");
    // The query's date form, so dates compare as texts.
    for (PriceRow& r : rows)
        std::replace(r.date.begin(), r.date.end(), '-', '/');
    return {"GOOG", makePriceTable(rows), static_cast<int>(rows.size())};
}

// A random walk of `days` trading days (weekdays from early January), coded as the number, dates
// in the query's yyyy/mm/dd form.
inline SweepStock walkStock(int code, int days)
{
    const bench::GeneratedStock g = bench::generateStock(code, days);
    for (int r = 1; r <= g.rows; ++r) {
        std::string date(g.table->text(2, r));
        std::replace(date.begin(), date.end(), '-', '/');
        g.table->set(2, r, date);
    }
    return {std::to_string(code), g.table, g.rows};
}

// The period of a stock's newest `days` trading days: their first and last dates.
struct Period {
    std::string start, end;
};
inline Period newestDays(const SweepStock& stock, int days)
{
    return {std::string(stock.table->text(2, days)), std::string(stock.table->text(2, 1))};
}

// RSI rules on both sides with both directions, 1-share units and a 0.1 % commission, so that
// most cells trade.
inline TJouken rsiRules()
{
    TJouken j = TJouken::defaults();
    j.set("UseBuyRSI", "1");
    j.set("KbnBuyRSI", "1");
    j.set("AmtBuyRSI2", "30");
    j.set("UseSellRSI", "1");
    j.set("KbnSellRSI", "0");
    j.set("AmtSellRSI2", "70");
    j.set("KbnTani", "3");
    j.set("KbnTrade", "2");
    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "1");
    j.set("AmtTesuryo", "0.1");
    return j;
}

inline SweepAxis axisOf(const char* text)
{
    auto axis = parseSweepAxis(text);
    if (!axis)
        throw std::runtime_error(axis.error().message);
    return *axis;
}

} // namespace vorteq::testing
