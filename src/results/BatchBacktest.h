#pragma once

// A back-test of the same period over many stocks at once: one line of figures per stock, the
// summary over the stocks, and the export. The runs go through the one per-stock back-test, so a
// stock's line shows exactly what a single run of that stock shows.

#include "common/Result.h"
#include "conditions/TJouken.h"
#include "gateway/THttpStatements.h"
#include "series/TUserResult.h"
#include "simulation/BatchRunner.h"
#include "simulation/RunPlan.h"
#include "simulation/StockBacktest.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

struct BatchStock {
    std::string code;
    std::string name;
    std::string marketCode;
    std::string marketName;
};

enum class BatchRowState { NotRun, Done, Failed };

// One stock's line. Percent figures in percent; an empty figure cannot be defined (no trade, no loss).
struct BatchRow {
    BatchStock stock;
    BatchRowState state = BatchRowState::NotRun;
    Error error;       // why a Failed stock did not run
    std::string start; // the period of the run
    std::string end;
    TUserResult result; // the run's summary, as a single run shows it
    int trades = 0;     // closed positions
    std::optional<long double> winRatePct;
    std::optional<long double> netReturnPct;
    std::optional<long double> profitFactor;
    long double maxDrawdownPct = 0;
    std::optional<long double> buyHoldPct;
    std::optional<long double> exposurePct;
    BacktestTimes times;
    // The account value over the capital at each close, oldest first, with its day as yyyymmdd:
    // what the stock adds to a portfolio that puts the same money into every run.
    std::vector<std::int32_t> days;
    std::vector<float> growth;
};

// The figures of one finished run: the trades and their statistics from the replayed account.
// `start` is the period's first day; `tradePrice` the conditions' UseTradePrice.
BatchRow batchRowOf(const BatchStock& stock, const TStkData& run, std::string_view start,
                    std::string_view end, int tradePrice);

// Mean and median of one column over the stocks that have the figure.
struct BatchColumnSummary {
    std::optional<long double> mean;
    std::optional<long double> median;
};

struct BatchSummary {
    int done = 0;
    int failed = 0;
    int notRun = 0;
    // Trades, win rate, net return, profit factor, maximum drawdown, buy-and-hold, exposure.
    std::array<BatchColumnSummary, 7> columns;
    std::optional<long double> profitableSharePct; // stocks whose net return is above 0
    long long totalTrades = 0;
    // The same capital in every finished run, each run's account held as it went: the portfolio's
    // return over the period and its deepest fall, in percent.
    std::optional<long double> portfolioReturnPct;
    std::optional<long double> portfolioMaxDrawdownPct;
};

BatchSummary summarizeBatch(const std::vector<BatchRow>& rows);

// A figure with two decimals ("－" when empty; a value that rounds to zero shows no minus sign).
std::string figureText(const std::optional<long double>& value);

// The table's column titles, one per cell of batchRowTexts.
std::vector<std::string> batchColumnTitles();
// One stock's cells: code, name, market, the seven figures with two decimals ("－" when empty),
// and the outcome ("OK", the failure's message, or "未実行" for a stock a cancelled batch left out).
std::vector<std::string> batchRowTexts(const BatchRow& row);
// The summary lines under the stocks: "平均" and "中央値" in the table's columns, then one line
// each for the share of stocks with a profit, the total trades and the equal-weight portfolio.
std::vector<std::vector<std::string>> batchSummaryTexts(const BatchSummary& summary);
// The export: titles, the stocks, the summary lines; a cancelled batch says so in a last line.
// Each cell followed by ",", as the other exports.
std::vector<std::string> batchCsvLines(const std::vector<BatchRow>& rows, const BatchSummary& summary,
                                       bool cancelled);

// Everything a batch needs. The callbacks are called from the worker threads.
struct BatchSetup {
    std::vector<BatchStock> stocks;
    std::string endDate;                                   // the base date
    std::optional<SimPeriod> period = SimPeriod::OneMonth; // nothing: the base date alone
    std::string chosenStart;
    // The condition set a stock runs with (the same one for all, or each stock's registered one).
    std::function<Result<TJouken>(const BatchStock&)> conditions;
    // A statement client of its own for each worker; the session cookie is the process's.
    std::function<std::unique_ptr<THttpStatements>()> makeStatements;
    // Price requests in flight at once, whatever the number of workers.
    int requestSlots = kServerRequestsPerUser;
};

// Runs the setup's stocks on the runner's workers (each with its own statement client and analysis
// object) and returns one row per stock in list order. A server that cannot be reached, or a
// session the server ended, fails every later stock too: the batch cancels itself. `progress`
// is called after every stock (from a worker thread).
std::vector<BatchRow> runBatchBacktest(const BatchSetup& setup, BatchRunner& runner,
                                       const BatchRunner::ProgressFn& progress = {});

} // namespace vorteq
