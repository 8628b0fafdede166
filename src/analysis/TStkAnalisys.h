#pragma once

#include "common/Result.h"
#include "conditions/TJouken.h"
#include "gateway/Ptbl.h"
#include "series/TStkData.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

class TStkAnalisys;
class SeriesWork;

// The simulation that Analyze runs after the indicators when asked to: files the conditions into
// the four lists and walks the days of every entry, filling UserResult. Supplied by the
// simulation subsystem through setSimulation; a failure ends the run with the object cleared.
using SimulationStep = Status (*)(TStkAnalisys&);

// The analysis object: groups a daily price table into one series per stock code (newest day
// first), computes the indicators of every day and, when asked, runs the simulation over them.
// Every field of a day is text; computed values are written in the general number format and
// later steps read them back from that text.
class TStkAnalisys {
public:
    // Columns of the price table, in the daily-price query's select order (STK_CD, STK_DATE,
    // S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM).
    static constexpr int kColCode = 1, kColDate = 2, kColOpen = 3, kColHigh = 4, kColLow = 5, kColClose = 6,
                         kColVolume = 7;

    TStkAnalisys();
    ~TStkAnalisys();
    TStkAnalisys(const TStkAnalisys&) = delete;
    TStkAnalisys& operator=(const TStkAnalisys&) = delete;

    // Clears, then builds the series of the table's rows 1..rowCount, computes all indicators and,
    // when simulate is true and a simulation is set, runs it. start and end are the period's first
    // and last dates (yyyy/mm/dd), stored with each entry for the simulation.
    // A parameter key that does not convert, a period below 1, a MACD short period not below the
    // long one, a price that is not a number, or a table without the price columns: an error naming
    // the key or the field, day and text, and the object left cleared.
    Status Analyze(const Ptbl& table, int rowCount, const TJouken& conditions, std::string_view start,
                   std::string_view end, bool simulate);

    // Releases every entry: StkCount 0, StkList empty.
    void Clear();

    // Copies entry index into out (a value copy that outlives the object's next run); false when
    // there is no such entry.
    bool GetStkData(int index, TStkData& out) const;

    // Steps of Analyze, in their order.
    void SetDefaultParams();
    Status LoadParams();
    Status LoadDailyData(std::string_view start, std::string_view end);
    Status CalcIndicators();
    Status CalcStock(TStkData& stock);

    void setSimulation(SimulationStep step) { m_simulation = step; }

    Ptbl PriceTable;
    int RowCount = 0;
    int StkCount = 0;

    // The value of every indicator parameter (periods in days, factors), in the order of the
    // indicator table; the defaults until LoadParams reads the conditions.
    std::vector<long double> Params;
    // A parameter's value by the analysis object's name for it (DayRSI); 0 for an unknown name.
    long double param(std::string_view member) const;

    TJouken Jouken; // this run's own copy of the conditions

    // Use key names of the conditions in each group; created empty by every Analyze and filled by
    // the simulation's signal rules.
    std::vector<std::string> BuyAndList;
    std::vector<std::string> BuyOrList;
    std::vector<std::string> SellAndList;
    std::vector<std::string> SellOrList;

    std::vector<TStkData> StkList; // one entry per stock code, in order of first appearance

private:
    // Clears, then makes one entry per stock code of the table (records sized, not yet filled);
    // rows holds each entry's table rows in order, entry e's from firstRow[e] to firstRow[e + 1].
    Status groupRows(std::string_view start, std::string_view end, std::vector<int>& rows,
                     std::vector<std::size_t>& firstRow);
    // LoadDailyData and CalcIndicators at once: each stock's records are written in one pass.
    Status loadAndCalculate(std::string_view start, std::string_view end);
    // The indicators of a stock whose dates and prices are in the working state's inputs; with
    // writeInputs, the records are filled with them too.
    Status calculate(TStkData& stock, bool writeInputs);
    // The final pass: every computed field of the working state into the stock's day records;
    // with writeInputs, each record is first emptied and given its date and prices.
    void writeDays(TStkData& stock, bool writeInputs);

    SimulationStep m_simulation = nullptr;
    std::unique_ptr<SeriesWork> m_work; // price columns and working state, reused from stock to stock
};

} // namespace vorteq
