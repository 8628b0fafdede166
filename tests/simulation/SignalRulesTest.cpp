// The signal rules: the level tests at their boundaries, the AND and OR groups, which side is asked
// first, and the conditions with tests of their own (consecutive days, Bollinger bands, stop and
// reverse, stochastics line choice). Day values come from small price series run through Analyze;
// the few values no short series can give exactly are written into the day afterwards.
#include "SimulationTestSupport.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

// Analyzes the rows without simulating, so the rules can be asked day by day.
struct Rules {
    TStkAnalisys analysis;
    SignalRules rules{analysis};

    Rules(const std::vector<PriceRow>& rows, const TJouken& j)
    {
        const Status s = analysis.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), j,
                                          "2006/01/01", "2006/12/31", false);
        EXPECT_TRUE(s) << s.error().message;
        rules.LoadSignalRules();
    }
    TStkDailyData& day(int d) { return analysis.StkList.at(0).Days.at(static_cast<std::size_t>(d)); }
    // One condition on day d as the conditions now stand.
    bool holds(std::string_view stem, Side side, int d)
    {
        const Result<bool> r = rules.Evaluate(*findCondition(stem), side, 0, d);
        EXPECT_TRUE(r) << r.error().message;
        return r && *r;
    }
    // The signal's stored digit for the position's stored digit.
    char judge(int d, char position)
    {
        const Result<Signal> r = rules.JudgeSignal(0, d, *positionOf(std::string_view(&position, 1)));
        EXPECT_TRUE(r) << r.error().message;
        return r ? codeOf(*r) : '?';
    }
};

} // namespace

TEST(SignedThreshold, PositiveAndZeroThresholds)
{
    // "以上" with t >= 0 is v >= t; "以下" is 0 <= v <= t.
    EXPECT_TRUE(signedThresholdHolds(0, 0, 0));
    EXPECT_TRUE(signedThresholdHolds(3, 0, 0));
    EXPECT_FALSE(signedThresholdHolds(-0.01L, 0, 0));
    EXPECT_TRUE(signedThresholdHolds(0, 0, 1));
    EXPECT_FALSE(signedThresholdHolds(0.01L, 0, 1));
    EXPECT_FALSE(signedThresholdHolds(-0.01L, 0, 1));
    EXPECT_TRUE(signedThresholdHolds(70, 70, 0));
    EXPECT_FALSE(signedThresholdHolds(69.99L, 70, 0));
    EXPECT_TRUE(signedThresholdHolds(30, 30, 1));
    EXPECT_FALSE(signedThresholdHolds(30.01L, 30, 1));
    EXPECT_FALSE(signedThresholdHolds(-1, 30, 1)); // below zero is not "30 or less"
}

TEST(SignedThreshold, NegativeThresholdMirrorsAroundZero)
{
    // "以上" with -5: -5 or lower; "以下" with -5: from -5 up to 0.
    EXPECT_TRUE(signedThresholdHolds(-7, -5, 0));
    EXPECT_TRUE(signedThresholdHolds(-5, -5, 0));
    EXPECT_FALSE(signedThresholdHolds(-2, -5, 0));
    EXPECT_FALSE(signedThresholdHolds(3, -5, 0));
    EXPECT_TRUE(signedThresholdHolds(-2, -5, 1));
    EXPECT_TRUE(signedThresholdHolds(0, -5, 1));
    EXPECT_TRUE(signedThresholdHolds(-5, -5, 1));
    EXPECT_FALSE(signedThresholdHolds(-7, -5, 1));
    EXPECT_FALSE(signedThresholdHolds(1, -5, 1));
}

TEST(SignedThreshold, ChoicesOutsideTheListNeverHold)
{
    EXPECT_FALSE(signedThresholdHolds(10, 5, 2));
    EXPECT_FALSE(signedThresholdHolds(10, 5, -1));
    EXPECT_FALSE(lineComparisonHolds(1, 1, 2));
    EXPECT_EQ(choiceIndex("1"), 1);
    EXPECT_EQ(choiceIndex("01"), -1);
    EXPECT_EQ(choiceIndex(" 1"), -1);
    EXPECT_EQ(choiceIndex(""), -1);
}

TEST(LineComparison, EqualLinesHoldBothWays)
{
    EXPECT_TRUE(lineComparisonHolds(5, 5, 0));
    EXPECT_TRUE(lineComparisonHolds(5, 5, 1));
    EXPECT_TRUE(lineComparisonHolds(6, 5, 0));
    EXPECT_FALSE(lineComparisonHolds(6, 5, 1));
}

