// THttpStatements over real HTTP: libcurl against a loopback server that records the raw request.
#include "gateway/LoopbackHttpServer.h"
#include "gateway/THttpStatements.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace vorteq;
using test::httpResponse;
using test::inflateBody;
using test::replyBody;

namespace {

std::string okReply(std::string_view text, std::vector<std::string> headers = {})
{
    return httpResponse(200, headers, replyBody(text));
}

std::string lowered(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

class StatementExchange : public ::testing::Test {
protected:
    void SetUp() override { clearSessionCookie(); }
    void TearDown() override
    {
        clearSessionCookie();
        setBusyHook({});
    }

    // Runs "Query" plus the given statements against one canned reply text.
    Result<bool> run(const std::vector<std::string>& statements, std::string_view replyText)
    {
        server.queueResponse(okReply(replyText));
        client.Clear();
        client.Add("Query");
        for (const auto& s : statements)
            client.Add(s);
        return client.Execute();
    }

    test::LoopbackHttpServer server;
    THttpStatements client{server.url()};
};

TEST_F(StatementExchange, QueryOnlyRequestGoesOutAsHttp10PostWithLengthPrefixAndFastestZlib)
{
    server.queueResponse(okReply(""));
    client.Add("Query");
    auto r = client.Execute();
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_TRUE(*r);

    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 1u);
    const auto& head = reqs[0].head;
    EXPECT_EQ(head.substr(0, head.find("\r\n")), "POST /ORQ/servlet/ApsServlet/ HTTP/1.0");
    EXPECT_NE(head.find("\r\nAccept: text/html, */*\r\n"), std::string::npos) << head;
    EXPECT_EQ(lowered(head).find("content-type"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nContent-Length: " + std::to_string(reqs[0].body.size()) + "\r\n"),
              std::string::npos);
    // The first request of the process carries a bare cookie line, last.
    EXPECT_TRUE(head.ends_with("\r\nCookie:\r\n\r\n")) << head;
    // "Query" 0x04 CR LF is 8 bytes; fastest zlib begins 78 01.
    EXPECT_EQ(reqs[0].body.substr(0, 6), std::string("\x08\x00\x00\x00\x78\x01", 6));
    EXPECT_EQ(inflateBody(reqs[0].body), std::string("Query\x04\r\n"));
}

TEST_F(StatementExchange, LengthPrefixIsLittleEndianAndStatementsAreCp932)
{
    // 5 ("Query") + 1 (0x1D) + 291 + 3 (0x04 CR LF) = 300 = 0x012C.
    ASSERT_TRUE(run({std::string(291, 'x')}, "#1/0\x04").ok());
    const std::string japanese = "SELECT STK_CD FROM STK_INFO WHERE STK_NM LIKE 'トヨタ%'";
    ASSERT_TRUE(run({japanese, "SELECT 1"}, "#1/0\x1D#1/0\x04").ok());

    const auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_EQ(reqs[0].body.substr(0, 4), std::string("\x2C\x01\x00\x00", 4));
    EXPECT_EQ(inflateBody(reqs[1].body),
              "Query\x1DSELECT STK_CD FROM STK_INFO WHERE STK_NM LIKE '\x83\x67\x83\x88\x83\x5E%'\x1D"
              "SELECT 1\x04\r\n");
}

TEST_F(StatementExchange, CookieIsBareFirstThenTheWholeSetCookieValueUntilANonEmptyOneReplacesIt)
{
    const auto cookieLine = [](const std::string& head) {
        const std::size_t at = head.find("\r\nCookie:");
        return at == std::string::npos ? std::string("(none)")
                                       : head.substr(at + 2, head.find("\r\n", at + 2) - at - 2);
    };
    const std::vector<std::pair<std::vector<std::string>, std::string>> steps = {
        {{"Set-Cookie: sid=abc123; Path=/ORQ; HttpOnly"}, "Cookie:"},
        {{}, "Cookie:sid=abc123; Path=/ORQ; HttpOnly"},                        // no Set-Cookie: kept
        {{"Set-Cookie:"}, "Cookie:sid=abc123; Path=/ORQ; HttpOnly"},           // empty: kept
        {{"set-COOKIE:   sid=new"}, "Cookie:sid=abc123; Path=/ORQ; HttpOnly"}, // name in any case
        {{}, "Cookie:sid=new"},
    };
    for (const auto& [headers, expected] : steps) {
        server.queueResponse(okReply("\x04", headers));
        client.Clear();
        client.Add("Query");
        ASSERT_TRUE(client.Execute().ok());
        EXPECT_EQ(cookieLine(server.requests().back().head), expected);
    }
    // The cookie belongs to the process: a second client sends it too.
    THttpStatements other(server.url());
    server.queueResponse(okReply("\x04"));
    other.Add("Query");
    ASSERT_TRUE(other.Execute().ok());
    EXPECT_EQ(cookieLine(server.requests().back().head), "Cookie:sid=new");
}

TEST_F(StatementExchange, SectionsFillTheirItems)
{
    // "#5/0" with no data part: no rows, five columns.
    auto r = run({"S1"}, "#5/0\x04");
    ASSERT_TRUE(r.ok() && *r);
    EXPECT_EQ(client.Item(1).RowCount, 0);
    EXPECT_EQ(client.Item(1).ColCount, 5);

    // Two rows with a CP932 name; a third field beyond NC = 2 is dropped.
    r = run({"S1"}, "\x1E"
                    "1301\x1F\x8B\xC9\x97\x6D\x1F"
                    "extra\x1E"
                    "7203\x1F\x83\x67\x83\x88\x83\x5E\x8E\xA9\x93\xAE\x8E\xD4#2/2\x04");
    ASSERT_TRUE(r.ok() && *r) << (r.ok() ? "" : r.error().message);
    const auto& item = client.Item(1);
    EXPECT_EQ(item.ColCount, 2);
    EXPECT_EQ(item.RowCount, 2);
    ASSERT_EQ(item.Tbl->columnCount(), 3);
    ASSERT_EQ(item.Tbl->rowCount(), 3);
    EXPECT_EQ((*item.Tbl)[1][1], "1301");
    EXPECT_EQ((*item.Tbl)[2][1], "極洋");
    EXPECT_EQ((*item.Tbl)[1][2], "7203");
    EXPECT_EQ((*item.Tbl)[2][2], "トヨタ自動車");

    // A table kept by the caller survives Clear.
    const Ptbl kept = item.Tbl;
    client.Clear();
    EXPECT_EQ((*kept)[2][2], "トヨタ自動車");
}

TEST_F(StatementExchange, FailureMarkerEndsTheBatchOnlyInTheLastSection)
{
    auto r = run({"U1"}, "-99\x04");
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(*r);

    r = run({"U1", "S2"}, "-99\x1D\x1E"
                          "a#1/1\x04");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(*r);
    EXPECT_EQ((*client.Item(1).Tbl)[0][0], "-99");
    EXPECT_EQ(client.Item(2).RowCount, 1);
    EXPECT_EQ((*client.Item(2).Tbl)[1][1], "a");

    // A failure after a stored section: the first result stays, the failed one is not stored.
    r = run({"S1", "S2"}, "\x1E"
                          "a#1/1\x1D-99\x04");
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(*r);
    EXPECT_EQ(client.Item(1).RowCount, 1);
    EXPECT_EQ(client.Item(2).RowCount, 0);
    EXPECT_EQ(client.Item(2).Tbl->columnCount(), 0);
}

TEST_F(StatementExchange, MissingSectionsLeaveItemsEmpty)
{
    // No 0x04: the unterminated second section is dropped.
    auto r = run({"S1", "S2"}, "\x1E"
                               "a#1/1\x1D\x1E"
                               "b#1/1");
    ASSERT_TRUE(r.ok() && *r);
    EXPECT_EQ(client.Item(1).RowCount, 1);
    EXPECT_EQ(client.Item(2).RowCount, 0);

    r = run({"S1", "S2", "S3"}, "\x1E"
                                "a#1/1\x04");
    ASSERT_TRUE(r.ok() && *r);
    EXPECT_EQ(client.Item(1).RowCount, 1);
    EXPECT_EQ(client.Item(2).RowCount, 0);
    EXPECT_EQ(client.Item(3).RowCount, 0);

    // Length 0: an empty reply text.
    server.queueResponse(httpResponse(200, {}, std::string(4, '\0')));
    client.Clear();
    client.Add("Query");
    client.Add("S1");
    r = client.Execute();
    ASSERT_TRUE(r.ok() && *r);
    EXPECT_EQ(client.Item(1).RowCount, 0);
}

TEST_F(StatementExchange, TransportFailuresNameHostPortAndStatus)
{
    const std::string where = "127.0.0.1:" + std::to_string(server.port());
    server.queueResponse(httpResponse(500, {}, "boom"));
    client.Add("Query");
    auto r = client.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "サーバーがエラーを返しました (HTTP 500, " + where + ")");

    // A redirect is not followed: one request, and the status is the failure.
    server.queueResponse(httpResponse(302, {"Location: " + server.url("/elsewhere")}, ""));
    r = client.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "サーバーがエラーを返しました (HTTP 302, " + where + ")");
    EXPECT_EQ(server.requests().size(), 2u);

