#include "cli/Batch.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "cli/ScreenRun.h"
#include "cli/ScreeningOptions.h"
#include "common/Csv.h"
#include "common/NumberText.h"
#include "common/TextTable.h"
#include "results/BatchBacktest.h"
#include "results/ResultRows.h"
#include "simulation/BatchRunner.h"

#include <cstdio>

namespace vorteq::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The summary fields a batch line shows, by the client's edit control, with the column title.
struct BatchColumn {
    std::string_view title;
    std::string_view edit;
};
constexpr BatchColumn kBatchColumns[] = {
    {"初期投資金額", "edt_rst_init"},     {"最終評価額", "edt_rst_final"},
    {"最終利回り", "edt_rst_return"},     {"取引回数", "edt_rst_total_num"},
    {"勝ち回数", "edt_rst_total_winnum"}, {"勝率", "edt_rst_total_win"},
    {"平均ﾘﾀｰﾝ", "edt_rst_total_ave"},    {"ﾄｰﾀﾙﾊﾟﾌｫｰﾏﾝｽ", "edt_rst_total_per"},
    {"期間騰落率", "edt_term_sertn"},
};
constexpr std::string_view kDone = "OK";

// Sums over the stocks that ran, for the totals line.
struct Totals {
    int ran = 0;
    int failed = 0;
    long double init = 0;
    long double final = 0;
    long double trades = 0;
    long double wins = 0;
};

std::vector<std::string> headerRow()
{
    std::vector<std::string> row{"銘柄コード", "銘柄名称"};
    for (const BatchColumn& column : kBatchColumns)
        row.emplace_back(column.title);
    row.emplace_back("結果");
    return row;
}

std::vector<std::string> stockRow(const std::string& code, const std::string& name, const TUserResult& result)
{
    const std::vector<SummaryText> texts = summaryTexts(result);
    std::vector<std::string> row{code, name};
    for (const BatchColumn& column : kBatchColumns)
        for (const SummaryText& text : texts)
            if (text.edit == column.edit)
                row.push_back(text.text);
    row.emplace_back(kDone);
    return row;
}

std::vector<std::string> failedRow(const std::string& code, const std::string& name,
                                   const std::string& message)
{
    std::vector<std::string> row{code, name};
    row.resize(2 + std::size(kBatchColumns));
    row.push_back(message);
    return row;
}

// The totals: capital and valuation summed, the return of the sum, trades and wins summed, the
// share of winning closes; percentages truncated to two decimals like the client's.
std::vector<std::string> totalsRow(const Totals& t)
{
    const long double rtn = t.init != 0 ? truncate2((t.final - t.init) / t.init * 100) : 0;
    const long double win = t.trades != 0 ? truncate2(t.wins / t.trades * 100) : 0;
    std::vector<std::string> row{"合計",
                                 std::to_string(t.ran) + "銘柄",
                                 formatNumber(t.init),
                                 formatNumber(t.final),
                                 formatNumber(rtn) + " %",
                                 formatNumber(t.trades) + " 回",
                                 formatNumber(t.wins) + " 回",
                                 formatNumber(win) + " %",
                                 "",
                                 "",
                                 "",
                                 t.failed == 0 ? std::string(kDone)
                                               : "失敗 " + std::to_string(t.failed) + "銘柄"};
    return row;
}

// Stocks done so far on standard error: rewritten in place on a terminal, else a line every tenth.
class BatchProgress {
public:
    BatchProgress(CliIo& io, int total, bool shown) : m_io(io), m_total(total), m_shown(shown && total > 0) {}
    void update(int done, int total)
    {
        if (!m_shown)
            return;
        const bool terminal = m_io.errIsTerminal();
        if (!terminal && done != total && done * 10 / total == (done - 1) * 10 / total)
            return;
        m_io.writeErr(std::string(terminal ? "\r" : "") + "一括シミュレーション " + std::to_string(done) +
                      "/" + std::to_string(total) + " 銘柄" + (terminal ? "" : "\n"));
        m_written = terminal;
    }
    void finish()
    {
        if (m_written)
            m_io.writeErr("\n");
    }

private:
    CliIo& m_io;
    int m_total;
    bool m_shown;
    bool m_written = false;
};

