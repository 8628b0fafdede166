// Planning a run: the period's first day from the base date and the period choice, the lead-in
// date 80 days earlier, and the price query over the yearly tables. Dates counted on a calendar.
#include "simulation/RunPlan.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace vorteq;

namespace {

std::string start(const char* end, SimPeriod p)
{
    const auto s = periodStart(end, p);
    EXPECT_TRUE(s) << s.error().message;
    return s ? *s : std::string();
}

// The SELECT of one yearly table as the query writes it.
std::string select(char alias, const std::string& table, const std::string& code, const std::string& from,
                   const std::string& to)
{
    const std::string a(1, alias);
    return "SELECT " + a + ".STK_CD, " + a + ".STK_DATE, " + a + ".S_PRICE, " + a + ".H_PRICE, " + a +
           ".L_PRICE, " + a + ".E_PRICE, " + a + ".STK_VLM FROM " + table + " " + a + " WHERE " + a +
           ".STK_CD = '" + code + "' AND " + a + ".STK_DATE >= '" + from + "' AND " + a + ".STK_DATE <= '" +
           to + "' AND " + a + ".E_PRICE <> '0' ";
}

} // namespace

TEST(PeriodStart, MonthsBackKeepTheDay)
{
    EXPECT_EQ(start("2006/05/15", SimPeriod::ThreeMonths), "2006/02/15");
    EXPECT_EQ(start("2006/12/20", SimPeriod::OneMonth), "2006/11/20");
    EXPECT_EQ(start("2006/01/10", SimPeriod::OneMonth), "2005/12/10"); // month 0 is December before
    EXPECT_EQ(start("2006/05/15", SimPeriod::SixMonths), "2005/11/15");
    EXPECT_EQ(start("2007/02/10", SimPeriod::OneYear), "2006/02/10");
}

TEST(PeriodStart, YearAndMonthToDate)
{
    EXPECT_EQ(start("2006/08/09", SimPeriod::YearToDate), "2006/01/01");
    EXPECT_EQ(start("2006/08/09", SimPeriod::MonthToDate), "2006/08/01");
    const auto none = periodStart("2006/08/09", std::nullopt);
    ASSERT_TRUE(none);
    EXPECT_EQ(*none, "2006/08/09");
}

TEST(PeriodStart, DayBeyondTheTargetMonthIsClampedToItsEnd)
{
    EXPECT_EQ(start("2006/03/31", SimPeriod::OneMonth), "2006/02/28");
    EXPECT_EQ(start("2008/05/31", SimPeriod::ThreeMonths), "2008/02/29");
    EXPECT_EQ(start("2008/02/29", SimPeriod::OneYear), "2007/02/28");
    EXPECT_EQ(start("2006/12/31", SimPeriod::SixMonths), "2006/06/30");
}

TEST(PeriodStart, BaseDateThatIsNotADateIsRefused)
{
    const auto s = periodStart("2006/02/30", SimPeriod::OneMonth);
    ASSERT_FALSE(s);
    EXPECT_NE(s.error().message.find("2006/02/30"), std::string::npos);
    EXPECT_FALSE(leadInDate("20060215"));
}

TEST(LeadIn, EightyCalendarDaysBeforeTheStart)
{
    EXPECT_EQ(*leadInDate("2006/02/15"), "2005/11/27");
    EXPECT_EQ(*leadInDate("2006/11/20"), "2006/09/01");
    EXPECT_EQ(*leadInDate("2006/02/10"), "2005/11/22");
    EXPECT_EQ(*leadInDate("2008/03/20"), "2007/12/31"); // across a 29-day February
}

