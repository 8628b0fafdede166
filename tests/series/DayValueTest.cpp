#include "common/NumberText.h"
#include "series/TStkDailyData.h"

#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <string>
#include <utility>

using namespace vorteq;

TEST(DayValue, KeepsTextsAsGivenShortAndLong)
{
    DayValue v;
    EXPECT_TRUE(v.empty());
    EXPECT_EQ(v.text(), "");
    EXPECT_FALSE(v.number());

    v.setText("0100.50");
    EXPECT_EQ(v.text(), "0100.50") << "a price text stays byte for byte";
    EXPECT_EQ(*v.number(), *parseNumber("100.5"));

    const std::string label = "買い返済・新規売り（翌日始値で約定）"; // longer than the inline room
    DayValue w;
    w.setText(label);
    DayValue copy = w;
    DayValue moved = std::move(w);
    EXPECT_EQ(copy.text(), label);
    EXPECT_EQ(moved.text(), label);
    copy.setText("x");
    EXPECT_EQ(moved.text(), label) << "copies do not share their text";
    copy = moved;
    EXPECT_EQ(copy.text(), label);
    EXPECT_FALSE(copy.number());
}

TEST(DayValue, NumbersReadBackAsTheirText)
{
    DayValue v;
    v.setNumber(1.0L / 3.0L);
    EXPECT_EQ(v.text(), "0.333333333333333");
    EXPECT_EQ(*v.number(), *parseNumber("0.333333333333333"));
    v.setNumber(-0.0L);
    EXPECT_EQ(v.text(), "0");
    EXPECT_TRUE(v.textEquals("0"));
    v.setNumber(25000000000000000.0L);
    EXPECT_EQ(v.text(), "2.5E16");
    EXPECT_FALSE(v.textEquals("0"));
    v.setNumber(std::numeric_limits<long double>::infinity());
    EXPECT_TRUE(v.empty()) << "a value without a finite text is no value";
    v.setNumber(std::numeric_limits<long double>::quiet_NaN());
    EXPECT_TRUE(v.empty());
}

TEST(DayValue, PriceTextsInTheNumberFormatAreKeptAsNumbers)
{
    // Texts that the general format writes for their own number: read without conversion.
    const std::pair<const char*, long double> numbers[] = {
        {"1234", 1234.0L},
        {"0", 0.0L},
        {"-7.5", -7.5L},
        {"0.0031", 31.0L / 10000},
        {"0.0001", 1.0L / 10000},
        {"525.6", 5256.0L / 10},
        {"999999999999999", 999999999999999.0L},
        {"100.05", 10005.0L / 100},
    };
    for (const auto& [text, value] : numbers) {
        DayValue v;
        v.setTextOrNumber(text);
        EXPECT_TRUE(v.isNumber()) << text;
        EXPECT_EQ(v.text(), text);
        EXPECT_EQ(v.storedNumber(), value) << text;
        EXPECT_EQ(v.textEquals("0"), std::string_view(text) == "0") << text;
    }
    // Any other text stays as it was given, byte for byte, and reads as it did.
    const char* const texts[] = {"100.50", "0100", "-0",  "+5", " 5", "1E3", "0.00001",   "1234567890123456",
                                 "5.",     ".5",   "12a", "",   "-",  "0.0", "2006/05/01"};
    for (const char* text : texts) {
        DayValue v;
        v.setTextOrNumber(text);
        EXPECT_FALSE(v.isNumber()) << text;
        EXPECT_EQ(v.text(), text);
        EXPECT_EQ(v.number(), parseNumber(text)) << text;
    }
}

TEST(DayValue, TwoDecimalValuesWriteTheirDecimals)
{
    const std::pair<std::int64_t, const char*> cases[] = {
        {52559, "525.59"}, {-7, "-0.07"}, {0, "0"},
        {50, "0.5"},       {100, "1"},    {-1230, "-12.3"},
        {1, "0.01"},       {-100, "-1"},  {99999999999999, "999999999999.99"},
    };
    for (const auto& [q, text] : cases) {
        DayValue v;
        v.setHundredths(q);
        EXPECT_EQ(v.text(), text) << q;
        EXPECT_EQ(v.storedNumber(), *parseNumber(text)) << "the value is what the text reads back as";
        EXPECT_EQ(v.textEquals("0"), q == 0);
    }
}

TEST(DailyData, PositionsAndNamesAgree)
{
    EXPECT_EQ(findDayField("EPrice"), 4);
    EXPECT_EQ(findDayField("VlmRateInt"), 19);
    EXPECT_EQ(findDayField("ParaboAf"), 86);
    EXPECT_EQ(findDayField("VolinMinus2"), 98);
    EXPECT_FALSE(findDayField("eprice"));
    EXPECT_FALSE(findDayField(""));
    std::set<std::string_view> names;
    int unused = 0;
    for (std::string_view n : kDayFieldNames) {
        if (n.empty())
            ++unused;
        else
            EXPECT_TRUE(names.insert(n).second) << n;
    }
    EXPECT_EQ(unused, 26);
    EXPECT_EQ(names.size(), 73u);

    TStkDailyData d;
    d[DayField::StkDate].setText("2006/05/01");
    d[4].setText("520");
    EXPECT_EQ(d.text("StkDate"), "2006/05/01");
    EXPECT_EQ(d.text(DayField::EPrice), "520");
    EXPECT_EQ(d.field("EPrice"), &d[4]);
    EXPECT_EQ(d.field("Nothing"), nullptr);
    EXPECT_EQ(d.text("Nothing"), "");
}