    const int closedPort = test::unusedLoopbackPort();
    THttpStatements nowhere("http://127.0.0.1:" + std::to_string(closedPort) + "/ORQ/servlet/ApsServlet/");
    nowhere.Add("Query");
    r = nowhere.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::Transport);
    EXPECT_EQ(r.error().message, "サーバーに接続できません (127.0.0.1:" + std::to_string(closedPort) + ")");
}

TEST_F(StatementExchange, SilentServerTimesOut)
{
    server.setSilent(true);
    CurlTransportOptions options;
    options.totalTimeout = std::chrono::milliseconds(300);
    THttpStatements impatient(server.url(), makeCurlTransport(options));
    impatient.Add("Query");
    auto r = impatient.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message,
              "サーバーが時間内に応答しません (127.0.0.1:" + std::to_string(server.port()) + ")");
}

TEST_F(StatementExchange, BusyHookBracketsEveryExchangeAlsoOnFailure)
{
    std::vector<std::string> calls;
    setBusyHook({[&] { calls.push_back("begin"); },
                 [&] { calls.push_back("end:" + std::to_string(server.requests().size())); }});
    ASSERT_TRUE(run({"S1"}, "#1/0\x04").ok());
    server.queueResponse(httpResponse(503, {}, ""));
    ASSERT_FALSE(client.Execute().ok());
    EXPECT_EQ(calls, (std::vector<std::string>{"begin", "end:1", "begin", "end:2"}));
}

