#include "server/import/ImportCommand.h"

#include "common/CommandLine.h"
#include "common/DateText.h"
#include "common/NumberText.h"
#include "server/import/ApiImport.h"
#include "server/import/ApiQuotesFile.h"
#include "server/import/DemoMarket.h"
#include "server/import/Importer.h"
#include "server/import/PgImport.h"
#include "server/storage/PgDatabase.h"
#include "server/storage/Schema.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#ifndef VORTEQ_DATA_DIR
#define VORTEQ_DATA_DIR "data"
#endif

namespace vorteq::server {

namespace fs = std::filesystem;

const std::string_view kImportUsage =
    R"(  vorteq-server import --market CODE [--names FILE] [--code CODE] [--db PATH] [--jobs N] FILE...
      Reads daily prices (CSV: date, open, high, low, close, volume; header optional;
      dates yyyy-mm-dd or yyyy/mm/dd; UTF-8 or CP932) into the market's daily tables and
      computes every indicator column. One stock per file named by its code (7203.csv), or
      files with a code column; --code names the stock of a single file. --names reads
      "code,name" lines. A re-import replaces the stock's rows. A bad row is reported
      with its file and line, and that stock is left out; the rest goes on.
      Markets: 11 12 13 21 22 24 91 999 14 15 16 (14 プライム, 15 スタンダード, 16 グロース).
  vorteq-server import [--raw] [--market CODE] [--db PATH] [--jobs N] API-FILE...
      Reads the data API's files as downloaded (JSON or CSV): daily quotes and listed
      issues, which give each stock its name and market (--market: for stocks they do not
      name). The daily tables get prices and volumes adjusted for splits (--raw: as traded);
      the quotes, adjustment factors and price-limit flags are kept in STK_QUOTE.
  vorteq-server update [--market CODE] [--db PATH] [--jobs N] API-FILE...
      Appends the days of the data API's files to the stocks imported from them, with
      indicator columns as a full import computes them, and sets the update date. A split
      (an adjustment factor other than 1) re-adjusts the stock's whole history. The server
      may keep serving the database meanwhile.
  vorteq-server demo-data [--db PATH] [--seed N] [--until yyyy/mm/dd] [--samples DIR] [--jobs N]
      Fills the database with a made-up market of about 300 sample stocks and FX pairs, daily
      from 2005 to the last weekday before today (or --until), and the real price series
      shipped in DIR (default: the repository's data folder). The same seed gives the same data.
      Exit status of all three: 0 all written, 1 some stock or file left out, 2 nothing done.
)";

namespace {

// The real series shipped with the repository and the stock each becomes in the demo market.
struct RealSample {
    std::string_view file;
    std::string_view code;
    int market;
    std::string_view name;
};
constexpr RealSample kRealSamples[] = {
    {"goog_2004-08-19_2008-10-14.csv", "9997", 11, "米国株の実データ（ドル建て・サンプル）"},
};

int fail(const std::string& message)
{
    std::fprintf(stderr, "vorteq-server: %s\n", message.c_str());
    return 2;
}

std::optional<long long> integerArg(const std::string& text, long long lo, long long hi)
{
    auto v = parseInt64(text);
    if (!v || *v < lo || *v > hi || text.empty() || text[0] == ' ')
        return std::nullopt;
    return *v;
}

// Messages and the progress line on standard error. On a terminal the progress line is redrawn
// in place and a message clears it first; elsewhere only messages and the summary are written.
class Console {
public:
    Console() : m_terminal(::isatty(STDERR_FILENO) == 1) {}

    void message(const std::string& line)
    {
        clearProgress();
        std::fprintf(stderr, "%s\n", line.c_str());
    }

    void progress(const ImportProgress& p, std::string_view unit)
    {
        if (!m_terminal)
            return;
        std::fprintf(stderr, "\r\x1b[K取り込み中: %zu/%zu %.*s（取り込み %d 銘柄、スキップ %d 銘柄）",
                     p.sourcesDone, p.sourcesTotal, static_cast<int>(unit.size()), unit.data(), p.imported,
                     p.skipped);
        std::fflush(stderr);
        m_shown = true;
    }

