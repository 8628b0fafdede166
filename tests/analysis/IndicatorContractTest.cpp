// What every indicator must do, checked once over the whole indicator table: the input texts are
// left as they were, the first value sits exactly on the oldest day its window allows, flat and
// zero series give no infinity or NaN text, and a short history is not an error.
#include "AnalysisTestSupport.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

// One indicator field, the key of its period, and the oldest day (index from the newest) that
// has a value for N days and period p; -1 when no day can have one.
struct Contract {
    DayField field;
    const char* key;
    std::function<int(int n, int p)> oldestDay;
};

const std::vector<Contract>& contracts()
{
    static const std::vector<Contract> table = {
        {DayField::TrueRange, nullptr, [](int n, int) { return n - 2; }},
        {DayField::ZenjituRateInt, nullptr, [](int n, int) { return n - 2; }},
        {DayField::PlusDM, nullptr, [](int n, int) { return n - 2; }},
        {DayField::OSIRange, nullptr, [](int n, int) { return n - 2; }},
        {DayField::IdoAvg1, "AmtBuyIdo", [](int n, int p) { return n - p; }},
        {DayField::IdoAvg4, "AmtBuyCloss2", [](int n, int p) { return n - p; }},
        {DayField::VolinPlus1, "AmtBuyVolin", [](int n, int p) { return n - p - 1; }},
        {DayField::CCITypAvg, "AmtDayCCI", [](int n, int p) { return n - p - 1; }},
        {DayField::CCI, "AmtDayCCI", [](int n, int p) { return n - 2 * p; }},
        {DayField::ARatio, "AmtDayABRatio", [](int n, int p) { return n - p - 1; }},
        {DayField::DPOAvg, "AmtDayDPO", [](int n, int p) { return n - p - 1; }},
        // i + p + p/2 + 1 < N with p/2 an exact half.
        {DayField::DPO, "AmtDayDPO", [](int n, int p) { return (2 * n - 3 * p - 3) / 2; }},
        {DayField::WilR, "AmtBuyWilR1", [](int n, int p) { return n - p - 1; }},
        {DayField::RCI, "AmtBuyRCI1", [](int n, int p) { return n - p - 1; }},
        {DayField::PSY, "AmtBuyPSY1", [](int n, int p) { return n - p - 1; }},
        {DayField::MPSY, "AmtBuyMPSY1", [](int n, int p) { return n - p - 1; }},
        {DayField::STC_K, "AmtBuySTK1", [](int n, int p) { return n - p - 1; }},
        // %D (period 5) needs %K on all its days; slow %D (3) needs %D on all of its.
        {DayField::STC_D, "AmtBuySTK1", [](int n, int p) { return n - p - 5; }},
        {DayField::STC_SD, "AmtBuySTK1", [](int n, int p) { return n - p - 7; }},
        {DayField::VRA, "AmtBuyVRA1", [](int n, int p) { return n - p - 1; }},
        {DayField::VRW, "AmtBuyVRW1", [](int n, int p) { return n - p - 1; }},
        {DayField::PlusDI, "AmtBuyDMI", [](int n, int p) { return n - p - 1; }},
        {DayField::ADX, "AmtBuyDMI", [](int n, int p) { return n - 2 * p; }},
        {DayField::OSI, "AmtDayOSI", [](int n, int p) { return n - 4 * p - 1; }},
        {DayField::RSI, "AmtBuyRSI1", [](int n, int p) { return n - p - 1; }},
        {DayField::MACShortEMA, "AmtBuyMACD1", [](int n, int p) { return n - p; }},
        {DayField::MACLongEMA, "AmtBuyMACD2", [](int n, int p) { return n - p; }},
        {DayField::MACD, "AmtBuyMACD2", [](int n, int p) { return n - p - 1; }},
        {DayField::MACSignal, "AmtBuyMACD2", [](int n, int p) { return n - p - 9; }},
        {DayField::ParaboSAR, nullptr, [](int n, int) { return n - 2; }},
        {DayField::RenzokuDays, nullptr, [](int n, int) { return n - 3; }},
        {DayField::WilATR, "AmtDayWIL", [](int n, int p) { return n - p - 1; }},
        {DayField::WilSAR, "AmtDayWIL", [](int n, int p) { return n - p - 2; }},
    };
    return table;
}

// A zig-zag with a drift: no window is flat, no change is zero, so every value is non-zero.
std::vector<PriceRow> zigzag(int days)
{
    std::vector<std::array<std::string, 5>> d;
    for (int k = 0; k < days; ++k) {
        const int c = 1000 + 7 * k + (k % 3 == 0 ? 40 : (k % 3 == 1 ? -25 : 5));
        d.push_back({std::to_string(c - 3), std::to_string(c + 9 + k % 5), std::to_string(c - 11 - k % 4),
                     std::to_string(c), std::to_string(5000 + 100 * (k % 9))});
    }
    return ohlcNewestFirst(d);
}

// A value on that day: a rounded field reads "0" when it has none (the series never gives a true
// zero there); every other field is empty.
bool hasValue(const TStkDailyData& d, DayField f)
{
    static const DayField plain[] = {DayField::TrueRange,   DayField::ZenjituRateInt, DayField::PlusDM,
                                     DayField::OSIRange,    DayField::CCITypAvg,      DayField::DPOAvg,
                                     DayField::MACShortEMA, DayField::MACLongEMA,     DayField::RenzokuDays,
                                     DayField::WilATR};
    const std::string t = d.text(f);
    if (std::find(std::begin(plain), std::end(plain), f) != std::end(plain))
        return !t.empty();
    return !t.empty() && t != "0";
}

} // namespace

