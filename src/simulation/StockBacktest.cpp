#include "simulation/StockBacktest.h"

namespace vorteq {

Result<TStkData> backtestStock(THttpStatements& statements, TStkAnalisys& analysis, const TJouken& conditions,
                               const SimulationPlan& plan, BacktestTimes& times,
                               const std::vector<std::string>& extra, RequestGate* gate)
{
    using Clock = std::chrono::steady_clock;
    statements.Clear();
    statements.Add("Query");
    statements.Add(plan.query);
    for (const std::string& statement : extra)
        statements.Add(statement);
    const auto sent = Clock::now();
    if (gate)
        gate->acquire();
    const Result<bool> executed = statements.Execute();
    if (gate)
        gate->release();
    times.request += Clock::now() - sent;
    const auto stop = [&](BacktestStop where, Error error) {
        times.stop = where;
        return error;
    };
    if (!executed)
        return stop(BacktestStop::Exchange, executed.error());
    if (!*executed)
        return stop(BacktestStop::QueryRefused, makeError(ErrorCode::Server, kPriceQueryFailed));
    const TSqlSet& prices = statements.Item(1);
    if (prices.RowCount == 0)
        return stop(BacktestStop::NoPrices, makeError(ErrorCode::Data, kNoPriceData));

    const auto started = Clock::now();
    analysis.Clear();
    const Status analysed =
        analysis.Analyze(prices.Tbl, prices.RowCount, conditions, plan.start, plan.end, true);
    TStkData stock;
    const bool copied = analysed && analysis.GetStkData(0, stock);
    times.analysis += Clock::now() - started;
    if (!analysed) {
        const Error& error = analysed.error();
        return stop(BacktestStop::Analysis,
                    makeError(error.code == ErrorCode::Validation ? ErrorCode::Validation : ErrorCode::Data,
                              error.message));
    }
    if (!copied)
        return stop(BacktestStop::NoSeries, makeError(ErrorCode::Data, kNoPriceData));
    times.stop = BacktestStop::None;
    return stock;
}

} // namespace vorteq
