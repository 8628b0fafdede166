// Price-based indicators on small series. Expected texts were computed by hand with exact
// fractions (python3 fractions), each stored value taken as its 15-digit text and the two-decimal
// truncation done on the 80-bit binary value of that text (numpy longdouble); the arithmetic is
// written out in the comments.
#include "AnalysisTestSupport.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;
using Texts = std::vector<std::string>;

namespace {
// Oldest first: O H L C V.
const std::vector<std::array<std::string, 5>> kThreeDays = {
    {"100", "110", "95", "100", "1000"},
    {"101", "104", "99", "103", "1500"},
    {"104", "105", "96", "98", "0"},
};
} // namespace

TEST(DayRates, CloseOpenAndShadowsInPercent)
{
    const TStkData s = analyzeRows(ohlcNewestFirst(kThreeDays));
    ASSERT_EQ(s.DayCount, 3);
    // Newest day, a falling candle (98 < 104): (98-103)/103 = -4.854%, (98-104)/104 = -5.769%,
    // upper (105-104)/104 = 0.961%, lower (96-98)/98 = -2.040%.
    EXPECT_EQ(column(s, DayField::ZenjituRate), (Texts{"-4.85", "3", "0"}));
    EXPECT_EQ(column(s, DayField::ToujituRate), (Texts{"-5.76", "1.98", "0"}));
    // Day 1 rises (103 >= 101): upper (104-103)/103 = 0.970%, lower (99-101)/101 = -1.980%.
    EXPECT_EQ(column(s, DayField::UpperShadowRate), (Texts{"0.96", "0.97", "0"}));
    EXPECT_EQ(column(s, DayField::LowerShadowRate), (Texts{"-2.04", "-1.98", "0"}));
    // Whole-number change: -4.85 toward zero is -4; the oldest day has none.
    EXPECT_EQ(column(s, DayField::ZenjituRateInt), (Texts{"-4", "3", ""}));
}

TEST(DayRates, RateGuardTestsTheTextZero)
{
    // The volume text "0" gives a rate of 0 instead of a division; "0.0" is not the text "0":
    // as the older volume it would divide by zero, and the result is no value (reads "0"), never
    // an infinity; as the newer volume it is simply -100 %.
    auto rows = ohlcNewestFirst(kThreeDays);
    EXPECT_EQ(column(analyzeRows(rows), DayField::VlmRate), (Texts{"0", "50", "0"}));
    rows[0].volume = "500";
    rows[1].volume = "0.0";
    const TStkData s = analyzeRows(rows);
    EXPECT_EQ(column(s, DayField::VlmRate), (Texts{"0", "-100", "0"}));
    EXPECT_EQ(column(s, DayField::VlmRateInt), (Texts{"0", "0", ""}));
}

TEST(DayRates, WholeNumberChangeWithAZeroPreviousCloseIsZero)
{
    auto rows = closesNewestFirst({"0", "5"});
    const TStkData s = analyzeRows(rows);
    EXPECT_EQ(s.Days[0].text(DayField::ZenjituRateInt), "0");
    EXPECT_EQ(s.Days[0].text(DayField::ZenjituRate), "0");
}

TEST(Renzoku, CountsRunsOfEqualSignZeroCountingAsRising)
{
    // Closes oldest first 100 101 101 103 102 101 104: changes +, 0, +, -, -, +.
    // Third-oldest: 0 and + agree, empty previous run counts 1 -> 2; then 3; then the sign turns.
    const TStkData s = analyzeRows(closesNewestFirst({"100", "101", "101", "103", "102", "101", "104"}));
    EXPECT_EQ(column(s, DayField::RenzokuDays), (Texts{"1", "2", "1", "3", "2", "", ""}));
}

TEST(Renzoku, StrictlyRisingCountsUpTowardTheNewestDay)
{
    const TStkData s = analyzeRows(closesNewestFirst({"10", "11", "12", "13", "14", "15"}));
    EXPECT_EQ(column(s, DayField::RenzokuDays), (Texts{"5", "4", "3", "2", "", ""}));
}

