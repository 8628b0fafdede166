// The day walk: unit sizing, commission, long and short trades, reversals, profit-taking and
// loss-cutting, the valuation at the period end and the statistics. Every series is made up so
// that the signals fall on chosen days (a buy when a day closes 5 % or more above its open, a sell
// when 5 % or more below); the expected trades are worked out by hand in the comments.
#include "SimulationTestSupport.h"

#include <gtest/gtest.h>

namespace vorteq {
void PrintTo(const TTradeRecord& t, std::ostream* os)
{
    *os << "{" << t.TradeDate << ", " << t.TradeKind << ", " << t.TradeRtn << ", " << t.TradePrice << ", "
        << t.TradeVlm << ", " << t.TradeAmt << ", " << t.TradeFee << ", " << t.RestAmt << ", " << t.TotalAmt
        << "}";
}
} // namespace vorteq

using namespace vorteq;
using namespace vorteq::testing;

namespace {

const Bar kFlat1000{"1000", "1000"};
const Bar kBuy1000{"1000", "1100"}; // +10 % on the day: buy signal
const Bar kSell1000{"1000", "900"}; // -10 % on the day: sell signal

std::string action(const SimulationRun& run, int k)
{
    return run.stock.Days[static_cast<std::size_t>(dayOf(k, run.stock.DayCount))].text(DayField::TradeAction);
}

std::string signal(const SimulationRun& run, int k)
{
    return run.stock.Days[static_cast<std::size_t>(dayOf(k, run.stock.DayCount))].text(DayField::Signal);
}

} // namespace

TEST(UnitSizing, WholeUnitsOfAThousandSharesAt333Yen)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0"); // 1000 shares
    // Buy signal on bar 1, bought at bar 2's open of 333: 3 units (3000 shares, 999,000 yen),
    // a fourth would need 1,332,000; 1,000 yen stay in cash.
    const auto run = simulateBars({{"333", "333"}, {"300", "330"}, {"333", "458"}}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 1);
    EXPECT_EQ(u.Trades[0],
              (TTradeRecord{barDate(2), "買い", "－", "333", "3000", "999000", "0", "1000", "1000000"}));
    EXPECT_EQ(signal(run, 1), "1");
    EXPECT_EQ(action(run, 1), "買い"); // the signal day names the trade executed the day after
    EXPECT_EQ(action(run, 2), "");
    EXPECT_EQ(u.Position, "1");
    EXPECT_EQ(u.Cash, 1000);
    // Still open at the end: valued at the newest close, 3000 x 458 + 1000 = 1,375,000 (+37.5 %),
    // and not counted as a trade.
    EXPECT_EQ(u.FinalAmt, 1375000);
    EXPECT_EQ(u.TotalNum, 0);
    EXPECT_EQ(u.BuyNum, 0);
    EXPECT_EQ(u.TotalRtn, 37.5L);
    EXPECT_EQ(u.TotalPer, 100);
    EXPECT_EQ(u.TotalWin, 0);
}

TEST(UnitSizing, PercentCommissionLeavesNineUnitsOfAHundred)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "1"); // 100 shares
    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "1");
    j.set("AmtTesuryo", "1");
    // 9 units: 900,000 + 9,000 commission fit 1,000,000; 10 would need 1,010,000.
    const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    ASSERT_EQ(run.stock.UserResult.TradeCount, 1);
    EXPECT_EQ(run.stock.UserResult.Trades[0],
              (TTradeRecord{barDate(2), "買い", "－", "1000", "900", "900000", "9000", "91000", "991000"}));

    // With exactly 1,010,000 the tenth unit fits to the yen.
    j.set("AmtTousi", "1010000");
    const auto exact = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_TRUE(exact.status);
    EXPECT_EQ(exact.stock.UserResult.Trades.at(0).TradeVlm, "1000");
    EXPECT_EQ(exact.stock.UserResult.Trades.at(0).RestAmt, "0");
}

