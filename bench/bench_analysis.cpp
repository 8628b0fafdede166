// Analyze with every indicator at its default period: one stock of 300 days, and a market of
// 4,000 stocks x 1,250 days analysed one stock at a time. Reports ns per stock-day and peak memory.
#include "MarketGenerator.h"
#include "analysis/TStkAnalisys.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <ctime>
#include <sys/resource.h>

namespace {

using vorteq::TJouken;
using vorteq::TStkAnalisys;

double peakRssMiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_maxrss) / 1024.0; // ru_maxrss is in KiB on Linux
}

// Renders every field of every day as text, as an export or the importer does.
std::size_t writeAllTexts(const TStkAnalisys& a)
{
    std::size_t bytes = 0;
    std::string line;
    for (const auto& stock : a.StkList)
        for (const auto& day : stock.Days) {
            line.clear();
            for (int p = 0; p < vorteq::TStkDailyData::kFieldCount; ++p)
                day[p].appendText(line);
            bytes += line.size();
        }
    return bytes;
}

void BM_AnalyzeOneStock(benchmark::State& state)
{
    const bool withTexts = state.range(1) != 0;
    const auto stock = vorteq::bench::generateStock(1301, static_cast<int>(state.range(0)));
    const TJouken defaults = TJouken::defaults();
    TStkAnalisys a;
    for (auto _ : state) {
        a.Clear();
        if (!a.Analyze(stock.table, stock.rows, defaults, "2011/01/04", "2011/12/30", false))
            state.SkipWithError("Analyze failed");
        if (withTexts)
            benchmark::DoNotOptimize(writeAllTexts(a));
        benchmark::DoNotOptimize(a.StkList.data());
    }
    state.counters["stock_days"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * stock.rows,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_AnalyzeOneStock)
    ->Args({300, 0})
    ->Args({300, 1})
    ->Args({1250, 0})
    ->ArgNames({"days", "texts"})
    ->Unit(benchmark::kMicrosecond);

// CPU time of this thread: the machine may be shared, and waiting for a core is not the engine's.
double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void BM_AnalyzeMarket(benchmark::State& state)
{
    const int stocks = static_cast<int>(state.range(0));
    const int days = static_cast<int>(state.range(1));
    const bool withTexts = state.range(2) != 0;
    const TJouken defaults = TJouken::defaults();
    for (auto _ : state) {
        TStkAnalisys a;
        double cpu = 0;
        double wall = 0;
        for (int s = 0; s < stocks; ++s) {
            const auto stock = vorteq::bench::generateStock(1000 + s, days); // not timed
            const double c0 = threadCpuSeconds();
            const auto t0 = std::chrono::steady_clock::now();
            a.Clear();
            if (!a.Analyze(stock.table, stock.rows, defaults, "2011/01/04", "2011/12/30", false))
                state.SkipWithError("Analyze failed");
            if (withTexts)
                benchmark::DoNotOptimize(writeAllTexts(a));
            wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            cpu += threadCpuSeconds() - c0;
        }
        state.SetIterationTime(cpu);
        const double stockDays = static_cast<double>(stocks) * days;
        state.counters["cpu_ns_per_stock_day"] = cpu * 1e9 / stockDays;
        state.counters["wall_ns_per_stock_day"] = wall * 1e9 / stockDays;
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_AnalyzeMarket)
    ->Args({4000, 1250, 0})
    ->Args({4000, 1250, 1})
    ->ArgNames({"stocks", "days", "texts"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
