// What every indicator must do, checked once over the whole indicator table: the input texts are
// left as they were, the first value sits exactly on the oldest day its window allows, flat and
// zero series give no infinity or NaN text, and a short history is not an error.
#include "AnalysisTestSupport.h"
#include "indicators/IndicatorTable.h"
#include "indicators/SeriesWork.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

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
    const auto rounded = outputsOfKind(OutputKind::Rounded);
    const std::string t = d.text(f);
    if (std::find(rounded.begin(), rounded.end(), f) == rounded.end())
        return !t.empty();
    return !t.empty() && t != "0";
}

// The parameter values to try for an indicator: the defaults, then each period at 3, 5 and 8 with
// the others at their defaults (where the indicator accepts the combination).
std::vector<std::vector<long double>> variantsOf(const IndicatorDef& ind)
{
    const std::vector<long double> defaults = defaultParamValues();
    std::vector<std::vector<long double>> variants = {defaults};
    for (const TableParam& p : tableParams()) {
        if (p.indicator != &ind || p.def->kind != ParamKind::Period)
            continue;
        for (const int period : {3, 5, 8}) {
            std::vector<long double> v = defaults;
            v[p.index] = period;
            if (!ind.checkParams || !ind.checkParams(paramsOf(ind, v)))
                variants.push_back(v);
        }
    }
    return variants;
}

// The conditions that set an indicator's parameters to the given values.
TJouken conditionsFor(const IndicatorDef& ind, const std::vector<long double>& values)
{
    TJouken j;
    for (const TableParam& p : tableParams())
        if (p.indicator == &ind && p.def->kind == ParamKind::Period)
            j.set(p.def->key, std::to_string(static_cast<int>(values[p.index])));
    return j;
}

// "RSI AmtBuyRSI1=9" for the failure messages.
std::string describe(const IndicatorDef& ind, const std::vector<long double>& values)
{
    std::string text(ind.name);
    for (const TableParam& p : tableParams())
        if (p.indicator == &ind && p.def->kind == ParamKind::Period)
            text += " " + std::string(p.def->key) + "=" + std::to_string(static_cast<int>(values[p.index]));
    return text;
}

} // namespace

TEST(IndicatorContract, EveryComputedFieldHasExactlyOneIndicator)
{
    int outputs = 0;
    for (const IndicatorDef* ind : indicatorTable())
        outputs += static_cast<int>(ind->outputs.size());
    int named = 0;
    for (int p = SeriesWork::kFirstComputed; p < kDayFieldCount; ++p)
        if (!kDayFieldNames[static_cast<std::size_t>(p)].empty()) {
            ++named;
            EXPECT_NE(writerOf(static_cast<DayField>(p)), nullptr)
                << kDayFieldNames[static_cast<std::size_t>(p)];
        }
    EXPECT_EQ(outputs, named) << "a field written by two indicators";
    EXPECT_EQ(outputs, 65);
}

TEST(IndicatorContract, FirstValueExactlyAtTheLookback)
{
    const int n = 70;
    for (const IndicatorDef* ind : indicatorTable())
        for (const std::vector<long double>& values : variantsOf(*ind)) {
            const TStkData s = analyzeRows(zigzag(n), conditionsFor(*ind, values));
            ASSERT_EQ(s.DayCount, n);
            for (const OutputDef& out : ind->outputs) {
                const int oldest = n - 1 - ind->lookback(paramsOf(*ind, values), out.field);
                const auto name = kDayFieldNames[static_cast<std::size_t>(pos(out.field))];
                const std::string where = std::string(name) + ", " + describe(*ind, values);
                ASSERT_GE(oldest, 0) << where;
                ASSERT_LT(oldest, n) << where;
                EXPECT_TRUE(hasValue(s.Days[static_cast<std::size_t>(oldest)], out.field)) << where;
                EXPECT_TRUE(hasValue(s.Days[0], out.field)) << where;
                if (oldest + 1 < n) {
                    EXPECT_FALSE(hasValue(s.Days[static_cast<std::size_t>(oldest + 1)], out.field)) << where;
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

TEST(IndicatorContract, HistoryShorterThanTheLookbackGivesNoValue)
{
    const std::vector<long double> defaults = defaultParamValues();
    for (const int days : {1, 2, 3, 5, 10, 20, 40}) {
        const TStkData s = analyzeRows(zigzag(days));
        ASSERT_EQ(s.DayCount, days);
        for (const IndicatorDef* ind : indicatorTable())
            for (const OutputDef& out : ind->outputs) {
                if (ind->lookback(paramsOf(*ind, defaults), out.field) < days)
                    continue;
                for (const TStkDailyData& d : s.Days)
                    EXPECT_FALSE(hasValue(d, out.field))
                        << kDayFieldNames[static_cast<std::size_t>(pos(out.field))] << " on " << days
                        << " days";
            }
    }
}