TEST(SignedThreshold, OnTheDaysChangeFromTheSeries)
{
    // Closes 100, 98, 98, 91.14, 92.0514: day-over-day -2 %, 0 %, -7 %, +1 % (days 3, 2, 1, 0).
    TJouken j;
    j.set("UseBuyZenjitu", "1");
    j.set("KbnBuyZenjitu", "1");
    j.set("AmtBuyZenjitu", "-5");
    Rules r(closesNewestFirst({"100", "98", "98", "91.14", "92.0514"}), j);
    ASSERT_EQ(r.day(1).text(DayField::ZenjituRate), "-7");
    // "以下" -5: from -5 up to 0.
    EXPECT_TRUE(r.holds("Zenjitu", Side::Buy, 3));
    EXPECT_TRUE(r.holds("Zenjitu", Side::Buy, 2));
    EXPECT_FALSE(r.holds("Zenjitu", Side::Buy, 1));
    EXPECT_FALSE(r.holds("Zenjitu", Side::Buy, 0));
    // "以上" -5: -5 or lower.
    r.analysis.Jouken.set("KbnBuyZenjitu", "0");
    EXPECT_FALSE(r.holds("Zenjitu", Side::Buy, 3));
    EXPECT_TRUE(r.holds("Zenjitu", Side::Buy, 1));
    // The sell side reads its own keys.
    r.analysis.Jouken.set("KbnSellZenjitu", "0");
    r.analysis.Jouken.set("AmtSellZenjitu", "1");
    EXPECT_TRUE(r.holds("Zenjitu", Side::Sell, 0));
    EXPECT_FALSE(r.holds("Zenjitu", Side::Sell, 1));
}

TEST(SignalGroups, ListsFollowTheCatalogueOrderAndTheUseValue)
{
    TJouken j;
    j.set("UseBuyRSI", "2");
    j.set("UseBuyARatio", "1");
    j.set("UseBuyZenjitu", "2");
    j.set("UseBuyCCI", "3"); // not a group
    j.set("UseBuyDPO", "1 ");
    j.set("UseSellDMI", "1");
    j.set("UseSellMACD", "2");
    j.set("KbnBuyjouken", "1"); // no part in the rules
    Rules r(closesNewestFirst({"100", "101"}), j);
    using Names = std::vector<std::string>;
    EXPECT_EQ(r.analysis.BuyOrList, (Names{"UseBuyARatio"}));
    EXPECT_EQ(r.analysis.BuyAndList, (Names{"UseBuyRSI", "UseBuyZenjitu"}));
    EXPECT_EQ(r.analysis.SellOrList, (Names{"UseSellDMI"}));
    EXPECT_EQ(r.analysis.SellAndList, (Names{"UseSellMACD"}));
}

TEST(SignalGroups, FavouredSideDependsOnThePosition)
{
    // Buy: the day closes 5 % above its open; sell: 5 % above the previous close. Day 0 (open
    // 100, close 110 after 100) satisfies both.
    TJouken j;
    j.set("UseBuyToujitu", "1");
    j.set("KbnBuyToujitu", "0");
    j.set("AmtBuyToujitu", "5");
    j.set("UseSellZenjitu", "1");
    j.set("KbnSellZenjitu", "0");
    j.set("AmtSellZenjitu", "5");
    Rules r(barRows({{"100", "100"}, {"100", "110"}, {"120", "110"}}), j);
    EXPECT_EQ(r.judge(1, '0'), '1'); // flat: buy first
    EXPECT_EQ(r.judge(1, '2'), '1'); // short: buy first
    EXPECT_EQ(r.judge(1, '1'), '2'); // long: sell first
    // Day 0 falls on the day but not against the day before: neither side holds.
    EXPECT_EQ(r.judge(0, '0'), '0');
    EXPECT_EQ(r.judge(0, '1'), '0');
}

