// Walk-forward windows, and that a window's choice never sees its out-of-sample prices.
#include "sweep/WalkForward.h"

#include "SweepTestSupport.h"
#include "common/DateText.h"
#include "common/NumberText.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;

TEST(WalkForwardWindows, ContiguousOutOfSampleWindowsAfterTheirInSample)
{
    for (const auto& [from, to, in, out] :
         std::vector<std::tuple<std::string, std::string, int, int>>{{"2005/01/31", "2008/10/14", 12, 3},
                                                                     {"2006/03/31", "2006/12/31", 2, 1},
                                                                     {"2004/02/29", "2008/02/28", 6, 7}}) {
        auto windows = walkForwardWindows(from, to, in, out);
        ASSERT_TRUE(windows) << windows.error().message;
        ASSERT_FALSE(windows->empty());
        EXPECT_EQ(windows->front().inStart, from);
        for (std::size_t k = 0; k < windows->size(); ++k) {
            const WalkWindow& w = (*windows)[k];
            const auto day = [](const std::string& d) { return toDayNumber(*parseDate(d)); };
            EXPECT_LE(day(w.inStart), day(w.inEnd));
            EXPECT_EQ(day(w.inEnd) + 1, day(w.outStart)) << "in-sample and out-of-sample touch";
            EXPECT_LE(day(w.outStart), day(w.outEnd));
            EXPECT_LE(day(w.outEnd), day(to));
            if (k + 1 < windows->size()) {
                EXPECT_EQ(day(w.outEnd) + 1, day((*windows)[k + 1].outStart))
                    << "no gap, no overlap at " << k;
            }
        }
        EXPECT_GT(toDayNumber(addMonths(*parseDate(windows->back().outStart), out)),
                  toDayNumber(*parseDate(to)))
            << "the last window reaches the end";
    }
    // Month ends clamp: one month after 01/31 is 02/28.
    auto clamped = walkForwardWindows("2006/01/31", "2006/06/30", 1, 1);
    ASSERT_TRUE(clamped);
    EXPECT_EQ((*clamped)[0].outStart, "2006/02/28");
    EXPECT_EQ((*clamped)[0].inEnd, "2006/02/27");
}

TEST(WalkForwardWindows, RefusesPeriodsThatLeaveNoOutOfSampleDay)
{
    EXPECT_FALSE(walkForwardWindows("2008/01/01", "2008/06/30", 12, 3));
    EXPECT_FALSE(walkForwardWindows("2008/01/01", "2009/06/30", 0, 3));
    EXPECT_FALSE(walkForwardWindows("2008/01/01", "2009/06/30", 12, 241));
    EXPECT_FALSE(walkForwardWindows("2008/13/01", "2009/06/30", 12, 3));
    EXPECT_FALSE(walkForwardWindows("2008/01/01", "junk", 12, 3));
}

TEST(WalkForwardRun, ChoiceIgnoresEveryPriceAfterItsInSampleWindow)
{
    const SweepStock real = realStock();
    auto grid = makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI2=20:40:10"), axisOf("AmtBuyRSI1=7:11:2")});
    ASSERT_TRUE(grid);
    auto windows = walkForwardWindows("2006/01/01", "2008/10/14", 12, 6);
    ASSERT_TRUE(windows);
    ASSERT_GE(windows->size(), 3u);
    SweepRunOptions options;
    options.jobs = 2;
    auto base = runWalkForward(*grid, {real}, *windows, SweepMetric::NetReturn, options);
    ASSERT_TRUE(base) << base.error().message;

    // Prices after the first in-sample window turned upside down: that window's choice and
    // in-sample figures stay, its out-of-sample result changes.
    SweepStock changed = real;
    changed.table = makePtbl(real.table->columnCount(), real.rows + 1);
    const std::string cut = (*windows)[0].inEnd;
    for (int r = 1; r <= real.rows; ++r)
        for (int c = 1; c < real.table->columnCount(); ++c) {
            std::string text(real.table->text(c, r));
            const bool after = std::string(real.table->text(2, r)) > cut;
            if (after && c >= 3 && c <= 6)
                text = formatNumber(2000 - *parseNumber(text));
            changed.table->set(c, r, text);
        }
    std::vector<WalkWindow> first{(*windows)[0]};
    auto again = runWalkForward(*grid, {changed}, first, SweepMetric::NetReturn, options);
    ASSERT_TRUE(again);
    const WalkWindowResult& a = base->windows[0];
    const WalkWindowResult& b = again->windows[0];
    ASSERT_GE(a.bestCell, 0);
    EXPECT_EQ(a.bestCell, b.bestCell);
    EXPECT_EQ(a.inSample.netReturnPct, b.inSample.netReturnPct);
    EXPECT_EQ(a.inSample.trades, b.inSample.trades);
    EXPECT_NE(a.outOfSample.netReturnPct, b.outOfSample.netReturnPct);

    // The chained account covers the out-of-sample days in order, from the first window's start.
    ASSERT_FALSE(base->chained.days.empty());
    EXPECT_GE(base->chained.days.front().date, (*windows)[0].outStart);
    EXPECT_LE(base->chained.days.back().date, windows->back().outEnd);
    for (std::size_t i = 1; i < base->chained.days.size(); ++i)
        ASSERT_LT(base->chained.days[i - 1].date, base->chained.days[i].date);
    // Each window's out-of-sample figure is the single back-test of its chosen cell.
    for (std::size_t w = 0; w < base->windows.size(); ++w) {
        const WalkWindowResult& row = base->windows[w];
        if (row.bestCell < 0)
            continue;
        auto single = runSingle(grid->conditionsOf(row.bestCell), pricesUpTo(real, row.window.outEnd),
                                row.window.outStart, row.window.outEnd);
        ASSERT_TRUE(single);
        EXPECT_EQ(row.outOfSample.netReturnPct, figuresOf(computeStatistics(*single)).netReturnPct) << w;
    }
}

TEST(WalkForwardRun, PricesUpToKeepsTheLeadInAndDropsLaterDays)
{
    const SweepStock real = realStock();
    const SweepStock cut = pricesUpTo(real, "2005/12/31");
    ASSERT_GT(cut.rows, 250);
    for (int r = 1; r <= cut.rows; ++r)
        ASSERT_LE(std::string(cut.table->text(2, r)), "2005/12/31");
    EXPECT_EQ(cut.table->text(2, cut.rows), real.table->text(2, real.rows)) << "the oldest day stays";
}
