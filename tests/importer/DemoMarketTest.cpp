// The demo market: reproducible to the byte, and prices a screening user would find plausible.
#include "server/import/DemoMarket.h"

#include "common/NumberText.h"
#include "server/import/ImportCommand.h"
#include "server/storage/Schema.h"
#include "support/TestServer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

using namespace vorteq;
using namespace vorteq::server;

namespace {

DemoOptions until(const Date& last, std::uint64_t seed = 1)
{
    DemoOptions o;
    o.seed = seed;
    o.last = last;
    return o;
}

std::string everything(const DemoMarket& m)
{
    std::string out;
    for (std::size_t i = 0; i < m.instruments().size(); ++i) {
        const StockSeries s = m.series(i);
        out += s.code + "," + s.name + "," + std::to_string(s.market) + "\n" + seriesCsv(s);
    }
    return out;
}

} // namespace

TEST(DemoMarket, SameSeedGivesTheSameBytesAndAnotherSeedDoesNot)
{
    const DemoMarket a(until({2007, 6, 29}));
    const DemoMarket b(until({2007, 6, 29}));
    const std::string text = everything(a);
    EXPECT_EQ(text, everything(b));
    EXPECT_NE(text, everything(DemoMarket(until({2007, 6, 29}, 2))));
    // A longer range only adds days: the earlier ones stay as they were.
    const StockSeries shortSeries = a.series(0);
    const StockSeries longSeries = DemoMarket(until({2008, 6, 30})).series(0);
    ASSERT_GT(longSeries.days.size(), shortSeries.days.size());
    EXPECT_EQ(seriesCsv(longSeries).substr(0, seriesCsv(shortSeries).size()), seriesCsv(shortSeries));
}

TEST(DemoMarket, PricesAndDaysArePlausibleInEveryMarket)
{
    const DemoMarket market(until({2026, 12, 4}));
    const auto& list = market.instruments();
    EXPECT_GE(list.size(), 280u);
    EXPECT_LE(list.size(), 360u);
    std::set<int> markets;
    std::set<std::string> codes;
    int zeroVolumeDays = 0, limitDays = 0, fxWithDecimals = 0;
    for (std::size_t i = 0; i < list.size(); ++i) {
        const StockSeries s = market.series(i);
        SCOPED_TRACE(s.code + " " + s.name);
        markets.insert(s.market);
        EXPECT_TRUE(codes.insert(s.code).second) << "code used twice";
        EXPECT_TRUE(isStockCode(s.code));
        EXPECT_TRUE(
            s.name.size() > kSampleMarker.size() &&
            s.name.compare(s.name.size() - kSampleMarker.size(), kSampleMarker.size(), kSampleMarker) == 0);
        ASSERT_FALSE(s.days.empty());
        EXPECT_EQ(s.days.back().date, (Date{2026, 12, 4}));
        long double previous = 0;
        for (std::size_t k = 0; k < s.days.size(); ++k) {
            const PriceDay& d = s.days[k];
            const int weekday = dayOfWeek(d.date);
            ASSERT_TRUE(weekday >= 1 && weekday <= 5) << formatDate(d.date);
            if (k > 0) {
                ASSERT_LT(s.days[k - 1].date, d.date);
            }
            const long double open = *parseNumber(d.open), high = *parseNumber(d.high),
                              low = *parseNumber(d.low), close = *parseNumber(d.close);
            ASSERT_GT(low, 0) << formatDate(d.date);
            ASSERT_TRUE(low <= open && low <= close && high >= open && high >= close) << formatDate(d.date);
            if (s.market == 999) {
                EXPECT_EQ(d.volume, 0);
                fxWithDecimals += d.close.find('.') != std::string::npos;
            } else {
                for (const std::string* p : {&d.open, &d.high, &d.low, &d.close})
                    ASSERT_EQ(p->find_first_not_of("0123456789"), std::string::npos)
                        << *p << " is not whole yen";
                if (d.volume == 0) {
                    ++zeroVolumeDays;
                    EXPECT_TRUE(open == previous && close == previous && high == previous && low == previous);
                }
                if (previous > 0) {
                    // No close moves further from the last one than the daily price limit allows.
                    ASSERT_LE(std::fabs(close - previous), dailyLimit(static_cast<double>(previous)))
                        << formatDate(d.date);
                    limitDays +=
                        std::fabs(close - previous) >= dailyLimit(static_cast<double>(previous)) * 0.95;
                }
            }
            previous = close;
        }
    }
    std::set<int> expected;
    for (const Market& m : kMarkets)
        expected.insert(m.code);
    EXPECT_EQ(markets, expected);
    EXPECT_GT(zeroVolumeDays, 100);
    EXPECT_GT(limitDays, 20);
    EXPECT_GT(fxWithDecimals, 1000);
}

TEST(DemoMarket, ExchangeRulesAtTheirBoundaries)
{
    // Daily price limits: under 1,000 yen 150, from 1,000 to under 1,500 yen 300; the tick is 1 yen
    // up to 3,000 yen and 5 yen above.
    EXPECT_EQ(dailyLimit(999), 150);
    EXPECT_EQ(dailyLimit(1000), 300);
    EXPECT_EQ(dailyLimit(99), 30);
    EXPECT_EQ(tickSize(3000), 1);
    EXPECT_EQ(tickSize(3001), 5);
    // The last weekday before Monday 2026/12/07 is Friday 12/04; before a Tuesday, the Monday.
    EXPECT_EQ(latestWeekdayBefore({2026, 12, 7}), (Date{2026, 12, 4}));
    EXPECT_EQ(latestWeekdayBefore({2026, 12, 6}), (Date{2026, 12, 4}));
    EXPECT_EQ(latestWeekdayBefore({2026, 12, 8}), (Date{2026, 12, 7}));
}

TEST(DemoMarket, CommandFillsEveryMarketAndTheUpdateDates)
{
    vorteq::test::TestServer server;
    std::vector<std::string> args = {"vorteq-server", "demo-data",  "--db",      server.dbPath(),
                                     "--until",       "2005/02/28", "--samples", VORTEQ_DATA_DIR};
    std::vector<char*> argv;
    for (std::string& s : args)
        argv.push_back(s.data());
    ASSERT_EQ(runDemoDataCommand(static_cast<int>(argv.size()), argv.data()), 0);
    EXPECT_EQ(server.query("SELECT COUNT(DISTINCT MKT_CD) FROM STK_INFO")[0][0], "11");
    EXPECT_EQ(server.query("SELECT UPD_DATE FROM STK_UPD ORDER BY UPD_FLG"),
              (std::vector<std::vector<std::string>>{{"2008/10/14"}, {"2005/02/28"}}));
    // The real series is there, named as a sample.
    const auto real = server.query("SELECT STK_NM FROM STK_INFO WHERE STK_CD = '9997'");
    ASSERT_EQ(real.size(), 1u);
    EXPECT_NE(real[0][0].find("サンプル"), std::string::npos);
}
