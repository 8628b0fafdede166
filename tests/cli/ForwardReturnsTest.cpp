// Whether a screening has an edge: the returns from the next day's open to later closes, worked out by
// hand on a small market in the real server, through the core and through vorteq-cli screen --forward.
#include "results/ForwardReturns.h"

#include "CliTestSupport.h"
#include "cli/Session.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::test;

namespace {

// After the base date 2006/05/15 the market trades on 05/16, 05/17, 05/18, 05/19 and 05/22.
//   1301: opens 05/16 at 100; closes 110 (05/16), 90 (05/17), 120 (05/22)
//   1332: opens 05/16 at 200; closes 200 (05/16), 220 (05/17); no later day
//   7203: no day after the base date
//   2001: not in the list; opens 05/16 at 50; closes 55, 60, 40 (05/22)
//   9984: market 12 in the same yearly table; must not count for market 11
void seedForward(TestServer& server)
{
    server.execSql("INSERT INTO STK_INFO VALUES ('2001', '比較用', 11)");
    server.execSql(
        "INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, "
        "STK_VLM) VALUES "
        "('1301', '2006/05/16', 100, 110, 100, 110, 1), ('1301', '2006/05/17', 110, 110, 90, 90, 1), "
        "('1301', '2006/05/22', 90, 120, 90, 120, 1), "
        "('1332', '2006/05/16', 200, 200, 200, 200, 1), ('1332', '2006/05/17', 200, 220, 200, 220, 1), "
        "('2001', '2006/05/16', 50, 55, 50, 55, 1), ('2001', '2006/05/17', 55, 60, 55, 60, 1), "
        "('2001', '2006/05/18', 60, 60, 60, 60, 1), ('2001', '2006/05/19', 60, 60, 60, 60, 1), "
        "('2001', '2006/05/22', 60, 60, 40, 40, 1), "
        "('9984', '2006/05/16', 10, 100, 10, 100, 1), ('9984', '2006/05/17', 100, 100, 100, 100, 1)");
}

class Forward : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedCliMarket(server);
        seedForward(server);
    }
    TestServer server;
};

double num(const std::optional<long double>& v)
{
    EXPECT_TRUE(v.has_value());
    return v ? static_cast<double>(*v) : -1e9;
}

} // namespace