TEST(UnitSizing, YenCommissionAboveTheCashBuysNothing)
{
    TJouken j = openToCloseRules();
    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "0");
    j.set("AmtTesuryo", "2000000");
    const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_TRUE(run.status);
    const TUserResult& u = run.stock.UserResult;
    EXPECT_EQ(u.TradeCount, 0);
    EXPECT_EQ(u.Position, "0");
    EXPECT_EQ(u.FinalAmt, 1000000);
    EXPECT_EQ(action(run, 1), "");
    EXPECT_EQ(signal(run, 1), "1"); // the signal stands even though nothing could be bought
}

TEST(UnitSizing, AtMostNinetyNineThousandNineHundredNinetyNineUnits)
{
    TJouken j = openToCloseRules();
    j.set("AmtTousi", "1000000000");
    // A billion yen buys a billion 1-yen shares, but the count stops at 99,999 units.
    const auto run = simulateBars({{"1", "1"}, {"1", "2"}, {"1", "1"}}, j);
    ASSERT_TRUE(run.status);
    ASSERT_EQ(run.stock.UserResult.TradeCount, 1);
    EXPECT_EQ(run.stock.UserResult.Trades[0].TradeVlm, "99999");
    EXPECT_EQ(run.stock.UserResult.Trades[0].RestAmt, "999900001");
}

TEST(UnitSizing, TradePriceChoiceOfTheNextDay)
{
    TJouken j = openToCloseRules();
    j.set("UseTradePrice", "4"); // the low
    const auto run = simulateBars({kFlat1000, kBuy1000, {"1000", "1000", "1010", "800"}}, j);
    ASSERT_TRUE(run.status);
    // 1,000,000 / 800 = 1250 shares.
    EXPECT_EQ(run.stock.UserResult.Trades.at(0).TradePrice, "800");
    EXPECT_EQ(run.stock.UserResult.Trades.at(0).TradeVlm, "1250");
}

TEST(ShortSelling, BuyingBackTenPercentLowerReturnsTen)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    j.set("KbnTrade", "1"); // short only
    // Sell signal on bar 1: short 1000 shares at bar 2's open of 1000, all the cash. Buy signal
    // on bar 2: bought back at bar 3's open of 900. Proceeds 2 x 1,000,000 - 900,000 = 1,100,000,
    // return (1,100,000 - 1,000,000) / 1,000,000 = 10 %.
    const auto run = simulateBars({kFlat1000, kSell1000, kBuy1000, {"900", "900"}}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 2);
    EXPECT_EQ(u.Trades[0],
              (TTradeRecord{barDate(2), "空売り", "－", "1000", "1000", "1000000", "0", "0", "1000000"}));
    EXPECT_EQ(u.Trades[1],
              (TTradeRecord{barDate(3), "買戻し", "10", "900", "1000", "1100000", "0", "0", "1100000"}));
    EXPECT_EQ(action(run, 1), "空売り");
    EXPECT_EQ(action(run, 2), "買戻し");
    EXPECT_EQ(u.Position, "0");
    EXPECT_EQ(u.FinalAmt, 1100000);
    EXPECT_EQ(u.TotalRtn, 10);
    EXPECT_EQ(u.SellNum, 1);
    EXPECT_EQ(u.SellWinNum, 1);
    EXPECT_EQ(u.SellWin, 100);
    EXPECT_EQ(u.SellAve, 10);
    EXPECT_EQ(u.SellPer, 110);
    EXPECT_EQ(u.TotalPer, 110);
    EXPECT_EQ(u.BuyNum, 0);
    EXPECT_EQ(u.BuyPer, 100);
    EXPECT_EQ(u.SellEntryAmt, 1000000);
    EXPECT_EQ(u.SellExitAmt, 1100000);
}

