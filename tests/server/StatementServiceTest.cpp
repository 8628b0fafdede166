// The statement server over real HTTP, driven by the client's own batch client.
#include "ServerTestData.h"
#include "common/AsciiText.h"
#include "gateway/SessionHeader.h"
#include "gateway/THttpStatements.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "support/TestServer.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <thread>
#include <utility>

using namespace vorteq;
using namespace vorteq::test;

namespace {

class StatementService : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearSessionCookie();
        seedMarket(server);
    }
    void TearDown() override { clearSessionCookie(); }

    // One batch; the exchange itself must succeed. Returns what Execute reported.
    bool run(const std::string& mode, const std::vector<std::string>& statements)
    {
        client.Clear();
        client.Add(mode);
        for (const auto& s : statements)
            client.Add(s);
        auto r = client.Execute();
        // Without a live session the batch is refused like any other; the gateway only names why.
        if (!r.ok() && r.error().code == ErrorCode::SessionExpired)
            return false;
        EXPECT_TRUE(r.ok()) << r.error().message;
        return r.ok() && *r;
    }

    // What Execute reports for a batch that needs a session: an error code, or none when it ran.
    std::optional<ErrorCode> refusal(const std::string& sql)
    {
        client.Clear();
        client.Add("Query");
        client.Add(sql);
        const auto r = client.Execute();
        if (r.ok())
            return std::nullopt;
        return r.error().code;
    }

    std::int64_t expiresAt()
    {
        return std::stoll(server.query("SELECT EXPIRES_AT FROM SESSION_INFO").at(0).at(0));
    }

    bool login(const std::string& user, const std::string& password)
    {
        return run("Query", {loginSql(user, password), kUpdateDatesSql}) && client.Item(1).RowCount == 1;
    }

    std::string cell(int item, int column, int row) const { return client.Item(item).Tbl->cell(column, row); }

    // Column c of every row of item 1.
    std::vector<std::string> column(int c) const
    {
        std::vector<std::string> out;
        for (int r = 1; r <= client.Item(1).RowCount; ++r)
            out.push_back(cell(1, c, r));
        return out;
    }

    TestServer server;
    THttpStatements client{server.url()};
};

} // namespace

TEST_F(StatementService, LoginAnswersTheUserRowAndUpdateDatesAndSetsAnHttpOnlySessionCookie)
{
    ASSERT_TRUE(run("Query", {loginSql("demo", "demo1234"), kUpdateDatesSql}));
    ASSERT_EQ(client.Item(1).RowCount, 1);
    EXPECT_EQ(client.Item(1).ColCount, 3);
    EXPECT_EQ(cell(1, 1, 1), "デモ ユーザー");
    EXPECT_EQ(cell(1, 2, 1), "demo@example.com");
    EXPECT_EQ(cell(1, 3, 1), "0");
    // Stock-price update first, exchange-rate update second, whatever the insertion order.
    ASSERT_EQ(client.Item(2).RowCount, 2);
    EXPECT_EQ(cell(2, 1, 1), "2006/05/15");
    EXPECT_EQ(cell(2, 1, 2), "2006/05/12");
    const std::string cookie = sessionCookie();
    EXPECT_EQ(cookie.rfind("VQSESSION=", 0), 0u) << cookie;
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("Path=/ORQ"), std::string::npos);
    // The database keeps a digest of the token, not the token.
    const std::string token = cookie.substr(10, 64);
    EXPECT_TRUE(server.query("SELECT 1 FROM SESSION_INFO WHERE TOKEN_DIGEST = '" + token + "'").empty());
    EXPECT_EQ(server.query("SELECT USR_ID FROM SESSION_INFO").at(0).at(0), "demo");
}

