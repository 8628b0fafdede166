// Volume, volatility, band and direction indicators on small series. Expected texts were
// computed by hand with exact fractions (python3 fractions), stored values taken as their 15-digit
// texts, two-decimal truncation on the 80-bit value of the text (numpy longdouble); the arithmetic
// is in the comments.
#include "AnalysisTestSupport.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;
using Texts = std::vector<std::string>;

namespace {
std::vector<std::array<std::string, 5>> withVolume(const std::vector<std::string>& closes,
                                                   const std::vector<std::string>& volumes)
{
    std::vector<std::array<std::string, 5>> days;
    for (std::size_t i = 0; i < closes.size(); ++i)
        days.push_back({closes[i], closes[i], closes[i], closes[i], volumes[i]});
    return days;
}
} // namespace

TEST(VolumeRatios, SplitVolumeByRisingFlatAndFallingDays)
{
    // Period 3, closes oldest first 10 11 11 10 12, volumes 100..500. Day 0: up 500, flat 300,
    // down 400: A = 650/550 = 118.18, B = 650/1200 = 54.16, Wako (500 - 700)/1200 = -16.66.
    // Day 1: up 200, flat 300, down 400: 350/550 = 63.63, 350/900 = 38.88, -500/900 = -55.55.
    const TStkData s = analyzeRows(
        ohlcNewestFirst(withVolume({"10", "11", "11", "10", "12"}, {"100", "200", "300", "400", "500"})),
        conditionsWith({{"AmtBuyVRA1", "3"}, {"AmtBuyVRW1", "3"}}));
    EXPECT_EQ(column(s, DayField::VRA), (Texts{"118.18", "63.63", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::VRB), (Texts{"54.16", "38.88", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::VRW), (Texts{"-16.66", "-55.55", "0", "0", "0"}));
}

TEST(VolumeRatios, FlatWindowAndZeroVolumes)
{
    // Every close equal to the previous: all volume is flat, A = 100, B = 50, Wako = -100.
    const TStkData flat = analyzeRows(closesNewestFirst(std::vector<std::string>(16, "80"), "700"));
    EXPECT_EQ(flat.Days[0].text(DayField::VRA), "100");
    EXPECT_EQ(flat.Days[0].text(DayField::VRB), "50");
    EXPECT_EQ(flat.Days[0].text(DayField::VRW), "-100");
    // No volume at all: every ratio and rate that has a value reads 0.
    const TStkData none = analyzeRows(closesNewestFirst(
        {"1", "2", "3", "2", "1", "2", "3", "2", "1", "2", "3", "2", "1", "2", "3", "4"}, "0"));
    for (DayField f : {DayField::VRA, DayField::VRB, DayField::VRW, DayField::VlmRate, DayField::VlmRateInt})
        EXPECT_EQ(none.Days[0].text(f), "0") << kDayFieldNames[static_cast<std::size_t>(pos(f))];
}

TEST(ABRatio, HighOverOpenAndPreviousClose)
{
    // Period 2, oldest first O H L C: 10 12 9 11, 11 13 10 12, 12 14 11 13, 12 15 10 11.
    // Day 0: sum(H-O) = 3+2 = 5, sum(O-L) = 2+1 = 3 -> 166.66; sum(H-P) = 2+2, sum(P-L) = 3+1 -> 100.
    // Day 1: 4/2 -> 200; 4/2 -> 200.
    const TStkData s = analyzeRows(ohlcNewestFirst({{"10", "12", "9", "11", "1"},
                                                    {"11", "13", "10", "12", "1"},
                                                    {"12", "14", "11", "13", "1"},
                                                    {"12", "15", "10", "11", "1"}}),
                                   conditionsWith({{"AmtDayABRatio", "2"}}));
    EXPECT_EQ(column(s, DayField::ARatio), (Texts{"166.66", "200", "0", "0"}));
    EXPECT_EQ(column(s, DayField::BRatio), (Texts{"100", "200", "0", "0"}));
    const TStkData flat = analyzeRows(closesNewestFirst(std::vector<std::string>(30, "5")));
    EXPECT_EQ(flat.Days[0].text(DayField::ARatio), "0");
    EXPECT_EQ(flat.Days[0].text(DayField::BRatio), "0");
}

TEST(Bollinger, PopulationDeviationBands)
{
    // Period 3, closes 14 12 13 (newest 13): mean 13, mean of squares 509/3, variance 2/3,
    // deviation 0.816496580927726: bands 13.81, 12.18, 14.63, 11.36.
    const TStkData s =
        analyzeRows(closesNewestFirst({"10", "12", "14", "13"}), conditionsWith({{"AmtBuyVolin", "3"}}));
    EXPECT_EQ(s.Days[0].text(DayField::VolinPlus1), "13.81");
    EXPECT_EQ(s.Days[0].text(DayField::VolinMinus1), "12.18");
    EXPECT_EQ(s.Days[0].text(DayField::VolinPlus2), "14.63");
    EXPECT_EQ(s.Days[0].text(DayField::VolinMinus2), "11.36");
    EXPECT_EQ(s.Days[1].text(DayField::VolinPlus2), "0");
}

TEST(Bollinger, FlatCloseGivesBandsAtThePrice)
{
    // Equal whole closes: mean and mean of squares are exact, the variance is 0, every band is
    // the price.
    const TStkData s = analyzeRows(closesNewestFirst(std::vector<std::string>(25, "100")));
    for (DayField f :
         {DayField::VolinPlus1, DayField::VolinMinus1, DayField::VolinPlus2, DayField::VolinMinus2})
        EXPECT_EQ(s.Days[0].text(f), "100");
}

TEST(Bollinger, VarianceRoundedBelowZeroCountsAsZero)
{
    // 1.1 twenty times: in binary the mean of the squares falls below the squared mean (by
    // 4.3E-19, computed with numpy longdouble). Without
    // the floor the square root would be NaN and the bands would have no value at all.
    const TStkData s = analyzeRows(closesNewestFirst(std::vector<std::string>(25, "1.1")));
    for (DayField f :
         {DayField::VolinPlus1, DayField::VolinMinus1, DayField::VolinPlus2, DayField::VolinMinus2}) {
        const auto v = s.Days[0][f].number();
        ASSERT_TRUE(v);
        EXPECT_NEAR(static_cast<double>(*v), 1.1, 0.011);
    }
}

TEST(DirectionalMovement, TrueRangeDmDiAndAdx)
{
    // Oldest first H L C: 10 8 9, 12 9 11, 11 7 9, 13 10 12, 12 9 10.
    // True range (newest first) 3, 4, 4, 3; +DM 0, 2, 0, 2; -DM 1, 0, 2, 0 (day 3: up 2 > down -1).
    // DMI 2: day 0 mean TR 3.5: +DI 1/3.5 = 28.57, -DI 0.5/3.5 = 14.28, DX 33.3333333333333;
    // day 1: TR 4, +DI 25, -DI 25, DX 0; day 2: 28.57 and 28.57, DX 0.
    // ADX 2: day 0 (33.3333333333333 + 0)/2 = 16.66; day 1 0; day 2 lacks day 3's DX.
    const TStkData s = analyzeRows(ohlcNewestFirst({{"9", "10", "8", "9", "1"},
                                                    {"11", "12", "9", "11", "1"},
                                                    {"9", "11", "7", "9", "1"},
                                                    {"12", "13", "10", "12", "1"},
                                                    {"10", "12", "9", "10", "1"}}),
                                   conditionsWith({{"AmtBuyDMI", "2"}}));
    EXPECT_EQ(column(s, DayField::TrueRange), (Texts{"3", "4", "4", "3", ""}));
    EXPECT_EQ(column(s, DayField::PlusDM), (Texts{"0", "2", "0", "2", ""}));
    EXPECT_EQ(column(s, DayField::MinusDM), (Texts{"1", "0", "2", "0", ""}));
    EXPECT_EQ(column(s, DayField::PlusDI), (Texts{"28.57", "25", "28.57", "0", "0"}));
    EXPECT_EQ(column(s, DayField::MinusDI), (Texts{"14.28", "25", "28.57", "0", "0"}));
    EXPECT_EQ(column(s, DayField::DX), (Texts{"33.3333333333333", "0", "0", "", ""}));
    EXPECT_EQ(column(s, DayField::ADX), (Texts{"16.66", "0", "0", "0", "0"}));
}

TEST(DirectionalMovement, FlatSeriesHasNoDirection)
{
    const TStkData s = analyzeRows(closesNewestFirst(std::vector<std::string>(40, "10")));
    EXPECT_EQ(s.Days[0].text(DayField::TrueRange), "0");
    EXPECT_EQ(s.Days[0].text(DayField::PlusDM), "0");
    EXPECT_EQ(s.Days[0].text(DayField::DX), "");
    EXPECT_EQ(s.Days[0].text(DayField::PlusDI), "0");
    EXPECT_EQ(s.Days[0].text(DayField::ADX), "0");
}

TEST(Macd, SimpleStartsThenExponentialAndASimpleSignal)
{
    // Short 2, long 3, signal 2; closes oldest first 10 11 12 11 13 14.
    // Step 2: short = 10.5. Step 3: short = (12-10.5)*2/3 + 10.5 = 11.5, long = 11.
    // Step 4: short 11.1666666666667, long (11-11)/2 + 11 = 11, MACD 0.1666666666667.
    // Step 5: short 12.3888888888889, long 12, MACD 0.3888888888889, signal 0.2777777777778,
    // oscillator 0.1111111111111. Step 6: short 13.462962962963, long 13, MACD 0.462962962963,
    // signal 0.42592592592595, oscillator 0.03703703703705.
    const TStkData s =
        analyzeRows(closesNewestFirst({"10", "11", "12", "11", "13", "14"}),
                    conditionsWith({{"AmtBuyMACD1", "2"}, {"AmtBuyMACD2", "3"}, {"AmtDayMAC_SI", "2"}}));
    EXPECT_EQ(column(s, DayField::MACShortEMA),
              (Texts{"13.462962962963", "12.3888888888889", "11.1666666666667", "11.5", "10.5", ""}));
    EXPECT_EQ(column(s, DayField::MACLongEMA), (Texts{"13", "12", "11", "11", "", ""}));
    EXPECT_EQ(column(s, DayField::MACD), (Texts{"0.46", "0.38", "0.16", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::MACSignal), (Texts{"0.42", "0.27", "0", "0", "0", "0"}));
    EXPECT_EQ(column(s, DayField::MACDOsc), (Texts{"0.03703703703705", "0.1111111111111", "", "", "", ""}));
}

TEST(Parabolic, FollowsNewExtremesAndReversesOnTheStop)
{
    // Oldest first H L: 10 8, 11 9, 12 10, 12 11, 11 9.1, 11.5 9.
    // Start (second-oldest): SAR 9, EP 10, AF 0.02. Next: SAR 9 + 0.02 = 9.02, new high 12, AF 0.04.
    // Next: 9.02 + 0.04 x 2.98 = 9.1392; the high 12 equals the EP: counts as new, AF 0.06.
    // Next: 9.1392 + 0.06 x 2.8608 = 9.310848 >= low 9.1: reverse short at the old EP 12, EP 9.1.
    // Newest: 12 + 0.02 x (9.1 - 12) = 11.942 above the high 11.5: stay short, new low 9, AF 0.04.
    const TStkData s = analyzeRows(ohlcNewestFirst({{"9", "10", "8", "9", "1"},
                                                    {"10", "11", "9", "10", "1"},
                                                    {"11", "12", "10", "11", "1"},
                                                    {"11", "12", "11", "11", "1"},
                                                    {"10", "11", "9.1", "10", "1"},
                                                    {"10", "11.5", "9", "10", "1"}}));
    EXPECT_EQ(column(s, DayField::ParaboSAR), (Texts{"11.94", "12", "9.13", "9.02", "9", "0"}));
    EXPECT_EQ(column(s, DayField::ParaboPos), (Texts{"1", "1", "0", "0", "0", ""}));
    EXPECT_EQ(column(s, DayField::ParaboEp), (Texts{"9", "9.1", "12", "12", "10", ""}));
    EXPECT_EQ(column(s, DayField::ParaboAf), (Texts{"0.04", "0.02", "0.06", "0.04", "0.02", ""}));
}

TEST(Parabolic, LowEqualToTheStopReversesAndTheFactorMayPassTheLimit)
{
    // Step 0.5, limit 0.6. Start: SAR = low 9, EP = 10. Next (H 11, L 9.6): SAR 9.5, new high 11,
    // AF 0.5 < 0.6 -> 1.0, one step past the limit. Next (H 12, L 11): SAR 9.5 + 1.0 x 1.5 = 11,
    // the low equals it: reverse at the old EP 11, EP = 11, AF = 0.5.
    const TStkData s = analyzeRows(ohlcNewestFirst({{"9", "10", "8", "9", "1"},
                                                    {"9", "10", "9", "9", "1"},
                                                    {"10", "11", "9.6", "10", "1"},
                                                    {"11", "12", "11", "11", "1"}}),
                                   conditionsWith({{"AmtDayParaboAf", "0.5"}, {"AmtDayParaboLim", "0.6"}}));
    EXPECT_EQ(column(s, DayField::ParaboAf), (Texts{"0.5", "1", "0.5", ""}));
    EXPECT_EQ(column(s, DayField::ParaboPos), (Texts{"1", "0", "0", ""}));
    EXPECT_EQ(column(s, DayField::ParaboSAR), (Texts{"11", "9.5", "9", "0"}));
    EXPECT_EQ(column(s, DayField::ParaboEp), (Texts{"11", "11", "10", ""}));
}

TEST(WilderVolatility, StartsLongAndReversesOnTheStop)
{
    // Period 2, multiple 3. Oldest first H L C: 10 9 10, 11 10 11, 12 10 12, 12.5 11 12, 12 6 7,
    // 8 6.5 7.5; true ranges (oldest day excluded) 1, 2, 1.5, 6, 1.5.
    // First (day 3): ATR (2+1)/2 = 1.5, SIC 12, long, no stop. Day 2: ATR 1.5, stop 12 - 4.5 = 7.5.
    // Day 1: close 7 <= 7.5: short, SIC 7, SAR 7 + 4.5 = 11.5, ATR (1.5 + 6)/2 = 3.75.
    // Day 0: ARC 3 x 3.75 = 11.25, stop 18.25 above 7.5: stay short, SIC 7, ATR 2.625.
    const std::vector<std::array<std::string, 5>> days = {
        {"10", "10", "9", "10", "1"},    {"11", "11", "10", "11", "1"}, {"12", "12", "10", "12", "1"},
        {"12", "12.5", "11", "12", "1"}, {"7", "12", "6", "7", "1"},    {"7.5", "8", "6.5", "7.5", "1"}};
    const TStkData s = analyzeRows(ohlcNewestFirst(days), conditionsWith({{"AmtDayWIL", "2"}}));
    EXPECT_EQ(column(s, DayField::WilATR), (Texts{"2.625", "3.75", "1.5", "1.5", "", ""}));
    EXPECT_EQ(column(s, DayField::WilSIC), (Texts{"7", "7", "12", "12", "", ""}));
    EXPECT_EQ(column(s, DayField::WilPos), (Texts{"1", "1", "0", "0", "", ""}));
    EXPECT_EQ(column(s, DayField::WilSAR), (Texts{"18.25", "11.5", "7.5", "0", "0", "0"}));

    // A close exactly on the stop (7.5) reverses as well.
    auto onStop = days;
    onStop[4] = {"7.5", "12", "6", "7.5", "1"};
    const TStkData t = analyzeRows(ohlcNewestFirst(onStop), conditionsWith({{"AmtDayWIL", "2"}}));
    EXPECT_EQ(t.Days[1].text(DayField::WilPos), "1");
    EXPECT_EQ(t.Days[1].text(DayField::WilSAR), "12");
}