TEST(Reversal, SellingALongOpensAShortWithTheCashOfTheSale)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    // Long 1000 shares at 1000 (all the cash) from bar 1's buy signal; bar 2's sell signal sells at
    // bar 3's open of 1200 (+20 %) and opens a short with the 1,200,000 the sale brought: one unit.
    const auto run = simulateBars({kFlat1000, kBuy1000, kSell1000, {"1200", "1200"}}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 3);
    EXPECT_EQ(u.Trades[1],
              (TTradeRecord{barDate(3), "売り", "20", "1200", "1000", "1200000", "0", "0", "1200000"}));
    EXPECT_EQ(u.Trades[2],
              (TTradeRecord{barDate(3), "空売り", "－", "1200", "1000", "1200000", "0", "0", "1200000"}));
    EXPECT_EQ(action(run, 2), "売り・空売り");
    // The short is still open: 0 + 2 x 1,200,000 - 1000 x 1200.
    EXPECT_EQ(u.Position, "2");
    EXPECT_EQ(u.FinalAmt, 1200000);
    EXPECT_EQ(u.TotalNum, 1);
    EXPECT_EQ(u.BuyNum, 1);
    EXPECT_EQ(u.SellNum, 0);
    EXPECT_EQ(u.TotalWinNum, 1);
    EXPECT_EQ(u.TotalWin, 100);
    EXPECT_EQ(u.TotalAve, 20);
    EXPECT_EQ(u.TotalPer, 120);
    EXPECT_EQ(u.TotalRtn, 20);
}

TEST(Reversal, LongOnlySellsAndStaysFlat)
{
    TJouken j = openToCloseRules();
    j.set("KbnTrade", "0");
    // A sell signal while flat (bar 1) does nothing; the long from bar 2 is sold after bar 3.
    const auto run = simulateBars({kFlat1000, kSell1000, kBuy1000, kSell1000, {"1100", "1100"}}, j);
    ASSERT_TRUE(run.status);
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 2);
    EXPECT_EQ(u.Trades[0].TradeKind, "買い");
    EXPECT_EQ(u.Trades[1].TradeKind, "売り");
    EXPECT_EQ(u.Trades[1].TradeRtn, "10");
    EXPECT_EQ(action(run, 1), "");
    EXPECT_EQ(action(run, 3), "売り");
    EXPECT_EQ(u.Position, "0");
}

TEST(Reversal, ShortOnlyIgnoresBuySignalsWhileFlat)
{
    TJouken j = openToCloseRules();
    j.set("KbnTrade", "1");
    const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_TRUE(run.status);
    EXPECT_EQ(run.stock.UserResult.TradeCount, 0);
}

TEST(ProfitTaking, ExitsAtTheNextDaysPriceAndReversesWhenAskedTo)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    j.set("UseRikaku", "1");
    j.set("AmtRikaku", "10");
    j.set("KbnRikaku", "0"); // reverse at once
    // Long 1000 at 1000 on bar 2; its close of 1150 makes the position worth 1,150,000, at least
    // 10 % more: the exit happens at bar 3's open of 1050, a return of 5 %, and a short follows.
    const std::vector<Bar> bars = {kFlat1000, kBuy1000, {"1000", "1150"}, {"1050", "1050"}};
    const auto run = simulateBars(bars, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 3);
    EXPECT_EQ(u.Trades[1],
              (TTradeRecord{barDate(3), "利確", "5", "1050", "1000", "1050000", "0", "0", "1050000"}));
    EXPECT_EQ(u.Trades[2].TradeKind, "空売り");
    EXPECT_EQ(action(run, 2), "利確・空売り");
    EXPECT_EQ(signal(run, 2), "1"); // the day keeps the rules' buy signal

    j.set("KbnRikaku", "1"); // wait for the next signal
    const auto wait = simulateBars(bars, j);
    ASSERT_TRUE(wait.status);
    ASSERT_EQ(wait.stock.UserResult.TradeCount, 2);
    EXPECT_EQ(wait.stock.UserResult.Trades[1].TradeKind, "利確");
    EXPECT_EQ(action(wait, 2), "利確");
    EXPECT_EQ(wait.stock.UserResult.Position, "0");
    EXPECT_EQ(wait.stock.UserResult.FinalAmt, 1050000);
}