Outcome<int> jobsOf(const ParsedOptions& options)
{
    const auto text = options.value("jobs");
    if (!text)
        return defaultBatchJobs();
    const auto jobs = parseInt32(*text);
    if (!jobs || *jobs < 1 || *jobs > 256)
        return Failure{ExitCode::Usage, "--jobs は 1 から 256 の整数です: \"" + *text + "\""};
    return static_cast<int>(*jobs);
}

std::string milliseconds(std::chrono::nanoseconds ns)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ns.count()) / 1e6);
    return text;
}

} // namespace

std::vector<OptionDef> batchOptions()
{
    std::vector<OptionDef> optionDefs = resultOptions();
    for (OptionDef& def : screeningOptions())
        optionDefs.push_back(std::move(def));
    for (OptionDef& def : periodOptions())
        optionDefs.push_back(std::move(def));
    const std::vector<OptionDef> own = {
        {"conditions", "FILE.dat", "全銘柄に使う売買条件ファイル (省略時は各銘柄の登録済み売買条件)"},
        {"format", "csv|table", "出力形式: csv (既定) または table"},
        {"timing", "", "通信と分析の時間を標準エラーに出力する"},
        {"jobs", "N", "同時に実行する銘柄の数 (既定はコア数)"},
        {"stats", "",
         "銘柄ごとの統計 (取引回数, 勝率, 純損益率, PF, 最大DD, B&H, エクスポージャー) と集計行を出力する"},
        {"progress", "", "進捗を標準エラーに出力する (端末では常に出力)"},
    };
    optionDefs.insert(optionDefs.end(), own.begin(), own.end());
    for (OptionDef& def : conditionOptions())
        optionDefs.push_back(std::move(def));
    return optionDefs;
}

int runBatch(const ParsedOptions& options, CliIo& io)
{
    BatchTimings timings;
    return runBatchMeasured(options, io, timings);
}