TEST(SignalGroups, EitherGroupMakesItsSideHold)
{
    // Day 1: +10 % on the day, +10 % against the day before.
    const auto rows = barRows({{"100", "100"}, {"100", "110"}});
    TJouken j;
    j.set("KbnBuyToujitu", "0");
    j.set("KbnBuyZenjitu", "0");
    j.set("AmtBuyZenjitu", "50"); // false on day 0
    // OR member true, AND member false: the side holds.
    j.set("UseBuyToujitu", "1");
    j.set("AmtBuyToujitu", "5");
    j.set("UseBuyZenjitu", "2");
    {
        Rules r(rows, j);
        EXPECT_TRUE(*r.rules.AnyHolds(Side::Buy, 0, 0));
        EXPECT_FALSE(*r.rules.AllHold(Side::Buy, 0, 0));
        EXPECT_EQ(r.judge(0, '0'), '1');
    }
    // AND group true, OR member false: the side holds.
    j.set("AmtBuyToujitu", "50");
    j.set("AmtBuyZenjitu", "5");
    j.set("UseBuyToujitu", "1");
    j.set("UseBuyZenjitu", "2");
    {
        Rules r(rows, j);
        EXPECT_FALSE(*r.rules.AnyHolds(Side::Buy, 0, 0));
        EXPECT_TRUE(*r.rules.AllHold(Side::Buy, 0, 0));
        EXPECT_EQ(r.judge(0, '0'), '1');
    }
    // Both groups empty on the sell side: neither holds.
    Rules r(rows, j);
    EXPECT_FALSE(*r.rules.AnyHolds(Side::Sell, 0, 0));
    EXPECT_FALSE(*r.rules.AllHold(Side::Sell, 0, 0));
}

TEST(SignalGroups, AndGroupOfOneActsLikeOrGroupOfOne)
{
    const auto rows = closesNewestFirst({"100", "104", "110", "100", "95", "101"});
    TJouken j;
    j.set("KbnBuyZenjitu", "0");
    j.set("AmtBuyZenjitu", "5");
    std::vector<char> asOr, asAnd;
    j.set("UseBuyZenjitu", "1");
    Rules o(rows, j);
    j.set("UseBuyZenjitu", "2");
    Rules a(rows, j);
    for (int d = 0; d < 5; ++d) {
        asOr.push_back(o.judge(d, '0'));
        asAnd.push_back(a.judge(d, '0'));
    }
    EXPECT_EQ(asOr, asAnd);
    EXPECT_EQ(asOr, (std::vector<char>{'1', '0', '0', '1', '0'}));
}

TEST(SignalGroups, EvaluationStopsAtTheFirstDecidingCondition)
{
    // RenzokuDays is empty on the two oldest days: evaluating it there is an error. ARatio comes
    // before Renzoku in list order; on this short series it reads 0.
    const auto rows = closesNewestFirst({"100", "101", "102"});
    TJouken j;
    j.set("UseBuyARatio", "1");
    j.set("KbnBuyARatio", "0");
    j.set("UseBuyRenzoku", "1");
    j.set("KbnBuyRenzoku", "0");
    j.set("AmtBuyRenzoku", "2");
    j.set("AmtBuyARatio", "0"); // 0 >= 0: true, Renzoku is never asked
    {
        Rules r(rows, j);
        const Result<bool> any = r.rules.AnyHolds(Side::Buy, 0, 1);
        ASSERT_TRUE(any);
        EXPECT_TRUE(*any);
    }
    j.set("AmtBuyARatio", "1"); // false: Renzoku is asked and has no value on day 1
    {
        Rules r(rows, j);
        const Result<bool> any = r.rules.AnyHolds(Side::Buy, 0, 1);
        ASSERT_FALSE(any);
        const std::string& m = any.error().message;
        EXPECT_NE(m.find("UseBuyRenzoku"), std::string::npos) << m;
        EXPECT_NE(m.find("2006/01/02"), std::string::npos) << m;
        EXPECT_NE(m.find("RenzokuDays"), std::string::npos) << m;
    }
    // The AND group stops at its first false member.
    j.set("UseBuyARatio", "2");
    j.set("UseBuyRenzoku", "2");
    {
        Rules r(rows, j);
        const Result<bool> all = r.rules.AllHold(Side::Buy, 0, 1);
        ASSERT_TRUE(all);
        EXPECT_FALSE(*all);
    }
    // The OR group is asked before the AND group: a true OR member spares the AND group.
    j.set("UseBuyToujitu", "1");
    j.set("KbnBuyToujitu", "1");
    j.set("AmtBuyToujitu", "0");
    j.set("AmtBuyARatio", "0");
    {
        Rules r(rows, j);
        EXPECT_EQ(r.judge(1, '0'), '1');
        EXPECT_FALSE(r.rules.AllHold(Side::Buy, 0, 1));
    }
}

