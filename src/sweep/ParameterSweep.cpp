#include "sweep/ParameterSweep.h"

#include "analysis/TStkAnalisys.h"
#include "common/NumberText.h"
#include "conditions/JoukenFields.h"
#include "conditions/JoukenValidation.h"
#include "simulation/BatchRunner.h"
#include "simulation/TradeSimulation.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <map>
#include <memory>

namespace vorteq {
namespace {

std::string keyOf(int field)
{
    return std::string(kJoukenFields[static_cast<std::size_t>(field)].key);
}

// One piece of work for a worker: a run of cells of one analysis group on one stock.
struct WorkItem {
    int stock = 0;
    int group = 0;
    std::size_t first = 0; // into the group's cell list
    std::size_t last = 0;  // one past
};

const std::string kCancelled = "中止しました。";

} // namespace

std::optional<SweepMetric> sweepMetricOf(std::string_view word)
{
    for (std::size_t i = 0; i < kSweepMetricWords.size(); ++i)
        if (kSweepMetricWords[i] == word)
            return static_cast<SweepMetric>(i);
    return std::nullopt;
}

std::optional<SweepFieldKind> sweepFieldKind(int field)
{
    if (field < 0 || field >= kJoukenFieldCount)
        return std::nullopt;
    const JoukenFieldDef& def = kJoukenFields[static_cast<std::size_t>(field)];
    if (def.kind != FieldKind::Number)
        return std::nullopt;
    switch (def.role) {
    case NumberRole::Threshold:
        return SweepFieldKind::Signal;
    case NumberRole::Period:
    case NumberRole::Factor:
        return SweepFieldKind::Analysis;
    case NumberRole::Amount:
        // Profit-taking and loss-cutting are percents; the capital and the commission are not
        // independent of the money invested.
        if (def.unit == "percent")
            return SweepFieldKind::Money;
        return std::nullopt;
    case NumberRole::None:
        break;
    }
    return std::nullopt;
}

Result<SweepAxis> parseSweepAxis(std::string_view text)
{
    const auto bad = [&](std::string why) {
        return makeError(ErrorCode::Validation, "掃引する項目の指定が正しくありません (" + why + "): \"" +
                                                    std::string(text) + "\" (例: AmtBuyRSI2=10:40:5)");
    };
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos)
        return bad("キー=開始:終了:刻み");
    const std::string_view key = text.substr(0, eq);
    const auto field = lookupJoukenField(key);
    if (!field)
        return bad("キー " + std::string(key) + " はありません");
    if (!sweepFieldKind(*field))
        return bad(std::string(key) +
                   " は掃引できません。しきい値、利益確定・損切りの％、指標の期間を選んでください");
    std::vector<long double> numbers;
    std::string_view rest = text.substr(eq + 1);
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string_view part = rest.substr(0, colon);
        const auto v = parseNumber(part);
        if (!v || !std::isfinite(*v))
            return bad("数値ではありません: \"" + std::string(part) + "\"");
        numbers.push_back(*v);
        if (colon == std::string_view::npos)
            break;
        rest = rest.substr(colon + 1);
    }
    if (numbers.size() < 2 || numbers.size() > 3)
        return bad("開始:終了 または 開始:終了:刻み");
    SweepAxis axis;
    axis.field = *field;
    axis.from = numbers[0];
    axis.to = numbers[1];
    axis.step = numbers.size() == 3 ? numbers[2] : 1;
    return axis;
}

SweepGrid::SweepGrid(TJouken base, std::vector<SweepAxis> axes, std::vector<std::vector<std::string>> values)
    : m_base(std::move(base)), m_axes(std::move(axes)), m_values(std::move(values))
{
    assert(m_axes.size() == m_values.size() && "one value list per axis");
    m_cells = 1;
    for (const auto& v : m_values)
        m_cells *= static_cast<int>(v.size());
}

std::array<int, 2> SweepGrid::coordinates(int cell) const
{
    if (m_values.size() < 2)
        return {cell, 0};
    const int inner = static_cast<int>(m_values[1].size());
    return {cell / inner, cell % inner};
}

std::vector<std::string> SweepGrid::cellValues(int cell) const
{
    const auto at = coordinates(cell);
    std::vector<std::string> out;
    for (std::size_t a = 0; a < m_values.size(); ++a)
        out.push_back(m_values[a][static_cast<std::size_t>(at[a])]);
    return out;
}

