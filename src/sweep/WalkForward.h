#pragma once

// Walk-forward: the period cut into in-sample windows, each followed by an out-of-sample window;
// the best cell of the sweep on each in-sample window is run on the window after it. The
// out-of-sample windows follow each other without gap or overlap, and the choice of a window never
// sees a price of its out-of-sample days.

#include "sweep/ParameterSweep.h"

#include <string>
#include <vector>

namespace vorteq {

struct WalkWindow {
    std::string inStart, inEnd;   // yyyy/mm/dd, both inclusive
    std::string outStart, outEnd; // outStart is the day after inEnd
};

// Windows over from..to: the k-th in-sample window starts k out-of-sample lengths after `from`
// and lasts inMonths; its out-of-sample window lasts outMonths, the last one cut at `to`. Month
// steps clamp to the month's last day (01/31 + 1 month is 02/28). Lengths
// from 1 to 240 months; at least one out-of-sample day must fit.
Result<std::vector<WalkWindow>> walkForwardWindows(std::string_view from, std::string_view to, int inMonths,
                                                   int outMonths);

// The table's rows dated on or before `last` (a price table newest first or in any order): the
// run of a window sees nothing after it.
SweepStock pricesUpTo(const SweepStock& stock, std::string_view last);

// A cell's figures over the stocks: the mean of each figure over the stocks where it is defined.
struct MeanFigures {
    int stocks = 0; // stocks whose run succeeded
    std::optional<long double> netReturnPct;
    std::optional<long double> profitFactor;
    std::optional<long double> maxDrawdownPct;
    std::optional<long double> sharpe;
    std::optional<long double> trades;
};
MeanFigures meanFigures(const std::vector<std::vector<CellFigures>>& perStock, int cell);
std::optional<long double> metricOf(const MeanFigures& figures, SweepMetric metric);

struct WalkWindowResult {
    WalkWindow window;
    int bestCell = -1;                   // -1 when no cell ran on the in-sample window
    std::vector<std::string> bestValues; // the chosen values, one per axis
    MeanFigures inSample;                // of the best cell on the in-sample window
    MeanFigures outOfSample;             // of the same cell on the out-of-sample window
};

struct WalkForwardResult {
    std::vector<WalkWindowResult> windows;
    // The out-of-sample accounts of the first stock chained: each window starts with the money the
    // previous one ended with (values scaled), days and round trips in time order.
    EquitySeries chained;
    EquityStatistics chainedStatistics;
    // Net return per year of the out-of-sample windows over that of the in-sample windows (means
    // over the windows that ran, years of 365.25 days); empty when the in-sample return is not
    // above 0 or no window ran.
    std::optional<long double> efficiency;
    long double inSampleReturnPerYear = 0;
    long double outOfSampleReturnPerYear = 0;
};

// The walk-forward over the stocks. Cancelling is the only error; windows where nothing ran keep
// bestCell -1.
Result<WalkForwardResult> runWalkForward(const SweepGrid& grid, const std::vector<SweepStock>& stocks,
                                         const std::vector<WalkWindow>& windows, SweepMetric metric,
                                         const SweepRunOptions& options);

} // namespace vorteq
