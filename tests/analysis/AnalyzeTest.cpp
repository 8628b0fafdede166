// The analysis object: building the series from the price table, the parameters, errors, and the
// simulation step.
#include "AnalysisTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>

using namespace vorteq;
using namespace vorteq::testing;

namespace {
Status analyze(TStkAnalisys& a, const std::vector<PriceRow>& rows, const TJouken& j = TJouken(),
               bool simulate = false)
{
    return a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), j, "2006/01/04", "2006/03/31",
                     simulate);
}

// A random walk of whole prices with volumes, oldest day first in the making, rows newest first.
std::vector<PriceRow> randomSeries(const std::string& code, int days, unsigned seed)
{
    std::vector<std::array<std::string, 5>> oldestFirst;
    unsigned x = seed;
    int close = 500;
    for (int d = 0; d < days; ++d) {
        x = x * 1103515245u + 12345u;
        close = std::max(1, close + static_cast<int>(x >> 16) % 21 - 10);
        const int open = std::max(1, close + static_cast<int>(x >> 8) % 7 - 3);
        oldestFirst.push_back({std::to_string(open), std::to_string(std::max(open, close) + 2),
                               std::to_string(std::max(1, std::min(open, close) - 2)), std::to_string(close),
                               std::to_string(100 * (x % 50))});
    }
    auto rows = ohlcNewestFirst(oldestFirst);
    for (PriceRow& r : rows)
        r.code = code;
    return rows;
}

// Every entry and every field alike: the same text, empty or a number alike, the same value.
void expectSameRecords(const TStkAnalisys& got, const TStkAnalisys& want, const std::string& run)
{
    ASSERT_EQ(got.StkList.size(), want.StkList.size()) << run;
    for (std::size_t e = 0; e < want.StkList.size(); ++e) {
        const TStkData& g = got.StkList[e];
        const TStkData& w = want.StkList[e];
        ASSERT_EQ(g.DayCount, w.DayCount) << run;
        ASSERT_EQ(g.Days.size(), w.Days.size()) << run;
        for (std::size_t i = 0; i < w.Days.size(); ++i)
            for (int p = 0; p < TStkDailyData::kFieldCount; ++p) {
                const DayValue& a = g.Days[i][p];
                const DayValue& b = w.Days[i][p];
                const auto where = [&] {
                    return run + " stock " + std::to_string(e) + " day " + std::to_string(i) + " field " +
                           std::to_string(p);
                };
                ASSERT_EQ(a.text(), b.text()) << where();
                ASSERT_EQ(a.empty(), b.empty()) << where();
                ASSERT_EQ(a.isNumber(), b.isNumber()) << where();
                if (a.isNumber()) {
                    ASSERT_EQ(a.storedNumber(), b.storedNumber()) << where();
                }
            }
    }
}

// Texts in every position of every record, long ones (kept apart) and short ones, and numbers.
void scribble(TStkAnalisys& a)
{
    for (TStkData& stock : a.StkList)
        for (TStkDailyData& day : stock.Days)
            for (int p = 0; p < TStkDailyData::kFieldCount; ++p) {
                if (p % 3 == 0)
                    day[p].setText("a text longer than a field keeps in itself " + std::to_string(p));
                else if (p % 3 == 1)
                    day[p].setText("売");
                else
                    day[p].setNumber(p + 0.25L);
            }
}
} // namespace

