// A sweep cell must be exactly the back-test a user would run with the cell's values typed into
// the editor: the figures of each cell are compared with a full Analyze with the simulation on.
#include "SweepTestSupport.h"
#include "conditions/JoukenFields.h"
#include "conditions/JoukenValidation.h"
#include "simulation/TradeSimulation.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

// The figures of one ordinary back-test: Analyze with the simulation, then the statistics.
CellFigures singleBacktest(const TJouken& conditions, const SweepStock& stock, const std::string& start,
                           const std::string& end)
{
    TStkAnalisys a;
    installSimulation(a);
    const Status st = a.Analyze(stock.table, stock.rows, conditions, start, end, true);
    CellFigures f;
    if (!st) {
        f.error = st.error().message;
        return f;
    }
    TStkData s;
    EXPECT_TRUE(a.GetStkData(0, s));
    return figuresOf(
        computeStatistics(buildEquitySeries(s, start, std::stoi(conditions.value("UseTradePrice")))));
}

void expectSameFigures(const CellFigures& sweep, const CellFigures& single, const std::string& where)
{
    EXPECT_EQ(sweep.error, single.error) << where;
    EXPECT_EQ(sweep.netReturnPct, single.netReturnPct) << where;
    EXPECT_EQ(sweep.profitFactor, single.profitFactor) << where;
    EXPECT_EQ(sweep.maxDrawdownPct, single.maxDrawdownPct) << where;
    EXPECT_EQ(sweep.sharpe, single.sharpe) << where;
    EXPECT_EQ(sweep.trades, single.trades) << where;
}

} // namespace

TEST(SweepCells, EqualSingleBacktestsAcrossStocksPeriodsThresholdsAndMoney)
{
    const std::vector<SweepStock> stocks{realStock(), walkStock(1301, 400), walkStock(7203, 400)};
    struct Case {
        const char* first;
        const char* second;
        std::string start, end;
    };
    // A period with a threshold (a new analysis per period only), a threshold with a money setting,
    // and two periods (MACD short above long makes some cells fail, as they would in the client).
    const Case cases[] = {
        {"AmtBuyRSI1=5:13:4", "AmtBuyRSI2=20:40:10", "2008/01/04", "2008/10/14"},
        {"AmtSellRSI2=60:80:10", "AmtRikaku=2:8:3", "2008/01/04", "2008/10/14"},
        {"AmtBuyMACD1=10:25:5", "AmtBuyMACD2=20:30:10", "2008/04/01", "2008/10/14"},
    };
    for (const Case& c : cases) {
        TJouken base = rsiRules();
        if (std::string_view(c.first).starts_with("AmtBuyMACD")) {
            base.set("UseBuyMACD", "2");
            base.set("KbnBuyMACD", "0");
        }
        base.set("UseRikaku", "1");
        auto grid = makeSweepGrid(base, {axisOf(c.first), axisOf(c.second)});
        ASSERT_TRUE(grid) << grid.error().message;
        SweepRunOptions options;
        options.jobs = 2;
        // The random walks over their newest 250 days.
        for (std::size_t s = 0; s < stocks.size(); ++s) {
            const std::string start = s == 0 ? c.start : newestDays(stocks[s], 250).start;
            const std::string end = s == 0 ? c.end : newestDays(stocks[s], 250).end;
            auto swept = runSweep(*grid, {stocks[s]}, start, end, options);
            ASSERT_TRUE(swept);
            int traded = 0;
            for (int cell = 0; cell < grid->cellCount(); ++cell) {
                const CellFigures& got = (*swept)[0][static_cast<std::size_t>(cell)];
                traded += got.trades > 0 ? 1 : 0;
                // A cell the editor would refuse is not run, and says why.
                if (const auto refused = validateJouken(grid->conditionsOf(cell))) {
                    EXPECT_EQ(got.error, refused->message);
                    continue;
                }
                EXPECT_EQ(got.error, "") << "stock " << stocks[s].code << " cell " << cell;
                expectSameFigures(got, singleBacktest(grid->conditionsOf(cell), stocks[s], start, end),
                                  std::string(c.first) + " " + c.second + " cell " + std::to_string(cell) +
                                      " stock " + stocks[s].code);
            }
            EXPECT_GT(traded, 0) << c.first << " " << stocks[s].code
                                 << ": no cell traded, the comparison proves little";
        }
    }
}

