// Peers that hold connections open, dribble their requests or never read their replies: the server
// cuts them off within its bounds and keeps answering everyone else. The attackers connect from
// other loopback addresses (127.0.0.x) than the honest client, as they would from other machines.
#include "ServerTestData.h"
#include "gateway/THttpStatements.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "support/TestServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::test;
using namespace std::chrono_literals;

namespace {

const std::string kPartialHeader = "POST /ORQ/servlet/ApsServlet/ HTTP/1.1\r\nHost: 127.0.0.1\r\n";

// One raw TCP connection to the test server from the given loopback address.
class Peer {
public:
    Peer(unsigned short port, const std::string& from, int receiveBuffer = 0)
        : m_fd(::socket(AF_INET, SOCK_STREAM, 0))
    {
        if (receiveBuffer > 0)
            ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        ::inet_pton(AF_INET, from.c_str(), &local.sin_addr);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(port);
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_connected = ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof local) == 0 &&
                      ::connect(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    }
    ~Peer() { ::close(m_fd); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    bool connected() const { return m_connected; }
    bool send(std::string_view bytes)
    {
        return ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // True once the server has closed the connection (what it sent before is read and dropped);
    // waits at most `wait` for that.
    bool closedWithin(std::chrono::milliseconds wait)
    {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            pollfd p{m_fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (::poll(&p, 1, static_cast<int>(std::max<std::int64_t>(0, left.count()))) > 0) {
                char chunk[4096];
                const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, MSG_DONTWAIT);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK))
                    return true;
            }
            if (std::chrono::steady_clock::now() >= until)
                return false;
        }
    }

private:
    int m_fd;
    bool m_connected = false;
};

std::string batchBody(const std::vector<std::string>& items)
{
    return zlibCompress(wire::buildRequestText(items), ZlibLevel::Fastest).value();
}