TEST_F(StatementService, RefusedLoginsAnswerNoRowAndNoCookie)
{
    const std::vector<std::pair<std::string, std::string>> refused = {{"demo", "wrong123"},
                                                                      {"nobody", "demo1234"},
                                                                      {"blocked", "block123"},
                                                                      {"DEMO", "demo1234"},
                                                                      {"demo", ""}};
    for (const auto& [user, password] : refused) {
        ASSERT_TRUE(run("Query", {loginSql(user, password), kUpdateDatesSql})) << user;
        EXPECT_EQ(client.Item(1).RowCount, 0) << user;
        EXPECT_EQ(client.Item(2).RowCount, 0) << user; // nothing about the market without a login
        EXPECT_EQ(sessionCookie(), "") << user;
    }
    // The log names the reason but never the password tried.
    bool sawBlocked = false;
    for (const auto& line : server.logLines()) {
        EXPECT_EQ(line.find("wrong123"), std::string::npos) << line;
        EXPECT_EQ(line.find("block123"), std::string::npos) << line;
        sawBlocked = sawBlocked || line.find("account blocked") != std::string::npos;
    }
    EXPECT_TRUE(sawBlocked);
}

TEST_F(StatementService, MailStatusOneComesBackWithTheLogin)
{
    ASSERT_TRUE(login("bounce", "bounce12"));
    EXPECT_EQ(cell(1, 3, 1), "1");
}

TEST_F(StatementService, LoginWithoutTheUpdateDatesQueryAlsoWorks)
{
    ASSERT_TRUE(run("Query", {loginSql("demo", "demo1234")}));
    EXPECT_EQ(client.Item(1).RowCount, 1);
}

TEST_F(StatementService, EveryOtherBatchNeedsTheSessionCookie)
{
    EXPECT_EQ(refusal(kUpdateDatesSql), ErrorCode::SessionExpired);
    setSessionCookie("VQSESSION=" + std::string(64, 'a') + "; HttpOnly; Path=/ORQ");
    EXPECT_EQ(refusal(kUpdateDatesSql), ErrorCode::SessionExpired);
    clearSessionCookie();
    ASSERT_TRUE(login("demo", "demo1234"));
    ASSERT_TRUE(run("Query", {kUpdateDatesSql}));
    EXPECT_EQ(client.Item(1).RowCount, 2);
    // A second client of the same process shares the cookie.
    THttpStatements other(server.url());
    other.Add("Query");
    other.Add("SELECT a.MKT_NM FROM MKT_INFO a WHERE a.MKT_CD = 999");
    auto r = other.Execute();
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(*r);
    EXPECT_EQ(other.Item(1).Tbl->cell(1, 1), "外国為替");
}

TEST_F(StatementService, SessionsSlideWithUseExpireWhenIdleAndEndWhenTheUserIsBlocked)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::int64_t first = expiresAt();
    // Used every 11 hours, a 12-hour session lives on for as long as the user works.
    for (int i = 0; i < 3; ++i) {
        server.advanceClock(11 * 60 * 60);
        EXPECT_EQ(refusal(kUpdateDatesSql), std::nullopt) << i;
    }
    EXPECT_GE(expiresAt(), first + 33 * 60 * 60);
    // Left alone past its lifetime it ends; the client hears that a login is needed, not a failure.
    server.advanceClock(12 * 60 * 60 + 1);
    EXPECT_EQ(refusal(kUpdateDatesSql), ErrorCode::SessionExpired);

    ASSERT_TRUE(login("demo", "demo1234"));
    server.execSql("UPDATE USR_INFO SET USR_STATUS = 1 WHERE USR_ID = 'demo'");
    EXPECT_EQ(refusal(kUpdateDatesSql), ErrorCode::SessionExpired);
}

TEST_F(StatementService, TheExpiryIsWrittenAtMostOnceAMinute)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::int64_t first = expiresAt();
    server.advanceClock(30);
    ASSERT_TRUE(run("Query", {kUpdateDatesSql}));
    EXPECT_EQ(expiresAt(), first); // a burst of screenings writes nothing
    server.advanceClock(31);
    ASSERT_TRUE(run("Query", {kUpdateDatesSql}));
    EXPECT_GE(expiresAt(), first + 61);
    EXPECT_LE(expiresAt(), first + 63);
}