TEST(SweepCells, SameResultWithAnyNumberOfWorkers)
{
    std::vector<SweepStock> stocks;
    for (int code = 1000; code < 1005; ++code)
        stocks.push_back(walkStock(code, 300));
    auto grid = makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI1=7:11:2"), axisOf("AmtSellRSI2=60:80:5")});
    ASSERT_TRUE(grid);
    std::vector<std::vector<std::vector<CellFigures>>> runs;
    for (const int jobs : {1, 2, 3, 8}) {
        SweepRunOptions options;
        options.jobs = jobs;
        long long last = 0;
        options.progress = [&](long long done, long long total) {
            EXPECT_GT(done, last);
            EXPECT_EQ(total, 5 * 15);
            last = done;
        };
        const Period period = newestDays(stocks[0], 150);
        auto swept = runSweep(*grid, stocks, period.start, period.end, options);
        ASSERT_TRUE(swept);
        EXPECT_EQ(last, 5 * 15);
        runs.push_back(*swept);
    }
    int trades = 0;
    for (const auto& stock : runs[0])
        for (const CellFigures& f : stock) {
            EXPECT_EQ(f.error, "");
            trades += f.trades;
        }
    EXPECT_GT(trades, 0);
    for (std::size_t r = 1; r < runs.size(); ++r)
        for (std::size_t s = 0; s < stocks.size(); ++s)
            for (int c = 0; c < grid->cellCount(); ++c)
                expectSameFigures(runs[r][s][static_cast<std::size_t>(c)],
                                  runs[0][s][static_cast<std::size_t>(c)], "run " + std::to_string(r));
}

TEST(SweepCells, CancelStopsTheRunAndSaysSo)
{
    auto grid = makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI2=1:100:1")});
    ASSERT_TRUE(grid);
    std::atomic<bool> cancel{false};
    SweepRunOptions options;
    options.jobs = 2;
    options.cancel = &cancel;
    options.progress = [&](long long, long long) { cancel = true; };
    const Period period = newestDays(walkStock(1, 300), 150);
    auto swept = runSweep(*grid, {walkStock(1, 300), walkStock(2, 300), walkStock(3, 300)}, period.start,
                          period.end, options);
    ASSERT_FALSE(swept);
    EXPECT_EQ(swept.error().message, "中止しました。");
}

TEST(SweepCells, AStockWithoutDataFailsItsCellsOnly)
{
    auto grid = makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI2=20:30:10")});
    ASSERT_TRUE(grid);
    const SweepStock empty{"9999", makePtbl(8, 1), 0};
    const Period period = newestDays(walkStock(5, 300), 150);
    auto swept = runSweep(*grid, {empty, walkStock(5, 300)}, period.start, period.end, {});
    ASSERT_TRUE(swept);
    // A shard may hold no stock at all.
    auto none = runSweep(*grid, {}, period.start, period.end, {});
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->empty());
    for (int c = 0; c < 2; ++c) {
        EXPECT_FALSE((*swept)[0][static_cast<std::size_t>(c)].error.empty());
        EXPECT_TRUE((*swept)[1][static_cast<std::size_t>(c)].error.empty());
    }
}

