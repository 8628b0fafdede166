// Hostile and malformed requests: each is refused with -99 (or an HTTP error for a wrong method or
// path), changes nothing and leaks nothing.
#include "ServerTestData.h"
#include "gateway/HttpTransport.h"
#include "gateway/THttpStatements.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "support/TestServer.h"

#include <arpa/inet.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::test;

namespace {

const std::string kFailureReply = "-99\x04";

class HostileRequest : public ::testing::Test {
protected:
    explicit HostileRequest(const TestServerOptions& options = {}) : server(options) {}

    void SetUp() override
    {
        clearSessionCookie();
        seedMarket(server);
        snapshot = dump();
    }
    void TearDown() override { clearSessionCookie(); }

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

    bool login(const std::string& user, const std::string& password)
    {
        return run("Query", {loginSql(user, password), kUpdateDatesSql}) && client.Item(1).RowCount == 1;
    }

    // Every row of the tables a hostile request might try to change.
    std::vector<std::vector<std::string>> dump()
    {
        auto rows =
            server.query("SELECT USR_ID, PASS_WORD, USR_NM, E_MAIL, MAIL_STATUS, USR_STATUS FROM USR_INFO "
                         "ORDER BY USR_ID");
        for (auto& r : server.query("SELECT STK_CD, STK_NM, MKT_CD FROM STK_INFO ORDER BY STK_CD"))
            rows.push_back(r);
        for (auto& r : server.query("SELECT COUNT(*), SUM(E_PRICE) FROM STK_DAILY_TSE_2006"))
            rows.push_back(r);
        const std::string tables = server.onPostgres()
                                       ? "SELECT upper(tablename) FROM pg_tables WHERE schemaname = 'public' "
                                         "ORDER BY 1"
                                       : "SELECT name FROM sqlite_master ORDER BY name";
        for (auto& r : server.query(tables))
            rows.push_back(r);
        return rows;
    }

    // The inflated reply text to a raw body, with the given cookie line.
    std::string rawExchange(const std::string& body, const std::string& cookieLine = "Cookie:")
    {
        auto reply = makeCurlTransport()->post(server.url(), body, cookieLine);
        EXPECT_TRUE(reply.ok()) << reply.error().message;
        if (!reply.ok())
            return "<no reply>";
        EXPECT_EQ(reply->status, 200);
        auto text = zlibDecompress(reply->body);
        EXPECT_TRUE(text.ok());
        return text.ok() ? *text : "<damaged reply>";
    }

    static std::string body(const std::vector<std::string>& items)
    {
        return *zlibCompress(wire::buildRequestText(items), ZlibLevel::Fastest);
    }

    TestServer server;
    THttpStatements client{server.url()};
    std::vector<std::vector<std::string>> snapshot;
};

} // namespace

TEST_F(HostileRequest, QuotesInUserIdAndPasswordNeitherLogInNorLeak)
{
    // Undoubled: the quote ends the literal, the statement loses its shape and needs a session.
    const std::string head =
        "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 ";
    EXPECT_FALSE(
        run("Query", {head + "AND a.USR_ID = 'demo' AND a.PASS_WORD = '' OR '1'='1' ", kUpdateDatesSql}));
    EXPECT_FALSE(run("Query", {head + "AND a.USR_ID = 'demo' --' AND a.PASS_WORD = 'x' "}));
    // Doubled: the whole text is the value, which matches no user and no password.
    EXPECT_TRUE(run("Query", {loginSql("demo", "' OR '1'='1"), kUpdateDatesSql}));
    EXPECT_EQ(client.Item(1).RowCount, 0);
    EXPECT_TRUE(run("Query", {loginSql("demo' --", "x"), kUpdateDatesSql}));
    EXPECT_EQ(client.Item(1).RowCount, 0);
    EXPECT_EQ(sessionCookie(), "");
    // A real password holding a quote logs in when the client doubles it.
    server.addUser("o'brien", "it's", "オブライエン", "ob@example.com");
    EXPECT_TRUE(login("o'brien", "it's"));
    EXPECT_EQ(dump().size(), snapshot.size() + 1);
}