// Several clients of one session at once while its expiry is being pushed: every request runs, none
// is refused for a busy database, and the expiry ends up moved.
TEST_F(StatementService, ConcurrentRequestsOfOneSessionRunWhileItsExpiryMoves)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::int64_t first = expiresAt();
    std::atomic<int> failures{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 6; ++t) {
        clients.emplace_back([&] {
            THttpStatements own(server.url());
            for (int i = 0; i < 15; ++i) {
                own.Clear();
                own.Add("Query");
                own.Add(kUpdateDatesSql);
                const auto r = own.Execute();
                if (!r.ok() || !*r)
                    ++failures;
            }
        });
    }
    std::thread clock([&] {
        for (int k = 0; k < 5; ++k) {
            server.advanceClock(61);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    for (auto& c : clients)
        c.join();
    clock.join();
    EXPECT_EQ(failures.load(), 0);
    // One more request after the clock stopped pushes the expiry to its final place.
    ASSERT_TRUE(run("Query", {kUpdateDatesSql}));
    EXPECT_GE(expiresAt(), first + 5 * 61);
}

// The reply to a batch without a live session is the same -99 as before; only the header says why.
// A refused statement of a live session carries no such header, nor does a refused login.
TEST_F(StatementService, OnlyABatchWithoutALiveSessionCarriesTheExpiredHeader)
{
    const auto exchange = [this](const std::vector<std::string>& items, const std::string& cookieLine) {
        auto reply = makeCurlTransport()->post(
            server.url(), *zlibCompress(wire::buildRequestText(items), ZlibLevel::Fastest), cookieLine);
        EXPECT_TRUE(reply.ok());
        std::string header;
        std::string text;
        if (reply.ok()) {
            for (const auto& [name, value] : reply->headers)
                if (equalsIgnoringCase(name, kSessionHeaderName))
                    header = value;
            text = zlibDecompress(reply->body).value();
        }
        return std::pair{header, text};
    };
    const std::string failure = "-99\x04";
    const std::vector<std::string> query{"Query", kUpdateDatesSql};
    const std::string unknown = "Cookie:VQSESSION=" + std::string(64, 'b');

    EXPECT_EQ(exchange(query, "Cookie:"), std::pair(std::string("expired"), failure));
    EXPECT_EQ(exchange(query, unknown), std::pair(std::string("expired"), failure));
    EXPECT_EQ(exchange({"Update", passwordChangeSql("demo", "demo1234", "abcd1234")}, "Cookie:"),
              std::pair(std::string("expired"), failure));

    ASSERT_TRUE(login("demo", "demo1234"));
    const std::string live = "Cookie:" + sessionCookie();
    EXPECT_EQ(exchange({"Query", "SELECT * FROM USR_INFO"}, live), std::pair(std::string(), failure));
    EXPECT_EQ(exchange({"Query", loginSql("demo", "wrong12")}, "Cookie:").first, "");
    server.advanceClock(12 * 60 * 60 + 1);
    EXPECT_EQ(exchange(query, live), std::pair(std::string("expired"), failure));
}

TEST_F(StatementService, ScreeningWithInListAndMovingAverageDeviationReturnsTheMatchingStocks)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    // Registered-stock target with several codes, 以下 3 % on the 5/25-day averages.
    const std::string sql =
        kScreeningColumns + "STK_INFO a, MKT_INFO b , STK_DAILY_TSE_2006 c " +
        "WHERE a.MKT_CD = b.MKT_CD AND a.STK_CD IN (1301,1332,1333,1334,7203,9984) "
        "AND a.MKT_CD = 11 AND (c.MA_05 - c.MA_25) / c.MA_25 <= 0.03 AND c.MA_05 >= c.MA_25 "
        " AND a.STK_CD = c.STK_CD  AND c.E_PRICE <> 0  AND c.STK_DATE = '2006/05/15' "
        "ORDER BY a.STK_CD ";
    ASSERT_TRUE(run("Query", {sql}));
    EXPECT_EQ(client.Item(1).ColCount, 46);
    EXPECT_EQ(column(1), (std::vector<std::string>{"1301", "1334"}));
    EXPECT_EQ(column(2), (std::vector<std::string>{"極洋", "マルハ食品"}));
    EXPECT_EQ(cell(1, 3, 1), "東証一部");
    EXPECT_EQ(cell(1, 4, 1), "2006/05/15");
    // Whole numbers without a point, others in their shortest exact text, no value empty.
    EXPECT_EQ(cell(1, 5, 1), "295");
    EXPECT_EQ(cell(1, 6, 1), "301.5");
    EXPECT_EQ(cell(1, 9, 1), "123400");
    EXPECT_EQ(cell(1, 10, 1), "1.694915254237288"); // 1.6949152542372881 is the same double
    EXPECT_EQ(cell(1, 11, 1), "");
    EXPECT_EQ(cell(1, 23, 1), "0.1");
    EXPECT_EQ(cell(1, 46, 1), "11");
}

TEST_F(StatementService, ScreeningByJapaneseNamePrefixAndCodePrefix)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::string from = kScreeningColumns + "STK_INFO a, MKT_INFO b , STK_DAILY_TSE_2006 c " +
                             "WHERE a.MKT_CD = b.MKT_CD AND a.MKT_CD = 11 ";
    const std::string tail = " AND a.STK_CD = c.STK_CD  AND c.E_PRICE <> 0  AND c.STK_DATE = '2006/05/15' "
                             "ORDER BY a.STK_CD ";
    ASSERT_TRUE(run("Query", {from + "AND a.STK_NM LIKE 'マルハ%' " + tail}));
    EXPECT_EQ(column(1), (std::vector<std::string>{"1334"})); // 1333 has no close that day
    ASSERT_TRUE(run("Query", {from + "AND a.STK_CD LIKE '13%' AND c.PT_RANGE >= -5 " + tail}));
    EXPECT_EQ(column(1), (std::vector<std::string>{"1301", "1332", "1334"}));
    // A day without trading answers an empty table, not a failure.
    ASSERT_TRUE(
        run("Query", {from + tail.substr(0, tail.find("2006/05/15")) + "2006/05/14' ORDER BY a.STK_CD "}));
    EXPECT_EQ(client.Item(1).RowCount, 0);
    EXPECT_EQ(client.Item(1).ColCount, 46);
}

