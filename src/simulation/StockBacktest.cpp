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
    if (!executed)
        return executed.error();
    if (!*executed)
        return makeError(ErrorCode::Server, kPriceQueryFailed);
    const TSqlSet& prices = statements.Item(1);
    if (prices.RowCount == 0)
        return makeError(ErrorCode::Data, kNoPriceData);

    const auto started = Clock::now();
    analysis.Clear();
    const Status analysed =
        analysis.Analyze(prices.Tbl, prices.RowCount, conditions, plan.start, plan.end, true);
    TStkData stock;
    const bool copied = analysed && analysis.GetStkData(0, stock);
    times.analysis += Clock::now() - started;
    if (!analysed) {
        const Error& error = analysed.error();
        return makeError(error.code == ErrorCode::Validation ? ErrorCode::Validation : ErrorCode::Data,
                         error.message);
    }
    if (!copied)
        return makeError(ErrorCode::Data, kNoPriceData);
    return stock;
}

} // namespace vorteq