TEST(PriceQuery, TwoYearlyTables)
{
    const auto plan = planSimulation("2006/05/15", SimPeriod::ThreeMonths, "1301", "11");
    ASSERT_TRUE(plan) << plan.error().message;
    EXPECT_EQ(plan->start, "2006/02/15");
    EXPECT_EQ(plan->leadIn, "2005/11/27");
    EXPECT_EQ(plan->end, "2006/05/15");
    EXPECT_EQ(plan->query,
              select('a', "STK_DAILY_TSE_2006", "1301", "2005/11/27", "2006/05/15") + "UNION ALL " +
                  select('b', "STK_DAILY_TSE_2005", "1301", "2005/11/27", "2006/05/15") + "ORDER BY 2 DESC");
}

TEST(PriceQuery, OneTableWithinTheYear)
{
    const auto plan = planSimulation("2006/12/20", SimPeriod::OneMonth, "6758", "21");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->query, select('a', "STK_DAILY_DSE_2006", "6758", "2006/09/01", "2006/12/20") +
                               "ORDER BY a.STK_DATE DESC");
}

TEST(PriceQuery, OneYearAcrossThreeTables)
{
    const auto plan = planSimulation("2007/02/10", SimPeriod::OneYear, "9984", "91");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->start, "2006/02/10");
    EXPECT_EQ(plan->leadIn, "2005/11/22");
    EXPECT_EQ(plan->query,
              select('a', "STK_DAILY_JSA_2007", "9984", "2005/11/22", "2007/02/10") + "UNION ALL " +
                  select('b', "STK_DAILY_JSA_2006", "9984", "2005/11/22", "2007/02/10") + "UNION ALL " +
                  select('b', "STK_DAILY_JSA_2005", "9984", "2005/11/22", "2007/02/10") + "ORDER BY 2 DESC");
}

TEST(PriceQuery, NoTableBeforeTheFirstYear)
{
    // Start 2005/01/01, lead-in 2004/10/13: there is no 2004 table.
    const auto plan = planSimulation("2005/02/01", SimPeriod::OneMonth, "1301", "999");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->leadIn, "2004/10/13");
    EXPECT_EQ(plan->query, select('a', "STK_DAILY_FX_2005", "1301", "2004/10/13", "2005/02/01") +
                               "ORDER BY a.STK_DATE DESC");
}

TEST(PriceQuery, CodeQuotesAreDoubledAndUnknownMarketsRefused)
{
    const auto q = priceQuery("13'01", "12", "2006/01/01", "2006/02/01");
    ASSERT_TRUE(q);
    EXPECT_NE(q->find("a.STK_CD = '13''01' "), std::string::npos) << *q;
    const auto bad = priceQuery("1301", "77", "2006/01/01", "2006/02/01");
    ASSERT_FALSE(bad);
    EXPECT_NE(bad.error().message.find("77"), std::string::npos);
}

// The long choices follow the six short ones; none reaches before the first table's year.
TEST(PeriodStart, LongPeriodsCountYearsBackFromTheBaseDate)
{
    EXPECT_EQ(start("2012/06/29", SimPeriod::ThreeYears), "2009/06/29");
    EXPECT_EQ(start("2012/02/29", SimPeriod::FiveYears), "2007/02/28");
    EXPECT_EQ(start("2016/03/31", SimPeriod::TenYears), "2006/03/31");
    EXPECT_EQ(start("2012/06/29", SimPeriod::All), "2005/01/01");
    // Ten years back from 2012 would be 2002: the history starts in 2005.
    EXPECT_EQ(start("2012/06/29", SimPeriod::TenYears), "2005/01/01");
    EXPECT_EQ(start("2006/05/15", SimPeriod::ThreeYears), "2005/01/01");
    // The six short choices keep their list positions.
    EXPECT_EQ(listPositionOf(SimPeriod::MonthToDate), 5);
    EXPECT_EQ(listPositionOf(SimPeriod::ThreeYears), 6);
    EXPECT_EQ(kSimPeriodCount, 11);
    // Every position of the list names its choice and back; no choice and positions past the list
    // name none.
    for (int position = 0; position < kSimPeriodCount; ++position)
        EXPECT_EQ(listPositionOf(*simPeriodAt(position)), position);
    EXPECT_EQ(simPeriodAt(-1), std::nullopt);
    EXPECT_EQ(simPeriodAt(kSimPeriodCount), std::nullopt);
}