TEST(SweepGridTest, ValuesFromStartToEndWithoutDrift)
{
    auto grid = makeSweepGrid(rsiRules(), {axisOf("AmtRikaku=0.1:1.3:0.1")});
    ASSERT_TRUE(grid) << grid.error().message;
    ASSERT_EQ(grid->cellCount(), 13);
    EXPECT_EQ(grid->values(0)[2], "0.3");
    EXPECT_EQ(grid->values(0)[12], "1.3");
    auto two = makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI2=10:40:10"), axisOf("AmtSellRSI2=60:70")});
    ASSERT_TRUE(two);
    ASSERT_EQ(two->cellCount(), 4 * 11);
    EXPECT_EQ(two->cellValues(12), (std::vector<std::string>{"20", "61"}));
    EXPECT_EQ(two->conditionsOf(12).value("AmtBuyRSI2"), "20");
    EXPECT_EQ(two->conditionsOf(12).value("AmtSellRSI2"), "61");
    // Only indicator parameters split the analyses.
    EXPECT_EQ(two->analysisGroupOf(0), two->analysisGroupOf(43));
    auto periods = makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI2=10:40:10"), axisOf("AmtBuyRSI1=5:9:2")});
    ASSERT_TRUE(periods);
    EXPECT_EQ(periods->analysisGroupOf(0), periods->analysisGroupOf(3));
    EXPECT_NE(periods->analysisGroupOf(0), periods->analysisGroupOf(1));
}

TEST(SweepGridTest, RefusesWhatCannotBeSweptWithAMessage)
{
    const TJouken base = rsiRules();
    const auto refused = [&](std::vector<const char*> texts) -> std::string {
        std::vector<SweepAxis> axes;
        for (const char* t : texts) {
            auto a = parseSweepAxis(t);
            if (!a)
                return a.error().message;
            axes.push_back(*a);
        }
        auto g = makeSweepGrid(base, axes);
        return g ? std::string() : g.error().message;
    };
    EXPECT_NE(refused({"AmtTousi=100000:200000:100000"}).find("掃引できません"), std::string::npos);
    EXPECT_NE(refused({"KbnBuyRSI=0:1"}).find("掃引できません"), std::string::npos);
    EXPECT_NE(refused({"NoSuchKey=1:2"}).find("ありません"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=10"}).find("開始:終了"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=a:b"}).find("数値ではありません"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=10:20:0"}).find("刻み"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=10:20:-1"}).find("刻み"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=30:20:1"}).find("開始は終了以下"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=0:100000:1"}).find("1000個まで"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=0:999:1", "AmtSellRSI2=0:999:1"}).find("10000個まで"), std::string::npos);
    EXPECT_NE(refused({"AmtBuyRSI2=1:2", "AmtBuyRSI2=3:4"}).find("同じ項目"), std::string::npos);
    // A period the editor refuses names the key and the value.
    const std::string period = refused({"AmtBuyRSI1=0:5"});
    EXPECT_NE(period.find("AmtBuyRSI1 = 0"), std::string::npos) << period;
}

TEST(SweepRanking, BestCellAndItsNeighbours)
{
    auto grid = makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI2=10:30:10"), axisOf("AmtSellRSI2=60:80:10")});
    ASSERT_TRUE(grid);
    // Row-major 3 x 3, the best in the middle of the top row; one neighbour has no value.
    std::vector<std::optional<long double>> v{1, 9, 2, std::nullopt, 3, 4, 0, 0, 0};
    EXPECT_EQ(bestCell(v), 1);
    // Neighbours of (0, 1): (0,0)=1, (0,2)=2, (1,0)=none, (1,1)=3, (1,2)=4 -> 10 / 4.
    EXPECT_EQ(neighbourMean(*grid, v, 1), 2.5L);
    // The corner (2, 2): (1,1)=3, (1,2)=4, (2,1)=0 -> 7 / 3.
    EXPECT_EQ(neighbourMean(*grid, v, 8), 7.0L / 3);
    EXPECT_EQ(bestCell({std::nullopt, std::nullopt}), -1);
    // Equal values: the first in cell order.
    EXPECT_EQ(bestCell({std::nullopt, 5, 5}), 1);
    // Drawdowns are negative: closer to 0 ranks higher.
    EXPECT_TRUE(betterFigure(-3.0L, -10.0L));
    EXPECT_TRUE(betterFigure(-10.0L, std::nullopt));
}
