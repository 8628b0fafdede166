// What the result views show after a run: signal labels over runs of equal signals, the trade
// column on the day of execution, the trade list newest first, the summary texts and the export
// lines. The runs go through Analyze with the simulation on (a buy when a day closes 5 % or more
// above its open, a sell when 5 % or more below).
#include "results/ResultRows.h"

#include "common/Csv.h"
#include "simulation/SimulationTestSupport.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

const Bar kFlat{"1000", "1000"};
const Bar kBuy{"1000", "1100"};
const Bar kSell{"1000", "900"};

std::vector<std::string> labels(const GridRows& rows)
{
    std::vector<std::string> out;
    for (const auto& r : rows)
        out.push_back(r.at(0));
    return out;
}

std::string summary(const TUserResult& u, std::string_view edit)
{
    for (const auto& s : summaryTexts(u))
        if (s.edit == edit)
            return s.text;
    ADD_FAILURE() << "no summary field " << edit;
    return {};
}

} // namespace

TEST(SignalLabels, FirstDayOfARunIsTheSignalTheRestTheZone)
{
    const auto run = simulateBars({kFlat, kBuy, kBuy, kBuy, kFlat}, openToCloseRules());
    ASSERT_TRUE(run.status) << run.status.error().message;
    const GridRows rows = dailyRows(run.stock, barDate(0));
    EXPECT_EQ(labels(rows), (std::vector<std::string>{"", "買いｿﾞｰﾝ", "買いｿﾞｰﾝ", "買いｼｸﾞﾅﾙ", ""}));
    EXPECT_EQ(positionText(rows), "－"); // the newest day has no signal
}

TEST(SignalLabels, ASellDayBetweenBuysStartsANewRun)
{
    const auto run = simulateBars({kFlat, kBuy, kSell, kBuy, kBuy}, openToCloseRules());
    ASSERT_TRUE(run.status);
    const GridRows rows = dailyRows(run.stock, barDate(0));
    EXPECT_EQ(labels(rows),
              (std::vector<std::string>{"買いｿﾞｰﾝ", "買いｼｸﾞﾅﾙ", "売りｼｸﾞﾅﾙ", "買いｼｸﾞﾅﾙ", ""}));
    EXPECT_EQ(positionText(rows), "買いｿﾞｰﾝ");
}

TEST(SignalLabels, FirstSimulatedDayFollowsALeadInDayWithoutSignal)
{
    // Bar 1 would signal a buy, but it lies before the period: bar 2's buy starts a run, and the
    // table ends at the period's first day.
    const auto run = simulateBars({kFlat, kBuy, kBuy, kFlat}, openToCloseRules(), 2);
    ASSERT_TRUE(run.status);
    const GridRows rows = dailyRows(run.stock, barDate(2));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(labels(rows), (std::vector<std::string>{"", "買いｼｸﾞﾅﾙ"}));
    EXPECT_EQ(rows[1][2], barDate(2));
}

TEST(DailyRows, TradeIsShownOnTheDayItIsExecuted)
{
    const auto run = simulateBars({kFlat, kBuy, {"1010", "1020"}, kFlat}, openToCloseRules());
    ASSERT_TRUE(run.status);
    const GridRows rows = dailyRows(run.stock, barDate(0));
    ASSERT_EQ(rows.size(), 4u);
    // Newest first: bar 3, bar 2 (bought at its open), bar 1 (the signal), bar 0.
    EXPECT_EQ(rows[1][1], "買い");
    EXPECT_EQ(rows[2][1], "");
    EXPECT_EQ(rows[3][1], ""); // the oldest day has no older day
    const GridRows trades = tradeRows(run.stock.UserResult);
    ASSERT_EQ(trades.size(), 1u);
    EXPECT_EQ(rows[1][2], trades[0][0]); // the row's date is the trade's date
    EXPECT_EQ(trades[0][3], "1010");
    // Prices and computed fields as their texts.
    EXPECT_EQ(rows[1][3], "1010");
    EXPECT_EQ(rows[1][6], "1020");
    EXPECT_EQ(rows[1][7], "1000");
    EXPECT_EQ(rows[2][8], "10"); // the signal day's change on the day
    for (const auto& r : rows)
        EXPECT_EQ(r.size(), 49u);
}

TEST(DailyRows, RunEntirelyBeforeTheStartShowsNothing)
{
    const auto run = simulateBars({kFlat, kBuy, kFlat}, openToCloseRules());
    ASSERT_TRUE(run.status);
    const GridRows rows = dailyRows(run.stock, "2007/01/01");
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(positionText(rows), "－");
    const auto lines = dailyTableCsvLines(run.stock, "2007/01/01");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(lines[0].starts_with("ﾎﾟｼﾞｼｮﾝ,取引内容,日付,始値,")) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(",ｻｲｺﾛｼﾞｶﾙﾗｲﾝ,値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ,")) << lines[0];
    EXPECT_EQ(lines[1], std::string(49, ','));
}