TEST(PeriodStart, ChosenStartIsCheckedAgainstTheBaseDateAndTheHistory)
{
    const SimPeriod chosen = SimPeriod::Chosen;
    const auto ok = periodStart("2010/06/30", chosen, "2008/03/03");
    ASSERT_TRUE(ok) << ok.error().message;
    EXPECT_EQ(*ok, "2008/03/03");
    EXPECT_EQ(*periodStart("2010/06/30", chosen, "2010/06/30"), "2010/06/30"); // one day

    const auto missing = periodStart("2010/06/30", chosen);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().message, "期間指定の開始日を入力してください。");
    const auto after = periodStart("2010/06/30", chosen, "2010/07/01");
    ASSERT_FALSE(after);
    EXPECT_NE(after.error().message.find("2010/07/01"), std::string::npos);
    const auto early = periodStart("2010/06/30", chosen, "2004/12/31");
    ASSERT_FALSE(early);
    EXPECT_NE(early.error().message.find("2005/01/01"), std::string::npos);
    EXPECT_FALSE(periodStart("2010/06/30", chosen, "2008/02/30"));
    // A chosen start given with another choice is not looked at.
    EXPECT_EQ(*periodStart("2010/06/30", SimPeriod::OneMonth, "junk"), "2010/05/30");
}

TEST(PriceQuery, LongPeriodsReadEveryYearlyTableDownToTheLeadIn)
{
    const auto names = [](const std::string& query) {
        std::vector<std::string> tables;
        for (std::size_t at = query.find("FROM "); at != std::string::npos; at = query.find("FROM ", at + 1))
            tables.push_back(query.substr(at + 5, query.find(' ', at + 5) - at - 5));
        return tables;
    };
    // Five years to 2012/06/29: start 2007/06/29, lead-in 2007/04/10: 2012 down to 2007.
    auto plan = planSimulation("2012/06/29", SimPeriod::FiveYears, "1301", "11");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->leadIn, "2007/04/10");
    EXPECT_EQ(names(plan->query),
              (std::vector<std::string>{"STK_DAILY_TSE_2012", "STK_DAILY_TSE_2011", "STK_DAILY_TSE_2010",
                                        "STK_DAILY_TSE_2009", "STK_DAILY_TSE_2008", "STK_DAILY_TSE_2007"}));
    EXPECT_TRUE(plan->query.ends_with("ORDER BY 2 DESC"));
    // Three years to 2009/01/20: the lead-in 2005/11/01 keeps the 2005 table.
    plan = planSimulation("2009/01/20", SimPeriod::ThreeYears, "1301", "21");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->start, "2006/01/20");
    EXPECT_EQ(names(plan->query).size(), 5u);
    EXPECT_EQ(names(plan->query).back(), "STK_DAILY_DSE_2005");
    // The whole history: from 2005 on, whatever the lead-in says.
    plan = planSimulation("2008/12/30", SimPeriod::All, "1301", "91");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->start, "2005/01/01");
    EXPECT_EQ(plan->leadIn, "2004/10/13");
    EXPECT_EQ(names(plan->query), (std::vector<std::string>{"STK_DAILY_JSA_2008", "STK_DAILY_JSA_2007",
                                                            "STK_DAILY_JSA_2006", "STK_DAILY_JSA_2005"}));
    // A chosen period in one year reads one table.
    plan = planSimulation("2008/12/30", SimPeriod::Chosen, "1301", "11", "2008/07/01");
    ASSERT_TRUE(plan);
    EXPECT_EQ(plan->leadIn, "2008/04/12");
    EXPECT_EQ(names(plan->query), std::vector<std::string>{"STK_DAILY_TSE_2008"});
}