int runBatchMeasured(const ParsedOptions& options, CliIo& io, BatchTimings& timings)
{
    const auto started = Clock::now();
    const std::string format = options.valueOr("format", "csv");
    if (format != "csv" && format != "table")
        return report(io, {ExitCode::Usage, "--format は csv か table です: \"" + format + "\""});
    auto period = periodChoiceOf(options);
    if (!period)
        return report(io, period.error());
    auto jobs = jobsOf(options);
    if (!jobs)
        return report(io, jobs.error());
    const bool showProgress = options.has("progress") || io.errIsTerminal();
    const OutputEncoding encoding = encodingOf(options);
    const std::filesystem::path baseDir = baseDirOf(options);

    // One condition file for every stock is checked once, before anything is sent.
    std::optional<TJouken> shared;
    if (auto file = options.value("conditions")) {
        ConditionSource source;
        source.file = *file;
        auto loaded = loadConditions(source, {}, {});
        if (!loaded)
            return report(io, loaded.error());
        shared = std::move(*loaded);
    }
    auto prepared = prepareScreening(options, io);
    if (!prepared)
        return report(io, prepared.error());

    const auto loginStarted = Clock::now();
    auto session = Session::open(prepared->login, io);
    timings.login = Clock::now() - loginStarted;
    if (!session)
        return report(io, session.error());
    const auto screenStarted = Clock::now();
    auto hits = runScreening(*session, *prepared, false, io);
    timings.screening = Clock::now() - screenStarted;
    if (!hits)
        return report(io, hits.error());
    if (hits->RowCount == 0)
        io.writeErr("vorteq-cli: データがありませんでした。\n");
    const std::string endDate = formatDate(prepared->criteria.baseDate);
    // A chosen period that does not fit the base date would fail every stock the same way.
    if (const auto checked = periodStart(endDate, period->period, period->from); !checked)
        return report(io, failureOf(checked.error()));

    BatchSetup setup;
    setup.endDate = endDate;
    setup.period = period->period;
    setup.chosenStart = period->from;
    const PtblData& list = *hits->Tbl;
    for (int r = 1; r <= hits->RowCount; ++r)
        setup.stocks.push_back({list.cell(1, r), list.cell(2, r), list.cell(46, r), list.cell(3, r)});
    setup.conditions = [&](const BatchStock& stock) -> Result<TJouken> {
        Outcome<TJouken> conditions =
            shared ? Outcome<TJouken>(*shared)
                   : loadConditions(ConditionSource{{}, baseDir}, stock.code, stock.marketCode);
        if (!conditions)
            return makeError(ErrorCode::Validation, conditions.error().message);
        return std::move(*conditions);
    };
    const std::string url = session->statements().url();
    setup.makeStatements = [url] { return std::make_unique<THttpStatements>(url); };

    BatchRunner runner(*jobs);
    BatchProgress progress(io, static_cast<int>(setup.stocks.size()), showProgress);
    std::vector<BatchRow> ran =
        runBatchBacktest(setup, runner, [&](int, int done, int total) { progress.update(done, total); });
    progress.finish();

    // A server that cannot be reached fails every later stock too: the lines end at the first such stock.
    std::optional<Failure> stopped;
    for (std::size_t i = 0; i < ran.size(); ++i)
        if (ran[i].state == BatchRowState::Failed && failureOf(ran[i].error).unreachable) {
            stopped = failureOf(ran[i].error);
            ran.resize(i + 1);
            break;
        }
    ExitCode worst = ExitCode::Success;
    for (const BatchRow& row : ran) {
        if (row.state == BatchRowState::NotRun)
            continue;
        ++timings.stocks;
        timings.runs.requests += row.times.request;
        timings.runs.analysis += row.times.analysis;
        if (row.state == BatchRowState::Failed) {
            const Failure failure = failureOf(row.error);
            if (failure.code == ExitCode::ServerOrData || worst == ExitCode::Success)
                worst = failure.code;
        }
    }

    std::vector<std::vector<std::string>> rows;
    if (options.has("stats")) {
        rows.push_back(batchColumnTitles());
        for (const BatchRow& row : ran)
            rows.push_back(batchRowTexts(row));
        for (auto& line : batchSummaryTexts(summarizeBatch(ran)))
            rows.push_back(std::move(line));
    } else {
        rows.push_back(headerRow());
        Totals totals;
        for (const BatchRow& row : ran) {
            const std::string& code = row.stock.code;
            const std::string& name = row.stock.name;
            if (row.state != BatchRowState::Done) {
                rows.push_back(failedRow(code, name, row.error.message));
                ++totals.failed;
                continue;
            }
            rows.push_back(stockRow(code, name, row.result));
            ++totals.ran;
            totals.init += row.result.InitAmt;
            totals.final += row.result.FinalAmt;
            totals.trades += row.result.TotalNum;
            totals.wins += row.result.TotalWinNum;
        }
        rows.push_back(totalsRow(totals));
    }

    Result<std::string> bytes = std::string();
    if (format == "csv") {
        std::vector<std::string> lines;
        for (const auto& row : rows)
            lines.push_back(csvLine(row));
        bytes = exportBytes(lines, encoding);
    } else {
        bytes = encodeText(formatTable(rows), encoding);
    }
    if (!bytes)
        return report(io, failureOf(bytes.error()));
    timings.total = Clock::now() - started;
    if (options.has("timing")) {
        const int n = timings.stocks > 0 ? timings.stocks : 1;
        io.writeErr("時間 (ms): 合計 " + milliseconds(timings.total) + ", ログイン " +
                    milliseconds(timings.login) + ", 検索 " + milliseconds(timings.screening) +
                    ", 株価の取得 " + milliseconds(timings.runs.requests) + ", 分析 " +
                    milliseconds(timings.runs.analysis) + " (" + std::to_string(timings.stocks) +
                    "銘柄, 1銘柄あたり 取得 " + milliseconds(timings.runs.requests / n) + ", 分析 " +
                    milliseconds(timings.runs.analysis / n) + ")\n");
    }
    const int written = writeResult(io, *bytes);
    if (stopped)
        return report(io, *stopped);
    return written != 0 ? written : toInt(worst);
}

} // namespace vorteq::cli
