// The account day by day, the drawdown and the risk and return figures after a run, against
// hand-worked runs (capital 1,000,000 yen, 1-share units, no commission, trades at the next
// day's open; a buy signal on a day closing 5 % or more above its open, a sell on one closing 5 %
// or more below), then against a recomputation from the exports of a real series.
#include "results/EquityStatistics.h"

#include "common/NumberText.h"
#include "results/ChartData.h"
#include "results/ResultRows.h"
#include "simulation/SimulationTestSupport.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

const Bar kFlat{"1000", "1000"};

// The figure texts of the table by caption: all, long, short.
std::map<std::string, std::array<std::string, 3>> figures(const EquityStatistics& s)
{
    std::map<std::string, std::array<std::string, 3>> out;
    for (const StatisticsRow& row : statisticsRows(s))
        out[std::string(row.caption)] = row.texts;
    return out;
}

std::vector<long double> values(const EquitySeries& s)
{
    std::vector<long double> out;
    for (const EquityDay& d : s.days)
        out.push_back(d.value);
    return out;
}

TJouken rules(std::string_view directions)
{
    TJouken j = openToCloseRules();
    j.set("KbnTrade", directions);
    j.set("KbnTani", "3");
    return j;
}

// Long only: bought 1000 shares at 1000 on day 2, sold at 1200 on day 4 (+200,000); bought 1090
// shares at 1100 on day 6 (1,199,000, cash 1,000), sold at 1000 on day 8 (-109,000).
const std::vector<Bar> kWinThenLoss{
    kFlat,
    {"1000", "1100"}, // buy signal
    {"1000", "1000"}, // bought at 1000
    {"1200", "1100"}, // sell signal (-8.3 %)
    {"1200", "1200"}, // sold at 1200
    {"1000", "1100"}, // buy signal
    {"1100", "1100"}, // bought at 1100
    {"1100", "1000"}, // sell signal (-9.1 %)
    {"1000", "1000"}, // sold at 1000
    kFlat,
};

} // namespace

TEST(EquitySeries, ValuesTheAccountAtEveryCloseAsTheRunDoes)
{
    const auto run = simulateBars(kWinThenLoss, rules("0"));
    ASSERT_TRUE(run.status) << run.status.error().message;
    const EquitySeries s = buildEquitySeries(run.stock, barDate(0), 1);
    ASSERT_EQ(s.days.size(), 10u);
    EXPECT_EQ(values(s), (std::vector<long double>{1000000, 1000000, 1000000, 1100000, 1200000, 1200000,
                                                   1200000, 1091000, 1091000, 1091000}));
    EXPECT_EQ(s.days.back().value, run.stock.UserResult.FinalAmt);
    // Bought on the first day's open (1000) and worth 1000 shares at every close.
    EXPECT_EQ(s.days[3].buyHold, 1100000);
    EXPECT_EQ(s.days.back().buyHold, 1000000);
    EXPECT_NEAR(static_cast<double>(s.days[7].drawdown), 1091000.0 / 1200000 - 1, 1e-12);
    EXPECT_EQ(s.days[4].drawdown, 0);
    ASSERT_EQ(s.trips.size(), 2u);
    EXPECT_EQ(s.trips[0].profit, 200000);
    EXPECT_EQ(s.trips[1].profit, -109000);
    EXPECT_EQ(s.trips[1].entryDay, 6);
    EXPECT_EQ(s.trips[1].exitDay, 8);
}

