#include "common/DateText.h"

#include <gtest/gtest.h>

using namespace vorteq;

TEST(DateText, ParsesSlashAndDashForms)
{
    EXPECT_EQ(parseDate("2006/05/01"), (Date{2006, 5, 1}));
    EXPECT_EQ(parseDate("2006-05-01"), (Date{2006, 5, 1}));
    EXPECT_EQ(parseDate("2006/5/1"), (Date{2006, 5, 1}));
    EXPECT_EQ(normaliseDateText("2006-05-01"), "2006/05/01");
}

TEST(DateText, RejectsImpossibleOrDecoratedDates)
{
    for (const char* t : {"", "2006/02/30", "2005/02/29", "2006/13/01", "2006/00/10", "06/05/01",
                          "2006/05/01 ", " 2006/05/01", "2006.05.01", "2006/05/001", "abcd/ef/gh"})
        EXPECT_FALSE(parseDate(t)) << t;
    EXPECT_TRUE(parseDate("2008/02/29"));
    EXPECT_TRUE(parseDate("2000/02/29"));
    EXPECT_FALSE(parseDate("1900/02/29"));
}

TEST(DateText, FormatsWithZeroPadding)
{
    EXPECT_EQ(formatDate(Date{2006, 5, 1}), "2006/05/01");
    EXPECT_EQ(formatDate(Date{2026, 12, 31}), "2026/12/31");
}

TEST(DateText, DayArithmeticCrossesMonthsAndYears)
{
    EXPECT_EQ(addDays(Date{2006, 5, 15}, -80), (Date{2006, 2, 24}));
    EXPECT_EQ(addDays(Date{2006, 1, 10}, -80), (Date{2005, 10, 22}));
    EXPECT_EQ(addDays(Date{2008, 2, 28}, 1), (Date{2008, 2, 29}));
    EXPECT_EQ(addDays(Date{2007, 12, 31}, 1), (Date{2008, 1, 1}));
    EXPECT_EQ(toDayNumber(Date{1970, 1, 1}), 0);
    EXPECT_EQ(fromDayNumber(toDayNumber(Date{2004, 8, 19})), (Date{2004, 8, 19}));
    EXPECT_EQ(dayOfWeek(Date{2026, 12, 7}), 1); // a Monday
    EXPECT_EQ(dayOfWeek(Date{2007, 1, 2}), 2);
}

TEST(DateText, MonthArithmeticClampsToTheMonthsEnd)
{
    EXPECT_EQ(addMonths(Date{2006, 3, 31}, -1), (Date{2006, 2, 28}));
    EXPECT_EQ(addMonths(Date{2008, 3, 31}, -1), (Date{2008, 2, 29}));
    EXPECT_EQ(addMonths(Date{2006, 5, 15}, -3), (Date{2006, 2, 15}));
    EXPECT_EQ(addMonths(Date{2006, 1, 10}, -1), (Date{2005, 12, 10}));
    EXPECT_EQ(addMonths(Date{2006, 5, 31}, -12), (Date{2005, 5, 31}));
    EXPECT_EQ(addMonths(Date{2006, 1, 31}, 1), (Date{2006, 2, 28}));
}