TEST(MovingAverage, AverageAndDeviationFromTheStoredAverage)
{
    // Period 3, closes oldest first 10 11 13 12 15: (15+12+13)/3 = 13.3333333333333 (text),
    // deviation (15 - 13.3333333333333)/13.3333333333333 = 12.5000000000003%.
    const TStkData s =
        analyzeRows(closesNewestFirst({"10", "11", "13", "12", "15"}), conditionsWith({{"AmtBuyIdo", "3"}}));
    EXPECT_EQ(column(s, DayField::IdoAvg1), (Texts{"13.33", "12", "11.33", "0", "0"}));
    EXPECT_EQ(column(s, DayField::Kairi1), (Texts{"12.5", "0", "14.7", "0", "0"}));
}

TEST(MovingAverage, DeviationReadsTheAverageFromItsText)
{
    // Closes 7 6 7, period 3: the average's text is 6.66666666666667, so the deviation is
    // (7 - 6.66666666666667)/6.66666666666667 = 4.99999999999995%, truncated 4.99 (the exact
    // average 20/3 would give 5).
    const TStkData s = analyzeRows(closesNewestFirst({"7", "6", "7"}), conditionsWith({{"AmtBuyIdo", "3"}}));
    EXPECT_EQ(s.Days[0].text(DayField::Kairi1), "4.99");
}

TEST(MovingAverage, TwoDecimalsTruncateTheBinaryValue)
{
    // 525 525 526 526 526: the average 525.6 is just below 525.6 in binary; x 100 truncates to
    // 52559, so the stored text is 525.59.
    const TStkData s = analyzeRows(closesNewestFirst({"525", "525", "526", "526", "526"}));
    EXPECT_EQ(s.Days[0].text(DayField::IdoAvg1), "525.59");
}

