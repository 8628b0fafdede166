#include "results/BatchBacktest.h"

#include "analysis/TStkAnalisys.h"
#include "common/Csv.h"
#include "common/NumberText.h"
#include "results/EquityStatistics.h"
#include "simulation/TradeSimulation.h"

#include <algorithm>
#include <cstdio>

namespace vorteq {

namespace {

constexpr std::string_view kNone = "－";
constexpr std::string_view kDone = "OK";
constexpr std::string_view kNotRun = "未実行";

std::int32_t dayNumber(std::string_view date)
{
    // yyyy/mm/dd as yyyymmdd; the series' dates are well formed.
    if (date.size() != 10)
        return 0;
    const auto digits = [&](std::size_t at, std::size_t n) {
        std::int32_t v = 0;
        for (std::size_t i = at; i < at + n; ++i)
            v = v * 10 + (date[i] - '0');
        return v;
    };
    return digits(0, 4) * 10000 + digits(5, 2) * 100 + digits(8, 2);
}

std::optional<long double> median(std::vector<long double> values)
{
    if (values.empty())
        return std::nullopt;
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
    const long double upper = values[mid];
    if (values.size() % 2 == 1)
        return upper;
    const long double lower =
        *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid));
    return (lower + upper) / 2;
}

// The seven figures of a row in column order.
std::array<std::optional<long double>, 7> figures(const BatchRow& row)
{
    return {static_cast<long double>(row.trades),
            row.winRatePct,
            row.netReturnPct,
            row.profitFactor,
            row.maxDrawdownPct,
            row.buyHoldPct,
            row.exposurePct};
}

// Every finished run with the same capital, each held as it went: the mean of the runs' value over
// capital on every day any of them traded. A run counts 1 before its first day and keeps its last
// value after its newest day.
void portfolioOf(const std::vector<BatchRow>& rows, BatchSummary& summary)
{
    std::vector<const BatchRow*> runs;
    std::vector<std::int32_t> days;
    for (const BatchRow& row : rows)
        if (row.state == BatchRowState::Done && !row.days.empty()) {
            runs.push_back(&row);
            days.insert(days.end(), row.days.begin(), row.days.end());
        }
    if (runs.empty())
        return;
    std::sort(days.begin(), days.end());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    std::vector<std::size_t> at(runs.size(), 0);
    std::vector<long double> held(runs.size(), 1);
    long double peak = 1;
    long double deepest = 0;
    long double value = 1;
    for (const std::int32_t day : days) {
        long double sum = 0;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            const BatchRow& run = *runs[i];
            while (at[i] < run.days.size() && run.days[at[i]] <= day)
                held[i] = run.growth[at[i]++];
            sum += held[i];
        }
        value = sum / static_cast<long double>(runs.size());
        peak = std::max(peak, value);
        deepest = std::min(deepest, value / peak - 1);
    }
    summary.portfolioReturnPct = (value - 1) * 100;
    summary.portfolioMaxDrawdownPct = deepest * 100;
}

} // namespace

std::string figureText(const std::optional<long double>& value)
{
    if (!value)
        return std::string(kNone);
    char text[48];
    std::snprintf(text, sizeof text, "%.2Lf", *value);
    const std::string_view negativeZero = "-0.00";
    return text == negativeZero ? std::string(negativeZero.substr(1)) : std::string(text);
}

BatchRow batchRowOf(const BatchStock& stock, const TStkData& run, std::string_view start,
                    std::string_view end, int tradePrice)
{
    BatchRow row;
    row.stock = stock;
    row.state = BatchRowState::Done;
    row.start = start;
    row.end = end;
    row.result = run.UserResult;
    const EquitySeries series = buildEquitySeries(run, start, tradePrice);
    const SideStatistics all = computeStatistics(series).all;
    row.trades = all.trades;
    if (all.trades > 0) {
        int wins = 0;
        for (const RoundTrip& trip : series.trips)
            wins += trip.profit > 0 ? 1 : 0;
        row.winRatePct = static_cast<long double>(wins) * 100 / all.trades;
    }
    row.netReturnPct = all.netProfitPct;
    row.profitFactor = all.profitFactor;
    row.maxDrawdownPct = all.maxDrawdownPct;
    row.buyHoldPct = all.buyHoldPct;
    row.exposurePct = all.exposurePct;
    if (series.capital > 0) {
        row.days.reserve(series.days.size());
        row.growth.reserve(series.days.size());
        for (const EquityDay& day : series.days) {
            row.days.push_back(dayNumber(day.date));
            row.growth.push_back(static_cast<float>(day.value / series.capital));
        }
    }
    return row;
}

BatchSummary summarizeBatch(const std::vector<BatchRow>& rows)
{
    BatchSummary summary;
    std::array<std::vector<long double>, 7> columns;
    int profitable = 0;
    int withReturn = 0;
    for (const BatchRow& row : rows) {
        if (row.state == BatchRowState::NotRun) {
            ++summary.notRun;
            continue;
        }
        if (row.state == BatchRowState::Failed) {
            ++summary.failed;
            continue;
        }
        ++summary.done;
        summary.totalTrades += row.trades;
        const auto values = figures(row);
        for (std::size_t c = 0; c < values.size(); ++c)
            if (values[c])
                columns[c].push_back(*values[c]);
        if (row.netReturnPct) {
            ++withReturn;
            profitable += *row.netReturnPct > 0 ? 1 : 0;
        }
    }
    for (std::size_t c = 0; c < columns.size(); ++c) {
        if (columns[c].empty())
            continue;
        long double sum = 0;
        for (const long double v : columns[c])
            sum += v;
        summary.columns[c].mean = sum / static_cast<long double>(columns[c].size());
        summary.columns[c].median = median(columns[c]);
    }
    if (withReturn > 0)
        summary.profitableSharePct = static_cast<long double>(profitable) * 100 / withReturn;
    portfolioOf(rows, summary);
    return summary;
}