TEST(DailySeries, InterleavedCodesGiveOneEntryEachInTableOrder)
{
    const std::vector<PriceRow> rows = {
        {"7203", "2006-03-31", "10", "11", "9", "10", "100"},
        {"6758", "2006-03-31", "20", "21", "19", "20", "200"},
        {"7203", "2006-03-30", "12", "13", "11", "12", "100"},
        {"6758", "2006-03-30", "22", "23", "21", "22", "200"},
        {"7203", "2006-03-29", "14", "15", "13", "14", "100"},
    };
    TStkAnalisys a;
    ASSERT_TRUE(analyze(a, rows));
    ASSERT_EQ(a.StkCount, 2);
    TStkData toyota, sony;
    ASSERT_TRUE(a.GetStkData(0, toyota));
    ASSERT_TRUE(a.GetStkData(1, sony));
    EXPECT_FALSE(a.GetStkData(2, sony));
    EXPECT_FALSE(a.GetStkData(-1, sony));
    EXPECT_EQ(toyota.StkCd, "7203");
    EXPECT_EQ(toyota.DayCount, 3);
    EXPECT_EQ(column(toyota, DayField::StkDate),
              (std::vector<std::string>{"2006/03/31", "2006/03/30", "2006/03/29"}));
    EXPECT_EQ(column(toyota, DayField::EPrice), (std::vector<std::string>{"10", "12", "14"}));
    EXPECT_EQ(sony.StkCd, "6758");
    EXPECT_EQ(sony.DayCount, 2);
    EXPECT_EQ(sony.Days[1].text(DayField::HPrice), "23");
    EXPECT_EQ(toyota.TermStart, "2006/01/04");
    EXPECT_EQ(sony.TermStart, "2006/01/04");
    EXPECT_EQ(sony.TermEnd, "2006/03/31");
    // Each series computed on its own: day 0 of 6758 compares 20 with 22, not with 7203's 12.
    EXPECT_EQ(sony.Days[0].text(DayField::ZenjituRate), "-9.09");
}

TEST(DailySeries, DaysKeepTheTableOrderWithoutSorting)
{
    const std::vector<PriceRow> rows = {
        {"1", "2006/01/05", "1", "1", "1", "1", "1"},
        {"1", "2006/01/09", "2", "2", "2", "2", "1"},
        {"1", "2006/01/06", "3", "3", "3", "3", "1"},
    };
    TStkAnalisys a;
    ASSERT_TRUE(analyze(a, rows));
    EXPECT_EQ(column(a.StkList[0], DayField::StkDate),
              (std::vector<std::string>{"2006/01/05", "2006/01/09", "2006/01/06"}));
}

TEST(DailySeries, SingleDayHasOnlyItsPricesAndTheRoundedFieldsReadZero)
{
    TStkAnalisys a;
    ASSERT_TRUE(analyze(a, {{"9984", "2006-05-01", "5000", "5100", "4900", "5050", "12000"}}));
    const TStkDailyData& d = a.StkList[0].Days[0];
    EXPECT_EQ(d.text(DayField::StkDate), "2006/05/01");
    EXPECT_EQ(d.text(DayField::SPrice), "5000");
    EXPECT_EQ(d.text(DayField::StkVlm), "12000");
    int zeros = 0;
    for (int p = pos(DayField::ZenjituRate); p < TStkDailyData::kFieldCount; ++p) {
        const std::string t = d.text(p);
        if (t == "0")
            ++zeros;
        else
            EXPECT_EQ(t, "") << kDayFieldNames[static_cast<std::size_t>(p)];
    }
    EXPECT_EQ(zeros, 40);
    EXPECT_EQ(d.text(DayField::Signal), "");
}

TEST(DailySeries, NoRowsNoEntries)
{
    TStkAnalisys a;
    EXPECT_TRUE(a.Analyze(makePtbl(8, 1), 0, TJouken(), "", "", false));
    EXPECT_EQ(a.StkCount, 0);
    EXPECT_TRUE(a.Analyze(nullptr, -3, TJouken(), "", "", false));
    EXPECT_EQ(a.StkCount, 0);
}