TJouken SweepGrid::conditionsOf(int cell) const
{
    TJouken j = m_base;
    const auto at = coordinates(cell);
    for (std::size_t a = 0; a < m_axes.size(); ++a)
        j[m_axes[a].field] = m_values[a][static_cast<std::size_t>(at[a])];
    return j;
}

const std::string& SweepGrid::refusal(int cell) const
{
    static const std::string kNone;
    if (m_refusals.empty() || cell < 0 || cell >= static_cast<int>(m_refusals.size()))
        return kNone;
    return m_refusals[static_cast<std::size_t>(cell)];
}

int SweepGrid::analysisGroupOf(int cell) const
{
    const auto at = coordinates(cell);
    int group = 0;
    for (std::size_t a = 0; a < m_axes.size(); ++a) {
        if (sweepFieldKind(m_axes[a].field) != SweepFieldKind::Analysis)
            continue;
        group = group * static_cast<int>(m_values[a].size()) + at[a];
    }
    return group;
}

Result<SweepGrid> makeSweepGrid(const TJouken& base, std::vector<SweepAxis> axes)
{
    if (const auto failed = validateJouken(base))
        return makeError(ErrorCode::Validation,
                         std::string(failed->message) + " (" + keyOf(failed->field) + ")");
    if (axes.size() > 2)
        return makeError(ErrorCode::Validation, "掃引できる項目は2つまでです。");
    if (axes.size() == 2 && axes[0].field == axes[1].field)
        return makeError(ErrorCode::Validation,
                         "同じ項目を2回掃引することはできません: " + keyOf(axes[0].field));
    std::vector<std::vector<std::string>> values;
    long long cells = 1;
    for (const SweepAxis& axis : axes) {
        const std::string key = keyOf(axis.field);
        if (!sweepFieldKind(axis.field))
            return makeError(ErrorCode::Validation, key + " は掃引できません。");
        if (!(axis.step > 0) || !std::isfinite(axis.step))
            return makeError(ErrorCode::Validation, key + " の刻みは0より大きい数にしてください。");
        if (!(axis.from <= axis.to))
            return makeError(ErrorCode::Validation, key + " の開始は終了以下にしてください。");
        // The count from the exact quotient, with room for the rounding of decimal steps (0.1).
        const long double span = (axis.to - axis.from) / axis.step;
        if (span + 1 > kMaxAxisValues)
            return makeError(ErrorCode::Validation, key + " の値は" + std::to_string(kMaxAxisValues) +
                                                        "個までです。刻みを大きくしてください。");
        const int count = static_cast<int>(std::floor(span + 1e-9L)) + 1;
        std::vector<std::string>& texts = values.emplace_back();
        for (int i = 0; i < count; ++i) {
            // Each value from the start, not by adding steps: no drift over many steps.
            const long double v = axis.from + axis.step * static_cast<long double>(i);
            // Fifteen significant digits hide the binary remainder of decimal steps (0.1 x 3 is "0.3").
            texts.push_back(formatNumber(v));
        }
        cells *= count;
        if (cells > kMaxSweepCells)
            return makeError(ErrorCode::Validation, "掃引のセルは" + std::to_string(kMaxSweepCells) +
                                                        "個までです。刻みを大きくしてください。");
    }
    SweepGrid grid(base, std::move(axes), std::move(values));
    // The editor's number check on every cell. A cell the check refuses is not run (a MACD short
    // period at or above the long one); a value refused in every combination is a mistake in the
    // range and refuses the sweep, naming the key and the value.
    std::vector<std::string> refusals(static_cast<std::size_t>(grid.cellCount()));
    bool any = false;
    for (int cell = 0; cell < grid.cellCount(); ++cell)
        if (const auto failed = validateJouken(grid.conditionsOf(cell))) {
            refusals[static_cast<std::size_t>(cell)] = std::string(failed->message);
            any = true;
        }
    if (any) {
        for (std::size_t a = 0; a < grid.axes().size(); ++a)
            for (int i = 0; i < grid.valueCount(a); ++i) {
                std::string first;
                bool allRefused = true;
                for (int cell = 0; cell < grid.cellCount() && allRefused; ++cell) {
                    if (grid.coordinates(cell)[a] != i)
                        continue;
                    const std::string& why = refusals[static_cast<std::size_t>(cell)];
                    allRefused = !why.empty();
                    if (first.empty())
                        first = why;
                }
                if (allRefused)
                    return makeError(ErrorCode::Validation, keyOf(grid.axes()[a].field) + " = " +
                                                                grid.values(a)[static_cast<std::size_t>(i)] +
                                                                ": " + first);
            }
        grid.setRefusals(std::move(refusals));
    }
    return grid;
}