TEST(ProfitTaking, ThresholdReachedExactlyOnTheClose)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    j.set("KbnTrade", "0");
    j.set("UseRikaku", "1");
    j.set("AmtRikaku", "50");
    // Cost 1,000,000: a close of 1500 values the position at exactly 1.5 times; 1499 falls short.
    const auto reached =
        simulateBars({kFlat1000, kBuy1000, {"1000", "1000"}, {"1500", "1500"}, {"1600", "1600"}}, j);
    ASSERT_TRUE(reached.status);
    ASSERT_EQ(reached.stock.UserResult.TradeCount, 2);
    EXPECT_EQ(reached.stock.UserResult.Trades[1].TradeKind, "利確");
    EXPECT_EQ(reached.stock.UserResult.Trades[1].TradeRtn, "60");

    const auto missed =
        simulateBars({kFlat1000, kBuy1000, {"1000", "1000"}, {"1499", "1499"}, {"1600", "1600"}}, j);
    ASSERT_TRUE(missed.status);
    EXPECT_EQ(missed.stock.UserResult.TradeCount, 1);
}

TEST(LossCutting, ExitsAtTheNextDaysPriceWithoutASignal)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    j.set("KbnTrade", "0");
    j.set("UseSongiri", "1");
    j.set("AmtSongiri", "10");
    // Long at 1000; bar 3 opens and closes at 800 (no signal): worth 800,000, at most 90 % of the
    // cost. Sold at bar 4's open of 750: -25 %.
    const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000, {"800", "800"}, {"750", "750"}}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 2);
    EXPECT_EQ(u.Trades[1],
              (TTradeRecord{barDate(4), "損切", "-25", "750", "1000", "750000", "0", "0", "750000"}));
    EXPECT_EQ(signal(run, 3), "0");
    EXPECT_EQ(action(run, 3), "損切");
    EXPECT_EQ(u.BuyWinNum, 0);
    EXPECT_EQ(u.BuyAve, -25);
    EXPECT_EQ(u.BuyPer, 75);
    EXPECT_EQ(u.TotalRtn, -25);
}

TEST(LossCutting, ProfitTakingIsTestedFirst)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    j.set("KbnTrade", "0");
    // Both thresholds at -10 %: a 20 % gain passes both tests, and the first one names the exit.
    j.set("UseRikaku", "1");
    j.set("AmtRikaku", "-10");
    j.set("UseSongiri", "1");
    j.set("AmtSongiri", "-10");
    const auto run =
        simulateBars({kFlat1000, kBuy1000, {"1000", "1000"}, {"1200", "1200"}, {"1200", "1200"}}, j);
    ASSERT_TRUE(run.status);
    EXPECT_EQ(run.stock.UserResult.Trades.at(1).TradeKind, "利確");
}

TEST(Statistics, ReturnOfExactlyZeroIsNotAWin)
{
    TJouken j = openToCloseRules();
    j.set("KbnTrade", "0");
    const auto run = simulateBars({kFlat1000, kBuy1000, kSell1000, kFlat1000}, j);
    ASSERT_TRUE(run.status);
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 2);
    EXPECT_EQ(u.Trades[1].TradeRtn, "0");
    EXPECT_EQ(u.TotalNum, 1);
    EXPECT_EQ(u.TotalWinNum, 0);
    EXPECT_EQ(u.TotalWin, 0);
    EXPECT_EQ(u.TotalAve, 0);
    EXPECT_EQ(u.TotalPer, 100);
}

