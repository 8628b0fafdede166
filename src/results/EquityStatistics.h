#pragma once

// The account value day by day after a simulation run, the buy-and-hold comparison, the drawdown,
// the round trips, and the risk and return statistics a trader judges a system by. Built from
// what the run left in the stock's series (its days and its trade records) without running it
// again, so the views, the exports and the command line show the same figures.

#include "series/TStkData.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

// Trading days a year, for annualising daily figures.
inline constexpr long double kTradingDaysPerYear = 245;

enum class PositionSide { Flat, Long, Short };

// One simulated day, oldest first. Prices as numbers (0 when a field is not a number).
struct EquityDay {
    std::string date; // yyyy/mm/dd
    long double open = 0;
    long double high = 0;
    long double low = 0;
    long double close = 0;
    long double volume = 0;
    // The account at the close: cash plus a long position at the close, or cash plus a short
    // position as twice its entry amount minus its value at the close, as the run values the open
    // position on the newest day. Yen.
    long double value = 0;
    // The same capital bought on the first day at its execution price, valued at this close. Yen.
    long double buyHold = 0;
    // value / highest value up to this day - 1: 0 at a new high, negative below it.
    long double drawdown = 0;
    PositionSide held = PositionSide::Flat; // the position at the close
};

// One position from its opening trade to its closing trade. Yen unless said otherwise.
struct RoundTrip {
    PositionSide side = PositionSide::Long;
    int entryDay = 0;            // index into EquitySeries::days of the opening trade's day
    int exitDay = 0;             // of the closing trade's day
    long double entryAmount = 0; // shares x entry price
    long double proceeds = 0;    // the closing trade's amount
    long double fees = 0;        // commission of both trades
    // proceeds - entry amount - fees: what the position added to the account.
    long double profit = 0;
    // profit / entry amount x 100: the return after commission, percent.
    long double returnPct = 0;
};

struct EquitySeries {
    long double capital = 0;      // the initial capital
    std::vector<EquityDay> days;  // oldest first
    std::vector<RoundTrip> trips; // closed positions, oldest first
    // The account as if only the long, or only the short, positions had been taken: the capital
    // plus the profits of that side's closed positions plus the open profit of that side's position
    // at the close. Their gains add up to the account's; index as days.
    std::vector<long double> longValue;
    std::vector<long double> shortValue;
};

// The series of the days the daily table shows (from the first day on or after `start`, yyyy/mm/dd,
// up to the newest), replaying the stock's trade records. `tradePrice` is the execution price
// choice of the conditions (UseTradePrice: 1 open, 2 close, 3 high, 4 low); the buy-and-hold buys
// at that price of the first day, in fractional shares and without commission.
EquitySeries buildEquitySeries(const TStkData& stock, std::string_view start, int tradePrice);

// The statistics of one group of trades: all positions, the long ones or the short ones. The
// equity figures of a group use its own value series (the account for all; longValue or
// shortValue). A value that cannot be defined (no losing trade, no volatility, one day only) is
// empty and shows "－".
struct SideStatistics {
    int trades = 0;                          // closed positions
    long double netProfit = 0;               // last value - capital, the open position included; yen
    std::optional<long double> netProfitPct; // of the capital
    // (last value / capital)^(1 / years) - 1, percent, years = calendar days from the first to
    // the newest day / 365.25.
    std::optional<long double> cagrPct;
    // The deepest fall below an earlier high, in percent of that high, with its depth in yen, the
    // last day at the high, the day of the low and the first later day at or above the high (empty:
    // not recovered). Zero and no dates when the value never fell.
    long double maxDrawdown = 0;
    long double maxDrawdownPct = 0;
    std::string peakDate;
    std::string troughDate;
    std::optional<std::string> recoveryDate;
    int longestDrawdownDays = 0; // most consecutive days below an earlier high
    // Sum of the winning profits / sum of the losing profits (absolute); empty without a loss.
    std::optional<long double> profitFactor;
    std::optional<long double> expectancy;    // mean profit of a closed position, yen
    std::optional<long double> expectancyPct; // mean returnPct
    // Mean winning profit / mean losing profit (absolute); empty without a win or a loss.
    std::optional<long double> payoffRatio;
    std::optional<long double> largestWin;  // yen, empty without a win
    std::optional<long double> largestLoss; // yen (negative), empty without a loss
    int maxConsecutiveWins = 0;             // a position with a profit of exactly 0 ends both runs
    int maxConsecutiveLosses = 0;
    std::optional<long double> averageHoldingDays; // trading days from entry to exit
    std::optional<long double> exposurePct;        // days with the group's position held at the close
    // Of the daily returns of the value series (value / previous value - 1): the sample standard
    // deviation x sqrt(245), percent; the mean / that deviation x sqrt(245) (risk-free rate 0);
    // the mean / the downside deviation sqrt(sum of min(r, 0)^2 / n) x sqrt(245).
    std::optional<long double> volatilityPct;
    std::optional<long double> sharpe;
    std::optional<long double> sortino;
    std::optional<long double> calmar;     // CAGR / |maximum drawdown|, both percent
    std::optional<long double> buyHoldPct; // the buy-and-hold return over the period, percent
};

struct EquityStatistics {
    SideStatistics all;
    SideStatistics longs;
    SideStatistics shorts;
};

EquityStatistics computeStatistics(const EquitySeries& series);

// The columns of the statistics table after the caption.
inline constexpr std::array<std::string_view, 3> kStatisticsSideTitles{"全取引", "買い", "空売り"};
// The statistics table's titles: the caption column, then the three groups.
inline constexpr std::array<std::string_view, 4> kStatisticsColumnTitles{
    "項目", kStatisticsSideTitles[0], kStatisticsSideTitles[1], kStatisticsSideTitles[2]};
inline constexpr std::string_view kStatisticsGroup = "リスク・リターン分析";
inline constexpr std::string_view kNotRecovered = "未回復";

// One line of the statistics table: the caption and the texts for all, long and short.
struct StatisticsRow {
    std::string_view caption;
    std::array<std::string, 3> texts;
};

// Every figure as the statistics group shows it: yen in whole yen, percents and ratios with two
// decimals, "－" for an empty value.
std::vector<StatisticsRow> statisticsRows(const EquityStatistics& statistics);

// The statistics export: the title row "項目", "全取引", "買い", "空売り" and one row per figure;
// an empty line; then the equity series with the title row "日付", "評価額", "バイ・アンド・ホールド",
// "ドローダウン(%)" and one row per day, oldest first, numbers in the general format. Each cell
// followed by ",", as the other exports.
std::vector<std::string> statisticsCsvLines(const EquityStatistics& statistics, const EquitySeries& series);

// The same as one JSON document (UTF-8): {"statistics": [{"item", "all", "long", "short"}...],
// "equity": [{"date", "value", "buyHold", "drawdownPct"}...]}.
std::string statisticsJson(const EquityStatistics& statistics, const EquitySeries& series);

} // namespace vorteq