TEST(TradeRows, NewestFirstWithPercentOnReturns)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    j.set("KbnTrade", "1");
    const auto run = simulateBars({kFlat, kSell, kBuy, {"900", "900"}}, j);
    ASSERT_TRUE(run.status);
    const GridRows rows = tradeRows(run.stock.UserResult);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::string>{barDate(3), "買戻し", "10 %", "900", "1000", "1100000", "0",
                                                 "0", "1100000"}));
    EXPECT_EQ(rows[1][1], "空売り");
    EXPECT_EQ(rows[1][2], "－");

    EXPECT_EQ(tradeListCsvLines(run.stock.UserResult),
              (std::vector<std::string>{
                  "取引日,取引内容,取引利回り,取引価格,取引高,取引金額,手数料,投資残額,合計金額,",
                  barDate(3) + ",買戻し,10 %,900,1000,1100000,0,0,1100000,",
                  barDate(2) + ",空売り,－,1000,1000,1000000,0,0,1000000,",
              }));

    EXPECT_EQ(summary(run.stock.UserResult, "edt_rst_return"), "10 %");
    EXPECT_EQ(summary(run.stock.UserResult, "edt_rst_final"), "1100000");
    EXPECT_EQ(summary(run.stock.UserResult, "edt_rst_sell_num"), "1 回");
    EXPECT_EQ(summary(run.stock.UserResult, "edt_rst_sell_win"), "100 %");
    EXPECT_EQ(summary(run.stock.UserResult, "edt_rst_sell_per"), "110");
    EXPECT_EQ(summary(run.stock.UserResult, "edt_term_sertn"), "-10 %");
    EXPECT_EQ(summary(run.stock.UserResult, "edt_term_eprice"), "900");
}

TEST(Summary, NoTradesShowZerosAndAHundred)
{
    const auto run = simulateBars({kFlat, kFlat, kFlat}, openToCloseRules());
    ASSERT_TRUE(run.status);
    const TUserResult& u = run.stock.UserResult;
    EXPECT_TRUE(tradeRows(u).empty());
    EXPECT_EQ(summary(u, "edt_rst_init"), "1000000");
    EXPECT_EQ(summary(u, "edt_rst_total_num"), "0 回");
    EXPECT_EQ(summary(u, "edt_rst_total_winnum"), "0 回");
    EXPECT_EQ(summary(u, "edt_rst_total_win"), "0 %");
    EXPECT_EQ(summary(u, "edt_rst_buy_win"), "0 %");
    EXPECT_EQ(summary(u, "edt_rst_total_ave"), "0 %");
    EXPECT_EQ(summary(u, "edt_rst_total_per"), "100");
    EXPECT_EQ(summary(u, "edt_term_sdate"), barDate(0));
    EXPECT_EQ(summary(u, "edt_term_hlrtn"), "0 %");
    // The blank trade list still exports its title and one empty row.
    const auto lines = tradeListCsvLines(u);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], ",,,,,,,,,");
    EXPECT_EQ(summaryTexts(u).size(), 28u);
}

TEST(ExportLines, CellsWithCommasQuotesOrLineBreaksAreQuoted)
{
    const std::string_view titles[] = {"a", "b", "c"};
    const GridRows rows = {{"1,5", "say \"hi\"", "x"}, {"two\r\nlines", "", "-"}};
    EXPECT_EQ(gridCsvLines(titles, rows), (std::vector<std::string>{
                                              "a,b,c,",
                                              "\"1,5\",\"say \"\"hi\"\"\",x,",
                                              "\"two\r\nlines\",,-,",
                                          }));
}

TEST(ExportLines, TradeListFileIsShiftJisWithCrLfAndReplacesAnOldFile)
{
    TJouken j = openToCloseRules();
    j.set("KbnTani", "0");
    j.set("KbnTrade", "1");
    const auto run = simulateBars({kFlat, kSell, kBuy, {"900", "900"}}, j);
    ASSERT_TRUE(run.status);
    const auto dir =
        std::filesystem::temp_directory_path() / ("vorteq_results_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto path = dir / "trades.csv";
    {
        std::ofstream(path) << "an older, longer export that must not survive\n\n\n";
    }
    ASSERT_TRUE(writeCsvFile(path, tradeListCsvLines(run.stock.UserResult)));
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove_all(dir);
    // Three lines; "買戻し" in Shift-JIS is 94 83 96 DF 82 B5, "－" is 81 7C.
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), '\n'), 3);
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), ','), 27);
    EXPECT_NE(bytes.find(barDate(3) + ",\x94\x83\x96\xDF\x82\xB5,10 %,900,"), std::string::npos);
    EXPECT_NE(bytes.find(",\x81\x7C,1000,"), std::string::npos);
    EXPECT_EQ(bytes.find("older"), std::string::npos);
}