TEST(EquityStatistics, AWinningAndALosingTradeNeverRecovered)
{
    const auto run = simulateBars(kWinThenLoss, rules("0"));
    ASSERT_TRUE(run.status);
    const EquityStatistics st = computeStatistics(buildEquitySeries(run.stock, barDate(0), 1));
    auto f = figures(st);
    EXPECT_EQ(f["取引回数"], (std::array<std::string, 3>{"2 回", "2 回", "0 回"}));
    EXPECT_EQ(f["純損益"][0], "91000");
    EXPECT_EQ(f["純損益率"][0], "9.10 %");
    EXPECT_EQ(f["最大ドローダウン"][0], "-109000");
    EXPECT_EQ(f["最大ドローダウン率"][0], "-9.08 %");
    // The last day at the high (day 6, worth 1,200,000 again after buying) starts the fall.
    EXPECT_EQ(f["ドローダウン開始日"][0], barDate(6));
    EXPECT_EQ(f["ドローダウン底値日"][0], barDate(7));
    EXPECT_EQ(f["ドローダウン回復日"][0], "未回復");
    EXPECT_EQ(f["最長ドローダウン期間"][0], "3 日");
    EXPECT_EQ(f["プロフィットファクター"][0], "1.83"); // 200,000 / 109,000
    EXPECT_EQ(f["期待値(1取引)"][0], "45500");
    // (20 % + (-109,000 / 1,199,000 = -9.09 %)) / 2
    EXPECT_EQ(f["期待値率(1取引)"][0], "5.45 %");
    EXPECT_EQ(f["ペイオフレシオ"][0], "1.83");
    EXPECT_EQ(f["最大勝ち取引"][0], "200000");
    EXPECT_EQ(f["最大負け取引"][0], "-109000");
    EXPECT_EQ(f["最大連勝数"][0], "1 回");
    EXPECT_EQ(f["最大連敗数"][0], "1 回");
    EXPECT_EQ(f["平均保有日数"][0], "2.00 日");
    EXPECT_EQ(f["エクスポージャー"][0], "40.00 %"); // held at the close of days 2, 3, 6, 7
    EXPECT_EQ(f["バイ・アンド・ホールド騰落率"][0], "0.00 %");
    // The long side is the whole account; the short side never traded.
    EXPECT_EQ(f["純損益"][1], "91000");
    EXPECT_EQ(f["純損益"][2], "0");
    EXPECT_EQ(f["期待値(1取引)"][2], "－");
    EXPECT_EQ(f["年率ボラティリティ"][2], "0.00 %");
    EXPECT_EQ(f["シャープレシオ"][2], "－");
    EXPECT_EQ(f["ソルティノレシオ"][2], "－");
    EXPECT_EQ(f["ドローダウン回復日"][2], "－");
}

TEST(EquityStatistics, NoLosingTradeLeavesTheLossRatiosUndefined)
{
    const std::vector<Bar> winOnly(kWinThenLoss.begin(), kWinThenLoss.begin() + 6);
    const auto run = simulateBars(winOnly, rules("0"));
    ASSERT_TRUE(run.status);
    auto f = figures(computeStatistics(buildEquitySeries(run.stock, barDate(0), 1)));
    EXPECT_EQ(f["取引回数"][0], "1 回");
    EXPECT_EQ(f["プロフィットファクター"][0], "－");
    EXPECT_EQ(f["ペイオフレシオ"][0], "－");
    EXPECT_EQ(f["最大負け取引"][0], "－");
    EXPECT_EQ(f["最大勝ち取引"][0], "200000");
    EXPECT_EQ(f["最大ドローダウン"][0], "0");
    EXPECT_EQ(f["ドローダウン開始日"][0], "－");
    EXPECT_EQ(f["ドローダウン回復日"][0], "－");
    EXPECT_EQ(f["ソルティノレシオ"][0], "－"); // the account never fell from one close to the next
    EXPECT_EQ(f["カルマーレシオ"][0], "－");
}

TEST(EquityStatistics, AShortThatLosesIsValuedAsTwiceItsEntryLessItsValue)
{
    // Short 1000 shares at 1000 on day 2; worth 2,000,000 - 1,100,000 at day 2's close; bought back
    // at 1200 on day 3 for 800,000: -200,000.
    const std::vector<Bar> bars{kFlat, {"1000", "900"}, {"1000", "1100"}, {"1200", "1200"}, {"1200", "1200"}};
    const auto run = simulateBars(bars, rules("1"));
    ASSERT_TRUE(run.status);
    const EquitySeries s = buildEquitySeries(run.stock, barDate(0), 1);
    EXPECT_EQ(values(s), (std::vector<long double>{1000000, 1000000, 900000, 800000, 800000}));
    EXPECT_EQ(s.days[2].held, PositionSide::Short);
    EXPECT_EQ(s.shortValue, values(s));
    auto f = figures(computeStatistics(s));
    EXPECT_EQ(f["取引回数"], (std::array<std::string, 3>{"1 回", "0 回", "1 回"}));
    EXPECT_EQ(f["最大負け取引"][2], "-200000");
    EXPECT_EQ(f["期待値率(1取引)"][2], "-20.00 %");
    EXPECT_EQ(f["プロフィットファクター"][2], "0.00");
    EXPECT_EQ(f["ペイオフレシオ"][2], "－");
    EXPECT_EQ(f["最大ドローダウン率"][2], "-20.00 %");
    EXPECT_EQ(f["ドローダウン開始日"][2], barDate(1));
    EXPECT_EQ(f["ドローダウン回復日"][2], "未回復");
    EXPECT_EQ(f["エクスポージャー"][1], "0.00 %");
    EXPECT_EQ(f["エクスポージャー"][2], "20.00 %");
}