TEST(Statistics, AveragesAndCompoundedPerformanceOverTwoTrades)
{
    TJouken j = openToCloseRules();
    j.set("KbnTrade", "0");
    // +20 % (1000 -> 1200), then -10 % (1200 -> 1080). Average 5 %; index 100 x 1.2 x 0.9 = 108;
    // one win in two: 50 %. Cash 1,000,000 -> 1,200,000 -> 1,080,000: 8 %.
    const auto run = simulateBars(
        {kFlat1000, kBuy1000, kSell1000, {"1200", "1320"}, {"1200", "1080"}, {"1080", "1080"}}, j);
    ASSERT_TRUE(run.status);
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 4);
    EXPECT_EQ(u.Trades[1].TradeRtn, "20");
    EXPECT_EQ(u.Trades[3].TradeRtn, "-10");
    EXPECT_EQ(u.TotalNum, 2);
    EXPECT_EQ(u.TotalWinNum, 1);
    EXPECT_EQ(u.TotalWin, 50);
    EXPECT_EQ(u.TotalAve, 5);
    EXPECT_EQ(u.BuyAve, 5);
    EXPECT_EQ(u.TotalPer, 108);
    EXPECT_EQ(u.FinalAmt, 1080000);
    EXPECT_EQ(u.TotalRtn, 8);
    EXPECT_EQ(u.TotalEntryAmt, 2200000);
    EXPECT_EQ(u.TotalExitAmt, 2280000);
}

TEST(Statistics, TwoDecimalsAreTruncatedTowardZero)
{
    TJouken j = openToCloseRules();
    j.set("KbnTrade", "0");
    // 1000 shares bought at 1000 and sold at 999.99: -0.001 % truncates to 0, not -0.01.
    // 10-share units bought at 3 and sold at 4 (333,330 shares): +33.333... % gives 33.33.
    const auto small = simulateBars({kFlat1000, kBuy1000, kSell1000, {"999.99", "999.99"}}, j);
    ASSERT_TRUE(small.status);
    EXPECT_EQ(small.stock.UserResult.Trades.at(1).TradeRtn, "0");
    EXPECT_EQ(small.stock.UserResult.TotalRtn, 0);

    j.set("KbnTani", "2");
    const auto third = simulateBars({{"3", "3"}, {"3", "4"}, {"3", "2"}, {"4", "4"}}, j);
    ASSERT_TRUE(third.status);
    EXPECT_EQ(third.stock.UserResult.Trades.at(1).TradeRtn, "33.33");
    // Cash: 1,000,000 - 999,990 + 1,333,320 = 1,333,330: +33.333 % truncates to 33.33.
    EXPECT_EQ(third.stock.UserResult.TotalRtn, 33.33L);
}

TEST(Statistics, NoSignalNoTrade)
{
    const auto run = simulateBars({kFlat1000, kBuy1000, kSell1000, kFlat1000}, TJouken::defaults());
    ASSERT_TRUE(run.status);
    const TUserResult& u = run.stock.UserResult;
    EXPECT_EQ(u.TradeCount, 0);
    EXPECT_EQ(u.Position, "0");
    EXPECT_EQ(u.TotalPer, 100);
    EXPECT_EQ(u.TotalWin, 0);
    EXPECT_EQ(u.FinalAmt, 1000000);
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(signal(run, k), "0");
}

TEST(PeriodRange, LeadInDaysAreNeitherTradedNorCounted)
{
    TJouken j = openToCloseRules();
    // Bar 0 lies before the period: its buy signal, its high of 5000 and its low of 1 count for
    // nothing. The high of 1300 comes first on bar 2 (the tie on bar 3 keeps it), the low of 800
    // on bar 3 after it (the tie on bar 4 keeps it): a fall of (800 - 1300) / 1300 = -38.46 %.
    const std::vector<Bar> bars = {{"1000", "1100", "5000", "1"},
                                   {"1000", "1000", "1100", "900"},
                                   {"1000", "1000", "1300", "950"},
                                   {"1000", "1000", "1300", "800"},
                                   {"1000", "1050", "1200", "800"}};
    const auto run = simulateBars(bars, j, 1);
    ASSERT_TRUE(run.status) << run.status.error().message;
    const TUserResult& u = run.stock.UserResult;
    EXPECT_EQ(u.TradeCount, 0);
    EXPECT_EQ(signal(run, 0), "");
    EXPECT_EQ(u.TermSDate, barDate(1));
    EXPECT_EQ(u.TermSPrice, "1000");
    EXPECT_EQ(u.TermEDate, barDate(4));
    EXPECT_EQ(u.TermEPrice, "1050");
    EXPECT_EQ(u.TermSERtn, "5");
    EXPECT_EQ(u.TermHPrice, "1300");
    EXPECT_EQ(u.TermHDate, barDate(2));
    EXPECT_EQ(u.TermLPrice, "800");
    EXPECT_EQ(u.TermLDate, barDate(3));
    EXPECT_EQ(u.TermHLRtn, "-38.46");
}

