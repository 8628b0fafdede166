// vorteq-cli batch over a market of 300 stocks for one year (1y up to the last generated day, ten
// conditions switched on), against the real statement server in process on loopback: login, one screening,
// then per stock the price request (one year plus the lead-in, two yearly tables) and the analysis
// with the simulation. Reported per run and per stock, split into requests and analysis. Then the
// same batch with one worker against two, in turns, over one and five years.
// Run: build-release/bench/bench_cli_batch
// The whole market of 4,000 stocks over five years:
//   VORTEQ_BENCH_STOCKS=4000 VORTEQ_BENCH_DAYS=1330 build-release/bench/bench_cli_batch
//   --benchmark_filter=JobsOneAgainstTwo
#include "MarketGenerator.h"
#include "accounts/LoginBatch.h"
#include "cli/Batch.h"
#include "cli/CliIo.h"
#include "cli/Commands.h"
#include "common/TextFile.h"
#include "conditions/ConditionFiles.h"
#include "results/ForwardReturns.h"
#include "support/TestServer.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace vorteq;

namespace {

// The market's size: VORTEQ_BENCH_STOCKS stocks (default 300) of VORTEQ_BENCH_DAYS trading days each
// (default 330: one year plus the 80-day lead-in, with room to spare; 1,330 holds five years).
int envInt(const char* name, int fallback)
{
    const char* text = std::getenv(name);
    return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}
const int kStocks = envInt("VORTEQ_BENCH_STOCKS", 300);
const int kDays = envInt("VORTEQ_BENCH_DAYS", 330);
constexpr int kRowsPerInsert = 500;

class NullIo final : public cli::CliIo {
public:
    std::size_t outBytes = 0;
    std::string err;
    bool writeOut(std::string_view bytes) override
    {
        outBytes += bytes.size();
        return true;
    }
    bool writeOutText(std::string_view utf8) override { return writeOut(utf8); }
    void writeErr(std::string_view utf8) override { err += utf8; }
    std::optional<std::string> readPassword(std::string_view) override { return std::nullopt; }
    std::optional<std::string> env(const char* name) override
    {
        if (std::string_view(name) == "VORTEQ_PASSWORD")
            return std::string("bench123");
        return std::nullopt;
    }
};

struct Fixture {
    std::unique_ptr<test::TestServer> server;
    std::filesystem::path conditions;
    std::string newestDay; // the base date: the last generated trading day
};

// Prices of kStocks made-up stocks of market 11 in their yearly tables, dates as the server keeps
// them (yyyy/mm/dd). Every stock has the same trading days.
void seed(test::TestServer& server)
{
    server.addUser("bench", "bench123", "計測", "bench@example.com");
    std::string info = "INSERT INTO STK_INFO VALUES ";
    std::vector<std::string> inserts;
    std::string rows;
    int rowCount = 0;
    std::string table;
    auto flush = [&] {
        if (rowCount > 0)
            server.execSql("INSERT INTO " + table +
                           " (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, "
                           "STK_VLM) VALUES " +
                           rows);
        rows.clear();
        rowCount = 0;
    };
    for (int i = 0; i < kStocks; ++i) {
        const int code = 1300 + i;
        info += (i > 0 ? ", ('" : "('") + std::to_string(code) + "', '銘柄" + std::to_string(code) + "', 11)";
        const bench::GeneratedStock g = bench::generateStock(code, kDays);
        const PtblData& t = *g.table;
        for (int r = 1; r <= g.rows; ++r) {
            std::string date = t.cell(2, r);
            for (char& c : date)
                if (c == '-')
                    c = '/';
            const std::string year = date.substr(0, 4);
            const std::string target = "STK_DAILY_TSE_" + year;
            if (target != table || rowCount == kRowsPerInsert) {
                flush();
                table = target;
            }
            rows += (rowCount > 0 ? ", ('" : "('") + t.cell(1, r) + "', '" + date + "', " + t.cell(3, r) +
                    ", " + t.cell(4, r) + ", " + t.cell(5, r) + ", " + t.cell(6, r) + ", " + t.cell(7, r) +
                    ")";
            ++rowCount;
        }
    }
    flush();
    server.execSql(info);
}

// Ten conditions in force: RSI, stochastics %K/%D, MACD, DMI and the parabolic on both sides.
std::filesystem::path writeConditions(const std::filesystem::path& dir)
{
    TJouken record = TJouken::defaults();
    for (const char* key : {"UseBuyRSI", "UseBuySTK", "UseBuyMACD", "UseBuyDMI", "UseBuyParab", "UseSellRSI",
                            "UseSellSTK", "UseSellMACD", "UseSellDMI", "UseSellParab"})
        record.set(key, "1");
    const std::vector<std::string> pairs = jouken_write_list(record);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
        lines.push_back(pairs[i] + "," + pairs[i + 1] + ",");
    const std::filesystem::path file = dir / "bench.dat";
    if (!writeTextLinesAtomic(file, lines).ok())
        throw std::runtime_error("cannot write the condition file");
    return file;
}

Fixture& fixture()
{
    static Fixture f = [] {
        Fixture made;
        made.server = std::make_unique<test::TestServer>();
        seed(*made.server);
        std::string newest = bench::generateStock(1300, kDays).table->cell(2, 1);
        for (char& c : newest)
            if (c == '-')
                c = '/';
        made.newestDay = newest;
        const auto dir =
            std::filesystem::temp_directory_path() / ("vorteq_bench_cli_" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        made.conditions = writeConditions(dir);
        return made;
    }();
    return f;
}

double ms(std::chrono::nanoseconds ns)
{
    return static_cast<double>(ns.count()) / 1e6;
}

void BM_Batch300StocksOneYear(benchmark::State& state)
{
    Fixture& f = fixture();
    const std::vector<std::string> args = {"--server",     "127.0.0.1:" + std::to_string(f.server->port()),
                                           "--user",       "bench",
                                           "--market",     "11",
                                           "--date",       f.newestDay,
                                           "--period",     "1y",
                                           "--conditions", f.conditions.string()};
    const std::vector<cli::OptionDef> optionDefs = cli::batchOptions();
    auto parsed = cli::parseOptions(args, optionDefs);
    if (!parsed) {
        state.SkipWithError(parsed.error().message.c_str());
        return;
    }
    cli::BatchTimings sum;
    int runs = 0;
    for (auto _ : state) {
        NullIo io;
        cli::BatchTimings t;
        const int status = cli::runBatchMeasured(*parsed, io, t);
        if (status != 0 || t.stocks != kStocks) {
            state.SkipWithError(("batch failed: " + io.err).c_str());
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(t.total).count());
        sum.total += t.total;
        sum.login += t.login;
        sum.screening += t.screening;
        sum.runs.requests += t.runs.requests;
        sum.runs.analysis += t.runs.analysis;
        sum.stocks += t.stocks;
        ++runs;
    }
    const double n = runs;
    state.counters["total_ms"] = ms(sum.total) / n;
    state.counters["login_ms"] = ms(sum.login) / n;
    state.counters["screen_ms"] = ms(sum.screening) / n;
    state.counters["requests_ms"] = ms(sum.runs.requests) / n;
    state.counters["analysis_ms"] = ms(sum.runs.analysis) / n;
    state.counters["per_stock_ms"] = ms(sum.total) / sum.stocks;
    state.counters["request_per_stock_ms"] = ms(sum.runs.requests) / sum.stocks;
    state.counters["analysis_per_stock_ms"] = ms(sum.runs.analysis) / sum.stocks;
}

// One batch over the whole market with --jobs N and --period P; its wall time.
std::chrono::nanoseconds timedBatch(const std::string& jobs, const std::string& period)
{
    Fixture& f = fixture();
    const std::vector<std::string> args = {"--server",
                                           "127.0.0.1:" + std::to_string(f.server->port()),
                                           "--user",
                                           "bench",
                                           "--market",
                                           "11",
                                           "--date",
                                           f.newestDay,
                                           "--period",
                                           period,
                                           "--jobs",
                                           jobs,
                                           "--stats",
                                           "--conditions",
                                           f.conditions.string()};
    const std::vector<cli::OptionDef> optionDefs = cli::batchOptions();
    auto parsed = cli::parseOptions(args, optionDefs);
    if (!parsed)
        throw std::runtime_error(parsed.error().message);
    NullIo io;
    cli::BatchTimings t;
    const int status = cli::runBatchMeasured(*parsed, io, t);
    if (status != 0 || t.stocks != kStocks)
        throw std::runtime_error("batch failed: " + io.err);
    return t.total;
}

// --jobs 1 against --jobs 2 in turns (1, 2, 1, 2, ...), so that whatever else the machine does
// falls on both alike: the minimum and the median of each, and the median's speed-up. The period
// is the benchmark's argument in years (1 or 5).
void BM_BatchJobsOneAgainstTwo(benchmark::State& state)
{
    const std::string period = state.range(0) == 5 ? "5y" : "1y";
    std::vector<double> one;
    std::vector<double> two;
    try {
        for (auto _ : state) {
            one.push_back(ms(timedBatch("1", period)));
            two.push_back(ms(timedBatch("2", period)));
            state.SetIterationTime((one.back() + two.back()) / 1000);
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.size() % 2 == 1 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    };
    state.counters["jobs1_min_ms"] = *std::min_element(one.begin(), one.end());
    state.counters["jobs1_median_ms"] = median(one);
    state.counters["jobs2_min_ms"] = *std::min_element(two.begin(), two.end());
    state.counters["jobs2_median_ms"] = median(two);
    state.counters["speedup_median"] = median(one) / median(two);
    state.counters["stocks"] = kStocks;
}

// The check of a 500-stock list (the first 500 codes) against the whole market: the trading days
// after a base date 100 trading days before the newest day, then the prices of the entry and the
// four exit days. The market holds VORTEQ_BENCH_STOCKS stocks.
void BM_ForwardReturns500(benchmark::State& state)
{
    Fixture& f = fixture();
    std::string base = bench::generateStock(1300, kDays).table->cell(2, 100);
    for (char& c : base)
        if (c == '-')
            c = '/';
    std::vector<std::string> list;
    for (int i = 0; i < std::min(500, kStocks); ++i)
        list.push_back(std::to_string(1300 + i));
    clearSessionCookie();
    THttpStatements login(f.server->url());
    login.Add("Query");
    login.Add(loginUserStatement("bench", "bench123"));
    if (const auto done = login.Execute(); !done || !*done) {
        state.SkipWithError("login failed");
        return;
    }
    THttpStatements statements(f.server->url());
    for (auto _ : state) {
        const auto returns = fetchForwardReturns(statements, "11", base, list, kForwardHorizons);
        if (!returns || returns->horizons.back().listReturns == 0) {
            state.SkipWithError(returns ? "no returns" : returns.error().message.c_str());
            return;
        }
        benchmark::DoNotOptimize(returns->horizons);
    }
}

} // namespace

BENCHMARK(BM_ForwardReturns500)->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK(BM_BatchJobsOneAgainstTwo)
    ->Arg(1)
    ->Arg(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

BENCHMARK(BM_Batch300StocksOneYear)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

BENCHMARK_MAIN();
