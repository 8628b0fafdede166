// A real price series through Analyze with the simulation on: one stock's daily prices from 2004 to
// 2008, simulated from 2008/07/01 to the last day (2008/10/14) with the indicators fed by every
// earlier day.
//
// Rules: buy when the close is 3 % or more above the previous close, sell when 3 % or more below;
// both directions; 1-share units; 1,000,000 yen; 0.1 % commission; trades at the next day's open;
// profit-taking at 10 %, then waiting for the next signal.
//
// How the trade list was checked: a short python3 script independent of this code walked the CSV
// rows with exact fractions: the day's change (c - p) / p x 100 written with 15 significant digits
// and truncated to two decimals, the signal from the position held, the exit tested on the close,
// units as the largest n with n x price x 1.001 within the cash, commission truncated to whole yen,
// each number written with 15 significant digits. It also flagged any value within 1E-9 of a
// truncation boundary or an exit threshold (there were none), where 80-bit arithmetic might differ
// from exact fractions. A second run rounded every money operation to a 64-bit significand, as the
// extended floats do: it agrees with the exact run except for the last cash, where twelve trades of
// rounding surface as 92.1100000000001 instead of 92.11. Three rows were then redone by hand:
// - 2008/07/16 closes at 535.6 after 516.09 (+3.78 %): bought at 07/17's open of 534.16; 1,000,000
//   / (534.16 x 1.001) = 1870.2 -> 1870 shares, 998,879.2 yen, commission 998, cash 122.8.
// - 07/18 closes at 481.32 after 533.44 (-9.77 %): sold at the next trading day's (07/21) open of
//   480.88 for 899,245.6 (-9.97 %), and a short of 1866 shares follows with the cash of the sale.
// - The short of 1571 shares from 09/23 (680,635.75) is worth 598,551 at 09/29's close of 381, below
//   90 % of its cost: taken at 09/30's open of 395.98, 2 x 680,635.75 - 1571 x 395.98 = 739,186.92,
//   +8.6 %; no new position until the buy signal of 09/30.
#include "SimulationTestSupport.h"
#include "common/NumberText.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;