TEST(PeriodRange, RiseFromAnEarlierLow)
{
    // Low 900 on bar 0, high 1170 on bar 2: (1170 - 900) / 900 = +30 %.
    const auto run =
        simulateBars({{"1000", "1000", "1000", "900"}, {"1000", "1000"}, {"1000", "1100", "1170", "1000"}},
                     TJouken::defaults());
    ASSERT_TRUE(run.status);
    EXPECT_EQ(run.stock.UserResult.TermHLRtn, "30");
    EXPECT_EQ(run.stock.UserResult.TermSERtn, "10");
}

TEST(PeriodRange, NoDayInThePeriodLeavesTheResultEmpty)
{
    const auto rows = barRows({kFlat1000, kBuy1000});
    TStkAnalisys a;
    installSimulation(a);
    ASSERT_TRUE(a.Analyze(makePriceTable(rows), 2, openToCloseRules(), "2007/01/01", "2007/02/01", true));
    const TUserResult& u = a.StkList.at(0).UserResult;
    EXPECT_EQ(u.Position, "");
    EXPECT_EQ(u.TotalPer, 0);
    EXPECT_EQ(u.TermSDate, "");
}

TEST(MoneySettings, CommissionOffIgnoresWhatIsLeftInItsFields)
{
    TJouken j = openToCloseRules();
    j.set("UseTesuryo", "0");
    j.set("AmtTesuryo", "abc");
    j.set("KbnTesuryo", "7");
    const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    EXPECT_EQ(run.stock.UserResult.Trades.at(0).TradeFee, "0");

    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "0");
    const auto refused = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_FALSE(refused.status);
    EXPECT_NE(refused.status.error().message.find("AmtTesuryo = \"abc\""), std::string::npos)
        << refused.status.error().message;
    EXPECT_EQ(refused.stkCount, 0); // the object is left cleared
}

TEST(MoneySettings, EmptyCommissionWhileOnCostsNothing)
{
    TJouken j = openToCloseRules();
    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "0");
    j.set("AmtTesuryo", "");
    const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_TRUE(run.status);
    EXPECT_EQ(run.stock.UserResult.Trades.at(0).TradeFee, "0");
}

