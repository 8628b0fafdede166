// Parameter sweeps on made-up prices, without the server (the price requests are the server's
// benchmark): the engine's time for
//   Sweep20x20/OneStock5Years:   a 20 x 20 threshold sweep (RSI buy and sell levels) over one stock
//                                and five years, the indicators computed once;
//   PerCellAnalysis/OneStock5Years: the same 400 cells as 400 ordinary back-tests, each with its
//                                own analysis (what the sweep saves);
//   Sweep400Cells/Stocks300Year1: 400 cells over 300 stocks and one year.
// Every stock is a random walk of weekdays; each period is its newest trading days.
// The argument is the number of worker threads.
// Run: build-release/bench/bench_sweep --benchmark_enable_random_interleaving=true --benchmark_repetitions=5
#include "simulation/TradeSimulation.h"
#include "sweep/ParameterSweep.h"
#include "sweep/SweepTestSupport.h"

#include <algorithm>
#include <benchmark/benchmark.h>

using namespace vorteq;

namespace {

// A generated stock and the first and last date of its newest days.
struct BenchStock {
    SweepStock stock;
    std::string start, end;
};

BenchStock benchStock(int code, int days, int simulated)
{
    SweepStock stock = testing::walkStock(code, days);
    const testing::Period period = testing::newestDays(stock, simulated);
    return {std::move(stock), period.start, period.end};
}

SweepGrid thresholdGrid(const char* buy, const char* sell)
{
    return *makeSweepGrid(testing::rsiRules(), {*parseSweepAxis(buy), *parseSweepAxis(sell)});
}

// Five years of trading days and the 80-day lead-in.
constexpr int kFiveYears = 5 * 245 + 60;
constexpr int kOneYear = 245 + 60;

void Sweep20x20_OneStock5Years(benchmark::State& state)
{
    const BenchStock b = benchStock(1301, kFiveYears, 5 * 245);
    const std::vector<SweepStock> stocks{b.stock};
    const SweepGrid grid = thresholdGrid("AmtBuyRSI2=10:48:2", "AmtSellRSI2=52:90:2");
    SweepRunOptions options;
    options.jobs = static_cast<int>(state.range(0));
    long long trades = 0;
    for (auto _ : state) {
        auto result = runSweep(grid, stocks, b.start, b.end, options);
        for (const CellFigures& f : (*result)[0]) {
            if (!f.error.empty())
                state.SkipWithError(f.error.c_str());
            trades += f.trades;
        }
    }
    state.counters["trades"] = static_cast<double>(trades) / static_cast<double>(state.iterations());
    state.counters["cells"] = grid.cellCount();
}
BENCHMARK(Sweep20x20_OneStock5Years)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void PerCellAnalysis_OneStock5Years(benchmark::State& state)
{
    const BenchStock b = benchStock(1301, kFiveYears, 5 * 245);
    const SweepGrid grid = thresholdGrid("AmtBuyRSI2=10:48:2", "AmtSellRSI2=52:90:2");
    TStkAnalisys analysis;
    installSimulation(analysis);
    for (auto _ : state)
        for (int cell = 0; cell < grid.cellCount(); ++cell) {
            const Status st =
                analysis.Analyze(b.stock.table, b.stock.rows, grid.conditionsOf(cell), b.start, b.end, true);
            benchmark::DoNotOptimize(st);
        }
}
BENCHMARK(PerCellAnalysis_OneStock5Years)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void Sweep400Cells_Stocks300Year1(benchmark::State& state)
{
    std::vector<SweepStock> stocks;
    std::string start, end;
    for (int code = 1000; code < 1300; ++code) {
        BenchStock b = benchStock(code, kOneYear, 245);
        start = b.start;
        end = b.end;
        stocks.push_back(std::move(b.stock));
    }
    const SweepGrid grid = thresholdGrid("AmtBuyRSI2=10:48:2", "AmtSellRSI2=52:90:2");
    SweepRunOptions options;
    options.jobs = static_cast<int>(state.range(0));
    for (auto _ : state) {
        auto result = runSweep(grid, stocks, start, end, options);
        benchmark::DoNotOptimize(result);
    }
    state.counters["cells"] = static_cast<double>(grid.cellCount()) * static_cast<double>(stocks.size());
}
BENCHMARK(Sweep400Cells_Stocks300Year1)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

} // namespace

BENCHMARK_MAIN();
