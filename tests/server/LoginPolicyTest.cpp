// The login policy over real HTTP: the throttle per (user ID, client address) and per address, the
// throttled answer, the password change under the same throttle, correct logins while others write,
// hashes of another cost, the per-user limit on running requests, and the start-up check. Other
// clients are played from other loopback source addresses (127.0.0.2, ...).
#include "ServerTestData.h"
#include "server/http/BatchService.h"
#include "server/storage/Database.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace vorteq;
using namespace vorteq::test;

namespace {

TestServerOptions throttleOptions()
{
    TestServerOptions options;
    options.throttle.freePerPair = 2;
    options.throttle.freePerAddress = 5;
    options.throttle.firstWait = std::chrono::seconds(10);
    options.throttle.maxWait = std::chrono::seconds(60);
    return options;
}

class LoginPolicy : public ::testing::Test {
protected:
    explicit LoginPolicy(const TestServerOptions& options = throttleOptions()) : server(options) {}
    void SetUp() override { seedMarket(server); }

    RawExchange loginFrom(const std::string& address, const std::string& user, const std::string& password)
    {
        return exchangeFrom(address, server.port(), {"Query", loginSql(user, password), kUpdateDatesSql});
    }
    static bool throttled(const RawExchange& r) { return r.header("x-vorteq-login") == "throttled"; }
    // The cookie value a login set ("VQSESSION=...").
    static std::string cookieOf(const RawExchange& r)
    {
        const std::string set = r.header("set-cookie");
        return set.substr(0, set.find(';'));
    }
    // Seconds the pair (address, user) waits after its last failure.
    std::string waitOf(const std::string& address, const std::string& user)
    {
        auto rows = server.query("SELECT WAIT_UNTIL - LAST_FAIL FROM LOGIN_THROTTLE WHERE CLIENT_ADDR = '" +
                                 address + "' AND USR_ID = '" + user + "'");
        return rows.empty() ? "none" : rows[0][0];
    }

    TestServer server;
};

} // namespace

TEST_F(LoginPolicy, FailuresThrottleTheirOwnAddressAndNeverTheRightPasswordFromElsewhere)
{
    for (int i = 0; i < 3; ++i) {
        const auto r = loginFrom("127.0.0.2", "demo", "wrong" + std::to_string(i));
        EXPECT_EQ(r.firstRows(), 0) << i;
        EXPECT_FALSE(throttled(r)) << i; // checked and refused: the ordinary refusal
    }
    // The third failure started a wait: even the right password from that address is not checked.
    const auto held = loginFrom("127.0.0.2", "demo", "demo1234");
    EXPECT_EQ(held.status, 200);
    EXPECT_EQ(held.firstRows(), 0); // the body of a refused login, which older clients understand
    EXPECT_TRUE(held.reply.ok);
    EXPECT_TRUE(throttled(held));
    const int retryAfter = std::atoi(held.header("retry-after").c_str());
    EXPECT_GE(retryAfter, 9);
    EXPECT_LE(retryAfter, 10);
    EXPECT_EQ(held.header("set-cookie"), "");
    // Addresses that did not fail log in at once: nobody can lock the owner out.
    EXPECT_EQ(loginFrom("127.0.0.3", "demo", "demo1234").firstRows(), 1);
    EXPECT_EQ(loginFrom("127.0.0.1", "demo", "demo1234").firstRows(), 1);
    // Those pairs are known now: their next password checks go before those of strangers.
    EXPECT_EQ(server.query("SELECT CLIENT_ADDR FROM LOGIN_KNOWN WHERE USR_ID = 'demo' ORDER BY 1"),
              (std::vector<std::vector<std::string>>{{"127.0.0.1"}, {"127.0.0.3"}}));
    // After the wait the right password from the failing address logs in and clears its record.
    server.advanceClock(11);
    const auto later = loginFrom("127.0.0.2", "demo", "demo1234");
    EXPECT_EQ(later.firstRows(), 1);
    EXPECT_FALSE(cookieOf(later).empty());
    EXPECT_EQ(waitOf("127.0.0.2", "demo"), "none");
    // No record names a user ID without an address.
    EXPECT_TRUE(server.query("SELECT 1 FROM LOGIN_THROTTLE WHERE CLIENT_ADDR = ''").empty());
    bool logged = false;
    for (const auto& line : server.logLines())
        logged = logged || line.find("outcome=login-throttled") != std::string::npos;
    EXPECT_TRUE(logged);
}