CellFigures figuresOf(const EquityStatistics& statistics)
{
    const SideStatistics& all = statistics.all;
    CellFigures f;
    f.netReturnPct = all.netProfitPct.value_or(0);
    f.profitFactor = all.profitFactor;
    f.maxDrawdownPct = all.maxDrawdownPct;
    f.sharpe = all.sharpe;
    f.trades = all.trades;
    return f;
}

namespace {

int tradePriceOf(const TJouken& conditions)
{
    const std::string& text = conditions.value("UseTradePrice");
    return text.size() == 1 && text[0] >= '1' && text[0] <= '4' ? text[0] - '0' : 1;
}

// The series of the run the analysis object holds, for the period from start.
Result<EquitySeries> seriesOf(const TStkAnalisys& analysis, std::string_view start)
{
    if (analysis.StkList.empty())
        return makeError(ErrorCode::Data, "データがありませんでした。");
    return buildEquitySeries(analysis.StkList.front(), start, tradePriceOf(analysis.Jouken));
}

// One worker: its own analysis object, reused while the pieces it takes stay on one stock and one
// analysis group.
class SweepWorker {
public:
    SweepWorker(const SweepGrid& grid, const std::vector<SweepStock>& stocks, std::string_view start,
                std::string_view end)
        : m_grid(grid), m_stocks(stocks), m_start(start), m_end(end)
    {
    }

    void run(const WorkItem& item, const std::vector<int>& cells, std::vector<CellFigures>& out,
             const std::atomic<bool>* cancel)
    {
        const SweepStock& stock = m_stocks[static_cast<std::size_t>(item.stock)];
        if (item.stock != m_stock || item.group != m_group) {
            m_stock = item.stock;
            m_group = item.group;
            m_analysed = m_analysis.Analyze(stock.table, stock.rows, m_grid.conditionsOf(cells[item.first]),
                                            m_start, m_end, false);
        }
        for (std::size_t i = item.first; i < item.last; ++i) {
            if (cancel && cancel->load(std::memory_order_relaxed))
                return;
            const int cell = cells[i];
            CellFigures& figures = out[static_cast<std::size_t>(cell)];
            if (const std::string& refused = m_grid.refusal(cell); !refused.empty()) {
                figures.error = refused;
                continue;
            }
            if (!m_analysed) {
                figures.error = m_analysed.error().message;
                continue;
            }
            m_analysis.Jouken = m_grid.conditionsOf(cell);
            if (const Status simulated = runSimulation(m_analysis); !simulated) {
                figures.error = simulated.error().message;
                continue;
            }
            const Result<EquitySeries> series = seriesOf(m_analysis, m_start);
            if (!series) {
                figures.error = series.error().message;
                continue;
            }
            figures = figuresOf(computeStatistics(*series));
        }
    }

private:
    const SweepGrid& m_grid;
    const std::vector<SweepStock>& m_stocks;
    std::string m_start;
    std::string m_end;
    TStkAnalisys m_analysis;
    int m_stock = -1;
    int m_group = -1;
    Status m_analysed;
};

} // namespace