std::string post(const std::string& body, const std::string& cookie)
{
    return "POST /ORQ/servlet/ApsServlet/ HTTP/1.0\r\nHost: 127.0.0.1\r\nCookie: " + cookie +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

class ConnectionLimits : public ::testing::Test {
protected:
    static TestServerOptions options()
    {
        TestServerOptions o;
        o.http.requestTimeout = 2s;
        o.http.writeStallTimeout = 1s;
        o.http.maxConnections = 24;
        o.http.maxConnectionsPerAddress = 8;
        o.http.replyMemoryBudget = 16u * 1024u * 1024u;
        return o;
    }

    ConnectionLimits() : server(options()) {}
    explicit ConnectionLimits(const TestServerOptions& o) : server(o) {}

    void SetUp() override
    {
        clearSessionCookie();
        seedMarket(server);
    }
    void TearDown() override { clearSessionCookie(); }

    // The honest client: logs in and screens, each exchange on a fresh connection.
    bool loginAndQuery()
    {
        THttpStatements client(server.url());
        client.Add("Query");
        client.Add(loginSql("demo", "demo1234"));
        auto login = client.Execute();
        if (!login.ok() || !*login || client.Item(1).RowCount != 1)
            return false;
        client.Clear();
        client.Add("Query");
        client.Add("SELECT a.STK_CD FROM STK_INFO a ORDER BY a.STK_CD");
        auto query = client.Execute();
        return query.ok() && *query && client.Item(1).RowCount > 0;
    }

    TestServer server;
};

TEST_F(ConnectionLimits, SlowPeersOnOneAddressOrManyDoNotKeepOthersOut)
{
    // 40 half-sent requests from one address, far beyond its bound, and one each from 30 more
    // addresses, beyond the server's bound.
    std::vector<std::unique_ptr<Peer>> crowd;
    for (int i = 0; i < 40; ++i) {
        crowd.push_back(std::make_unique<Peer>(server.port(), "127.0.0.2"));
        ASSERT_TRUE(crowd.back()->connected());
        crowd.back()->send(kPartialHeader);
    }
    std::vector<std::unique_ptr<Peer>> spread;
    for (int i = 1; i <= 30; ++i) {
        spread.push_back(std::make_unique<Peer>(server.port(), "127.0.1." + std::to_string(i)));
        spread.back()->send(kPartialHeader);
    }
    EXPECT_TRUE(loginAndQuery());
    EXPECT_TRUE(loginAndQuery());

    // At most the bound's worth of the one address is still open: the oldest made room.
    int open = 0;
    for (auto& peer : crowd)
        open += peer->closedWithin(50ms) ? 0 : 1;
    EXPECT_LE(open, 8);
    // Every one of them is cut off by the request deadline, whoever else comes and goes.
    for (auto& peer : crowd)
        EXPECT_TRUE(peer->closedWithin(5s));
}

TEST_F(ConnectionLimits, TheDeadlineCoversTheWholeRequestHoweverItIsSpaced)
{
    // One byte every 100 ms: each read succeeds, the request as a whole is late.
    Peer dribbler(server.port(), "127.0.0.3");
    ASSERT_TRUE(dribbler.connected());
    const std::string request = kPartialHeader + "X-Padding: " + std::string(200, 'a') + "\r\n\r\n";
    const auto started = std::chrono::steady_clock::now();
    bool closed = false;
    for (char c : request) {
        if (!dribbler.send(std::string_view(&c, 1)) || dribbler.closedWithin(100ms)) {
            closed = true;
            break;
        }
    }
    EXPECT_TRUE(closed) << "a 2-second deadline let a 20-second request through";
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(loginAndQuery());
}

TEST_F(ConnectionLimits, PeersThatDoNotReadTheirRepliesAreDroppedAndFreeTheMemory)
{
    // Stock names of 400 bytes: the list of every stock is a reply of about 12 MB, more than the
    // kernel buffers of a loopback connection take when the peer reads nothing.
    server.execSql(
        server.onPostgres()
            ? "INSERT INTO STK_INFO (STK_CD, STK_NM, MKT_CD) SELECT (200000 + i)::text, repeat('x', 400), "
              "11 FROM generate_series(1, 30000) i"
            : "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
              "INSERT INTO STK_INFO (STK_CD, STK_NM, MKT_CD) SELECT 200000 + i, printf('%.400c', 'x'), 11 "
              "FROM n");
    ASSERT_TRUE(loginAndQuery());
    std::string cookie = sessionCookie();
    cookie = cookie.substr(0, cookie.find(';'));
    const std::string request =
        post(batchBody({"Query", "SELECT a.STK_CD, a.STK_NM FROM STK_INFO a"}), cookie);

    std::vector<std::unique_ptr<Peer>> sleepers;
    std::size_t peak = 0;
    for (int i = 0; i < 6; ++i) {
        sleepers.push_back(std::make_unique<Peer>(server.port(), "127.0.0.4", 4096));
        ASSERT_TRUE(sleepers.back()->send(request));
        std::this_thread::sleep_for(200ms);
        peak = std::max(peak, server.heldReplyBytes());
    }
    // Held: at most the budget and the replies that crossed it, one per worker thread (two requests
    // admitted under the budget at the same moment both finish their replies); stalled replies
    // beyond the budget are dropped as soon as another request comes.
    EXPECT_GT(peak, 0u);
    EXPECT_LE(peak, 16u * 1024u * 1024u + 2u * 13u * 1024u * 1024u);

    // Within the stall timeout and a margin, every reply is dropped and honest work goes on.
    const auto until = std::chrono::steady_clock::now() + 8s;
    while (server.heldReplyBytes() > 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(50ms);
    EXPECT_EQ(server.heldReplyBytes(), 0u);
    EXPECT_TRUE(loginAndQuery());
}

// A reply budget smaller than one reply and a stall timeout long enough that only the budget's
// eviction can end a peer that reads nothing: its connection is closed while its reply is still
// being written, which must neither touch the reply after it is gone nor stop the server.
class ReplyEviction : public ConnectionLimits {
protected:
    static TestServerOptions options()
    {
        TestServerOptions o = ConnectionLimits::options();
        o.http.writeStallTimeout = 30s;
        o.http.replyMemoryBudget = 1024u * 1024u;
        return o;
    }
    ReplyEviction() : ConnectionLimits(options()) {}

    // 50,000 stocks named in random digits: the list of every stock is a reply of about 10 MB
    // however it is compressed, more than the kernel buffers of a connection take. Logs in and
    // returns the request for that list.
    std::string requestForTheWholeList()
    {
        server.execSql(
            server.onPostgres()
                ? "INSERT INTO STK_INFO (STK_CD, STK_NM, MKT_CD) SELECT (200000 + i)::text, (SELECT "
                  "string_agg(md5(i::text || '-' || j::text), '') FROM generate_series(1, 12) j), "
                  "11 FROM generate_series(1, 50000) i"
                : "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 50000) "
                  "INSERT INTO STK_INFO (STK_CD, STK_NM, MKT_CD) SELECT 200000 + i, "
                  "hex(randomblob(192)), 11 FROM n");
        EXPECT_TRUE(loginAndQuery());
        cookie = sessionCookie();
        cookie = cookie.substr(0, cookie.find(';'));
        return post(batchBody({"Query", "SELECT a.STK_CD, a.STK_NM FROM STK_INFO a"}), cookie);
    }

    // True once the server holds no reply, waiting at most `wait` for that (a reply the peer has
    // read whole is let go when the write's handler has run).
    bool allRepliesLetGoWithin(std::chrono::milliseconds wait)
    {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (server.heldReplyBytes() > 0 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(20ms);
        return server.heldReplyBytes() == 0;
    }

    std::string cookie;
};

TEST_F(ReplyEviction, APeerClosedWhileItsReplyIsBeingWrittenIsDroppedCleanly)
{
    const std::string request = requestForTheWholeList();
    for (int round = 0; round < 3; ++round) {
        // To a peer that reads none of it, the reply's write stays pending.
        Peer sleeper(server.port(), "127.0.0.5", 4096);
        ASSERT_TRUE(sleeper.send(request));
        const auto until = std::chrono::steady_clock::now() + 10s;
        while (server.heldReplyBytes() <= 1024u * 1024u && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        ASSERT_GT(server.heldReplyBytes(), 1024u * 1024u);
        // Once it has stalled, the next request over the budget evicts it mid-write.
        std::this_thread::sleep_for(700ms);
        ASSERT_GT(server.heldReplyBytes(), 1024u * 1024u);
        EXPECT_TRUE(loginAndQuery());
        EXPECT_TRUE(sleeper.closedWithin(5s));
        EXPECT_TRUE(allRepliesLetGoWithin(2s));
    }
    EXPECT_TRUE(loginAndQuery());
}

TEST_F(ReplyEviction, APeerThatResumesReadingAsItIsEvictedNeverGetsAReplyThatIsGone)
{
    // The eviction closes the connection on its own thread while the peer's reading wakes the
    // pending write on another: the write must still find its reply, whichever comes first.
    const std::string request = requestForTheWholeList();
    const std::string nudge = post(batchBody({"Query"}), cookie);
    std::vector<std::unique_ptr<Peer>> sleepers;
    for (int i = 0; i < 6; ++i) {
        sleepers.push_back(std::make_unique<Peer>(server.port(), "127.0.0." + std::to_string(10 + i), 4096));
        ASSERT_TRUE(sleepers.back()->send(request));
    }
    for (int round = 0; round < 24; ++round) {
        std::this_thread::sleep_for(600ms);
        // Every sleeper has stalled: the nudge evicts them while they all start reading.
        Peer nudger(server.port(), "127.0.0.3");
        std::vector<std::thread> readers;
        for (auto& s : sleepers)
            readers.emplace_back([&s] { (void)s->closedWithin(300ms); });
        std::this_thread::sleep_for(std::chrono::microseconds(50 * (round % 20)));
        nudger.send(nudge);
        for (auto& t : readers)
            t.join();
        for (auto& s : sleepers) {
            if (s->closedWithin(0ms)) {
                s = std::make_unique<Peer>(server.port(), "127.0.0." + std::to_string(10 + round % 6), 4096);
                s->send(request);
            }
        }
    }
    // Once the peers are gone (replies still being worked out for the last ones make the server
    // busy for a moment), honest work goes on and every reply is let go.
    sleepers.clear();
    (void)allRepliesLetGoWithin(10s);
    const auto until = std::chrono::steady_clock::now() + 10s;
    bool served = false;
    while (!(served = loginAndQuery()) && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(100ms);
    EXPECT_TRUE(served) << server.logLines().back();
    EXPECT_TRUE(allRepliesLetGoWithin(10s));
}

TEST_F(ConnectionLimits, ControlCharactersInLoggedFieldsCannotForgeLines)
{
    // SQLite names the unknown column of a bracketed name as it stands, newline included.
    ASSERT_TRUE(loginAndQuery());
    THttpStatements client(server.url());
    client.Add("Query");
    client.Add(
        "SELECT a.STK_CD FROM STK_INFO a WHERE [x\n2026-01-01 00:00:00 user=admin outcome=ok\x1b[2J] = 1");
    auto r = client.Execute();
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_FALSE(*r);
    const auto lines = server.logLines();
    ASSERT_FALSE(lines.empty());
    for (const auto& line : lines)
        for (char c : line)
            ASSERT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << line;
    EXPECT_NE(lines.back().find("x\\x0A2026-01-01"), std::string::npos) << lines.back();
    EXPECT_NE(lines.back().find("\\x1B[2J"), std::string::npos) << lines.back();
}

} // namespace