TEST_F(HostileRequest, QueryModeRefusesEverythingButConfinedSelects)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::vector<std::string> refused = {
        "SELECT a.STK_CD, a.STK_NM FROM STK_INFO a UNION ALL SELECT u.USR_ID, u.PASS_WORD FROM USR_INFO u",
        "SELECT a.STK_CD FROM STK_INFO a WHERE a.STK_CD IN (SELECT USR_ID FROM USR_INFO)",
        "SELECT a.STK_CD FROM STK_INFO a; DELETE FROM STK_INFO",
        "SELECT a.STK_CD FROM STK_INFO a; SELECT 1",
        "PRAGMA table_info(USR_INFO)",
        "SELECT * FROM pragma_table_info('USR_INFO')",
        "SELECT sql FROM sqlite_master",
        "ATTACH DATABASE '" + server.dbPath() + ".evil' AS evil",
        "SELECT load_extension('/tmp/evil.so')",
        "DELETE FROM STK_INFO",
        "UPDATE STK_INFO SET STK_NM = 'x'",
        "INSERT INTO STK_INFO VALUES ('0000', 'x', 11)",
        "DROP TABLE STK_INFO",
        "CREATE TABLE X (A)",
        "UPDATE USR_INFO a SET a.PASS_WORD = 'hack' WHERE a.USR_ID = 'demo' AND a.PASS_WORD = 'demo1234' ",
        "SELECT a.TOKEN_DIGEST FROM SESSION_INFO a",
        "WITH x AS (SELECT USR_ID FROM USR_INFO) SELECT * FROM x",
        "",
    };
    for (const auto& sql : refused) {
        EXPECT_FALSE(run("Query", {sql})) << sql;
        EXPECT_EQ(client.Item(1).RowCount, 0) << sql;
    }
    EXPECT_EQ(dump(), snapshot);
    EXPECT_FALSE(std::filesystem::exists(server.dbPath() + ".evil"));
    // The session survives refusals.
    EXPECT_TRUE(run("Query", {kUpdateDatesSql}));
}

TEST_F(HostileRequest, UpdateModeAcceptsOnlyTheSessionUsersAccountChanges)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    const std::vector<std::string> refused = {
        passwordChangeSql("bounce", "bounce12", "taken99"),
        mailChangeSql("bounce", "bounce@example.com", "evil@example.com"),
        "UPDATE USR_INFO SET USR_STATUS = 0",
        "UPDATE USR_INFO a SET a.USR_STATUS = 0 WHERE a.USR_ID = 'blocked' ",
        "DELETE FROM USR_INFO",
        "SELECT a.STK_CD FROM STK_INFO a",
        mailChangeSql("demo", "demo@example.com", "two@@example.com"),
        mailChangeSql("demo", "demo@example.com", "x'@example.com"),
    };
    for (const auto& sql : refused)
        EXPECT_FALSE(run("Update", {sql})) << sql;
    EXPECT_FALSE(run("Delete", {"DELETE FROM STK_INFO"}));
    EXPECT_FALSE(run("query", {kUpdateDatesSql}));
    EXPECT_EQ(dump(), snapshot);
    // Without a session not even the user's own change goes through.
    clearSessionCookie();
    EXPECT_FALSE(run("Update", {passwordChangeSql("demo", "demo1234", "Neu5678")}));
    EXPECT_EQ(dump(), snapshot);
}

TEST_F(HostileRequest, LoginBatchCannotCarryOtherStatements)
{
    EXPECT_FALSE(run("Query", {loginSql("demo", "demo1234"), "SELECT a.STK_CD FROM STK_INFO a"}));
    EXPECT_FALSE(run("Query", {loginSql("demo", "demo1234"), kUpdateDatesSql, kUpdateDatesSql}));
    EXPECT_EQ(sessionCookie(), "");
    EXPECT_FALSE(run("Update", {loginSql("demo", "demo1234")}));
}