std::vector<std::string> batchColumnTitles()
{
    return {"銘柄コード",
            "銘柄名称",
            "市場",
            "取引回数",
            "勝率(%)",
            "純損益率(%)",
            "プロフィットファクター",
            "最大ドローダウン率(%)",
            "バイ・アンド・ホールド騰落率(%)",
            "エクスポージャー(%)",
            "結果"};
}

std::vector<std::string> batchRowTexts(const BatchRow& row)
{
    std::vector<std::string> cells{row.stock.code, row.stock.name, row.stock.marketName};
    if (row.state == BatchRowState::Done) {
        cells.push_back(std::to_string(row.trades));
        const auto values = figures(row);
        for (std::size_t c = 1; c < values.size(); ++c)
            cells.push_back(figureText(values[c]));
        cells.emplace_back(kDone);
    } else {
        cells.resize(cells.size() + 7);
        cells.push_back(row.state == BatchRowState::Failed ? row.error.message : std::string(kNotRun));
    }
    return cells;
}

std::vector<std::vector<std::string>> batchSummaryTexts(const BatchSummary& s)
{
    const auto line = [&](std::string caption, bool medianLine) {
        std::vector<std::string> cells{std::move(caption), "", ""};
        for (const BatchColumnSummary& column : s.columns)
            cells.push_back(figureText(medianLine ? column.median : column.mean));
        cells.emplace_back(std::to_string(s.done) + "銘柄");
        return cells;
    };
    std::vector<std::vector<std::string>> lines{line("平均", false), line("中央値", true)};
    const std::size_t width = batchColumnTitles().size();
    const auto note = [&](std::string caption, std::string value) {
        std::vector<std::string> cells(width);
        cells[0] = std::move(caption);
        cells[3] = std::move(value);
        lines.push_back(std::move(cells));
    };
    note("利益銘柄の割合(%)", figureText(s.profitableSharePct));
    note("取引回数合計", std::to_string(s.totalTrades));
    note("均等配分ポートフォリオ損益率(%)", figureText(s.portfolioReturnPct));
    note("均等配分ポートフォリオ最大ドローダウン率(%)", figureText(s.portfolioMaxDrawdownPct));
    if (s.failed > 0 || s.notRun > 0)
        note("失敗/未実行", std::to_string(s.failed) + "/" + std::to_string(s.notRun) + "銘柄");
    return lines;
}

std::vector<std::string> batchCsvLines(const std::vector<BatchRow>& rows, const BatchSummary& summary,
                                       bool cancelled)
{
    std::vector<std::string> lines{csvLine(batchColumnTitles())};
    for (const BatchRow& row : rows)
        lines.push_back(csvLine(batchRowTexts(row)));
    for (const auto& cells : batchSummaryTexts(summary))
        lines.push_back(csvLine(cells));
    if (cancelled)
        lines.push_back(csvLine({"中断されました: " + std::to_string(summary.done + summary.failed) + "/" +
                                 std::to_string(rows.size()) + "銘柄を実行"}));
    return lines;
}

std::vector<BatchRow> runBatchBacktest(const BatchSetup& setup, BatchRunner& runner,
                                       const BatchRunner::ProgressFn& progress)
{
    std::vector<BatchRow> rows(setup.stocks.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i].stock = setup.stocks[i];
    RequestGate gate(setup.requestSlots);
    const auto makeWorker = [&]() -> BatchRunner::Job {
        auto statements = std::shared_ptr<THttpStatements>(setup.makeStatements());
        auto analysis = std::make_shared<TStkAnalisys>();
        installSimulation(*analysis);
        return [&, statements, analysis](int index) {
            BatchRow& row = rows[static_cast<std::size_t>(index)];
            const BatchStock& stock = row.stock;
            const auto fail = [&](Error error) {
                row.state = BatchRowState::Failed;
                // Every later request would fail the same way.
                if (error.code == ErrorCode::Transport || error.code == ErrorCode::SessionExpired)
                    runner.cancel();
                row.error = std::move(error);
            };
            Result<TJouken> conditions = setup.conditions(stock);
            if (!conditions)
                return fail(conditions.error());
            auto plan =
                planSimulation(setup.endDate, setup.period, stock.code, stock.marketCode, setup.chosenStart);
            if (!plan)
                return fail(plan.error());
            BacktestTimes times;
            auto run = backtestStock(*statements, *analysis, *conditions, *plan, times, {}, &gate);
            if (!run) {
                row.times = times;
                return fail(run.error());
            }
            const int tradePrice = parseInt32(conditions->value("UseTradePrice")).value_or(0);
            row = batchRowOf(stock, *run, plan->start, plan->end, tradePrice);
            row.times = times;
        };
    };
    runner.run(static_cast<int>(rows.size()), makeWorker, progress);
    return rows;
}

} // namespace vorteq