TEST(Rsi, FirstValueFromMeansThenSmoothed)
{
    // Period 3, closes oldest first 10 11 10.5 12 11 13. First value on day N-4 = 2:
    // gains 1.5 + 1 = 2.5, loss 0.5: means 0.833333333333333 and 0.166666666666667, RSI 83.33.
    // Day 1 (-1): (0.833333333333333*2 + 0)/3 = 0.555555555555555, (0.166666666666667*2 + 1)/3 =
    // 0.444444444444445, RSI 55.55. Day 0 (+2): 1.03703703703704 and 0.296296296296297, 77.77.
    const TStkData s = analyzeRows(closesNewestFirst({"10", "11", "10.5", "12", "11", "13"}),
                                   conditionsWith({{"AmtBuyRSI1", "3"}}));
    EXPECT_EQ(column(s, DayField::RSI), (Texts{"77.77", "55.55", "83.33", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::RSIUpAvg),
              (Texts{"1.03703703703704", "0.555555555555555", "0.833333333333333", "", "", ""}));
    EXPECT_EQ(column(s, DayField::RSIDownAvg),
              (Texts{"0.296296296296297", "0.444444444444445", "0.166666666666667", "", "", ""}));
}

TEST(Rsi, NoMovementGivesZeroAndRisesOnlyGiveHundred)
{
    const TStkData flat = analyzeRows(closesNewestFirst(std::vector<std::string>(12, "50")));
    EXPECT_EQ(flat.Days[0].text(DayField::RSI), "0");
    EXPECT_EQ(flat.Days[0].text(DayField::RSIUpAvg), "0");
    std::vector<std::string> rising;
    for (int i = 0; i < 12; ++i)
        rising.push_back(std::to_string(100 + i));
    const TStkData up = analyzeRows(closesNewestFirst(rising));
    EXPECT_EQ(up.Days[0].text(DayField::RSI), "100");
    EXPECT_EQ(up.Days[2].text(DayField::RSI), "100");
    EXPECT_EQ(up.Days[2].text(DayField::RSIDownAvg), "0");
}

namespace {
// Oldest first: H L C (open = close), for stochastics and Williams %R.
std::vector<PriceRow> stochasticsSeries()
{
    const char* hlc[][3] = {{"12", "8", "10"},  {"13", "9", "12"},  {"14", "10", "11"},
                            {"15", "11", "14"}, {"14", "12", "13"}, {"16", "12", "15"}};
    std::vector<std::array<std::string, 5>> days;
    for (auto& d : hlc)
        days.push_back({d[2], d[0], d[1], d[2], "100"});
    return ohlcNewestFirst(days);
}
} // namespace

TEST(Stochastics, KThenDThenSlowD)
{
    // %K 3: day 0 window highs 16 14 15, lows 12 12 11 -> (15-11)/5 = 80; day 1 (13-10)/5 = 60;
    // day 2 (14-9)/6 = 83.33. %D 2: day 0 (4+3)/(5+5) = 70; day 1 (3+5)/(5+6) = 72.72; day 2 needs
    // day 3's %K, which has none. Slow %D 2: day 0 (70 + 72.7272727272727)/2 = 71.36.
    const TStkData s =
        analyzeRows(stochasticsSeries(),
                    conditionsWith({{"AmtBuySTK1", "3"}, {"AmtDaySTC_D", "2"}, {"AmtDaySTC_SD", "2"}}));
    EXPECT_EQ(column(s, DayField::STC_K), (Texts{"80", "60", "83.33", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::STC_High), (Texts{"16", "15", "15", "", "", ""}));
    EXPECT_EQ(column(s, DayField::STC_Low), (Texts{"11", "10", "9", "", "", ""}));
    EXPECT_EQ(column(s, DayField::STC_D), (Texts{"70", "72.72", "0", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::STC_SD), (Texts{"71.36", "0", "0", "0", "0", "0"}));
}

TEST(Stochastics, FlatWindowWritesNothing)
{
    const TStkData s = analyzeRows(closesNewestFirst(std::vector<std::string>(20, "300")));
    EXPECT_EQ(s.Days[0].text(DayField::STC_K), "0");
    EXPECT_EQ(s.Days[0].text(DayField::STC_High), "");
    EXPECT_EQ(s.Days[0].text(DayField::STC_D), "0");
    EXPECT_EQ(s.Days[0].text(DayField::STC_SD), "0");
}

TEST(WilliamsR, ZeroAtTheHighHundredAtTheLow)
{
    // Period 3: day 0 (16-15)/(16-11) = 20; day 1 (15-13)/5 = 40; day 2 (15-14)/6 = 16.66.
    const TStkData s = analyzeRows(stochasticsSeries(), conditionsWith({{"AmtBuyWilR1", "3"}}));
    EXPECT_EQ(column(s, DayField::WilR), (Texts{"20", "40", "16.66", "0", "0", "0"}));
    const TStkData flat = analyzeRows(closesNewestFirst(std::vector<std::string>(12, "7")));
    EXPECT_EQ(flat.Days[0].text(DayField::WilR), "0");
}

TEST(UltimateOscillator, WeightsThreeWindows)
{
    // Period 1 (windows 1, 2, 4). Oldest first H L C: 10 9 10, 11 10 11, 12 10 10, 12 9 12, 13 11 11,
    // 14 12 13. Pressure/range (close - true low, true high - true low) of days 0..4: 2/3, 0/2, 3/3,
    // 0/2, 1/1. Day 0: A1 = 2/3, A2 = 2/5, A3 = 5/10: (8/3 + 0.8 + 0.5)/7 = 56.66.
    // Day 1: A1 = 0, A2 = 3/5, A3 = 4/8: (1.2 + 0.5)/7 = 24.28.
    const char* hlc[][3] = {{"10", "9", "10"}, {"11", "10", "11"}, {"12", "10", "10"},
                            {"12", "9", "12"}, {"13", "11", "11"}, {"14", "12", "13"}};
    std::vector<std::array<std::string, 5>> days;
    for (auto& d : hlc)
        days.push_back({d[2], d[0], d[1], d[2], "100"});
    const TStkData s = analyzeRows(ohlcNewestFirst(days), conditionsWith({{"AmtDayOSI", "1"}}));
    EXPECT_EQ(column(s, DayField::OSI), (Texts{"56.66", "24.28", "0", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::OSIPressure), (Texts{"2", "0", "3", "0", "1", ""}));
    EXPECT_EQ(column(s, DayField::OSIRange), (Texts{"3", "2", "3", "2", "1", ""}));
}

TEST(Rci, TiesRankByOneOverTheirCount)
{
    // Period 4, window newest first 13 11 12 12: ranks 1, 4, and 3 - 1/1 = 2 for both 12s.
    // D = 0 + 4 + 1 + 4 = 9; RCI = (1 - 54/60) x 100 = 10 (averaged ranks would give 35).
    const TStkData two =
        analyzeRows(closesNewestFirst({"10", "12", "12", "11", "13"}), conditionsWith({{"AmtBuyRCI1", "4"}}));
    EXPECT_EQ(two.Days[0].text(DayField::RCI), "10");
    // Three tied for the highest: each 3 - 1/2 = 2.5, the 10 ranks 4: D = 2.25 + 0.25 + 0.25 = 2.75,
    // RCI = (1 - 16.5/60) x 100 = 72.5.
    const TStkData three =
        analyzeRows(closesNewestFirst({"9", "10", "12", "12", "12"}), conditionsWith({{"AmtBuyRCI1", "4"}}));
    EXPECT_EQ(three.Days[0].text(DayField::RCI), "72.5");
}

TEST(Rci, RisingWindowIsHundredAndOneDayWindowStaysEmpty)
{
    const TStkData up =
        analyzeRows(closesNewestFirst({"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11"}));
    EXPECT_EQ(up.Days[0].text(DayField::RCI), "100");
    EXPECT_EQ(up.Days[1].text(DayField::RCI), "100");
    const TStkData one =
        analyzeRows(closesNewestFirst({"1", "2", "3"}), conditionsWith({{"AmtBuyRCI1", "1"}}));
    EXPECT_EQ(column(one, DayField::RCI), (Texts{"0", "0", "0"}));
}

TEST(Cci, TypicalPriceAverageAndMeanDeviation)
{
    // Period 2. Oldest first H L C: 12 8 10, 13 9 11, 15 10 14, 14 11 11, 16 13 16; typical
    // prices 10, 11, 13, 12, 15. Averages (newest first) 13.5, 12.5, 12; deviations 1.5, 0.5, 1.
    // Day 0: MD = 1, (15 - 13.5)/(0.015 x 1) = 100. Day 1: MD = 0.75, -0.5/0.01125 = -44.44.
    const char* hlc[][3] = {
        {"12", "8", "10"}, {"13", "9", "11"}, {"15", "10", "14"}, {"14", "11", "11"}, {"16", "13", "16"}};
    std::vector<std::array<std::string, 5>> days;
    for (auto& d : hlc)
        days.push_back({d[2], d[0], d[1], d[2], "100"});
    const TStkData s = analyzeRows(ohlcNewestFirst(days), conditionsWith({{"AmtDayCCI", "2"}}));
    EXPECT_EQ(column(s, DayField::CCITypAvg), (Texts{"13.5", "12.5", "12", "", ""}));
    EXPECT_EQ(column(s, DayField::CCITypDev), (Texts{"1.5", "0.5", "1", "", ""}));
    EXPECT_EQ(column(s, DayField::CCI), (Texts{"100", "-44.44", "0", "0", "0"}));
}

TEST(Cci, ZeroMeanDeviationLeavesItEmpty)
{
    const TStkData flat = analyzeRows(closesNewestFirst(std::vector<std::string>(50, "120")));
    EXPECT_EQ(flat.Days[0].text(DayField::CCITypDev), "0");
    EXPECT_EQ(flat.Days[0].text(DayField::CCI), "0");
}

TEST(Dpo, CloseAgainstTheAverageOfHalfAPeriodEarlier)
{
    // Period 2, closes oldest first 10 12 11 13 15 14: averages (newest first) 14.5, 14, 12, 11.5;
    // k = 2: day 0 14 - 12 = 2, day 1 15 - 11.5 = 3.5; DPO needs i + 4 < 6.
    const TStkData s = analyzeRows(closesNewestFirst({"10", "12", "11", "13", "15", "14"}),
                                   conditionsWith({{"AmtDayDPO", "2"}}));
    EXPECT_EQ(column(s, DayField::DPOAvg), (Texts{"14.5", "14", "12", "11.5", "", ""}));
    EXPECT_EQ(column(s, DayField::DPO), (Texts{"2", "3.5", "0", "0", "0", "0"}));
}

TEST(PsychologicalLine, RisesAndPriceMoves)
{
    // Period 3, closes oldest first 10 11 11 10 12. Day 0: moves +2, -1, 0: one rise of three
    // = 33.33; price moves 2/3 = 66.66. Day 1: -1, 0, +1: 33.33 and 1/2 = 50.
    const TStkData s = analyzeRows(closesNewestFirst({"10", "11", "11", "10", "12"}),
                                   conditionsWith({{"AmtBuyPSY1", "3"}, {"AmtBuyMPSY1", "3"}}));
    EXPECT_EQ(column(s, DayField::PSY), (Texts{"33.33", "33.33", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::MPSY), (Texts{"66.66", "50", "0", "0", "0"}));
}