TEST_F(LoginPolicy, WaitsDoubleWithEachFurtherFailureAndAQuietHourForgetsThem)
{
    for (int i = 0; i < 3; ++i)
        loginFrom("127.0.0.2", "demo", "wrong");
    EXPECT_EQ(waitOf("127.0.0.2", "demo"), "10");
    server.advanceClock(11);
    EXPECT_FALSE(throttled(loginFrom("127.0.0.2", "demo", "wrong")));
    EXPECT_EQ(waitOf("127.0.0.2", "demo"), "20");
    server.advanceClock(11);
    EXPECT_TRUE(throttled(loginFrom("127.0.0.2", "demo", "demo1234")));
    server.advanceClock(10);
    EXPECT_FALSE(throttled(loginFrom("127.0.0.2", "demo", "wrong")));
    EXPECT_EQ(waitOf("127.0.0.2", "demo"), "40");
    // An hour without failures starts the count again: the next failure is a free one.
    server.advanceClock(3700);
    EXPECT_FALSE(throttled(loginFrom("127.0.0.2", "demo", "wrong")));
    EXPECT_EQ(waitOf("127.0.0.2", "demo"), "0");
}

TEST_F(LoginPolicy, ManyUserIdsFromOneAddressThrottleThatAddressForEveryId)
{
    for (int i = 0; i < 6; ++i) {
        const auto r = loginFrom("127.0.0.4", "guess" + std::to_string(i), "pass1234");
        EXPECT_EQ(r.firstRows(), 0);
        EXPECT_FALSE(throttled(r)) << i;
    }
    EXPECT_TRUE(throttled(loginFrom("127.0.0.4", "demo", "demo1234")));
    EXPECT_TRUE(throttled(loginFrom("127.0.0.4", "guess9", "pass1234")));
    EXPECT_EQ(loginFrom("127.0.0.5", "demo", "demo1234").firstRows(), 1);
}

TEST_F(LoginPolicy, PasswordChangeChecksTheCurrentPasswordUnderTheSameThrottle)
{
    const std::string cookie = cookieOf(loginFrom("127.0.0.6", "demo", "demo1234"));
    ASSERT_FALSE(cookie.empty());
    for (int i = 0; i < 3; ++i) {
        const auto r = exchangeFrom(
            "127.0.0.6", server.port(),
            {"Update", passwordChangeSql("demo", "guess" + std::to_string(i), "Neu5678")}, cookie);
        EXPECT_FALSE(r.reply.ok) << i; // -99
        EXPECT_FALSE(throttled(r)) << i;
    }
    const auto held = exchangeFrom("127.0.0.6", server.port(),
                                   {"Update", passwordChangeSql("demo", "demo1234", "Neu5678")}, cookie);
    EXPECT_FALSE(held.reply.ok);
    EXPECT_TRUE(throttled(held));
    EXPECT_EQ(loginFrom("127.0.0.7", "demo", "demo1234").firstRows(), 1); // the password is unchanged
    // The same session from an address that did not fail changes it.
    const auto done = exchangeFrom("127.0.0.7", server.port(),
                                   {"Update", passwordChangeSql("demo", "demo1234", "Neu5678")}, cookie);
    ASSERT_TRUE(done.reply.ok);
    EXPECT_EQ(done.reply.sections.at(0).tbl->cell(1, 0), "1");
}