Result<std::vector<std::vector<CellFigures>>> runSweep(const SweepGrid& grid,
                                                       const std::vector<SweepStock>& stocks,
                                                       std::string_view start, std::string_view end,
                                                       const SweepRunOptions& options)
{
    // Cells by analysis group, in cell order.
    std::map<int, std::vector<int>> byGroup;
    for (int cell = 0; cell < grid.cellCount(); ++cell)
        byGroup[grid.analysisGroupOf(cell)].push_back(cell);
    std::vector<std::pair<int, const std::vector<int>*>> groups;
    for (const auto& [group, cells] : byGroup)
        groups.emplace_back(group, &cells);

    const int jobs = std::max(1, options.jobs);
    // Fewer analyses than workers: each group is split so every worker has cells to walk.
    const long long analyses = static_cast<long long>(stocks.size()) * static_cast<long long>(groups.size());
    const std::size_t pieces =
        analyses >= jobs ? 1
                         : std::max<std::size_t>(
                               1, static_cast<std::size_t>((jobs + analyses - 1) / std::max(1LL, analyses)));
    std::vector<WorkItem> items;
    std::vector<const std::vector<int>*> itemCells;
    for (int s = 0; s < static_cast<int>(stocks.size()); ++s)
        for (const auto& [group, cells] : groups) {
            const std::size_t n = cells->size();
            const std::size_t per = (n + pieces - 1) / pieces;
            for (std::size_t first = 0; first < n; first += per) {
                items.push_back({s, group, first, std::min(n, first + per)});
                itemCells.push_back(cells);
            }
        }

    std::vector<std::vector<CellFigures>> results(
        stocks.size(), std::vector<CellFigures>(static_cast<std::size_t>(grid.cellCount())));
    const long long total = static_cast<long long>(stocks.size()) * grid.cellCount();
    const auto cancelled = [&] { return options.cancel && options.cancel->load(std::memory_order_relaxed); };
    BatchRunner runner(jobs);
    // Each worker walks its pieces on an analysis object of its own.
    const auto makeWorker = [&]() -> BatchRunner::Job {
        auto worker = std::make_shared<SweepWorker>(grid, stocks, start, end);
        return [&, worker](int index) {
            if (cancelled()) {
                runner.cancel();
                return;
            }
            const WorkItem& item = items[static_cast<std::size_t>(index)];
            worker->run(item, *itemCells[static_cast<std::size_t>(index)],
                        results[static_cast<std::size_t>(item.stock)], options.cancel);
        };
    };
    long long done = 0;
    runner.run(static_cast<int>(items.size()), makeWorker, [&](int index, int, int) {
        const WorkItem& item = items[static_cast<std::size_t>(index)];
        done += static_cast<long long>(item.last - item.first);
        if (options.progress && !cancelled())
            options.progress(done, total);
    });
    if (options.cancel && options.cancel->load())
        return makeError(ErrorCode::Validation, kCancelled);
    return results;
}

Result<EquitySeries> runSingle(const TJouken& conditions, const SweepStock& stock, std::string_view start,
                               std::string_view end)
{
    TStkAnalisys analysis;
    installSimulation(analysis);
    if (Status analysed = analysis.Analyze(stock.table, stock.rows, conditions, start, end, true); !analysed)
        return analysed.error();
    return seriesOf(analysis, start);
}

bool betterFigure(std::optional<long double> a, std::optional<long double> b)
{
    if (!a)
        return false;
    if (!b)
        return true;
    return *a > *b;
}

std::optional<long double> metricOf(const CellFigures& f, SweepMetric metric)
{
    if (!f.error.empty())
        return std::nullopt;
    switch (metric) {
    case SweepMetric::NetReturn:
        return f.netReturnPct;
    case SweepMetric::ProfitFactor:
        return f.profitFactor;
    case SweepMetric::MaxDrawdown:
        return f.maxDrawdownPct;
    case SweepMetric::Sharpe:
        return f.sharpe;
    case SweepMetric::Trades:
        return static_cast<long double>(f.trades);
    }
    return std::nullopt;
}

int bestCell(const std::vector<std::optional<long double>>& values)
{
    int best = -1;
    for (int c = 0; c < static_cast<int>(values.size()); ++c)
        if (values[static_cast<std::size_t>(c)] &&
            (best < 0 ||
             betterFigure(values[static_cast<std::size_t>(c)], values[static_cast<std::size_t>(best)])))
            best = c;
    return best;
}

std::optional<long double> neighbourMean(const SweepGrid& grid,
                                         const std::vector<std::optional<long double>>& values, int cell)
{
    if (cell < 0 || cell >= grid.cellCount())
        return std::nullopt;
    const auto at = grid.coordinates(cell);
    const int n0 = grid.axes().empty() ? 1 : grid.valueCount(0);
    const int n1 = grid.axes().size() < 2 ? 1 : grid.valueCount(1);
    long double sum = 0;
    int count = 0;
    for (int d0 = -1; d0 <= 1; ++d0)
        for (int d1 = -1; d1 <= 1; ++d1) {
            const int i0 = at[0] + d0;
            const int i1 = at[1] + d1;
            if ((d0 == 0 && d1 == 0) || i0 < 0 || i0 >= n0 || i1 < 0 || i1 >= n1)
                continue;
            const auto& v = values[static_cast<std::size_t>(i0 * n1 + i1)];
            if (v) {
                sum += *v;
                ++count;
            }
        }
    if (count == 0)
        return std::nullopt;
    return sum / count;
}

} // namespace vorteq