TEST(MoneySettings, YenCommissionOnBothTradesAndPercentOnTheProceeds)
{
    TJouken j = openToCloseRules();
    j.set("KbnTrade", "0");
    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "0");
    j.set("AmtTesuryo", "500");
    // 999 shares at 1000 fit 1,000,000 - 500; cash 1,000,000 - 999,000 - 500 = 500. Sold at 1100:
    // 1,098,900 less 500; the return leaves the commission out: +10 %.
    const auto run = simulateBars({kFlat1000, kBuy1000, kSell1000, {"1100", "1100"}}, j);
    ASSERT_TRUE(run.status);
    const TUserResult& u = run.stock.UserResult;
    ASSERT_EQ(u.TradeCount, 2);
    EXPECT_EQ(u.Trades[0],
              (TTradeRecord{barDate(2), "買い", "－", "1000", "999", "999000", "500", "500", "999500"}));
    EXPECT_EQ(u.Trades[1],
              (TTradeRecord{barDate(3), "売り", "10", "1100", "999", "1098900", "500", "500", "1098900"}));

    j.set("KbnTesuryo", "1");
    j.set("AmtTesuryo", "0.15");
    // Opening: 998 shares (998,000 + 1,497 fits; 999,000 + 1,498.5 does not), fee 1,497.
    // Closing: 998 x 1100 = 1,097,800, fee 1,646.7 truncated to 1,646.
    const auto pct = simulateBars({kFlat1000, kBuy1000, kSell1000, {"1100", "1100"}}, j);
    ASSERT_TRUE(pct.status);
    EXPECT_EQ(pct.stock.UserResult.Trades.at(0).TradeFee, "1497");
    EXPECT_EQ(pct.stock.UserResult.Trades.at(0).RestAmt, "503");
    EXPECT_EQ(pct.stock.UserResult.Trades.at(1).TradeFee, "1646");
    EXPECT_EQ(pct.stock.UserResult.Trades.at(1).TotalAmt, "1096657");
}

TEST(MoneySettings, ZeroCapitalGivesAReturnOfZero)
{
    TJouken j = openToCloseRules();
    j.set("AmtTousi", "0");
    const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    EXPECT_EQ(run.stock.UserResult.TradeCount, 0);
    EXPECT_EQ(run.stock.UserResult.TotalRtn, 0);
    EXPECT_EQ(run.stock.UserResult.FinalAmt, 0);
}

TEST(MoneySettings, SettingsOutsideTheirListsAreRefusedByName)
{
    for (const auto& [key, value] :
         {std::pair{"KbnTani", "4"}, std::pair{"UseTradePrice", "5"}, std::pair{"AmtTousi", "1,000,000"}}) {
        TJouken j = openToCloseRules();
        j.set(key, value);
        const auto run = simulateBars({kFlat1000, kBuy1000, kFlat1000}, j);
        ASSERT_FALSE(run.status) << key;
        EXPECT_NE(run.status.error().message.find(std::string(key) + " = \"" + value + "\""),
                  std::string::npos)
            << run.status.error().message;
    }
}

TEST(MoneySettings, AZeroPriceOpensNothing)
{
    TJouken j = openToCloseRules();
    // The open of the execution day is 0: nothing can be sized at that price.
    const auto run = simulateBars({kFlat1000, kBuy1000, {"0", "1000", "1000", "990"}}, j);
    ASSERT_TRUE(run.status) << run.status.error().message;
    EXPECT_EQ(run.stock.UserResult.TradeCount, 0);
}

TEST(Walk, SimulatingTwiceGivesTheSameResult)
{
    TJouken j = openToCloseRules();
    const auto rows = barRows({kFlat1000, kBuy1000, kSell1000, {"1100", "1100"}});
    TStkAnalisys a;
    installSimulation(a);
    ASSERT_TRUE(a.Analyze(makePriceTable(rows), 4, j, barDate(0), barDate(3), true));
    const TStkData first = a.StkList.at(0);
    TradeSimulation again(a);
    again.LoadSignalRules();
    ASSERT_TRUE(again.Simulate());
    EXPECT_EQ(a.StkList[0].UserResult.Trades, first.UserResult.Trades);
    EXPECT_EQ(a.StkList[0].Days[1].text(DayField::TradeAction), "売り・空売り");
}

TEST(Walk, WithoutTheSimulationInstalledNothingIsSimulated)
{
    const auto rows = barRows({kFlat1000, kBuy1000, kFlat1000});
    TStkAnalisys a;
    ASSERT_TRUE(a.Analyze(makePriceTable(rows), 3, openToCloseRules(), barDate(0), barDate(2), true));
    EXPECT_EQ(a.StkList.at(0).UserResult.TradeCount, 0);
    EXPECT_EQ(a.StkList.at(0).Days[1].text(DayField::Signal), "");
    EXPECT_TRUE(a.BuyOrList.empty());
}
