#pragma once

#include "analysis/TStkAnalisys.h"
#include "common/Result.h"
#include "conditions/TJouken.h"
#include "gateway/THttpStatements.h"
#include "series/TStkData.h"
#include "simulation/RunPlan.h"

#include <chrono>
#include <semaphore>

namespace vorteq {

// Where a back-test stopped short of a series; the client words each stop its own way.
enum class BacktestStop {
    None,         // the series was made
    Exchange,     // the request failed (the error says how)
    QueryRefused, // the server could not run the price query
    NoPrices,     // the query gave no rows
    Analysis,     // the analysis or the simulation failed
    NoSeries,     // the analysis kept no series of the stock
};

// Time one back-test spent waiting for the server and in the engine, and where it stopped.
struct BacktestTimes {
    std::chrono::nanoseconds request{0};
    std::chrono::nanoseconds analysis{0};
    BacktestStop stop = BacktestStop::None;
};

// How many requests of one user the statement server runs at the same time; it refuses the others
// outright, so a batch's workers never send more at once.
inline constexpr int kServerRequestsPerUser = 2;

// Bounds the requests in flight across the workers of a batch; the analyses run unbounded.
class RequestGate {
public:
    explicit RequestGate(int count = kServerRequestsPerUser) : m_slots(count < 1 ? 1 : count) {}
    void acquire() { m_slots.acquire(); }
    void release() { m_slots.release(); }

private:
    std::counting_semaphore<1024> m_slots;
};

// What the server reports when it could not run the price query.
inline constexpr const char* kPriceQueryFailed = "SQL ERROR (サーバーが文を実行できませんでした)";
inline constexpr const char* kNoPriceData = "データがありませんでした。";

// One stock's back-test, the one flow of the client's run (F5), the command line's backtest and the
// batches: the plan's price query sent as one batch on
// `statements` (with `extra` statements riding behind it, read back by the caller as items 2...),
// the rows handed to `analysis` (cleared first) with the conditions, the period start and end and
// the simulation, and the stock's series copied out. Failures: the exchange's own error; kPriceQueryFailed
// (Server) when the server reports the statement failed; kNoPriceData (Data) without rows; an
// analysis failure keeps its message and is Validation when the conditions are at fault, else Data.
// With a gate, the exchange waits for one of its slots (the wait counts as request time).
Result<TStkData> backtestStock(THttpStatements& statements, TStkAnalisys& analysis, const TJouken& conditions,
                               const SimulationPlan& plan, BacktestTimes& times,
                               const std::vector<std::string>& extra = {}, RequestGate* gate = nullptr);

} // namespace vorteq
