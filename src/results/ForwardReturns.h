#pragma once

// Whether a screening has an edge: for each listed stock the return from the open of the trading day
// after the base date to the close 1, 5, 20 and 60 trading days later, against the same returns of
// every stock of the market, side by side.

#include "common/Result.h"
#include "gateway/THttpStatements.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

inline const std::vector<int> kForwardHorizons{1, 5, 20, 60};
inline constexpr int kMaxForwardHorizon = 250;

// "1,5,20,60" into its days; a day outside 1..kMaxForwardHorizon, a repeat or an empty list is refused.
Result<std::vector<int>> parseForwardHorizons(std::string_view text);

// One price of the market on one of the days the returns need.
struct ForwardPrice {
    std::string code;
    std::string date; // yyyy/mm/dd
    std::string open;
    std::string close;
};

// The figures of one horizon. Returns in percent; a stock without its entry or exit day is missing,
// never counted as 0.
struct ForwardHorizon {
    int days = 0;
    std::string exitDate; // the market's day `days` trading days on from the entry; empty when not yet
    int listed = 0;       // stocks of the list
    int listReturns = 0;  // of them with a return
    int marketReturns = 0;
    std::optional<long double> listMean, listMedian, marketMean, marketMedian;
    std::optional<long double> meanDifference, medianDifference; // list - market
    std::optional<long double> beatSharePct; // of the list's returns, those above the market's mean
};

struct ForwardReturns {
    std::string baseDate;
    std::string entryDate; // the trading day after the base date; empty when there is none yet
    std::vector<ForwardHorizon> horizons;
    // Per listed stock, in list order: its code and its return per horizon.
    std::vector<std::pair<std::string, std::vector<std::optional<long double>>>> stocks;
};

// From the market's trading days after the base date (oldest first) and the prices of every stock of
// the market on the entry and exit days.
ForwardReturns computeForwardReturns(std::string_view baseDate, const std::vector<std::string>& tradingDays,
                                     const std::vector<ForwardPrice>& prices,
                                     const std::vector<std::string>& list, const std::vector<int>& horizons);

// The two requests: the trading days after the base date (enough for the longest horizon), then the
// opens and closes of the market's stocks on the entry and exit days, read from the yearly tables of
// the market's family and confined to its market code.
Result<ForwardReturns> fetchForwardReturns(THttpStatements& statements, std::string_view marketCode,
                                           std::string_view baseDate, const std::vector<std::string>& list,
                                           const std::vector<int>& horizons);

// The summary as a table: titles, then one line per horizon. Each cell followed by ",".
std::vector<std::vector<std::string>> forwardSummaryRows(const ForwardReturns& returns);
// The returns of each listed stock: code, then one cell per horizon ("－" when missing).
std::vector<std::vector<std::string>> forwardStockRows(const ForwardReturns& returns);

} // namespace vorteq