TEST(EquityStatistics, ARecoveredDrawdownNamesTheDayOfRecovery)
{
    // Long: bought at 1000 on day 2, falls to 900 on day 3, back at 1000 on day 4.
    const std::vector<Bar> bars{
        kFlat, {"1000", "1100"}, {"1000", "1000"}, {"950", "900", "950", "900"}, {"1000", "1000"}, kFlat};
    const auto run = simulateBars(bars, rules("0"));
    ASSERT_TRUE(run.status);
    auto f = figures(computeStatistics(buildEquitySeries(run.stock, barDate(0), 1)));
    EXPECT_EQ(f["最大ドローダウン率"][0], "-10.00 %");
    EXPECT_EQ(f["ドローダウン底値日"][0], barDate(3));
    EXPECT_EQ(f["ドローダウン回復日"][0], barDate(4));
    EXPECT_EQ(f["最長ドローダウン期間"][0], "1 日");
}

TEST(EquityStatistics, OneDayOnlyHasNoRateOfReturnOrVolatility)
{
    const auto run = simulateBars({kFlat}, rules("2"));
    ASSERT_TRUE(run.status);
    const EquitySeries s = buildEquitySeries(run.stock, barDate(0), 1);
    ASSERT_EQ(s.days.size(), 1u);
    auto f = figures(computeStatistics(s));
    for (const char* caption :
         {"年率リターン(CAGR)", "年率ボラティリティ", "シャープレシオ", "ソルティノレシオ", "カルマーレシオ",
          "プロフィットファクター", "平均保有日数"})
        EXPECT_EQ(f[caption][0], "－") << caption;
    EXPECT_EQ(f["純損益"][0], "0");
    EXPECT_EQ(f["バイ・アンド・ホールド騰落率"][0], "0.00 %");
}

TEST(EquityStatistics, NoSimulatedDayGivesAnEmptySeriesAndDashes)
{
    const auto run = simulateBars({kFlat, kFlat}, rules("2"));
    ASSERT_TRUE(run.status);
    const EquitySeries s = buildEquitySeries(run.stock, barDate(5), 1);
    EXPECT_TRUE(s.days.empty());
    auto f = figures(computeStatistics(s));
    EXPECT_EQ(f["純損益率"][0], "－");
    EXPECT_EQ(f["エクスポージャー"][0], "－");
}