TEST(SignalGroups, EmptyValueStopsTheRunNamingConditionAndDay)
{
    TJouken j = openToCloseRules();
    j.set("UseBuyToujitu", "0");
    j.set("UseBuyRenzoku", "1");
    j.set("KbnBuyRenzoku", "0");
    j.set("AmtBuyRenzoku", "3");
    // The period starts on the oldest day, whose consecutive-day count has no value.
    const auto run = simulateBars({{"100", "100"}, {"100", "101"}, {"101", "102"}}, j);
    ASSERT_FALSE(run.status);
    const std::string& m = run.status.error().message;
    EXPECT_NE(m.find("買い条件「株価が」"), std::string::npos) << m;
    EXPECT_NE(m.find(barDate(0)), std::string::npos) << m;
    EXPECT_EQ(run.stkCount, 0); // nothing half-filled is left behind

    // With the period starting on the third day, where the count exists, the run goes through.
    const auto later = simulateBars({{"100", "100"}, {"100", "101"}, {"101", "102"}, {"102", "103"}}, j, 2);
    EXPECT_TRUE(later.status) << later.status.error().message;
}

TEST(SignalGroups, ThresholdThatIsNotANumberIsNamedWhenAsked)
{
    TJouken j;
    j.set("UseBuyRSI", "1");
    j.set("KbnBuyRSI", "0");
    j.set("AmtBuyRSI2", "abc");
    Rules r(closesNewestFirst({"100", "101", "102"}), j);
    const Result<bool> any = r.rules.AnyHolds(Side::Buy, 0, 0);
    ASSERT_FALSE(any);
    EXPECT_NE(any.error().message.find("AmtBuyRSI2 = \"abc\""), std::string::npos) << any.error().message;
}

TEST(SignalGroups, ChoiceOutsideTheListIsFalseNotAnError)
{
    TJouken j;
    j.set("UseBuyRenzoku", "1");
    j.set("KbnBuyRenzoku", "5");
    j.set("AmtBuyRenzoku", "abc");
    Rules r(closesNewestFirst({"100", "101", "102"}), j);
    // The oldest day has no count and the threshold no number: neither is read.
    EXPECT_FALSE(r.holds("Renzoku", Side::Buy, 2));
}

TEST(SignalGroups, BuyJoukenChoiceChangesNothing)
{
    const std::vector<Bar> bars = {{"1000", "1000"}, {"1000", "1100"}, {"1000", "900"}, {"1100", "1100"}};
    TJouken j = openToCloseRules();
    const auto plain = simulateBars(bars, j);
    j.set("KbnBuyjouken", "1");
    j.set("KbnSelljouken", "0");
    const auto withChoice = simulateBars(bars, j);
    ASSERT_TRUE(plain.status);
    ASSERT_TRUE(withChoice.status);
    EXPECT_EQ(withChoice.stock.UserResult.Trades, plain.stock.UserResult.Trades);
    EXPECT_EQ(column(withChoice.stock, DayField::Signal), column(plain.stock, DayField::Signal));
}

TEST(Renzoku, RunLengthAndTheDaysOwnChange)
{
    // Closes 100, 101, 102, 103, 104, 104: rises on days 4..1 (newest first), no change on day 0.
    // The count reaches 2, 3, 4 on days 3, 2, 1 and 5 on day 0 (no change counts as a rise).
    TJouken j;
    j.set("KbnBuyRenzoku", "0");
    j.set("AmtBuyRenzoku", "3");
    Rules r(closesNewestFirst({"100", "101", "102", "103", "104", "104"}), j);
    ASSERT_EQ(column(r.analysis.StkList[0], DayField::RenzokuDays),
              (std::vector<std::string>{"5", "4", "3", "2", "", ""}));
    EXPECT_FALSE(r.holds("Renzoku", Side::Buy, 3));
    EXPECT_TRUE(r.holds("Renzoku", Side::Buy, 2));
    EXPECT_TRUE(r.holds("Renzoku", Side::Buy, 1));
    EXPECT_FALSE(r.holds("Renzoku", Side::Buy, 0)); // a day without change neither rises nor falls
    r.analysis.Jouken.set("AmtBuyRenzoku", "-3");   // the sign of the threshold does not matter
    EXPECT_FALSE(r.holds("Renzoku", Side::Buy, 3));
    EXPECT_TRUE(r.holds("Renzoku", Side::Buy, 2));
    r.analysis.Jouken.set("KbnBuyRenzoku", "1");
    EXPECT_FALSE(r.holds("Renzoku", Side::Buy, 2));
    EXPECT_FALSE(r.holds("Renzoku", Side::Buy, 0));
}