TEST(DailySeries, CopyOutlivesTheNextRunAndEveryRunStartsAfresh)
{
    TStkAnalisys a;
    ASSERT_TRUE(analyze(a, closesNewestFirst({"1", "2", "3"})));
    TStkData kept;
    ASSERT_TRUE(a.GetStkData(0, kept));
    a.BuyOrList.push_back("UseBuyRSI");
    ASSERT_TRUE(analyze(a, {{"8306", "2006-05-01", "1", "1", "1", "7", "1"}}));
    EXPECT_EQ(a.StkCount, 1) << "the previous run's entries are gone";
    EXPECT_TRUE(a.BuyOrList.empty()) << "the condition lists are new for each run";
    EXPECT_EQ(a.StkList[0].StkCd, "8306");
    EXPECT_EQ(kept.DayCount, 3);
    EXPECT_EQ(kept.Days[0].text(DayField::EPrice), "3");
    a.Clear();
    EXPECT_EQ(a.StkCount, 0);
    EXPECT_TRUE(a.StkList.empty());
    EXPECT_EQ(kept.Days[2].text(DayField::EPrice), "1");
}

TEST(DailySeries, RecordsOfAnEarlierRunCarryNothingOver)
{
    // One object analyses series of other lengths and stock counts in turn, after a caller (or the
    // back-test) wrote texts into its records; every run gives exactly the texts of a new object.
    const auto series = randomSeries;
    const auto concat = [](std::vector<PriceRow> a, const std::vector<PriceRow>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<std::vector<PriceRow>> runs = {
        series("1301", 80, 1),
        series("1301", 40, 2),
        concat(series("7203", 120, 3), series("8306", 30, 4)),
        series("6758", 150, 5),
        {},
        series("1301", 2, 6),
    };
    TStkAnalisys reused;
    for (std::size_t run = 0; run < runs.size(); ++run) {
        ASSERT_TRUE(analyze(reused, runs[run]));
        TStkAnalisys fresh;
        ASSERT_TRUE(analyze(fresh, runs[run]));
        ASSERT_EQ(reused.StkList.size(), fresh.StkList.size());
        for (std::size_t e = 0; e < fresh.StkList.size(); ++e) {
            ASSERT_EQ(reused.StkList[e].DayCount, fresh.StkList[e].DayCount);
            ASSERT_EQ(reused.StkList[e].Days.size(), fresh.StkList[e].Days.size());
            for (std::size_t i = 0; i < fresh.StkList[e].Days.size(); ++i)
                for (int p = 0; p < TStkDailyData::kFieldCount; ++p)
                    ASSERT_EQ(reused.StkList[e].Days[i].text(p), fresh.StkList[e].Days[i].text(p))
                        << "run " << run << " stock " << e << " day " << i << " field " << p;
        }
        for (TStkData& stock : reused.StkList)
            for (TStkDailyData& day : stock.Days) {
                day[DayField::Signal].setText("買");
                day[DayField::TradeAction].setText("a text too long for the cell itself");
                day[15].setText("x");
                day[DayField::RSI].setText("not a number at all, and long");
            }
    }
}

TEST(DailySeries, ReusedRecordsEqualFreshOnesFieldByFieldAtEveryLength)
{
    // One to four days (around the records asked for ahead), other lengths, and long series
    // (their records and columns in large pages), each by an object that reuses the records of the
    // run before (longer or shorter, every position scribbled over) and by a new object. A run
    // stopped by a price that is not a number leaves nothing behind for the next.
    TStkAnalisys reused;
    unsigned seed = 10;
    for (const int days : {20000, 1, 2, 3, 4, 17, 300, 20000, 5}) {
        const std::string run = std::to_string(days) + " days";
        const auto rows = randomSeries("1301", days, ++seed);
        ASSERT_TRUE(analyze(reused, rows)) << run;
        TStkAnalisys fresh;
        ASSERT_TRUE(analyze(fresh, rows)) << run;
        expectSameRecords(reused, fresh, run);
        scribble(reused);
        if (days == 300) {
            auto bad = randomSeries("9984", 40, ++seed);
            bad[20].close = "12,5";
            const Status st = analyze(reused, bad);
            ASSERT_FALSE(st);
            EXPECT_EQ(st.error().message,
                      "株価データの数値が正しくありません: 9984 " + bad[20].date + " EPrice = \"12,5\"");
            EXPECT_TRUE(reused.StkList.empty());
        }
    }
}

TEST(DailySeries, StepsByThemselvesGiveWhatAnalyzeGives)
{
    // Two stocks whose rows alternate, prices written in other forms than the general format,
    // zeros: Analyze (which reads the prices and writes each record once) and its steps run one
    // by one (records filled first, then computed) give the same records.
    std::vector<PriceRow> rows;
    for (int d = 40; d-- > 0;) {
        char date[16];
        std::snprintf(date, sizeof date, "2006-02-%02d", d % 28 + 1);
        const std::string c = std::to_string(100 + (d * 7) % 13);
        rows.push_back({"7203", date, c, std::to_string(110 + d % 5), "95", c, d % 6 ? "1500" : "0"});
        rows.push_back({"6758", date, "0" + c, c + ".0", "9.5e1", d % 9 ? " " + c : "0", "1e3"});
    }
    const TJouken j = conditionsWith({{"AmtBuyRCI1", "5"}, {"AmtDayOSI", "3"}});
    TStkAnalisys whole;
    ASSERT_TRUE(analyze(whole, rows, j));
    TStkAnalisys steps;
    steps.PriceTable = makePriceTable(rows);
    steps.RowCount = static_cast<int>(rows.size());
    steps.Jouken = j;
    ASSERT_TRUE(steps.LoadParams());
    ASSERT_TRUE(steps.LoadDailyData("2006/01/04", "2006/03/31"));
    ASSERT_EQ(steps.StkList.size(), 2u);
    EXPECT_EQ(steps.StkList[1].Days[0].text(DayField::HPrice), rows[1].high) << "a price keeps its text";
    EXPECT_EQ(steps.StkList[1].Days[0].text(DayField::RSI), "") << "nothing computed yet";
    ASSERT_TRUE(steps.CalcIndicators());
    ASSERT_EQ(whole.StkList.size(), 2u);
    for (std::size_t e = 0; e < 2; ++e) {
        EXPECT_EQ(whole.StkList[e].StkCd, steps.StkList[e].StkCd);
        ASSERT_EQ(whole.StkList[e].DayCount, 40);
        ASSERT_EQ(steps.StkList[e].DayCount, 40);
        for (std::size_t i = 0; i < 40; ++i)
            for (int p = 0; p < TStkDailyData::kFieldCount; ++p)
                ASSERT_EQ(whole.StkList[e].Days[i].text(p), steps.StkList[e].Days[i].text(p))
                    << "stock " << e << " day " << i << " field " << p;
    }
}

TEST(Parameters, EmptyKeysKeepTheDefaultsAndTheRecordIsCopied)
{
    TStkAnalisys a;
    TJouken j = conditionsWith({{"AmtBuyRSI1", " 14"}, {"AmtDayParaboAf", "0.5"}});
    ASSERT_TRUE(analyze(a, closesNewestFirst({"1", "2"}), j));
    EXPECT_EQ(a.param("DayRSI"), 14) << "leading blanks are accepted";
    EXPECT_EQ(a.param("ParaboAfStep"), 0.5L);
    EXPECT_EQ(a.param("ParaboAfLim"), 2.0L);
    EXPECT_EQ(a.param("DayIdo4"), 50);
    EXPECT_EQ(a.param("DayMACLong"), 26);
    j[fieldNo("AmtBuyRSI1")] = "3";
    EXPECT_EQ(a.Jouken.value("AmtBuyRSI1"), " 14");
}

TEST(Parameters, FactorLimitDefaultsToTwoNotPointTwo)
{
    // 150 rising days: the factor grows by 0.02 with each new high until it reaches 2.
    std::vector<std::string> closes;
    for (int i = 0; i < 150; ++i)
        closes.push_back(std::to_string(100 + i));
    const TStkData s = analyzeRows(closesNewestFirst(closes));
    EXPECT_EQ(s.Days[0].text(DayField::ParaboAf), "2");
    EXPECT_EQ(s.Days[139].text(DayField::ParaboAf), "0.2");
}

TEST(Parameters, BadKeysAreReportedByNameAndLeaveTheObjectCleared)
{
    struct Case {
        const char* key;
        const char* value;
        const char* message;
    };
    const Case cases[] = {
        {"AmtBuyRSI1", "abc", "計算条件の数値が正しくありません: AmtBuyRSI1 = \"abc\""},
        {"AmtBuyIdo", "5.5", "計算条件の数値が正しくありません: AmtBuyIdo = \"5.5\""},
        {"AmtDayWIL_VI", "3,0", "計算条件の数値が正しくありません: AmtDayWIL_VI = \"3,0\""},
        {"AmtDayCCI", "0", "計算条件の期間は1以上にしてください: AmtDayCCI = \"0\""},
        {"AmtDayDPO", "-4", "計算条件の期間は1以上にしてください: AmtDayDPO = \"-4\""},
        {"AmtBuyMACD1", "26",
         "MACDのロング期間はショート期間より大きくしてください: AmtBuyMACD1 = 26, AmtBuyMACD2 = 26"},
    };
    for (const Case& c : cases) {
        TStkAnalisys a;
        ASSERT_TRUE(analyze(a, closesNewestFirst({"1", "2"})));
        ASSERT_EQ(a.StkCount, 1);
        const Status st = analyze(a, closesNewestFirst({"1", "2"}), conditionsWith({{c.key, c.value}}));
        ASSERT_FALSE(st) << c.key;
        EXPECT_EQ(st.error().message, c.message);
        EXPECT_EQ(a.StkCount, 0);
        EXPECT_TRUE(a.StkList.empty());
    }
}

TEST(Parameters, HugePeriodsLeaveTheFieldsEmptyWithoutOverflow)
{
    const TStkData s = analyzeRows(closesNewestFirst({"1", "2", "3", "4"}),
                                   conditionsWith({{"AmtDayOSI", "2147483647"},
                                                   {"AmtDayCCI", "2000000000"},
                                                   {"AmtDayDPO", "2147483647"},
                                                   {"AmtBuyMACD2", "2147483647"},
                                                   {"AmtDayMAC_SI", "2147483647"}}));
    ASSERT_EQ(s.DayCount, 4);
    EXPECT_EQ(s.Days[0].text(DayField::OSI), "0");
    EXPECT_EQ(s.Days[0].text(DayField::CCITypAvg), "");
    EXPECT_EQ(s.Days[0].text(DayField::MACLongEMA), "");
}

TEST(BadPrices, NamedByStockDayFieldAndTextWithNothingHalfFilled)
{
    std::vector<PriceRow> rows = closesNewestFirst({"1", "2", "3"});
    rows.push_back({"4502", "2006-01-05", "10", "11", "9", "10", "100"});
    rows.push_back({"4502", "2006-01-04", "10", "1l", "9", "10", "100"});
    TStkAnalisys a;
    const Status st = analyze(a, rows);
    ASSERT_FALSE(st);
    EXPECT_EQ(st.error().message, "株価データの数値が正しくありません: 4502 2006/01/04 HPrice = \"1l\"");
    EXPECT_EQ(a.StkCount, 0);
    EXPECT_TRUE(a.StkList.empty());

    rows.back().high = "";
    EXPECT_FALSE(analyze(a, rows));
}

TEST(BadPrices, TableWithoutThePriceColumnsIsAnError)
{
    TStkAnalisys a;
    Status st = a.Analyze(makePtbl(6, 4), 3, TJouken(), "", "", false);
    ASSERT_FALSE(st);
    EXPECT_EQ(a.StkCount, 0);
    st = a.Analyze(makePriceTable(closesNewestFirst({"1", "2"})), 5, TJouken(), "", "", false);
    EXPECT_FALSE(st) << "more rows claimed than the table has";
    st = a.Analyze(nullptr, 2, TJouken(), "", "", false);
    EXPECT_FALSE(st);
    st = a.Analyze(makePriceTable(closesNewestFirst({"1", "2"})), 3, TJouken(), "", "", false);
    ASSERT_FALSE(st) << "more rows claimed than the table has";
    EXPECT_EQ(st.error().message, "株価データの表の形式が正しくありません: 3行の株価が必要です");
}

TEST(RecursivePass, EndsAtAZeroCloseText)
{
    // The recursive indicators stop at a day whose close is the text "0"; the window indicators
    // of the other passes still run.
    std::vector<std::string> closes;
    for (int i = 0; i < 40; ++i)
        closes.push_back(std::to_string(50 + i % 7));
    closes[20] = "0";
    const TStkData s = analyzeRows(closesNewestFirst(closes));
    const int zeroDay = 39 - 20;
    EXPECT_NE(s.Days[zeroDay + 1].text(DayField::RSIUpAvg), "");
    EXPECT_NE(s.Days[zeroDay].text(DayField::RSIUpAvg), "") << "the step of the zero day itself runs";
    EXPECT_EQ(s.Days[zeroDay - 1].text(DayField::RSIUpAvg), "");
    EXPECT_EQ(s.Days[0].text(DayField::RenzokuDays), "");
    EXPECT_NE(s.Days[0].text(DayField::IdoAvg1), "0");
}

namespace {
int g_simulations = 0;
Status countingSimulation(TStkAnalisys& a)
{
    ++g_simulations;
    a.BuyOrList.push_back("UseBuyRSI");
    return {};
}
Status failingSimulation(TStkAnalisys&)
{
    return makeError(ErrorCode::Data, "売買条件の数値が正しくありません");
}
} // namespace

TEST(Simulation, RunsAfterTheIndicatorsOnlyWhenAsked)
{
    TStkAnalisys a;
    EXPECT_TRUE(analyze(a, closesNewestFirst({"1", "2"}), TJouken(), true))
        << "no simulation set: indicators only";
    a.setSimulation(&countingSimulation);
    g_simulations = 0;
    ASSERT_TRUE(analyze(a, closesNewestFirst({"1", "2"}), TJouken(), false));
    EXPECT_EQ(g_simulations, 0);
    ASSERT_TRUE(analyze(a, closesNewestFirst({"1", "2"}), TJouken(), true));
    EXPECT_EQ(g_simulations, 1);
    EXPECT_EQ(a.BuyOrList.size(), 1u);

    a.setSimulation(&failingSimulation);
    const Status st = analyze(a, closesNewestFirst({"1", "2"}), TJouken(), true);
    ASSERT_FALSE(st);
    EXPECT_EQ(st.error().message, "売買条件の数値が正しくありません");
    EXPECT_EQ(a.StkCount, 0);
}

TEST(DailySeries, ComputingAgainGivesTheSameTexts)
{
    // 525 525 526 526 526: the average 525.59 would lose another hundredth if it were truncated
    // twice.
    TStkAnalisys a;
    ASSERT_TRUE(analyze(a, closesNewestFirst({"525", "525", "526", "526", "526", "530", "520"})));
    TStkData first;
    ASSERT_TRUE(a.GetStkData(0, first));
    ASSERT_TRUE(a.CalcStock(a.StkList[0]));
    for (int i = 0; i < first.DayCount; ++i)
        for (int p = 0; p < TStkDailyData::kFieldCount; ++p)
            EXPECT_EQ(a.StkList[0].Days[static_cast<std::size_t>(i)].text(p),
                      first.Days[static_cast<std::size_t>(i)].text(p));
}
