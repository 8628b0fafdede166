// Real and made-up price files run through Analyze as the price query delivers them (newest
// first). Expected values computed by hand from the CSV rows with python3 fractions (window sums,
// 15-digit texts, two-decimal truncation of the text's 80-bit value with numpy longdouble).
#include "AnalysisTestSupport.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::testing;

namespace {
TStkData analyzeFile(const char* name)
{
    const auto rows = loadCsvNewestFirst(std::string(VORTEQ_DATA_DIR) + "/" + name, "GOOG");
    TStkAnalisys a;
    const Status st = a.Analyze(makePriceTable(rows), static_cast<int>(rows.size()), TJouken::defaults(),
                                "2004/08/19", "2008/10/14", false);
    EXPECT_TRUE(st);
    TStkData s;
    EXPECT_TRUE(a.GetStkData(0, s));
    return s;
}

struct Expect {
    DayField field;
    const char* text;
};
} // namespace

TEST(RealSeries, WindowIndicatorsOnAFewDaysByHand)
{
    const TStkData s = analyzeFile("goog_2004-08-19_2008-10-14.csv");
    ASSERT_EQ(s.DayCount, 1047);
    struct Day {
        int index;
        const char* date;
        std::vector<Expect> values;
    };
    const Day days[] = {
        // 2008/10/14: close 362.71, previous 381.02, open 393.53; five closes average 348.56.
        {0,
         "2008/10/14",
         {{DayField::ZenjituRate, "-4.8"},
          {DayField::ToujituRate, "-7.83"},
          {DayField::IdoAvg1, "348.56"},
          {DayField::Kairi1, "4.05"},
          {DayField::IdoAvg4, "439.93"},
          {DayField::Kairi4, "-17.55"},
          {DayField::TrueRange, "37.5"},
          {DayField::WilR, "50.87"},
          {DayField::STC_K, "51.28"},
          {DayField::PSY, "33.33"},
          {DayField::VRB, "29.73"}}},
        // The +14.76 % day.
        {1,
         "2008/10/13",
         {{DayField::ZenjituRate, "14.76"},
          {DayField::ToujituRate, "7.09"},
          {DayField::IdoAvg1, "345.22"},
          {DayField::Kairi1, "10.36"},
          {DayField::IdoAvg4, "441.94"},
          {DayField::Kairi4, "-13.78"},
          {DayField::TrueRange, "49.95"},
          {DayField::WilR, "38.38"},
          {DayField::STC_K, "66.29"},
          {DayField::PSY, "33.33"},
          {DayField::VRB, "34.53"}}},
        {500,
         "2006/10/18",
         {{DayField::ZenjituRate, "-0.31"},
          {DayField::ToujituRate, "-0.86"},
          {DayField::IdoAvg1, "423.28"},
          {DayField::Kairi1, "-0.93"},
          {DayField::IdoAvg4, "396.3"},
          {DayField::Kairi4, "5.8"},
          {DayField::TrueRange, "7.25"},
          {DayField::WilR, "65.97"},
          {DayField::STC_K, "34.02"},
          {DayField::PSY, "41.66"},
          {DayField::VRB, "40.24"}}},
        // The 60th day from the oldest: the 50-day average has just started.
        {987,
         "2004/11/11",
         {{DayField::ZenjituRate, "9.03"},
          {DayField::ToujituRate, "8.21"},
          {DayField::IdoAvg1, "172.29"},
          {DayField::Kairi1, "6.22"},
          {DayField::IdoAvg4, "142.48"},
          {DayField::Kairi4, "28.45"},
          {DayField::TrueRange, "16.18"},
          {DayField::WilR, "51.14"},
          {DayField::STC_K, "48.85"},
          {DayField::PSY, "41.66"},
          {DayField::VRB, "44.35"}}},
    };
    for (const Day& d : days) {
        const TStkDailyData& day = s.Days[static_cast<std::size_t>(d.index)];
        EXPECT_EQ(day.text(DayField::StkDate), d.date);
        for (const Expect& e : d.values)
            EXPECT_EQ(day.text(e.field), e.text)
                << d.date << " " << kDayFieldNames[static_cast<std::size_t>(pos(e.field))];
    }
    // Every indicator has a value on the newest day of a long series.
    for (DayField f :
         {DayField::RSI, DayField::CCI, DayField::DPO, DayField::OSI, DayField::RCI, DayField::ADX,
          DayField::MACSignal, DayField::ParaboSAR, DayField::WilSAR, DayField::STC_SD})
        EXPECT_NE(s.Days[0].text(f), "0") << kDayFieldNames[static_cast<std::size_t>(pos(f))];
}

TEST(RealSeries, FlatStretchesOfTheSyntheticSeries)
{
    const TStkData s = analyzeFile("edge_flat_synthetic.csv");
    ASSERT_EQ(s.DayCount, 120);
    // 2020/02/28, the 40th row: 40 equal prices of 100 since the first row.
    const TStkDailyData& first = s.Days[80];
    EXPECT_EQ(first.text(DayField::StkDate), "2020/02/28");
    const Expect flat100[] = {
        {DayField::RSI, "0"},          {DayField::RSIUpAvg, "0"},      {DayField::RenzokuDays, "39"},
        {DayField::OSI, "0"},          {DayField::CCI, "0"},           {DayField::CCITypDev, "0"},
        {DayField::WilR, "0"},         {DayField::STC_K, "0"},         {DayField::STC_High, ""},
        {DayField::DPO, "0"},          {DayField::ADX, "0"},           {DayField::DX, ""},
        {DayField::VolinPlus2, "100"}, {DayField::VolinMinus2, "100"}, {DayField::MPSY, "0"},
        {DayField::VRA, "100"},        {DayField::VRB, "50"},          {DayField::VRW, "-100"},
        {DayField::ARatio, "0"},       {DayField::BRatio, "0"},        {DayField::TrueRange, "0"},
    };
    for (const Expect& e : flat100)
        EXPECT_EQ(first.text(e.field), e.text) << kDayFieldNames[static_cast<std::size_t>(pos(e.field))];

    // 2020/05/15, the last of 25 flat days at 98.7 (the close before them was 98.79): the run
    // restarts at the first flat day, and the bands of 98.7 carry a variance of 1.78E-15 from
    // the binary sums (bands 98.7000000421468 and 98.6999999578532 before truncation).
    const TStkDailyData& second = s.Days[25];
    EXPECT_EQ(second.text(DayField::StkDate), "2020/05/15");
    const Expect flat98[] = {
        {DayField::RenzokuDays, "25"},
        {DayField::VRA, "100"},
        {DayField::VRB, "50"},
        {DayField::VRW, "-100"},
        {DayField::WilR, "0"},
        {DayField::MPSY, "0"},
        {DayField::PSY, "0"},
        {DayField::STC_K, "0"},
        {DayField::TrueRange, "0"},
        {DayField::VolinPlus1, "98.7"},
        {DayField::VolinMinus1, "98.69"},
        {DayField::VolinMinus2, "98.69"},
    };
    for (const Expect& e : flat98)
        EXPECT_EQ(second.text(e.field), e.text) << kDayFieldNames[static_cast<std::size_t>(pos(e.field))];
}