TEST(Renzoku, FallingRun)
{
    TJouken j;
    j.set("KbnSellRenzoku", "1");
    j.set("AmtSellRenzoku", "3");
    Rules r(closesNewestFirst({"100", "99", "98", "97"}), j);
    EXPECT_TRUE(r.holds("Renzoku", Side::Sell, 0));
    EXPECT_FALSE(r.holds("Renzoku", Side::Sell, 1));
}

TEST(BollingerBand, CloseOnTheBand)
{
    // 25 closes of 100: every band of the newest day is 100 (no deviation).
    TJouken j;
    Rules r(closesNewestFirst(std::vector<std::string>(25, "100")), j);
    ASSERT_EQ(r.day(0).text(DayField::VolinPlus2), "100");
    ASSERT_EQ(r.day(0).text(DayField::VolinMinus1), "100");
    const auto band = [&](const char* choice) {
        r.analysis.Jouken.set("KbnBuyVorin", choice);
        return r.holds("Volin", Side::Buy, 0);
    };
    EXPECT_TRUE(band("0"));  // "+2σ以上": on the band counts
    EXPECT_FALSE(band("1")); // "-2σ以下": strictly below only
    EXPECT_TRUE(band("2"));
    EXPECT_FALSE(band("3"));
    EXPECT_FALSE(band("4"));
    // A close just under the lower band.
    r.day(0)[DayField::VolinMinus2].setText("100.01");
    EXPECT_TRUE(band("1"));
}

TEST(StopAndReverse, StopOnTheCloseIsNeitherTurn)
{
    TJouken j;
    Rules r(closesNewestFirst({"100", "100", "100"}), j);
    for (const char* stem : {"Parab", "Wild"}) {
        const DayField stop = std::string_view(stem) == "Parab" ? DayField::ParaboSAR : DayField::WilSAR;
        r.day(0)[stop].setText("100");
        r.analysis.Jouken.set(std::string("KbnBuy") + stem, "0");
        EXPECT_FALSE(r.holds(stem, Side::Buy, 0)) << stem;
        r.analysis.Jouken.set(std::string("KbnBuy") + stem, "1");
        EXPECT_FALSE(r.holds(stem, Side::Buy, 0)) << stem;
        r.day(0)[stop].setText("99");
        EXPECT_FALSE(r.holds(stem, Side::Buy, 0)) << stem;
        r.analysis.Jouken.set(std::string("KbnBuy") + stem, "0");
        EXPECT_TRUE(r.holds(stem, Side::Buy, 0)) << stem; // stop below the close: turned up
    }
}

TEST(StochasticsChoice, LineChoiceAndUnselectedLine)
{
    TJouken j;
    Rules r(closesNewestFirst({"100", "101", "102"}), j);
    r.day(0)[DayField::STC_K].setText("30");
    r.day(0)[DayField::STC_D].setText("10");
    auto& c = r.analysis.Jouken;
    c.set("KbnBuySTCC1", "0"); // %K
    c.set("KbnBuySTCC2", "0");
    c.set("AmtBuySTCC", "20");
    EXPECT_TRUE(r.holds("STCC", Side::Buy, 0));
    c.set("KbnBuySTCC1", "1"); // %D
    EXPECT_FALSE(r.holds("STCC", Side::Buy, 0));
    c.set("KbnBuySTCC2", "1");
    EXPECT_TRUE(r.holds("STCC", Side::Buy, 0));
    // No line chosen: the value 0 is tested.
    c.set("KbnBuySTCC1", "");
    c.set("KbnBuySTCC2", "0");
    c.set("AmtBuySTCC", "0");
    EXPECT_TRUE(r.holds("STCC", Side::Buy, 0));
    c.set("AmtBuySTCC", "5");
    EXPECT_FALSE(r.holds("STCC", Side::Buy, 0));
    c.set("KbnBuySTCC2", "1");
    EXPECT_TRUE(r.holds("STCC", Side::Buy, 0));
}