TEST_F(Forward, ReturnsOfTheListAgainstTheMarketByHand)
{
    CapturingIo io;
    io.environment["VORTEQ_PASSWORD"] = "demo1234";
    auto session = cli::Session::open({server.url(), "demo"}, io);
    ASSERT_TRUE(session) << session.error().message;
    const auto r = fetchForwardReturns(session->statements(), "11", "2006/05/15", {"1301", "1332", "7203"},
                                       {1, 2, 5, 30});
    ASSERT_TRUE(r) << r.error().message;
    EXPECT_EQ(r->entryDate, "2006/05/16");
    ASSERT_EQ(r->horizons.size(), 4u);

    // One day: the list 10 and 0 (7203 missing, not 0); the market 10, 0 and 10 (9984 is another market).
    const ForwardHorizon& d1 = r->horizons[0];
    EXPECT_EQ(d1.exitDate, "2006/05/16");
    EXPECT_EQ(d1.listed, 3);
    EXPECT_EQ(d1.listReturns, 2);
    EXPECT_EQ(d1.marketReturns, 3);
    EXPECT_NEAR(num(d1.listMean), 5.0, 1e-9);
    EXPECT_NEAR(num(d1.listMedian), 5.0, 1e-9);
    EXPECT_NEAR(num(d1.marketMean), 20.0 / 3, 1e-9);
    EXPECT_NEAR(num(d1.marketMedian), 10.0, 1e-9);
    EXPECT_NEAR(num(d1.meanDifference), 5.0 - 20.0 / 3, 1e-9);
    EXPECT_NEAR(num(d1.medianDifference), -5.0, 1e-9);
    EXPECT_NEAR(num(d1.beatSharePct), 50.0, 1e-9); // 1301's 10 beats 6.67, 1332's 0 does not

    // Two days: the list -10 and 10; the market -10, 10 and 20.
    const ForwardHorizon& d2 = r->horizons[1];
    EXPECT_EQ(d2.exitDate, "2006/05/17");
    EXPECT_NEAR(num(d2.listMean), 0.0, 1e-9);
    EXPECT_NEAR(num(d2.marketMean), 20.0 / 3, 1e-9);
    EXPECT_NEAR(num(d2.marketMedian), 10.0, 1e-9);
    EXPECT_NEAR(num(d2.beatSharePct), 50.0, 1e-9);

    // Five days: 1332 has no day 05/22 and is missing; the list is 1301's 20, the market 20 and -20.
    const ForwardHorizon& d5 = r->horizons[2];
    EXPECT_EQ(d5.exitDate, "2006/05/22");
    EXPECT_EQ(d5.listReturns, 1);
    EXPECT_EQ(d5.marketReturns, 2);
    EXPECT_NEAR(num(d5.listMean), 20.0, 1e-9);
    EXPECT_NEAR(num(d5.marketMean), 0.0, 1e-9);
    EXPECT_NEAR(num(d5.beatSharePct), 100.0, 1e-9);

    // Thirty days lie beyond the market's last day: nothing to compute, nothing made up.
    const ForwardHorizon& d30 = r->horizons[3];
    EXPECT_TRUE(d30.exitDate.empty());
    EXPECT_EQ(d30.listReturns, 0);
    EXPECT_FALSE(d30.listMean);
    EXPECT_FALSE(d30.beatSharePct);

    const auto stocks = forwardStockRows(*r);
    ASSERT_EQ(stocks.size(), 4u);
    EXPECT_EQ(stocks[1], (std::vector<std::string>{"1301", "10.00", "-10.00", "20.00", "－"}));
    EXPECT_EQ(stocks[2], (std::vector<std::string>{"1332", "0.00", "10.00", "－", "－"}));
    EXPECT_EQ(stocks[3], (std::vector<std::string>{"7203", "－", "－", "－", "－"}));

    // A base date with no later day at all.
    const auto none = fetchForwardReturns(session->statements(), "11", "2006/05/22", {"1301"}, {1});
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->entryDate.empty());
    EXPECT_EQ(none->horizons[0].listReturns, 0);
}

TEST_F(Forward, ScreenCommandWritesTheCheckAfterTheList)
{
    const CliRun plain =
        runCli(withServer(server, {"screen", "--market", "11", "--date", "2006/05/15", "--utf8"}));
    ASSERT_EQ(plain.status, 0) << plain.err;
    const CliRun run = runCli(withServer(
        server, {"screen", "--market", "11", "--date", "2006/05/15", "--utf8", "--forward", "1,2,5"}));
    ASSERT_EQ(run.status, 0) << run.err;
    // The list as before, then an empty line and the check.
    ASSERT_EQ(run.out.rfind(plain.out, 0), 0u);
    const std::string check = run.out.substr(plain.out.size());
    EXPECT_EQ(check.rfind("\r\n日数,決済日,銘柄数,", 0), 0u) << check;
    EXPECT_NE(check.find("\r\n1日,2006/05/16,3,2,5.00,5.00,6.67,10.00,-1.67,-5.00,50.00,3,\r\n"),
              std::string::npos)
        << check;
    EXPECT_NE(check.find("\r\n7203,－,－,－,\r\n"), std::string::npos) << check;

    for (const char* bad : {"0", "1,1", "1,x", "", "251"}) {
        const CliRun refused = runCli(withServer(server, {"screen", "--market", "11", "--forward", bad}));
        EXPECT_EQ(refused.status, 64) << bad;
        EXPECT_EQ(refused.err.rfind("vorteq-cli: --forward: ", 0), 0u) << refused.err;
    }
}
