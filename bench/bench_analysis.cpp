// Analyze with every indicator at its default period: one stock of 300 to 20,000 days (the cost
// per stock-day of a long series against a 1,250-day one shows how the engine scales in days), and
// a market of 4,000 stocks x 1,250 days analysed one stock at a time; then the same with the
// back-test on and ten conditions switched on. Reports ns per stock-day and peak memory.
#include "MarketGenerator.h"
#include "analysis/TStkAnalisys.h"
#include "simulation/TradeSimulation.h"

#include <algorithm>
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
    ->Args({5000, 0})
    ->Args({20000, 0})
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

// The editor's defaults with ten conditions in the four groups, commission in percent, and
// profit-taking and loss-cutting on: every day is judged, and exits are tested while a position
// is held.
TJouken backTestConditions()
{
    TJouken j = TJouken::defaults();
    const std::pair<const char*, const char*> settings[] = {
        // buy, OR: RSI 30 or less, or the close under the -2 sigma band
        {"UseBuyRSI", "1"},
        {"KbnBuyRSI", "1"},
        {"AmtBuyRSI2", "30"},
        {"UseBuyVolin", "1"},
        {"KbnBuyVorin", "1"},
        // buy, AND: MACD over its signal, +DI over -DI, the close over moving average A
        {"UseBuyMACD", "2"},
        {"KbnBuyMACD", "0"},
        {"UseBuyDMI", "2"},
        {"KbnBuyDMI", "0"},
        {"UseBuyIdo", "2"},
        {"KbnBuyIdo", "0"},
        // sell, OR: RSI 70 or more, or the close on or over the +2 sigma band
        {"UseSellRSI", "1"},
        {"KbnSellRSI", "0"},
        {"AmtSellRSI2", "70"},
        {"UseSellVolin", "1"},
        {"KbnSellVorin", "0"},
        // sell, AND: MACD under its signal, %K under %D, parabolic turned down
        {"UseSellMACD", "2"},
        {"KbnSellMACD", "1"},
        {"UseSellSTK", "2"},
        {"KbnSellSTK", "1"},
        {"UseSellParab", "2"},
        {"KbnSellParab", "1"},
        // money management
        {"UseTesuryo", "1"},
        {"KbnTesuryo", "1"},
        {"AmtTesuryo", "0.1"},
        {"UseRikaku", "1"},
        {"AmtRikaku", "10"},
        {"KbnRikaku", "0"},
        {"UseSongiri", "1"},
        {"AmtSongiri", "5"},
        {"KbnSongiri", "1"},
    };
    for (const auto& [key, value] : settings)
        j.set(key, value);
    return j;
}

// The simulated period of a generated series: every day but the oldest 55, which feed the
// indicators only, as the 80 calendar days of lead-in a run fetches.
struct SimPeriod {
    std::string start, end;
};
SimPeriod simulatedPeriod(const vorteq::bench::GeneratedStock& stock)
{
    constexpr int kLeadInTradingDays = 55;
    const auto date = [&](int row) {
        std::string d = stock.table->cell(2, row);
        std::replace(d.begin(), d.end(), '-', '/');
        return d;
    };
    return {date(std::max(1, stock.rows - kLeadInTradingDays)), date(1)};
}

// Writes the nine texts of every trade, as the trade list does when it is shown.
std::size_t writeTradeTexts(const TStkAnalisys& a)
{
    std::size_t bytes = 0;
    for (const auto& stock : a.StkList)
        for (const auto& t : stock.UserResult.Trades)
            for (const vorteq::TradeText* text :
                 {&t.TradeDate, &t.TradeKind, &t.TradeRtn, &t.TradePrice, &t.TradeVlm, &t.TradeAmt,
                  &t.TradeFee, &t.RestAmt, &t.TotalAmt})
                bytes += text->str().size();
    return bytes;
}

void BM_BackTestOneStock(benchmark::State& state)
{
    const bool withTexts = state.range(1) != 0;
    const auto stock = vorteq::bench::generateStock(1301, static_cast<int>(state.range(0)));
    const TJouken conditions = backTestConditions();
    const SimPeriod period = simulatedPeriod(stock);
    TStkAnalisys a;
    vorteq::installSimulation(a);
    std::size_t trades = 0;
    for (auto _ : state) {
        a.Clear();
        if (!a.Analyze(stock.table, stock.rows, conditions, period.start, period.end, true))
            state.SkipWithError("Analyze failed");
        trades = a.StkList.empty() ? 0 : static_cast<std::size_t>(a.StkList[0].UserResult.TradeCount);
        if (withTexts)
            benchmark::DoNotOptimize(writeTradeTexts(a));
        benchmark::DoNotOptimize(a.StkList.data());
    }
    state.counters["stock_days"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * stock.rows,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["trades"] = static_cast<double>(trades);
}
BENCHMARK(BM_BackTestOneStock)
    ->Args({300, 0})
    ->Args({1250, 0})
    ->Args({1250, 1})
    ->ArgNames({"days", "trade_texts"})
    ->Unit(benchmark::kMicrosecond);

// The back-test alone: signal rules and the day walk over series whose indicators are computed
// once, outside the timing.
void BM_BackTestWalkOnly(benchmark::State& state)
{
    const auto stock = vorteq::bench::generateStock(1301, static_cast<int>(state.range(0)));
    const SimPeriod period = simulatedPeriod(stock);
    TStkAnalisys a;
    if (!a.Analyze(stock.table, stock.rows, backTestConditions(), period.start, period.end, false))
        state.SkipWithError("Analyze failed");
    for (auto _ : state) {
        if (!vorteq::runSimulation(a))
            state.SkipWithError("simulation failed");
        benchmark::DoNotOptimize(a.StkList.data());
    }
    state.counters["stock_days"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * stock.rows,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["trades"] = a.StkList.empty() ? 0 : a.StkList[0].UserResult.TradeCount;
}
BENCHMARK(BM_BackTestWalkOnly)->Arg(1250)->ArgName("days")->Unit(benchmark::kMicrosecond);

// Every stock of a generated market back-tested one at a time, as a batch over a market would.
void BM_BackTestMarket(benchmark::State& state)
{
    const int stocks = static_cast<int>(state.range(0));
    const int days = static_cast<int>(state.range(1));
    const TJouken conditions = backTestConditions();
    for (auto _ : state) {
        TStkAnalisys a;
        vorteq::installSimulation(a);
        double cpu = 0;
        double trades = 0;
        for (int s = 0; s < stocks; ++s) {
            const auto stock = vorteq::bench::generateStock(1000 + s, days); // not timed
            const SimPeriod period = simulatedPeriod(stock);
            const double c0 = threadCpuSeconds();
            a.Clear();
            if (!a.Analyze(stock.table, stock.rows, conditions, period.start, period.end, true))
                state.SkipWithError("Analyze failed");
            cpu += threadCpuSeconds() - c0;
            trades += a.StkList.empty() ? 0 : a.StkList[0].UserResult.TradeCount;
        }
        state.SetIterationTime(cpu);
        state.counters["cpu_ns_per_stock_day"] = cpu * 1e9 / (static_cast<double>(stocks) * days);
        state.counters["trades_per_stock"] = trades / stocks;
    }
    state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_BackTestMarket)
    ->Args({4000, 1250})
    ->ArgNames({"stocks", "days"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

} // namespace

BENCHMARK_MAIN();