TEST_F(HostileRequest, MalformedBodiesAreAnsweredWithFailure)
{
    std::mt19937 random(7);
    std::string garbage(4096, '\0');
    for (char& c : garbage)
        c = static_cast<char>(random() & 0xFF);
    EXPECT_EQ(rawExchange(""), kFailureReply);         // 0-length body
    EXPECT_EQ(rawExchange("\x01\x02"), kFailureReply); // shorter than the length prefix
    EXPECT_EQ(rawExchange(garbage), kFailureReply);    // random bytes
    EXPECT_EQ(rawExchange(std::string("\x10\0\0\0garbage", 11)), kFailureReply); // not a zlib stream
    // A valid stream whose text lacks the 0x04 CR LF end, or has bytes after it.
    EXPECT_EQ(rawExchange(*zlibCompress("Query\x1DSELECT 1", ZlibLevel::Fastest)), kFailureReply);
    EXPECT_EQ(rawExchange(*zlibCompress("Query\x04\r\nmore", ZlibLevel::Fastest)), kFailureReply);
    // A statement that is not CP932 text (a lone lead byte).
    EXPECT_EQ(rawExchange(body({"Query", "SELECT '\x81'"})), kFailureReply);
    // Only the mode word: nothing to run, an empty reply.
    EXPECT_EQ(rawExchange(body({"Query"})), "");
    EXPECT_EQ(dump(), snapshot);
}

TEST_F(HostileRequest, ZlibBombsAreNotInflated)
{
    // 200 MB of zeros compress to about 200 KB; announced truthfully it is above the limit.
    const std::string zeros(200u * 1024u * 1024u, '\0');
    auto bomb = zlibCompress(zeros, ZlibLevel::Maximum);
    ASSERT_TRUE(bomb.ok());
    EXPECT_LT(bomb->size(), 512u * 1024u);
    EXPECT_EQ(rawExchange(*bomb), kFailureReply);
    // Announced as 16 bytes: only 16 bytes are inflated, and they are no batch.
    std::string lying = *bomb;
    lying.replace(0, 4, std::string("\x10\0\0\0", 4));
    EXPECT_EQ(rawExchange(lying), kFailureReply);
    // Announced as 4 GiB - 1.
    lying.replace(0, 4, std::string("\xFF\xFF\xFF\xFF", 4));
    EXPECT_EQ(rawExchange(lying), kFailureReply);
}

TEST_F(HostileRequest, OversizedBodyIsRefusedWithoutReadingIt)
{
    std::string big(3u * 1024u * 1024u, 'x');
    EXPECT_EQ(rawExchange(big), kFailureReply);
    // The server goes on serving.
    EXPECT_TRUE(login("demo", "demo1234"));
}

TEST_F(HostileRequest, TooManyStatementsAreRefused)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    EXPECT_TRUE(run("Query", std::vector<std::string>(32, kUpdateDatesSql)));
    EXPECT_EQ(client.Item(32).RowCount, 2);
    EXPECT_FALSE(run("Query", std::vector<std::string>(33, kUpdateDatesSql)));
    EXPECT_EQ(client.Item(1).RowCount, 0);
}

TEST_F(HostileRequest, WrongPathOrMethodIsAnHttpError)
{
    auto transport = makeCurlTransport();
    const std::string base = "http://127.0.0.1:" + std::to_string(server.port());
    auto wrongPath = transport->post(base + "/ORQ/servlet/Other/", body({"Query"}), "Cookie:");
    ASSERT_FALSE(wrongPath.ok());
    EXPECT_NE(wrongPath.error().message.find("HTTP 404"), std::string::npos) << wrongPath.error().message;
    auto noSlash = transport->post(base + "/ORQ/servlet/ApsServlet", body({"Query"}), "Cookie:");
    ASSERT_TRUE(noSlash.ok());
    EXPECT_EQ(noSlash->status, 200);
}