TEST_F(StatementExchange, ClientsOnSeveralThreadsShareOneCookie)
{
    constexpr int kThreads = 4;
    constexpr int kEach = 5;
    for (int i = 0; i < kThreads * kEach; ++i)
        server.queueResponse(okReply("\x1E"
                                     "1#1/1\x04",
                                     {"Set-Cookie: sid=shared"}));
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&] {
            THttpStatements c(server.url());
            for (int i = 0; i < kEach; ++i) {
                c.Clear();
                c.Add("Query");
                c.Add("S1");
                auto r = c.Execute();
                if (r.ok() && *r && c.Item(1).RowCount == 1)
                    ++good;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(good, kThreads * kEach);
    EXPECT_EQ(sessionCookie(), "sid=shared");
}

TEST_F(StatementExchange, StatementsThatCannotTravelAreRefusedBeforeSending)
{
    client.Add("Query");
    client.Add("SELECT '\x1D'");
    auto r = client.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::Validation);

    client.Clear();
    client.Add("Query");
    client.Add("SELECT '😀'"); // no CP932 form
    r = client.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::Encoding);
    EXPECT_TRUE(server.requests().empty());
}

} // namespace

// A -99 that the server marks "X-Vorteq-Session: expired" asks for a new login; the same -99
// without the mark, or the mark on a reply that ran, keeps its old meaning.
TEST_F(StatementExchange, ExpiredSessionMarkIsItsOwnOutcome)
{
    const auto exchange = [this](const std::string& headerLine, std::string_view replyText) {
        server.queueResponse(okReply(replyText, headerLine.empty() ? std::vector<std::string>{}
                                                                   : std::vector<std::string>{headerLine}));
        client.Clear();
        client.Add("Query");
        client.Add("S1");
        return client.Execute();
    };
    for (const char* line : {"X-Vorteq-Session: expired", "x-vorteq-session:   EXPIRED  "}) {
        const auto r = exchange(line, "-99\x04");
        ASSERT_FALSE(r.ok()) << line;
        EXPECT_EQ(r.error().code, ErrorCode::SessionExpired) << line;
        EXPECT_EQ(r.error().message, kSessionExpiredMessage);
    }
    auto r = exchange("", "-99\x04");
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(*r);
    r = exchange("X-Vorteq-Session: renewed", "-99\x04");
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(*r);
    r = exchange("X-Vorteq-Session: expired", "\x1E"
                                              "a#1/1\x04");
    ASSERT_TRUE(r.ok());
    EXPECT_TRUE(*r);
}
