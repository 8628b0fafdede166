// vorteq-cli sweep, walkforward and merge: parameter sweeps over the statement server's prices,
// split over machines by --shard and put back together by merge.
#include "cli/Backtest.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScreenRun.h"
#include "cli/ScreeningOptions.h"
#include "common/Csv.h"
#include "common/DateText.h"
#include "common/NumberText.h"
#include "common/TextFile.h"
#include "conditions/JoukenFields.h"
#include "screening/ScreeningQuery.h"
#include "series/MarketTable.h"
#include "simulation/RunPlan.h"
#include "sweep/SweepTable.h"
#include "sweep/WalkForward.h"

#include <algorithm>
#include <future>
#include <set>
#include <thread>

namespace vorteq::cli {

namespace {

Failure usage(std::string message)
{
    return Failure{ExitCode::Usage, std::move(message)};
}

// What sweep and walkforward share: the stocks, the period, the conditions and the cells.
struct SweepSetup {
    std::string marketCode;
    std::vector<std::string> codes; // sorted, without repeats; empty with --all until asked
    bool allOfMarket = false;
    std::optional<Date> date;
    SimPeriod period = SimPeriod::OneMonth;
    std::string from, to; // --from / --to, yyyy/mm/dd
    SweepGrid grid;
    SweepMetric metric = SweepMetric::NetReturn;
    int jobs = 1;
    std::string settings; // everything that decides the result, for the shards' fingerprint
};

std::vector<OptionDef> commonSweepOptions()
{
    std::vector<OptionDef> defs = resultOptions();
    const std::vector<OptionDef> own = {
        {"market", "CODE|NAME", "市場コードまたは市場名称", true},
        {"code", "CODE[,CODE...]", "銘柄コード (カンマ区切りで複数)"},
        {"codes-file", "FILE", "銘柄コードのファイル (1行に1つ)"},
        {"all", "", "市場の全銘柄"},
        {"date", "yyyy/mm/dd", "基準日 = 期間の最終日 (既定はサーバーの株価更新日)"},
        {"period", "1m|3m|6m|1y|ytd|mtd|3y|5y|10y|all", "期間 (既定 1y)"},
        {"from", "yyyy/mm/dd", "期間の開始日 (--period の代わり)"},
        {"to", "yyyy/mm/dd", "期間の最終日 (--from と一緒に; 既定は基準日)"},
        {"conditions", "FILE.dat", "もとになる売買条件ファイル (既定は初期値)"},
        {"vary", "KEY=FROM:TO:STEP", "掃引する項目1 (例: AmtBuyRSI2=10:40:5)", true},
        {"vary2", "KEY=FROM:TO:STEP", "掃引する項目2"},
        {"metric", "return|pf|drawdown|sharpe|trades", "順位を決める指標 (既定 return)"},
        {"jobs", "N", "並列に計算するスレッド数 (既定はCPUの数)"},
        {"out", "FILE", "CSV を FILE に書く (既定は標準出力)"},
    };
    defs.insert(defs.end(), own.begin(), own.end());
    return defs;
}

Outcome<int> positiveInt(const ParsedOptions& options, std::string_view name, int fallback, int most)
{
    const auto text = options.value(name);
    if (!text)
        return fallback;
    const auto v = parseNumber(*text);
    if (!v || *v != static_cast<long double>(static_cast<long long>(*v)) || *v < 1 || *v > most)
        return usage("--" + std::string(name) + " は1から" + std::to_string(most) + "までの整数です: \"" +
                     *text + "\"");
    return static_cast<int>(*v);
}

// The items of a comma-separated option value, empty ones left out.
std::vector<std::string> listItems(const std::string& list)
{
    std::vector<std::string> items;
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at)
            items.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return items;
}

Outcome<std::vector<std::string>> codesOf(const ParsedOptions& options)
{
    std::vector<std::string> codes;
    const auto add = [&](std::string code) {
        while (!code.empty() && (code.back() == ' ' || code.back() == '\r'))
            code.pop_back();
        while (!code.empty() && code.front() == ' ')
            code.erase(code.begin());
        if (!code.empty())
            codes.push_back(std::move(code));
    };
    if (const auto list = options.value("code"))
        for (std::string& code : listItems(*list))
            add(std::move(code));
    if (const auto file = options.value("codes-file")) {
        auto lines = readTextLines(*file);
        if (!lines)
            return Failure{ExitCode::Rejected, "銘柄コードのファイルを読めません: " + lines.error().message};
        for (std::string& line : *lines)
            add(std::move(line));
    }
    // Codes are letters and digits: anything else is a typing mistake, not a stock.
    for (const std::string& code : codes)
        if (code.size() > 12 || !std::all_of(code.begin(), code.end(), [](char ch) {
                return (ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
            }))
            return Failure{ExitCode::Rejected, "銘柄コードが正しくありません: \"" + code + "\""};
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

Outcome<SweepSetup> readSetup(const ParsedOptions& options, CliIo& io)
{
    SweepSetup setup;
    const int sources =
        (options.has("code") ? 1 : 0) + (options.has("codes-file") ? 1 : 0) + (options.has("all") ? 1 : 0);
    if (sources != 1)
        return usage("銘柄は --code, --codes-file, --all のどれか1つで指定してください。");
    auto market = marketPositionOf(options.valueOr("market", {}));
    if (!market)
        return market.error();
    setup.marketCode = std::string(kMarketTable[static_cast<std::size_t>(*market)].code);
    auto codes = codesOf(options);
    if (!codes)
        return codes.error();
    setup.codes = std::move(*codes);
    setup.allOfMarket = options.has("all");
    if (!setup.allOfMarket && setup.codes.empty())
        return usage("銘柄コードがありません。");

    auto date = dateOptionOf(options);
    if (!date)
        return date.error();
    setup.date = *date;
    if (options.has("from")) {
        if (options.has("period"))
            return usage("--from と --period は同時に指定できません。");
        const auto from = parseDate(options.valueOr("from", {}));
        if (!from)
            return usage("--from の日付が正しくありません: \"" + options.valueOr("from", {}) + "\"");
        setup.from = formatDate(*from);
        if (options.has("to")) {
            const auto to = parseDate(options.valueOr("to", {}));
            if (!to || formatDate(*to) < setup.from)
                return usage("--to は --from 以降の日付です: \"" + options.valueOr("to", {}) + "\"");
            setup.to = formatDate(*to);
        }
    } else if (options.has("to")) {
        return usage("--to は --from と一緒に指定してください。");
    } else {
        auto period = periodOf(options.valueOr("period", "1y"));
        if (!period)
            return period.error();
        setup.period = *period;
    }

    ConditionSource source;
    if (auto file = options.value("conditions"))
        source.file = *file;
    else
        io.writeErr("vorteq-cli: 売買条件の指定がないため、初期値の売買条件で掃引します。\n");
    auto conditions = loadConditions(source, "", setup.marketCode);
    if (!conditions)
        return conditions.error();

    std::vector<SweepAxis> axes;
    for (const char* name : {"vary", "vary2"})
        if (const auto text = options.value(name)) {
            auto axis = parseSweepAxis(*text);
            if (!axis)
                return usage(axis.error().message);
            axes.push_back(*axis);
        }
    auto grid = makeSweepGrid(*conditions, axes);
    if (!grid)
        return Failure{ExitCode::Rejected, grid.error().message};
    setup.grid = std::move(*grid);

    const auto metric = sweepMetricOf(options.valueOr("metric", "return"));
    if (!metric)
        return usage("--metric は return, pf, drawdown, sharpe, trades のいずれかです: \"" +
                     options.valueOr("metric", {}) + "\"");
    setup.metric = *metric;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    auto jobs = positiveInt(options, "jobs", cores, 1024);
    if (!jobs)
        return jobs.error();
    setup.jobs = *jobs;

    // The conditions, the cells, the market and the period decide the result; the stocks are added
    // once known (a codes file may lie at another path on each machine).
    setup.settings = setup.marketCode + "\n" + options.valueOr("date", {}) + "\n" +
                     options.valueOr("period", {}) + "\n" + setup.from + "\n" + setup.to + "\n" +
                     options.valueOr("vary", {}) + "\n" + options.valueOr("vary2", {}) + "\n";
    for (int f = 0; f < kJoukenFieldCount; ++f)
        setup.settings += setup.grid.base()[f] + "\n";
    return setup;
}

// The period's first and last day and the first day fetched.
struct SweepPeriod {
    std::string start, end, leadIn;
};

Outcome<SweepPeriod> periodOf(const SweepSetup& setup, Session& session)
{
    SweepPeriod p;
    if (!setup.from.empty()) {
        p.start = setup.from;
        if (!setup.to.empty()) {
            p.end = setup.to;
        } else {
            auto end = baseDateOf(setup.date, session);
            if (!end)
                return end.error();
            p.end = formatDate(*end);
            if (p.end < p.start)
                return usage("--from が基準日 " + p.end + " より後です。");
        }
    } else {
        auto end = baseDateOf(setup.date, session);
        if (!end)
            return end.error();
        p.end = formatDate(*end);
        auto start = periodStart(p.end, setup.period);
        if (!start)
            return failureOf(start.error());
        p.start = *start;
    }
    auto leadIn = leadInDate(p.start);
    if (!leadIn)
        return failureOf(leadIn.error());
    p.leadIn = *leadIn;
    return p;
}

Outcome<std::vector<std::string>> marketCodes(Session& session, const std::string& marketCode)
{
    auto result = runQuery(session, marketCodesQuery(marketCode));
    if (!result)
        return result.error();
    std::vector<std::string> codes;
    for (int r = 1; r <= result->RowCount; ++r)
        codes.push_back(result->Tbl->cell(1, r));
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    return codes;
}

// The prices of each stock; a stock without rows stays in with none (its cells say so). A failure
// of the server or the connection stops the run.
Outcome<std::vector<SweepStock>> fetchPrices(Session& session, const std::vector<std::string>& codes,
                                             const std::string& marketCode, const SweepPeriod& period)
{
    std::vector<SweepStock> stocks;
    for (const std::string& code : codes) {
        auto query = priceQuery(code, marketCode, period.leadIn, period.end);
        if (!query)
            return failureOf(query.error());
        auto prices = runQuery(session, *query);
        if (!prices)
            return prices.error();
        stocks.push_back({code, prices->Tbl, prices->RowCount});
    }
    return stocks;
}

int writeLines(CliIo& io, const std::optional<std::string>& outFile, const std::vector<std::string>& lines,
               OutputEncoding encoding)
{
    auto bytes = exportBytes(lines, encoding);
    if (!bytes)
        return report(io, failureOf(bytes.error()));
    if (outFile) {
        if (Status written = writeBytesAtomic(*outFile, *bytes); !written)
            return report(io, {ExitCode::OutputFailed, written.error().message});
        return 0;
    }
    return writeResult(io, *bytes);
}

// Progress on standard error, a line every tenth of the work.
SweepProgress progressTo(CliIo& io)
{
    auto last = std::make_shared<long long>(-1);
    return [&io, last](long long done, long long total) {
        const long long tenth = total > 0 ? done * 10 / total : 10;
        if (tenth == *last)
            return;
        *last = tenth;
        io.writeErr("vorteq-cli: " + std::to_string(done) + "/" + std::to_string(total) + " セル\n");
    };
}

// A logged-in run: its period and the codes of its stocks (the shard's part of them).
struct PreparedRun {
    Session session;
    SweepPeriod period;
    std::vector<std::string> codes;
};

Outcome<PreparedRun> prepareRun(const ParsedOptions& options, CliIo& io, SweepSetup& setup,
                                const std::optional<ShardPart>& shard)
{
    auto login = readLoginTarget(options, io);
    if (!login)
        return login.error();
    auto session = Session::open(*login, io);
    if (!session)
        return session.error();
    auto period = periodOf(setup, *session);
    if (!period)
        return period.error();
    if (setup.allOfMarket) {
        auto codes = marketCodes(*session, setup.marketCode);
        if (!codes)
            return codes.error();
        setup.codes = std::move(*codes);
    }
    std::vector<std::string> mine = shard ? shardOf(setup.codes, *shard) : setup.codes;
    return PreparedRun{std::move(*session), *period, std::move(mine)};
}

} // namespace

std::vector<OptionDef> sweepOptions()
{
    std::vector<OptionDef> defs = commonSweepOptions();
    defs.push_back({"shard", "K/N", "銘柄をコード順に N 分割した K 番目だけを計算する (merge で結合)"});
    defs.push_back({"per-stock", "", "セルごとの平均ではなく、銘柄ごと・セルごとの行を書く"});
    return defs;
}

int runSweepCommand(const ParsedOptions& options, CliIo& io)
{
    auto setup = readSetup(options, io);
    if (!setup)
        return report(io, setup.error());
    std::optional<ShardPart> shard;
    if (const auto text = options.value("shard")) {
        auto parsed = parseShard(*text);
        if (!parsed)
            return report(io, usage(parsed.error().message));
        shard = *parsed;
    }
    const OutputEncoding encoding = encodingOf(options);
    auto prepared = prepareRun(options, io, *setup, shard);
    if (!prepared)
        return report(io, prepared.error());
    const SweepPeriod& period = prepared->period;
    setup->settings += period.start + "\n" + period.end + "\n";
    for (const std::string& code : setup->codes)
        setup->settings += code + ",";

    // Stocks go in blocks: the next block's prices are fetched while the workers compute this one,
    // and only one block's prices are held at a time, however large the market.
    SweepRunOptions run;
    run.jobs = setup->jobs;
    const std::size_t block = static_cast<std::size_t>(std::max(16, 4 * setup->jobs));
    const std::vector<std::string>& codes = prepared->codes;
    std::vector<std::vector<CellFigures>> figures;
    std::future<Result<std::vector<std::vector<CellFigures>>>> computing;
    const auto collect = [&]() -> std::optional<Failure> {
        if (!computing.valid())
            return std::nullopt;
        auto part = computing.get();
        if (!part)
            return failureOf(part.error());
        for (auto& stock : *part)
            figures.push_back(std::move(stock));
        io.writeErr("vorteq-cli: " + std::to_string(figures.size()) + "/" + std::to_string(codes.size()) +
                    " 銘柄\n");
        return std::nullopt;
    };
    for (std::size_t first = 0; first < codes.size(); first += block) {
        const std::vector<std::string> part(
            codes.begin() + static_cast<std::ptrdiff_t>(first),
            codes.begin() + static_cast<std::ptrdiff_t>(std::min(codes.size(), first + block)));
        auto stocks = fetchPrices(prepared->session, part, setup->marketCode, period);
        if (!stocks) {
            (void)collect(); // the block in progress ends before the failure is reported
            return report(io, stocks.error());
        }
        if (auto failed = collect())
            return report(io, *failed);
        computing =
            std::async(std::launch::async, [&grid = setup->grid, held = std::move(*stocks), &period, run] {
                return runSweep(grid, held, period.start, period.end, run);
            });
    }
    if (auto failed = collect())
        return report(io, *failed);
    const SweepTable table = makeSweepTable(setup->grid, codes, figures);
    io.writeErr("vorteq-cli: " + std::to_string(codes.size()) + " 銘柄 x " +
                std::to_string(setup->grid.cellCount()) + " セル, 期間 " + period.start + "～" + period.end +
                "\n");
    const bool perStock = options.has("per-stock");
    if (shard) {
        const ShardHeader header{*shard, sweepFingerprint(setup->settings), setup->metric, perStock};
        // Shards are read back by merge: always UTF-8, whatever the final output's encoding.
        return writeLines(io, options.value("out"), shardLines(header, table), OutputEncoding::Utf8);
    }
    return writeLines(io, options.value("out"),
                      perStock ? sweepStockLines(table) : sweepCellLines(table, setup->metric), encoding);
}

std::vector<OptionDef> mergeOptions()
{
    return {
        {"utf8", "", "CP932 ではなく UTF-8 で出力する"},
        {"files", "FILE[,FILE...]", "シャードの出力ファイル (カンマ区切り)"},
        {"dir", "DIR", "DIR の *.csv をすべて結合する"},
        {"out", "FILE", "CSV を FILE に書く (既定は標準出力)"},
    };
}

int runMergeCommand(const ParsedOptions& options, CliIo& io)
{
    std::vector<std::filesystem::path> paths;
    if (const auto list = options.value("files"))
        for (const std::string& file : listItems(*list))
            paths.emplace_back(file);
    if (const auto dir = options.value("dir")) {
        std::error_code ec;
        std::vector<std::filesystem::path> found;
        for (const auto& entry : std::filesystem::directory_iterator(*dir, ec))
            if (entry.is_regular_file() && entry.path().extension() == ".csv")
                found.push_back(entry.path());
        if (ec)
            return report(io,
                          {ExitCode::Rejected, "フォルダを読めません: " + *dir + " (" + ec.message() + ")"});
        std::sort(found.begin(), found.end());
        paths.insert(paths.end(), found.begin(), found.end());
    }
    if (paths.empty())
        return report(io, usage("結合するファイルを --files か --dir で指定してください。"));
    std::vector<std::string> texts;
    for (const auto& path : paths) {
        auto bytes = readBytes(path);
        if (!bytes)
            return report(io, {ExitCode::Rejected, "ファイルを読めません: " + bytes.error().message});
        texts.push_back(std::move(*bytes));
    }
    auto merged = mergeShards(texts);
    if (!merged) {
        std::string message = merged.error().message;
        // The n-th file, by its name.
        const std::size_t mark = message.find("番目のファイル");
        if (mark != std::string::npos) {
            const auto n = parseNumber(message.substr(0, mark));
            if (n && *n >= 1 && *n <= static_cast<long double>(paths.size()))
                message = paths[static_cast<std::size_t>(*n) - 1].string() +
                          message.substr(mark + std::string("番目のファイル").size());
        }
        return report(io, {ExitCode::Rejected, message});
    }
    const auto lines = merged->header.perStock ? sweepStockLines(merged->table)
                                               : sweepCellLines(merged->table, merged->header.metric);
    return writeLines(io, options.value("out"), lines, encodingOf(options));
}

std::vector<OptionDef> walkforwardOptions()
{
    std::vector<OptionDef> defs = commonSweepOptions();
    defs.push_back({"in-months", "N", "インサンプルの長さ (月, 既定 12)"});
    defs.push_back({"out-months", "N", "アウトオブサンプルの長さ (月, 既定 3)"});
    return defs;
}

int runWalkforwardCommand(const ParsedOptions& options, CliIo& io)
{
    auto setup = readSetup(options, io);
    if (!setup)
        return report(io, setup.error());
    auto inMonths = positiveInt(options, "in-months", 12, 240);
    if (!inMonths)
        return report(io, inMonths.error());
    auto outMonths = positiveInt(options, "out-months", 3, 240);
    if (!outMonths)
        return report(io, outMonths.error());
    const OutputEncoding encoding = encodingOf(options);
    auto prepared = prepareRun(options, io, *setup, std::nullopt);
    if (!prepared)
        return report(io, prepared.error());
    auto stocks = fetchPrices(prepared->session, prepared->codes, setup->marketCode, prepared->period);
    if (!stocks)
        return report(io, stocks.error());
    auto windows = walkForwardWindows(prepared->period.start, prepared->period.end, *inMonths, *outMonths);
    if (!windows)
        return report(io, {ExitCode::Rejected, windows.error().message});
    SweepRunOptions run;
    run.jobs = setup->jobs;
    run.progress = progressTo(io);
    auto result = runWalkForward(setup->grid, *stocks, *windows, setup->metric, run);
    if (!result)
        return report(io, failureOf(result.error()));

    std::vector<std::string> header{"IS開始", "IS終了", "OOS開始", "OOS終了"};
    std::vector<std::string> keys;
    for (const SweepAxis& axis : setup->grid.axes())
        keys.emplace_back(kJoukenFields[static_cast<std::size_t>(axis.field)].key);
    header.insert(header.end(), keys.begin(), keys.end());
    for (const char* side : {"IS ", "OOS "})
        for (std::string_view caption : kSweepMetricCaptions)
            header.push_back(side + std::string(caption));
    std::vector<std::string> lines{csvLine(header)};
    const auto figures = [](const MeanFigures& m) {
        std::vector<std::string> out;
        for (int k = 0; k < kSweepMetricCount; ++k)
            out.push_back(figureText(metricOf(m, static_cast<SweepMetric>(k))));
        return out;
    };
    for (const WalkWindowResult& w : result->windows) {
        std::vector<std::string> cells{w.window.inStart, w.window.inEnd, w.window.outStart, w.window.outEnd};
        std::vector<std::string> values = w.bestValues;
        values.resize(keys.size());
        cells.insert(cells.end(), values.begin(), values.end());
        for (const auto& part : {figures(w.inSample), figures(w.outOfSample)})
            cells.insert(cells.end(), part.begin(), part.end());
        lines.push_back(csvLine(cells));
    }
    lines.push_back("");
    lines.push_back(csvLine({"IS 年率リターン(%)", figureText(result->inSampleReturnPerYear)}));
    lines.push_back(csvLine({"OOS 年率リターン(%)", figureText(result->outOfSampleReturnPerYear)}));
    lines.push_back(csvLine({"ウォークフォワード効率", figureText(result->efficiency)}));
    if (stocks->size() == 1) {
        const SideStatistics& chained = result->chainedStatistics.all;
        lines.push_back(csvLine({"OOS 連結 純利益率(%)", figureText(chained.netProfitPct)}));
        lines.push_back(csvLine({"OOS 連結 最大ドローダウン(%)", figureText(chained.maxDrawdownPct)}));
        lines.push_back(csvLine({"OOS 連結 シャープレシオ", figureText(chained.sharpe)}));
    }
    return writeLines(io, options.value("out"), lines, encoding);
}

} // namespace vorteq::cli
