#pragma once

// Parameter sweeps: one or two numeric fields of a condition set, each over a range of values, run
// over one or more stocks. The indicators of a stock are computed once for every combination of
// the indicator parameters swept; thresholds and money settings only re-run the signals and the
// trade walk on the same series.

#include "common/Result.h"
#include "conditions/TJouken.h"
#include "gateway/Ptbl.h"
#include "results/EquityStatistics.h"

#include <array>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

// The figure a sweep ranks its cells by.
enum class SweepMetric { NetReturn, ProfitFactor, MaxDrawdown, Sharpe, Trades };
inline constexpr int kSweepMetricCount = 5;
// Command-line words and captions, in the enum's order.
inline constexpr std::array<std::string_view, kSweepMetricCount> kSweepMetricWords{"return", "pf", "drawdown",
                                                                                   "sharpe", "trades"};
inline constexpr std::array<std::string_view, kSweepMetricCount> kSweepMetricCaptions{
    "純利益率(%)", "プロフィットファクター", "最大ドローダウン(%)", "シャープレシオ", "取引回数"};

std::optional<SweepMetric> sweepMetricOf(std::string_view word);

// What changing a swept field redoes.
enum class SweepFieldKind {
    Signal,   // a condition's threshold: the signals and the trade walk
    Money,    // profit-taking or loss-cutting percent: the trade walk
    Analysis, // an indicator period or factor: a new analysis of the stock
};

// The kind of an Amt field that a sweep may vary; nothing for a field it may not (the capital and
// the commission depend on the amount invested, every other field is no number).
std::optional<SweepFieldKind> sweepFieldKind(int field);

// One swept field: values from, from + step, ... up to to (inclusive).
struct SweepAxis {
    int field = -1; // kJoukenFields number
    long double from = 0;
    long double to = 0;
    long double step = 1;
};

// "KEY=FROM:TO:STEP" (step 1 when left out), e.g. "AmtBuyRSI2=10:40:5".
Result<SweepAxis> parseSweepAxis(std::string_view text);

// Most values one field may take, and most cells of a sweep.
inline constexpr int kMaxAxisValues = 1000;
inline constexpr int kMaxSweepCells = 10000;

// The cells of a sweep: the base conditions and, for each axis, the value texts. Cell c has
// coordinates (c / n1, c % n1) for two axes of n0 and n1 values: the first axis is the outer one.
class SweepGrid {
public:
    SweepGrid() = default;
    SweepGrid(TJouken base, std::vector<SweepAxis> axes, std::vector<std::vector<std::string>> values);

    const TJouken& base() const { return m_base; }
    const std::vector<SweepAxis>& axes() const { return m_axes; }
    const std::vector<std::string>& values(std::size_t axis) const { return m_values[axis]; }
    int cellCount() const { return m_cells; }
    int valueCount(std::size_t axis) const { return static_cast<int>(m_values[axis].size()); }
    // The value index of each axis for a cell (the second is 0 with one axis).
    std::array<int, 2> coordinates(int cell) const;
    // The value texts of a cell, one per axis.
    std::vector<std::string> cellValues(int cell) const;
    // The base conditions with the cell's values set.
    TJouken conditionsOf(int cell) const;
    // Cells that share their indicator parameters share one analysis: the group number of a cell.
    int analysisGroupOf(int cell) const;
    // The editor's message for a cell whose conditions it refuses; empty for a cell that runs.
    const std::string& refusal(int cell) const;
    void setRefusals(std::vector<std::string> refusals) { m_refusals = std::move(refusals); }

private:
    TJouken m_base;
    std::vector<SweepAxis> m_axes;
    std::vector<std::vector<std::string>> m_values;
    std::vector<std::string> m_refusals; // empty when every cell runs
    int m_cells = 1;
};

// Builds the grid: each axis names a field a sweep may vary, with a step above 0 and from not above
// to. Cells the editor's number check refuses carry its message and are not run; a value refused in
// every combination refuses the grid, naming the key and the value. The base must pass the check
// too. No axis is a grid of one cell: the base conditions.
Result<SweepGrid> makeSweepGrid(const TJouken& base, std::vector<SweepAxis> axes);

// The figures of one cell on one stock, from the statistics of the whole account.
struct CellFigures {
    std::string error; // empty when the run succeeded
    long double netReturnPct = 0;
    std::optional<long double> profitFactor;
    long double maxDrawdownPct = 0;
    std::optional<long double> sharpe;
    int trades = 0;
};

CellFigures figuresOf(const EquityStatistics& statistics);

// One stock's price table in the layout of the daily-price query, with the period it is run over.
struct SweepStock {
    std::string code;
    Ptbl table;
    int rows = 0;
};

// Called from the workers after each piece of work: cells done and the total.
using SweepProgress = std::function<void(long long done, long long total)>;

struct SweepRunOptions {
    int jobs = 1;                              // worker threads, at least 1
    const std::atomic<bool>* cancel = nullptr; // set to stop: the run ends with an error
    SweepProgress progress;                    // may be empty
};

// Runs every cell on every stock over the period start..end (yyyy/mm/dd): the figures per stock,
// then per cell. A cell whose run fails (no data, a parameter the analysis refuses) carries its
// message; the others are unaffected. Cancelling is the only error.
Result<std::vector<std::vector<CellFigures>>> runSweep(const SweepGrid& grid,
                                                       const std::vector<SweepStock>& stocks,
                                                       std::string_view start, std::string_view end,
                                                       const SweepRunOptions& options);

// One back-test of the conditions on one stock, as a sweep cell runs it, keeping the account's
// series (the walk-forward chains them). Errors are the run's.
Result<EquitySeries> runSingle(const TJouken& conditions, const SweepStock& stock, std::string_view start,
                               std::string_view end);

// True when a ranks above b: a missing value ranks below every present one, and a larger value is
// better for every metric (the drawdown is negative: closer to 0 is better).
bool betterFigure(std::optional<long double> a, std::optional<long double> b);

// The metric's value in a cell's figures (empty for a failed cell or an undefined figure).
std::optional<long double> metricOf(const CellFigures& figures, SweepMetric metric);

// The best cell by the metric (the first of equals in cell order); -1 when no cell has a value.
int bestCell(const std::vector<std::optional<long double>>& values);

// The mean of the values of the cell's neighbours on the grid (the cells one step away along
// each axis, diagonals included), those with a value only; empty when none has one. A best cell
// whose neighbours are much worse is a lucky spike, not a robust setting.
std::optional<long double> neighbourMean(const SweepGrid& grid,
                                         const std::vector<std::optional<long double>>& values, int cell);

} // namespace vorteq