TEST_F(StatementService, PriceQueryUnionsYearsNewestFirstWithoutZeroCloses)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::string sql =
        "SELECT a.STK_CD, a.STK_DATE, a.S_PRICE, a.H_PRICE, a.L_PRICE, a.E_PRICE, a.STK_VLM FROM "
        "STK_DAILY_TSE_2006 a "
        "WHERE a.STK_CD = '1301' AND a.STK_DATE >= '2005/11/27' AND a.STK_DATE <= '2006/05/15' "
        "AND a.E_PRICE <> '0' "
        "UNION ALL SELECT b.STK_CD, b.STK_DATE, b.S_PRICE, b.H_PRICE, b.L_PRICE, b.E_PRICE, b.STK_VLM "
        "FROM STK_DAILY_TSE_2005 b WHERE b.STK_CD = '1301' AND b.STK_DATE >= '2005/11/27' "
        "AND b.STK_DATE <= '2006/05/15' AND b.E_PRICE <> '0' ORDER BY 2 DESC";
    ASSERT_TRUE(run("Query", {sql}));
    EXPECT_EQ(client.Item(1).ColCount, 7);
    EXPECT_EQ(column(2), (std::vector<std::string>{"2006/05/15", "2006/02/15", "2006/01/05", "2005/12/30",
                                                   "2005/11/28"}));
    EXPECT_EQ(cell(1, 4, 2), "292.25");
    EXPECT_EQ(cell(1, 6, 5), "262.5");
    EXPECT_EQ(cell(1, 7, 5), "600");
}

TEST_F(StatementService, PasswordChangeStoresTheNewPasswordHashed)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    ASSERT_TRUE(run("Update", {passwordChangeSql("demo", "demo1234", "Neu5678")}));
    EXPECT_EQ(cell(1, 1, 0), "1"); // the scalar: one row changed
    const std::string stored =
        server.query("SELECT PASS_WORD FROM USR_INFO WHERE USR_ID = 'demo'").at(0).at(0);
    EXPECT_EQ(stored.rfind("$argon2id$", 0), 0u) << stored;
    EXPECT_EQ(stored.find("Neu5678"), std::string::npos);
    clearSessionCookie();
    EXPECT_FALSE(login("demo", "demo1234"));
    EXPECT_TRUE(login("demo", "Neu5678"));
}

