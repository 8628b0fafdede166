#pragma once

// Made-up price series for the simulation tests, run through Analyze with the simulation on.

#include "analysis/AnalysisTestSupport.h"
#include "common/DateText.h"
#include "simulation/TradeSimulation.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vorteq::testing {

// One trading day: open and close; high and low follow them unless given.
struct Bar {
    std::string open, close, high = {}, low = {};
};

// The date of bar k (0 = oldest): one calendar day apart from 2006/01/02.
inline std::string barDate(int k)
{
    return formatDate(addDays(Date{2006, 1, 2}, k));
}

// The table rows of bars given oldest first, newest first as the price query lists them.
inline std::vector<PriceRow> barRows(const std::vector<Bar>& oldestFirst)
{
    std::vector<PriceRow> rows;
    for (int k = static_cast<int>(oldestFirst.size()) - 1; k >= 0; --k) {
        const Bar& b = oldestFirst[static_cast<std::size_t>(k)];
        const bool up = std::stold(b.close) >= std::stold(b.open);
        rows.push_back({"1301", barDate(k), b.open, b.high.empty() ? (up ? b.close : b.open) : b.high,
                        b.low.empty() ? (up ? b.open : b.close) : b.low, b.close, "1000"});
    }
    return rows;
}

// The day index (0 = newest) of bar k among n bars.
inline int dayOf(int k, int n)
{
    return n - 1 - k;
}

// The editor's defaults (capital 1,000,000, 1-share units, both directions, no commission, trades
// at the next day's open) with a buy signal on a day that closes 5 % or more above its open and a
// sell signal on a day that closes 5 % or more below it.
inline TJouken openToCloseRules()
{
    TJouken j = TJouken::defaults();
    j.set("UseBuyToujitu", "1");
    j.set("KbnBuyToujitu", "0");
    j.set("AmtBuyToujitu", "5");
    j.set("UseSellToujitu", "1");
    j.set("KbnSellToujitu", "0");
    j.set("AmtSellToujitu", "-5");
    return j;
}

struct SimulationRun {
    Status status;
    int stkCount = 0;
    TStkData stock;
};

// Analyze with the simulation on over the bars, the period starting at bar `firstSimulated`.
inline SimulationRun simulateBars(const std::vector<Bar>& bars, const TJouken& conditions,
                                  int firstSimulated = 0)
{
    const auto rows = barRows(bars);
    TStkAnalisys a;
    installSimulation(a);
    SimulationRun run;
    run.status = a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), conditions,
                           barDate(firstSimulated), barDate(static_cast<int>(bars.size()) - 1), true);
    run.stkCount = a.StkCount;
    if (run.status)
        (void)a.GetStkData(0, run.stock);
    return run;
}

} // namespace vorteq::testing
