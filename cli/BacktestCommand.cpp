#include "cli/Backtest.h"
#include "cli/BacktestPictures.h"
#include "cli/Commands.h"
#include "cli/ExportSet.h"
#include "cli/Output.h"
#include "cli/ScreenRun.h"
#include "cli/ScreeningOptions.h"
#include "results/ResultRows.h"
#include "series/MarketTable.h"
#include "simulation/TradeSimulation.h"

namespace vorteq::cli {

namespace {

// The three exports in the order they are written, with their file names under --out.
struct ExportKind {
    std::string_view word;
    std::string_view fileName;
};
constexpr ExportKind kExports[] = {
    {"daily", "daily.csv"},
    {"trades", "trades.csv"},
    {"summary", "summary.csv"},
};

std::vector<std::string> exportLines(std::string_view word, const BacktestResult& run)
{
    if (word == "daily")
        return dailyTableCsvLines(run.stock, run.plan.start);
    if (word == "trades")
        return tradeListCsvLines(run.stock.UserResult);
    return summaryCsvLines(run.stock.UserResult);
}

} // namespace

std::vector<OptionDef> backtestOptions()
{
    std::vector<OptionDef> optionDefs = resultOptions();
    const std::vector<OptionDef> own = {
        {"code", "CODE", "銘柄コード", true},
        {"market", "CODE|NAME", "市場コードまたは市場名称", true},
        {"date", "yyyy/mm/dd", "基準日 = 期間の最終日 (既定はサーバーの株価更新日)"},
        {"conditions", "FILE.dat", "売買条件ファイル (登録と同じ形式)"},
        {"base-dir", "DIR", "この銘柄の登録済み売買条件を DIR/UsrData から読む"},
        {"out", "DIR", "3つの出力を DIR/daily.csv, trades.csv, summary.csv に書く (既定は標準出力)"},
        {"only", "daily|trades|summary", "この出力だけを書く"},
    };
    optionDefs.insert(optionDefs.end(), own.begin(), own.end());
    for (OptionDef& def : periodOptions())
        optionDefs.push_back(std::move(def));
    const std::vector<OptionDef> pictures = chartAndStatsOptions();
    optionDefs.insert(optionDefs.end(), pictures.begin(), pictures.end());
    return optionDefs;
}

int runBacktest(const ParsedOptions& options, CliIo& io)
{
    if (options.has("conditions") && options.has("base-dir"))
        return report(io, {ExitCode::Usage, "--conditions と --base-dir は同時に指定できません。"});
    const std::string only = options.valueOr("only", {});
    if (options.has("only") && only != "daily" && only != "trades" && only != "summary")
        return report(io,
                      {ExitCode::Usage, "--only は daily, trades, summary のいずれかです: \"" + only + "\""});
    if (auto wrong = checkChartAndStatsOptions(options))
        return report(io, *wrong);
    auto period = periodChoiceOf(options);
    if (!period)
        return report(io, period.error());
    auto market = marketPositionOf(options.valueOr("market", {}));
    if (!market)
        return report(io, market.error());
    auto date = dateOptionOf(options);
    if (!date)
        return report(io, date.error());
    const OutputEncoding encoding = encodingOf(options);
    const std::optional<std::string> outDir = options.value("out");
    // What an interrupted earlier run left in the folder is settled before anything else.
    if (outDir)
        if (Status recovered = recoverExportSet(*outDir); !recovered)
            return report(io, {ExitCode::OutputFailed, recovered.error().message});

    BacktestRequest request;
    request.code = options.valueOr("code", {});
    request.marketCode = std::string(kMarketTable[static_cast<std::size_t>(*market)].code);
    request.period = period->period;
    request.chosenStart = period->from;
    request.fetchName = true;

    ConditionSource source;
    if (auto file = options.value("conditions"))
        source.file = *file;
    else if (auto dir = options.value("base-dir"))
        source.baseDir = *dir;
    else
        io.writeErr("vorteq-cli: 売買条件の指定がないため、初期値の売買条件で実行します。\n");
    auto conditions = loadConditions(source, request.code, request.marketCode);
    if (!conditions)
        return report(io, conditions.error());
    request.conditions = std::move(*conditions);

    auto login = readLoginTarget(options, io);
    if (!login)
        return report(io, login.error());
    auto session = Session::open(*login, io);
    if (!session)
        return report(io, session.error());
    auto end = baseDateOf(*date, *session);
    if (!end)
        return report(io, end.error());
    request.endDate = formatDate(*end);

    TStkAnalisys analysis;
    installSimulation(analysis);
    RunTimings timings;
    auto run = runBacktest(*session, analysis, request, timings);
    if (!run)
        return report(io, run.error());

    if (auto failed = writeChartAndStats(options, *run, request.conditions, encoding))
        return report(io, *failed);

    std::string stdoutBytes;
    // The files under --out are replaced as one set: an interrupted run leaves the old set or the new.
    ExportSet files(outDir.value_or(std::string()));
    for (const ExportKind& kind : kExports) {
        if (!only.empty() && kind.word != only)
            continue;
        const std::vector<std::string> lines = exportLines(kind.word, *run);
        auto bytes = exportBytes(lines, encoding);
        if (outDir) {
            if (!bytes)
                return report(io, {ExitCode::OutputFailed,
                                   bytes.error().message + ": " +
                                       (std::filesystem::path(*outDir) / kind.fileName).string()});
            files.add(std::string(kind.fileName), std::move(*bytes));
            continue;
        }
        if (!bytes)
            return report(io, failureOf(bytes.error()));
        if (!stdoutBytes.empty())
            stdoutBytes += "\r\n"; // an empty line between two exports
        stdoutBytes += *bytes;
    }
    if (outDir)
        if (Status written = files.commit(); !written)
            return report(io, {ExitCode::OutputFailed, written.error().message});
    io.writeErr(terminalLines(simulationClosingText(run->name, run->plan.start, run->plan.end)) + "\n");
    return stdoutBytes.empty() ? 0 : writeResult(io, stdoutBytes);
}

} // namespace vorteq::cli