TEST_F(StatementService, PasswordChangeEndsTheUsersOtherSessions)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::string elsewhere = sessionCookie();
    clearSessionCookie();
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::string here = sessionCookie();
    ASSERT_NE(elsewhere, here);
    ASSERT_TRUE(run("Update", {passwordChangeSql("demo", "demo1234", "Neu5678")}));
    EXPECT_TRUE(run("Query", {kUpdateDatesSql})); // the session that changed it goes on
    setSessionCookie(elsewhere);
    EXPECT_FALSE(run("Query", {kUpdateDatesSql}));
}

TEST_F(StatementService, PasswordChangeNeedsTheCurrentPassword)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const auto before = server.query("SELECT PASS_WORD FROM USR_INFO WHERE USR_ID = 'demo'");
    EXPECT_FALSE(run("Update", {passwordChangeSql("demo", "guess123", "Neu5678")}));
    // A new password the account window would not accept is refused too.
    EXPECT_FALSE(run("Update", {passwordChangeSql("demo", "demo1234", "abc")}));
    EXPECT_EQ(server.query("SELECT PASS_WORD FROM USR_INFO WHERE USR_ID = 'demo'"), before);
}

TEST_F(StatementService, MailChangeReplacesTheAddressWhenTheCurrentOneMatches)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    ASSERT_TRUE(run("Update", {mailChangeSql("demo", "demo@example.com", "new.addr_1@example.co.jp")}));
    EXPECT_EQ(cell(1, 1, 0), "1");
    EXPECT_EQ(server.query("SELECT E_MAIL FROM USR_INFO WHERE USR_ID = 'demo'").at(0).at(0),
              "new.addr_1@example.co.jp");
    // The old address no longer matches: refused rather than reported as done.
    EXPECT_FALSE(run("Update", {mailChangeSql("demo", "demo@example.com", "third@example.com")}));
    EXPECT_EQ(server.query("SELECT E_MAIL FROM USR_INFO WHERE USR_ID = 'demo'").at(0).at(0),
              "new.addr_1@example.co.jp");
}

TEST_F(StatementService, OneLogLinePerRequestWithUserKindsRowsAndOutcome)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    ASSERT_TRUE(run("Query", {kUpdateDatesSql, "SELECT a.MKT_CD FROM MKT_INFO a"}));
    EXPECT_FALSE(run("Query", {"DELETE FROM STK_INFO"}));
    const auto lines = server.logLines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_NE(lines[0].find("user=demo kinds=Query:login,update-dates rows=1,2 ms="), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[0].find("outcome=ok"), std::string::npos);
    EXPECT_NE(lines[1].find("kinds=Query:select,select rows=2,11 "), std::string::npos) << lines[1];
    EXPECT_NE(lines[2].find("outcome=refused reason=\"not a SELECT statement\""), std::string::npos)
        << lines[2];
    for (const auto& line : lines)
        EXPECT_EQ(line.find("demo1234"), std::string::npos) << line;
}

TEST_F(StatementService, LaterStatementFailureKeepsEarlierSectionsAndEndsWithFailure)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    EXPECT_FALSE(run("Query", {kUpdateDatesSql, "SELECT a.X FROM NO_SUCH_TABLE a", kUpdateDatesSql}));
    EXPECT_EQ(client.Item(1).RowCount, 2);
    EXPECT_EQ(client.Item(3).RowCount, 0); // nothing after the failure ran
    // A daily table of a year that does not exist fails the statement.
    EXPECT_FALSE(run("Query", {"SELECT c.STK_CD FROM STK_DAILY_TSE_1999 c"}));
}

TEST(StatementServiceStored, RepliesInStoredZlibBlocksReadTheSame)
{
    clearSessionCookie();
    TestServerOptions options;
    options.replyCompression = ZlibLevel::None;
    TestServer server(options);
    seedMarket(server);
    THttpStatements client(server.url());
    client.Add("Query");
    client.Add(loginSql("demo", "demo1234"));
    client.Add(kUpdateDatesSql);
    auto r = client.Execute();
    ASSERT_TRUE(r.ok()) << r.error().message;
    ASSERT_TRUE(*r);
    EXPECT_EQ(client.Item(1).Tbl->cell(1, 1), "デモ ユーザー");
    EXPECT_EQ(client.Item(2).Tbl->cell(1, 2), "2006/05/12");
    clearSessionCookie();
}