TEST_F(LoginPolicy, CorrectLoginsAllSucceedWhileOthersWriteAndHoldTheWriteLock)
{
    server.execSql("CREATE TABLE SCRATCH (N INTEGER)");
    std::atomic<bool> stop{false};
    // One writer commits as fast as it can; another holds the write lock 100 ms at a time, as an
    // import does; a third client keeps failing logins from its own address.
    std::thread committer([&] {
        auto db = server::Database::open(server.dbPath(), false);
        for (int i = 0; !stop && i < 100000; ++i)
            (void)db->exec("INSERT INTO SCRATCH VALUES (" + std::to_string(i) + ")");
    });
    std::thread holder([&] {
        auto db = server::Database::open(server.dbPath(), false);
        for (int i = 0; !stop && i < 200; ++i) {
            (void)db->exec("BEGIN IMMEDIATE; DELETE FROM SCRATCH WHERE N < 0;");
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            (void)db->exec("COMMIT");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::thread failing([&] {
        for (int i = 0; !stop && i < 200; ++i)
            loginFrom("127.0.0.9", "demo", "wrong" + std::to_string(i));
    });
    std::atomic<int> accepted{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 8; ++c)
        clients.emplace_back([&] {
            for (int i = 0; i < 6; ++i)
                if (loginFrom("127.0.0.1", "demo", "demo1234").firstRows() == 1)
                    ++accepted;
        });
    for (auto& t : clients)
        t.join();
    stop = true;
    committer.join();
    holder.join();
    failing.join();
    EXPECT_EQ(accepted.load(), 48);
}

TEST(LoginCost, AHashOfAnotherCostIsMadeAgainAtTheServersCostOnLogin)
{
    TestServerOptions options;
    options.hashCost = server::HashCost::Interactive;
    TestServer server(options);
    seedMarket(server); // hashes made at the lowest cost
    const auto before = server.query("SELECT PASS_WORD FROM USR_INFO WHERE USR_ID = 'demo'").at(0).at(0);
    ASSERT_EQ(before.find("m=65536"), std::string::npos) << before;
    EXPECT_EQ(exchangeFrom("127.0.0.1", server.port(), {"Query", loginSql("demo", "demo1234")}).firstRows(),
              1);
    const auto after = server.query("SELECT PASS_WORD FROM USR_INFO WHERE USR_ID = 'demo'").at(0).at(0);
    EXPECT_NE(after.find("$argon2id$v=19$m=65536,t=2"), std::string::npos) << after;
    EXPECT_EQ(exchangeFrom("127.0.0.1", server.port(), {"Query", loginSql("demo", "demo1234")}).firstRows(),
              1);
    EXPECT_EQ(exchangeFrom("127.0.0.1", server.port(), {"Query", loginSql("demo", "wrong")}).firstRows(), 0);
}

TEST(UserRequestLimit, AUserRunsNoMoreRequestsAtOnceThanAllowedAndOthersGoOn)
{
    TestServerOptions options;
    options.limits.maxRequestsPerUser = 1;
    options.limits.requestTime = std::chrono::milliseconds(1500);
    TestServer server(options);
    seedMarket(server);
    for (int i = 0; i < 300; ++i)
        server.execSql("INSERT INTO STK_DAILY_TSE_2007 (STK_CD, STK_DATE) VALUES ('" + std::to_string(i) +
                       "', '2007/01/04')");
    auto cookie = [&](const std::string& user, const std::string& password) {
        const auto r = exchangeFrom("127.0.0.1", server.port(), {"Query", loginSql(user, password)});
        const std::string set = r.header("set-cookie");
        return set.substr(0, set.find(';'));
    };
    const std::string demo = cookie("demo", "demo1234");
    const std::string bounce = cookie("bounce", "bounce12");
    std::thread slow([&] {
        exchangeFrom("127.0.0.1", server.port(),
                     {"Query", "SELECT COUNT(*) FROM STK_DAILY_TSE_2007 a, STK_DAILY_TSE_2007 b, "
                               "STK_DAILY_TSE_2007 c, STK_DAILY_TSE_2007 d"},
                     demo);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    const auto second = exchangeFrom("127.0.0.1", server.port(), {"Query", kUpdateDatesSql}, demo);
    const auto other = exchangeFrom("127.0.0.1", server.port(), {"Query", kUpdateDatesSql}, bounce);
    slow.join();
    EXPECT_FALSE(second.reply.ok);
    EXPECT_TRUE(other.reply.ok);
    EXPECT_EQ(other.firstRows(), 2);
    // Once the slow one ended, the user is served again.
    EXPECT_TRUE(exchangeFrom("127.0.0.1", server.port(), {"Query", kUpdateDatesSql}, demo).reply.ok);
    bool logged = false;
    for (const auto& line : server.logLines())
        logged = logged || line.find("requests of this user at the same time") != std::string::npos;
    EXPECT_TRUE(logged);
}

TEST(ServerStartUp, SaysPreciselyWhatIsWrongWithTheDatabase)
{
    TempDir dir;
    auto open = [](const std::string& path) {
        server::ServerConfig config;
        config.hashCost = server::HashCost::Min;
        auto service = server::BatchService::open(path, config);
        return service ? std::string("opened") : service.error().message;
    };
    const std::string missing = open((dir.path() / "none.db").string());
    EXPECT_NE(missing.find("データベースがありません"), std::string::npos) << missing;
    EXPECT_NE(missing.find("init"), std::string::npos) << missing;
    const std::string folder = open(dir.path().string());
    EXPECT_NE(folder.find("ファイルではありません"), std::string::npos) << folder;
    const std::string garbage = (dir.path() / "garbage.db").string();
    std::ofstream(garbage) << std::string(4096, 'x');
    EXPECT_NE(open(garbage), "opened");

    // A database made before the login throttle had a table of its own gets it at start.
    TestServer made;
    made.execSql("DROP TABLE LOGIN_THROTTLE");
    EXPECT_EQ(open(made.dbPath()), "opened");
    EXPECT_TRUE(made.query("SELECT name FROM sqlite_master WHERE name = 'LOGIN_THROTTLE'").size() == 1);
}