    void clearProgress()
    {
        if (m_shown) {
            std::fputs("\r\x1b[K", stderr);
            m_shown = false;
        }
    }

private:
    bool m_terminal;
    bool m_shown = false;
};

Result<Database> openExisting(const std::string& path)
{
    if (!fs::exists(path))
        return makeError(ErrorCode::Io, "データベースがありません: " + path +
                                            "（先に vorteq-server init --db " + path +
                                            " を実行してください）");
    auto db = Database::open(path, false);
    if (!db)
        return db.error();
    // The masters must be there; no daily table is made here beyond those the data needs.
    if (auto st = createSchema(*db, kFirstDailyYear - 1); !st)
        return st.error();
    return db;
}

constexpr const char* kApiOnlySqlite =
    "データ API のファイルの取り込み (import, update) は SQLite のデータベースにだけできます。"
    "PostgreSQL には単純な価格ファイルの import と demo-data で取り込んでください";

// The SQLite file with its writer, both kept for the import.
class SqliteStore final : public StockStore {
public:
    explicit SqliteStore(Database db) : m_db(std::move(db)) {}
    Status open()
    {
        auto writer = StockWriter::open(m_db);
        if (!writer)
            return writer.error();
        m_writer.emplace(std::move(*writer));
        return Status::success();
    }
    Status write(const PreparedStock& stock) override { return m_writer->write(stock); }
    std::size_t pendingRows() const override { return m_writer->pendingRows(); }
    Status commit() override { return m_writer->commit(); }
    Status updateDates() override { return m_writer->updateDates(); }

private:
    Database m_db;
    std::optional<StockWriter> m_writer;
};

// Where import and demo-data write: the SQLite file at path, or PostgreSQL at a postgresql:// address.
Result<std::unique_ptr<StockStore>> openImportStore(const std::string& path)
{
    if (isPostgresAddress(path))
        return openPostgresStockWriter(path);
    auto db = openExisting(path);
    if (!db)
        return db.error();
    auto target = std::make_unique<SqliteStore>(std::move(*db));
    if (auto st = target->open(); !st)
        return st.error();
    return std::unique_ptr<StockStore>(std::move(target));
}

int finish(const Result<ImportSummary>& result, Console& console,
           std::chrono::steady_clock::time_point started)
{
    console.clearProgress();
    if (!result)
        return fail(result.error().message);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const ImportSummary& s = *result;
    std::fprintf(
        stderr,
        "取り込み完了: %d 銘柄（日足 %lld 行）、スキップ %d 銘柄、読めなかったファイル %d 件、%.1f 秒\n",
        s.imported, static_cast<long long>(s.days), s.skipped, s.failedSources, seconds);
    return s.skipped == 0 && s.failedSources == 0 ? 0 : 1;
}

struct CommonArgs {
    std::string db = "vorteq.db";
    int jobs = 0;
};

// Reads "--name value" options (and flags without a value) into the map with the command-line
// library; the rest are files. An option given twice keeps its last value. Returns an error text.
std::string splitArgs(int argc, char** argv, const std::vector<std::string_view>& known,
                      std::map<std::string, std::string>& options, std::vector<std::string>& files,
                      const std::vector<std::string_view>& flags = {})
{
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    app.add_option("files", files);
    for (std::string_view name : known)
        app.add_option(std::string(name))->expected(1)->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    for (std::string_view name : flags)
        app.add_flag(std::string(name));
    const CommandLineReading reading = readCommandLine(app, std::vector<std::string>(argv + 2, argv + argc));
    if (!reading.missingValue.empty())
        return reading.missingValue + " needs a value";
    if (!reading.failure.empty())
        return reading.failure;
    if (!reading.leftOver.empty())
        return "unknown option " + reading.leftOver.front() + " (see --help)";
    for (const CLI::Option* option : app.get_options())
        if (option->count() > 0 && option->get_name() != "files")
            options[option->get_name()] =
                option->get_expected_max() == 0 ? std::string() : option->results().back();
    return {};
}

std::optional<CommonArgs> commonArgs(const std::map<std::string, std::string>& options, std::string& error)
{
    CommonArgs c;
    if (auto it = options.find("--db"); it != options.end())
        c.db = it->second;
    if (auto it = options.find("--jobs"); it != options.end()) {
        auto n = integerArg(it->second, 1, 64);
        if (!n) {
            error = "--jobs: a number from 1 to 64";
            return std::nullopt;
        }
        c.jobs = static_cast<int>(*n);
    }
    return c;
}

std::string marketCodes()
{
    std::string codes;
    for (const Market& m : kMarkets)
        codes += (codes.empty() ? "" : " ") + std::to_string(m.code);
    return codes;
}

const Market* marketOption(const std::string& text)
{
    auto code = integerArg(text, 0, 100000);
    return code ? findMarket(static_cast<int>(*code)) : nullptr;
}

// The API options shared by import and update; false after reporting a bad one.
bool apiOptions(std::map<std::string, std::string>& options, const CommonArgs& common, ApiImportOptions& out)
{
    out.workers = common.jobs;
    if (options.count("--market")) {
        const Market* market = marketOption(options["--market"]);
        if (!market) {
            fail("--market: 市場コードは " + marketCodes() + " のどれかです: " + options["--market"]);
            return false;
        }
        out.fallbackMarket = market->code;
    }
    return true;
}

int runApiImport(std::map<std::string, std::string>& options, const std::vector<std::string>& files,
                 const CommonArgs& common, std::size_t apiFiles)
{
    if (apiFiles != files.size())
        return fail(
            "データ API のファイルと単純な価格ファイルは一度に取り込めません（別々に import してください）");
    if (options.count("--code") || options.count("--names"))
        return fail("--code と --names は単純な価格ファイルのためのものです（データ API "
                    "の銘柄名と市場は上場銘柄のファイルから読みます）");
    if (isPostgresAddress(common.db))
        return fail(kApiOnlySqlite);
    ApiImportOptions apiOptionsOut;
    if (!apiOptions(options, common, apiOptionsOut))
        return 2;
    apiOptionsOut.adjusted = !options.count("--raw");
    auto db = openExisting(common.db);
    if (!db)
        return fail(db.error().message);
    Console console;
    apiOptionsOut.message = [&](const std::string& line) { console.message(line); };
    apiOptionsOut.progress = [&](const ImportProgress& p) { console.progress(p, "銘柄"); };
    const auto started = std::chrono::steady_clock::now();
    return finish(importApiFiles(*db, files, apiOptionsOut), console, started);
}

} // namespace

int runUpdateCommand(int argc, char** argv)
{
    disableSqliteMemoryStatistics();
    std::map<std::string, std::string> options;
    std::vector<std::string> files;
    if (std::string e = splitArgs(argc, argv, {"--market", "--db", "--jobs"}, options, files); !e.empty())
        return fail(e);
    std::string error;
    auto common = commonArgs(options, error);
    if (!common)
        return fail(error);
    if (files.empty())
        return fail("update needs at least one file of the data API");
    ApiImportOptions apiOptionsOut;
    if (!apiOptions(options, *common, apiOptionsOut))
        return 2;
    if (isPostgresAddress(common->db))
        return fail(kApiOnlySqlite);
    if (!fs::exists(common->db))
        return fail("データベースがありません: " + common->db);
    Console console;
    apiOptionsOut.message = [&](const std::string& line) { console.message(line); };
    apiOptionsOut.progress = [&](const ImportProgress& p) { console.progress(p, "銘柄"); };
    const auto started = std::chrono::steady_clock::now();
    auto result = updateFromApiFiles(common->db, files, apiOptionsOut);
    console.clearProgress();
    if (!result)
        return fail(result.error().message);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const UpdateSummary& s = *result;
    std::fprintf(stderr,
                 "更新完了: 日を足した銘柄 %d、履歴を調整し直した銘柄 %d、新しい銘柄 %d（日足 %lld 行）、"
                 "変更のない銘柄 %d、スキップ %d 銘柄、読めなかったファイル %d 件、%.1f 秒\n",
                 s.appended, s.readjusted, s.added, static_cast<long long>(s.days), s.unchanged, s.skipped,
                 s.failedFiles, seconds);
    return s.skipped == 0 && s.failedFiles == 0 ? 0 : 1;
}

int runImportCommand(int argc, char** argv)
{
    disableSqliteMemoryStatistics();
    std::map<std::string, std::string> options;
    std::vector<std::string> files;
    if (std::string e = splitArgs(argc, argv, {"--market", "--names", "--code", "--db", "--jobs"}, options,
                                  files, {"--raw"});
        !e.empty())
        return fail(e);
    std::string error;
    auto common = commonArgs(options, error);
    if (!common)
        return fail(error);
    if (files.empty())
        return fail("import needs at least one price file");
    const auto apiFiles =
        std::count_if(files.begin(), files.end(), [](const std::string& f) { return isApiFile(f); });
    if (apiFiles > 0)
        return runApiImport(options, files, *common, static_cast<std::size_t>(apiFiles));
    if (options.count("--raw"))
        return fail("--raw はデータ API のファイルにだけ使えます");
    if (!options.count("--market"))
        return fail("import needs --market CODE (" + marketCodes() + ")");
    const Market* market = marketOption(options["--market"]);
    if (!market)
        return fail("--market: 市場コードは " + marketCodes() + " のどれかです: " + options["--market"]);
    std::string code;
    if (options.count("--code")) {
        code = options["--code"];
        if (!isStockCode(code))
            return fail("--code: 銘柄コードは先頭が 0 でない 1〜10 桁の数字か、130A のような 4 文字です: " +
                        code);
        if (files.size() != 1)
            return fail("--code は価格ファイルが 1 つのときだけ使えます");
    }
    auto names = std::make_shared<std::map<std::string, std::string>>();
    if (options.count("--names")) {
        auto read = readNamesFile(options["--names"]);
        if (!read)
            return fail(read.error().message);
        *names = std::move(*read);
    }
    auto target = openImportStore(common->db);
    if (!target)
        return fail(target.error().message);

    const int marketNo = market->code;
    std::vector<StockSource> sources;
    for (const std::string& file : files)
        sources.push_back([file, code, marketNo, names]() -> Result<StockBatch> {
            auto batch = readPriceFile(file, code, marketNo);
            if (batch)
                for (StockSeries& s : batch->stocks)
                    if (auto it = names->find(s.code); it != names->end())
                        s.name = it->second;
            return batch;
        });

    Console console;
    ImportOptions importOptions;
    importOptions.workers = common->jobs;
    importOptions.message = [&](const std::string& line) { console.message(line); };
    importOptions.progress = [&](const ImportProgress& p) { console.progress(p, "ファイル"); };
    const auto started = std::chrono::steady_clock::now();
    return finish(importStocks(**target, std::move(sources), importOptions), console, started);
}

int runDemoDataCommand(int argc, char** argv)
{
    disableSqliteMemoryStatistics();
    std::map<std::string, std::string> options;
    std::vector<std::string> extra;
    if (std::string e =
            splitArgs(argc, argv, {"--db", "--seed", "--until", "--samples", "--jobs"}, options, extra);
        !e.empty())
        return fail(e);
    if (!extra.empty())
        return fail("demo-data takes no file names (see --help)");
    std::string error;
    auto common = commonArgs(options, error);
    if (!common)
        return fail(error);
    DemoOptions demo;
    if (options.count("--seed")) {
        auto seed = integerArg(options["--seed"], 0, 1LL << 62);
        if (!seed)
            return fail("--seed: a whole number of at least 0");
        demo.seed = static_cast<std::uint64_t>(*seed);
    }
    demo.last = latestWeekdayBefore(today());
    if (options.count("--until")) {
        auto until = parseDate(options["--until"]);
        if (!until || *until < demo.first)
            return fail("--until: a date yyyy/mm/dd from " + formatDate(demo.first) + " on");
        demo.last = *until;
    }
    const fs::path samples =
        options.count("--samples") ? fs::path(options["--samples"]) : fs::path(VORTEQ_DATA_DIR);

    auto target = openImportStore(common->db);
    if (!target)
        return fail(target.error().message);
    Console console;
    auto market = std::make_shared<DemoMarket>(demo);
    std::vector<StockSource> sources;
    for (std::size_t i = 0; i < market->instruments().size(); ++i)
        sources.push_back([market, i]() -> Result<StockBatch> {
            StockBatch batch;
            batch.stocks.push_back(market->series(i));
            return batch;
        });
    for (const RealSample& sample : kRealSamples) {
        const fs::path file = samples / sample.file;
        if (!fs::exists(file)) {
            console.message("実データの見本が見つからないため省きます: " + file.string());
            continue;
        }
        sources.push_back([file, sample]() -> Result<StockBatch> {
            auto batch = readPriceFile(file, sample.code, sample.market);
            if (batch)
                for (StockSeries& s : batch->stocks)
                    s.name = std::string(sample.name);
            return batch;
        });
    }
    ImportOptions importOptions;
    importOptions.workers = common->jobs;
    importOptions.message = [&](const std::string& line) { console.message(line); };
    importOptions.progress = [&](const ImportProgress& p) { console.progress(p, "銘柄"); };
    std::fprintf(stderr, "デモ市場を作成します: %zu 銘柄、%s から %s まで（seed %llu）\n", sources.size(),
                 formatDate(demo.first).c_str(), formatDate(demo.last).c_str(),
                 static_cast<unsigned long long>(demo.seed));
    const auto started = std::chrono::steady_clock::now();
    return finish(importStocks(**target, std::move(sources), importOptions), console, started);
}

} // namespace vorteq::server