namespace {

// Sends raw bytes on one connection and returns everything the server answers until it closes.
std::string rawHttp(unsigned short port, const std::string& bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size())) {
        char chunk[4096];
        for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
            answer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return answer;
}

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST_F(HostileRequest, Http11KeepsTheConnectionAndOtherMethodsAreRefused)
{
    const std::string batch = body({"Query", kUpdateDatesSql});
    const std::string post = "POST /ORQ/servlet/ApsServlet/ HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                             std::to_string(batch.size()) + "\r\n";
    // Two requests on one HTTP/1.1 connection, the second closing it: two answers (-99, no session).
    const std::string two =
        rawHttp(server.port(), post + "\r\n" + batch + post + "Connection: close\r\n\r\n" + batch);
    EXPECT_EQ(count(two, "HTTP/1.1 200 OK\r\n"), 2u) << two;
    const std::string get = rawHttp(server.port(), "GET /ORQ/servlet/ApsServlet/ HTTP/1.0\r\n\r\n");
    EXPECT_EQ(get.rfind("HTTP/1.0 405", 0), 0u) << get;
    EXPECT_NE(get.find("Allow: POST"), std::string::npos);
    const std::string garbage = rawHttp(server.port(), "\x16\x03\x01 not http at all\r\n\r\n");
    EXPECT_EQ(garbage.rfind("HTTP/1.1 400", 0), 0u) << garbage;
    // Headers beyond the limit are refused too, and the server goes on.
    const std::string huge =
        rawHttp(server.port(),
                "POST /ORQ/servlet/ApsServlet/ HTTP/1.0\r\nX: " + std::string(64 * 1024, 'a') + "\r\n\r\n");
    EXPECT_EQ(huge.rfind("HTTP/1.0 400", 0), 0u) << huge.substr(0, 40);
    EXPECT_TRUE(login("demo", "demo1234"));
}

namespace {

TestServerOptions tightOptions()
{
    TestServerOptions options;
    options.limits.maxRows = 2;
    options.limits.requestTime = std::chrono::milliseconds(100);
    return options;
}

class TightLimits : public HostileRequest {
protected:
    TightLimits() : HostileRequest(tightOptions()) {}
};

} // namespace

TEST_F(TightLimits, RowAndTimeLimitsFailTheStatementNotTheServer)
{
    ASSERT_TRUE(login("demo", "demo1234"));
    EXPECT_TRUE(run("Query", {kUpdateDatesSql})); // 2 rows: at the limit
    EXPECT_FALSE(run("Query", {"SELECT a.STK_CD FROM STK_INFO a"}));
    for (int i = 0; i < 300; ++i)
        server.execSql("INSERT INTO STK_DAILY_TSE_2007 (STK_CD, STK_DATE) VALUES ('" + std::to_string(i) +
                       "', '2007/01/04')");
    EXPECT_FALSE(run("Query", {"SELECT COUNT(*) FROM STK_DAILY_TSE_2007 a, STK_DAILY_TSE_2007 b, "
                               "STK_DAILY_TSE_2007 c, STK_DAILY_TSE_2007 d"}));
    bool sawTimeLimit = false;
    for (const auto& line : server.logLines())
        sawTimeLimit = sawTimeLimit || line.find("time limit") != std::string::npos;
    EXPECT_TRUE(sawTimeLimit);
    EXPECT_TRUE(run("Query", {kUpdateDatesSql}));
    // The row limit holds for the whole batch: two statements of 2 rows each exceed it together.
    EXPECT_FALSE(run("Query", {kUpdateDatesSql, kUpdateDatesSql}));
    EXPECT_EQ(client.Item(1).RowCount, 2);
}
