#pragma once

// What the chart of a simulation run shows, without any drawing: the days with their prices and
// the account's value, the indicator lines of the condition set that share the price scale, and
// one marker per trade. The chart tab and the command line's picture draw the same data.

#include "conditions/TJouken.h"
#include "results/EquityStatistics.h"

#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

// An indicator drawn over the candlesticks. NaN where the indicator has no value yet (its
// lead-in) or the field is not a number.
struct ChartLine {
    std::string name;
    std::vector<double> values; // one per day of the series, oldest first
    bool dots = false;          // a stop-and-reverse level: drawn as dots, not a line
};

enum class MarkerKind { Buy, Sell, Short, Cover };

// One trade on the chart: the day it was executed and its price.
struct ChartMarker {
    int day = 0; // index into the series' days
    double price = 0;
    MarkerKind kind = MarkerKind::Buy;
    std::string tooltip; // the trade row: one "title: text" line per column of the trade list
};

struct ChartData {
    std::string title; // the stock and the period
    EquitySeries series;
    std::vector<ChartLine> overlays;
    std::vector<ChartMarker> markers; // in the order of the trade records
};

// The chart of a run over the days the daily table shows (on or after `start`). Overlays are the
// moving averages, Bollinger bands, parabolic and volatility stop of the conditions in use on
// either side; the execution price choice comes from the conditions too.
ChartData buildChartData(const TStkData& stock, std::string_view start, const TJouken& conditions,
                         std::string title = {});

// The chart's title: "code name  start～end".
std::string chartTitle(std::string_view code, std::string_view name, std::string_view start,
                       std::string_view end);

// The index of the day with this date in the series, or -1.
int dayIndexOf(const EquitySeries& series, std::string_view date);

} // namespace vorteq