TEST(IndicatorContract, FirstValueExactlyWhereTheWindowAllows)
{
    const int n = 70;
    for (const Contract& c : contracts()) {
        for (int period : {3, 5, 8}) {
            TJouken j;
            if (c.key) {
                j.set(c.key, std::to_string(period));
                if (std::string_view(c.key) == "AmtBuyMACD1")
                    j.set("AmtBuyMACD2", "20");
                if (std::string_view(c.key) == "AmtBuyMACD2")
                    j.set("AmtBuyMACD1", std::to_string(period - 1));
            }
            const TStkData s = analyzeRows(zigzag(n), j);
            ASSERT_EQ(s.DayCount, n);
            const int p = c.key ? period : 0;
            const int oldest = c.oldestDay(n, p);
            const auto name = kDayFieldNames[static_cast<std::size_t>(pos(c.field))];
            ASSERT_GE(oldest, 0) << name;
            EXPECT_TRUE(hasValue(s.Days[static_cast<std::size_t>(oldest)], c.field))
                << name << " period " << period;
            EXPECT_TRUE(hasValue(s.Days[0], c.field)) << name;
            if (oldest + 1 < n) {
                EXPECT_FALSE(hasValue(s.Days[static_cast<std::size_t>(oldest + 1)], c.field))
                    << name << " period " << period;
            }
        }
    }
}

TEST(IndicatorContract, WindowLimitsAtTheirEdges)
{
    // DPO 20 on 30 days: averages on days 0..9, the oscillator on none (it needs i + 31 < 30).
    TStkData s = analyzeRows(zigzag(30), conditionsWith({{"AmtDayDPO", "20"}}));
    EXPECT_TRUE(hasValue(s.Days[9], DayField::DPOAvg));
    EXPECT_FALSE(hasValue(s.Days[10], DayField::DPOAvg));
    EXPECT_FALSE(hasValue(s.Days[0], DayField::DPO));
    // RSI 9 on 10 days: day 0 only, from the simple means.
    s = analyzeRows(zigzag(10));
    EXPECT_TRUE(hasValue(s.Days[0], DayField::RSI));
    EXPECT_FALSE(hasValue(s.Days[1], DayField::RSI));
    // MACD defaults on 26 days: short average on days 0..14, long on day 0, no MACD.
    s = analyzeRows(zigzag(26));
    EXPECT_TRUE(hasValue(s.Days[14], DayField::MACShortEMA));
    EXPECT_FALSE(hasValue(s.Days[15], DayField::MACShortEMA));
    EXPECT_TRUE(hasValue(s.Days[0], DayField::MACLongEMA));
    EXPECT_FALSE(hasValue(s.Days[1], DayField::MACLongEMA));
    EXPECT_FALSE(hasValue(s.Days[0], DayField::MACD));
    // Ultimate oscillator 7 needs 29 days: the oldest with a value is day N-29.
    s = analyzeRows(zigzag(40));
    EXPECT_TRUE(hasValue(s.Days[11], DayField::OSI));
    EXPECT_FALSE(hasValue(s.Days[12], DayField::OSI));
    // N equal to the window: the average on day 0 only; the CCI average needs one day more.
    s = analyzeRows(zigzag(5));
    EXPECT_TRUE(hasValue(s.Days[0], DayField::IdoAvg1));
    EXPECT_FALSE(hasValue(s.Days[1], DayField::IdoAvg1));
    s = analyzeRows(zigzag(20));
    EXPECT_EQ(s.Days[0].text(DayField::CCITypAvg), "");
}

TEST(IndicatorContract, InputTextsAreLeftAsTheyWere)
{
    std::vector<PriceRow> rows = zigzag(60);
    rows[3].close = "01037.50";
    rows[4].volume = "+5200";
    rows[5].open = " 1020";
    const Ptbl table = makePriceTable(rows);
    const PtblData before = *table;
    TStkAnalisys a;
    ASSERT_TRUE(a.Analyze(table, 60, TJouken::defaults(), "2006/01/01", "2006/12/31", false));
    for (int col = 1; col <= 7; ++col)
        for (int row = 0; row < before.rowCount(); ++row)
            EXPECT_EQ(table->text(col, row), before.text(col, row)) << "column " << col << " row " << row;
    const auto& days = a.StkList[0].Days;
    EXPECT_EQ(days[3].text(DayField::EPrice), "01037.50");
    EXPECT_EQ(days[4].text(DayField::StkVlm), "+5200");
    EXPECT_EQ(days[5].text(DayField::SPrice), " 1020");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(days[i].text(DayField::HPrice), rows[i].high);
        EXPECT_EQ(days[i].text(DayField::LPrice), rows[i].low);
    }
}

TEST(IndicatorContract, FlatZeroAndShortSeriesGiveNoInfinityAndNoError)
{
    std::vector<std::vector<PriceRow>> series = {
        closesNewestFirst(std::vector<std::string>(80, "250")),
        closesNewestFirst(std::vector<std::string>(80, "0.3"), "0"),
        closesNewestFirst({"5", "0", "5", "0", "5", "5", "5", "5"}, "0"),
    };
    for (int n = 1; n <= 4; ++n)
        series.push_back(zigzag(n));
    for (const auto& rows : series) {
        TStkAnalisys a;
        const Status st = a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), TJouken::defaults(),
                                    "", "", false);
        ASSERT_TRUE(st) << st.error().message;
        for (const auto& d : a.StkList[0].Days)
            for (int p = 0; p < TStkDailyData::kFieldCount; ++p) {
                const std::string t = d.text(p);
                EXPECT_EQ(t.find("INF"), std::string::npos) << kDayFieldNames[static_cast<std::size_t>(p)];
                EXPECT_EQ(t.find("NAN"), std::string::npos) << kDayFieldNames[static_cast<std::size_t>(p)];
            }
    }
}
