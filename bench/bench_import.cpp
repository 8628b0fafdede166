// The importer end to end: 4,000 price files of 1,250 days each (made-up whole-yen series) read,
// analysed on every core and written into a fresh database; and the demo market's creation.
// One iteration each (tens of seconds); reports stock-days per second and the database size.
#include "BenchDatabase.h"
#include "MarketGenerator.h"
#include "server/import/DemoMarket.h"
#include "server/import/ImportCommand.h"
#include "server/import/Importer.h"
#include "server/storage/Schema.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace vorteq;
using namespace vorteq::server;

double fileMiB(const std::string& path)
{
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? 0.0 : static_cast<double>(size) / (1024.0 * 1024.0);
}

void BM_ImportPriceFiles(benchmark::State& state)
{
    const int stocks = static_cast<int>(state.range(0));
    const int days = static_cast<int>(state.range(1));
    const fs::path dir = vorteq::bench::makeTempDir("vorteq_bench_import");
    std::vector<std::string> files;
    for (int i = 0; i < stocks; ++i) {
        const int code = 1001 + i;
        const auto g = vorteq::bench::generateStock(code, days);
        std::string text = "Date,Open,High,Low,Close,Volume\n";
        for (int row = g.rows; row >= 1; --row) // oldest first
            for (int col = 2; col <= 7; ++col)
                text += g.table->cell(col, row) + (col == 7 ? "\n" : ",");
        files.push_back((dir / (std::to_string(code) + ".csv")).string());
        std::ofstream(files.back(), std::ios::binary) << text;
    }
    std::string dbPath;
    for (auto _ : state) {
        state.PauseTiming();
        dbPath = vorteq::bench::freshDatabase(dir, "bench.db", 2026);
        auto db = Database::open(dbPath, false);
        std::vector<StockSource> sources;
        for (const std::string& f : files)
            sources.push_back([f] { return readPriceFile(f, "", 11); });
        state.ResumeTiming();
        auto summary = importStocks(*db, std::move(sources), ImportOptions{});
        if (!summary || summary->imported != stocks)
            state.SkipWithError("import failed");
    }
    state.counters["stock_days_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * stocks * days, benchmark::Counter::kIsRate);
    state.counters["db_MiB"] = fileMiB(dbPath);
    fs::remove_all(dir);
}
BENCHMARK(BM_ImportPriceFiles)
    ->Args({1000, 1250})
    ->Args({4000, 1250})
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond);

// The demo-data command up to a fixed day, so that runs on different days compare.
void BM_DemoData(benchmark::State& state)
{
    const fs::path dir = vorteq::bench::makeTempDir("vorteq_bench_import");
    std::string dbPath;
    for (auto _ : state) {
        state.PauseTiming();
        dbPath = vorteq::bench::freshDatabase(dir, "bench.db", 2026);
        std::vector<std::string> args = {"vorteq-server", "demo-data",  "--db",      dbPath,
                                         "--until",       "2026/12/04", "--samples", VORTEQ_DATA_DIR};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        state.ResumeTiming();
        if (runDemoDataCommand(static_cast<int>(argv.size()), argv.data()) != 0)
            state.SkipWithError("demo-data failed");
    }
    state.counters["db_MiB"] = fileMiB(dbPath);
    fs::remove_all(dir);
}
BENCHMARK(BM_DemoData)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    // As the import and demo-data commands do before they open the database.
    vorteq::server::disableSqliteMemoryStatistics();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