// A real series, recomputed from what the exports hold: the statistics export's day-by-day
// account and the trade list export, read back as texts.
TEST(EquityStatistics, AgreeWithARecomputationFromTheExports)
{
    const auto rows =
        loadCsvNewestFirst(std::string(VORTEQ_DATA_DIR) + "/goog_2004-08-19_2008-10-14.csv", "GOOG");
    TJouken j = TJouken::defaults();
    j.set("UseBuyZenjitu", "1");
    j.set("AmtBuyZenjitu", "2");
    j.set("UseSellZenjitu", "1");
    j.set("AmtSellZenjitu", "-2");
    j.set("KbnTani", "3");
    j.set("KbnTrade", "2");
    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "1");
    j.set("AmtTesuryo", "0.1");
    TStkAnalisys a;
    installSimulation(a);
    ASSERT_TRUE(
        a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), j, "2007/01/04", "2008/10/14", true));
    TStkData stock;
    ASSERT_TRUE(a.GetStkData(0, stock));

    const EquitySeries series = buildEquitySeries(stock, "2007/01/04", 1);
    const EquityStatistics st = computeStatistics(series);
    const std::vector<std::string> statsLines = statisticsCsvLines(st, series);
    const std::vector<std::string> tradeLines = tradeListCsvLines(stock.UserResult);

    const auto cells = [](const std::string& line) {
        std::vector<std::string> out;
        std::stringstream in(line);
        for (std::string cell; std::getline(in, cell, ',');)
            out.push_back(cell);
        return out;
    };
    // The statistics part ends at the empty line; the account follows under its titles.
    std::map<std::string, std::string> all;
    std::size_t line = 1;
    for (; !statsLines[line].empty(); ++line)
        all[cells(statsLines[line])[0]] = cells(statsLines[line])[1];
    std::vector<double> value;
    for (line += 2; line < statsLines.size(); ++line)
        value.push_back(std::stod(cells(statsLines[line])[1]));
    ASSERT_GT(value.size(), 400u);
    EXPECT_NEAR(value.back(), static_cast<double>(stock.UserResult.FinalAmt), 1e-6);

    // Drawdown, longest time below a high, daily volatility and Sharpe from the account.
    double peak = value[0], deepest = 0;
    int under = 0, longest = 0;
    std::vector<double> r;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (i > 0)
            r.push_back(value[i] / value[i - 1] - 1);
        if (value[i] >= peak) {
            peak = value[i];
            under = 0;
            continue;
        }
        longest = std::max(longest, ++under);
        deepest = std::min(deepest, (value[i] / peak - 1) * 100);
    }
    double mean = 0, sq = 0;
    for (double x : r)
        mean += x / static_cast<double>(r.size());
    for (double x : r)
        sq += (x - mean) * (x - mean);
    const double sd = std::sqrt(sq / static_cast<double>(r.size() - 1));
    const auto number = [](const std::string& text) { return std::stod(text); };
    EXPECT_NEAR(number(all["最大ドローダウン率"]), deepest, 0.006);
    EXPECT_EQ(all["最長ドローダウン期間"], std::to_string(longest) + " 日");
    EXPECT_NEAR(number(all["年率ボラティリティ"]), sd * std::sqrt(245.0) * 100, 0.006);
    EXPECT_NEAR(number(all["シャープレシオ"]), mean / sd * std::sqrt(245.0), 0.006);

    // Round trips from the trade list (newest first): a closing row's new cash against the cash
    // before its opening row (the opening's rest plus its amount plus its fee).
    std::vector<double> profits;
    for (std::size_t k = tradeLines.size() - 1; k >= 2; --k) {
        const auto open = cells(tradeLines[k]);
        const auto close = cells(tradeLines[k - 1]);
        if (open[1] != "買い" && open[1] != "空売り")
            continue;
        if (close[1] == "買い" || close[1] == "空売り")
            continue;
        profits.push_back(number(close[8]) - (number(open[7]) + number(open[5]) + number(open[6])));
    }
    ASSERT_GT(profits.size(), 10u);
    double won = 0, lost = 0;
    for (double p : profits)
        (p > 0 ? won : lost) += p;
    EXPECT_EQ(all["取引回数"], std::to_string(profits.size()) + " 回");
    EXPECT_NEAR(number(all["プロフィットファクター"]), won / -lost, 0.006);
    EXPECT_NEAR(number(all["期待値(1取引)"]), (won + lost) / static_cast<double>(profits.size()), 0.51);
    const double net = value.back() - static_cast<double>(stock.UserResult.InitAmt);
    EXPECT_NEAR(number(all["純損益"]), net, 0.51);
}

TEST(ChartData, SeriesHoldTheDailyTablesDaysAndOneMarkerPerTrade)
{
    const auto run = simulateBars(kWinThenLoss, rules("2"), 1);
    ASSERT_TRUE(run.status);
    TJouken j = rules("2");
    j.set("UseSellIdo", "2");
    const ChartData chart = buildChartData(run.stock, barDate(1), j, "t");
    const GridRows daily = dailyRows(run.stock, barDate(1));
    ASSERT_EQ(chart.series.days.size(), daily.size());
    for (std::size_t k = 0; k < daily.size(); ++k) {
        const auto& row = daily[daily.size() - 1 - k]; // the table is newest first
        const EquityDay& d = chart.series.days[k];
        EXPECT_EQ(d.date, row[2]);
        EXPECT_EQ(formatNumber(d.open), row[3]);
        EXPECT_EQ(formatNumber(d.high), row[4]);
        EXPECT_EQ(formatNumber(d.low), row[5]);
        EXPECT_EQ(formatNumber(d.close), row[6]);
        EXPECT_EQ(formatNumber(d.volume), row[7]);
    }
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(chart.markers.size(), static_cast<std::size_t>(u.TradeCount));
    for (std::size_t t = 0; t < chart.markers.size(); ++t) {
        const ChartMarker& m = chart.markers[t];
        EXPECT_EQ(chart.series.days[static_cast<std::size_t>(m.day)].date, u.Trades[t].TradeDate.str());
        EXPECT_EQ(formatNumber(m.price), u.Trades[t].TradePrice.str());
        EXPECT_NE(m.tooltip.find("取引内容: " + u.Trades[t].TradeKind.str()), std::string::npos);
    }
    // Long, then short with the reversal, then a buy-back and a long: the kinds follow the position.
    EXPECT_EQ(chart.markers.front().kind, MarkerKind::Buy);
    // Only the moving average of a condition in use is drawn, one value a day.
    ASSERT_EQ(chart.overlays.size(), 1u);
    EXPECT_EQ(chart.overlays[0].name, "移動平均線A");
    EXPECT_EQ(chart.overlays[0].values.size(), daily.size());
}