TEST(RealSeriesBackTest, TradeListOfThreeAndAHalfMonths)
{
    const auto rows =
        loadCsvNewestFirst(std::string(VORTEQ_DATA_DIR) + "/goog_2004-08-19_2008-10-14.csv", "GOOG");
    ASSERT_EQ(rows.size(), 1047u);
    TJouken j = TJouken::defaults();
    j.set("UseBuyZenjitu", "1");
    j.set("KbnBuyZenjitu", "0");
    j.set("AmtBuyZenjitu", "3");
    j.set("UseSellZenjitu", "1");
    j.set("KbnSellZenjitu", "0");
    j.set("AmtSellZenjitu", "-3");
    j.set("KbnTani", "3");
    j.set("KbnTrade", "2");
    j.set("UseTesuryo", "1");
    j.set("KbnTesuryo", "1");
    j.set("AmtTesuryo", "0.1");
    j.set("UseRikaku", "1");
    j.set("AmtRikaku", "10");
    j.set("KbnRikaku", "1");
    j.set("UseTradePrice", "1");

    TStkAnalisys a;
    installSimulation(a);
    const Status st =
        a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), j, "2008/07/01", "2008/10/14", true);
    ASSERT_TRUE(st) << st.error().message;
    TStkData s;
    ASSERT_TRUE(a.GetStkData(0, s));
    const TUserResult& u = s.UserResult;

    struct Row {
        const char* cells[9];
    };
    const Row expected[] = {
        {"2008/07/17", "買い", "－", "534.16", "1870", "998879.2", "998", "122.8", "999002"},
        {"2008/07/21", "売り", "-9.97", "480.88", "1870", "899245.6", "899", "122.8", "898469.4"},
        {"2008/07/21", "空売り", "－", "480.88", "1866", "897322.08", "897", "250.32", "897572.4"},
        {"2008/07/28", "買戻し", "-2.33", "492.09", "1866", "876404.22", "876", "250.32", "875778.54"},
        {"2008/07/28", "買い", "－", "492.09", "1777", "874443.93", "874", "460.61", "874904.54"},
        {"2008/07/29", "売り", "-2.59", "479.3", "1777", "851716.1", "851", "460.61", "851325.71"},
        {"2008/07/29", "空売り", "－", "479.3", "1774", "850278.2", "850", "197.51", "850475.71"},
        {"2008/08/06", "買戻し", "0.19", "478.37", "1774", "851928.02", "851", "197.51", "851274.53"},
        {"2008/08/06", "買い", "－", "478.37", "1777", "850063.49", "850", "361.04", "850424.53"},
        {"2008/09/05", "売り", "-6.87", "445.49", "1777", "791635.73", "791", "361.04", "791205.77"},
        {"2008/09/05", "空売り", "－", "445.49", "1774", "790299.26", "790", "116.51", "790415.77"},
        {"2008/09/12", "買戻し", "3.42", "430.21", "1774", "817405.98", "817", "116.51", "816705.49"},
        {"2008/09/12", "買い", "－", "430.21", "1896", "815678.16", "815", "212.33", "815890.49"},
        {"2008/09/18", "売り", "-1.75", "422.64", "1896", "801325.44", "801", "212.33", "800736.77"},
        {"2008/09/18", "空売り", "－", "422.64", "1892", "799634.88", "799", "302.89", "799937.77"},
        {"2008/09/19", "買戻し", "-9.07", "461", "1892", "727057.76", "727", "302.89", "726633.65"},
        {"2008/09/19", "買い", "－", "461", "1574", "725614", "725", "294.65", "725908.65"},
        {"2008/09/23", "売り", "-6.01", "433.25", "1574", "681935.5", "681", "294.65", "681549.15"},
        {"2008/09/23", "空売り", "－", "433.25", "1571", "680635.75", "680", "233.4", "680869.15"},
        {"2008/09/30", "利確", "8.6", "395.98", "1571", "739186.92", "739", "233.4", "738681.32"},
        {"2008/10/01", "買い", "－", "411.15", "1794", "737603.1", "737", "341.22", "737944.32"},
        {"2008/10/03", "売り", "-3.35", "397.35", "1794", "712845.9", "712", "341.22", "712475.12"},
        {"2008/10/03", "空売り", "－", "397.35", "1791", "711653.85", "711", "110.27", "711764.12"},
        {"2008/10/08", "利確", "16.9", "330.16", "1791", "831991.14", "831", "110.27", "831270.41"},
        {"2008/10/14", "買い", "－", "393.53", "2110", "830348.3", "830", "92.1100000000001", "830440.41"},
    };
    ASSERT_EQ(u.TradeCount, static_cast<int>(std::size(expected)));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        const TTradeRecord& t = u.Trades[i];
        const auto& e = expected[i].cells;
        EXPECT_EQ((std::vector<std::string>{t.TradeDate, t.TradeKind, t.TradeRtn, t.TradePrice, t.TradeVlm,
                                            t.TradeAmt, t.TradeFee, t.RestAmt, t.TotalAmt}),
                  (std::vector<std::string>(e, e + 9)))
            << "trade " << i;
    }
    // The long bought on the last day is valued at its close of 362.71: 2110 x 362.71 + 92.11.
    EXPECT_EQ(u.Position, "1");
    EXPECT_EQ(formatNumber(u.FinalAmt), "765410.21");
    EXPECT_EQ(u.TotalRtn, -23.45L);
    // 13 positions opened, the last still open: 12 closed, 4 of them with a gain.
    EXPECT_EQ(u.TotalNum, 12);
    EXPECT_EQ(u.TotalWinNum, 4);
    EXPECT_EQ(u.TotalWin, 33.33L);
    EXPECT_EQ(u.TermSDate, "2008/07/01");
    EXPECT_EQ(u.TermEDate, "2008/10/14");
    // The signal day names the trades executed the next trading day.
    EXPECT_EQ(s.Days[0].text(DayField::StkDate), "2008/10/14");
    EXPECT_EQ(s.Days[1].text(DayField::TradeAction), "買い");
}
