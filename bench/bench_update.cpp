// The daily update from the data API's files: one new day for every stock of a market whose
// history is already in the database, against a full import of the same history and day.
// Setting up the database (a full import of stocks x days) takes minutes for the large case and
// is not timed. Usage: bench_update [--benchmark_filter=...]; the arguments are stocks, days.
#include "BenchDatabase.h"
#include "MarketGenerator.h"
#include "server/import/ApiImport.h"
#include "server/import/Importer.h"
#include "server/storage/Schema.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace vorteq;
using namespace vorteq::server;

// User and system time of every thread of the process: on a shared machine the wall time says
// little, this says what the work costs.
double processCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

const char* kHeader =
    "Date,Code,Open,High,Low,Close,Volume,TurnoverValue,AdjustmentFactor,UpperLimit,LowerLimit\n";

// Rows [from, to) of a generated stock (oldest first) as daily-quotes CSV lines.
std::string quoteLines(int code, const vorteq::bench::GeneratedStock& g, int from, int to)
{
    std::string text;
    for (int k = from; k < to; ++k) {
        const auto row = static_cast<std::size_t>(g.rows - k); // the table is newest first
        std::string date((*g.table)[2][row]);
        for (char& c : date)
            if (c == '/')
                c = '-';
        text += date + "," + std::to_string(code) + "0";
        for (int col = 3; col <= 7; ++col)
            text.append(",").append((*g.table)[static_cast<std::size_t>(col)][row]);
        text += ",0,1.0,0,0\n";
    }
    return text;
}

struct Fixture {
    fs::path dir;
    std::vector<std::string> history; // one file per stock
    std::string nextDay;              // every stock's new day, one file
};

Fixture makeFiles(int stocks, int days)
{
    Fixture f;
    f.dir = vorteq::bench::makeTempDir("vorteq_bench_update");
    std::string next = kHeader;
    for (int i = 0; i < stocks; ++i) {
        const int code = 1001 + i;
        const auto g = vorteq::bench::generateStock(code, days + 1);
        f.history.push_back((f.dir / (std::to_string(code) + ".csv")).string());
        std::ofstream(f.history.back(), std::ios::binary) << kHeader << quoteLines(code, g, 0, days);
        next += quoteLines(code, g, days, days + 1);
    }
    f.nextDay = (f.dir / "next.csv").string();
    std::ofstream(f.nextDay, std::ios::binary) << next;
    return f;
}

ApiImportOptions quiet(int market)
{
    ApiImportOptions o;
    o.fallbackMarket = market;
    o.message = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
    return o;
}

void BM_UpdateOneDay(benchmark::State& state)
{
    const int stocks = static_cast<int>(state.range(0));
    const int days = static_cast<int>(state.range(1));
    Fixture f = makeFiles(stocks, days);
    const std::string base = vorteq::bench::freshDatabase(f.dir, "base.db", 2012);
    {
        auto db = Database::open(base, false);
        auto s = importApiFiles(*db, f.history, quiet(14));
        if (!s || s->imported != stocks) {
            state.SkipWithError("setting up the history failed");
            return;
        }
        (void)db->exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    const std::string work = (f.dir / "work.db").string();
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(base, work, fs::copy_options::overwrite_existing);
        const double cpuBefore = processCpuSeconds();
        state.ResumeTiming();
        auto s = updateFromApiFiles(work, {f.nextDay}, quiet(14));
        state.counters["cpu_s_all_threads"] = processCpuSeconds() - cpuBefore;
        if (!s || s->appended != stocks)
            state.SkipWithError("update failed");
        else
            state.counters["analysed_whole"] = s->analysedWhole;
    }
    state.counters["stocks"] = stocks;
    state.counters["history_days"] = days;
    fs::remove_all(f.dir);
}
BENCHMARK(BM_UpdateOneDay)
    ->Args({400, 5000})
    ->Args({4000, 5000})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The alternative the update replaces: importing every stock's history and new day afresh.
void BM_FullImportOfTheSameDays(benchmark::State& state)
{
    const int stocks = static_cast<int>(state.range(0));
    const int days = static_cast<int>(state.range(1));
    Fixture f = makeFiles(stocks, days);
    std::vector<std::string> files = f.history;
    files.push_back(f.nextDay);
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = vorteq::bench::freshDatabase(f.dir, "full.db", 2012);
        auto db = Database::open(path, false);
        state.ResumeTiming();
        auto s = importApiFiles(*db, files, quiet(14));
        if (!s || s->imported != stocks)
            state.SkipWithError("import failed");
    }
    fs::remove_all(f.dir);
}
BENCHMARK(BM_FullImportOfTheSameDays)
    ->Args({400, 5000})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    vorteq::server::disableSqliteMemoryStatistics();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
