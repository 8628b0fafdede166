// Replies kept for repeated "Query" batches, attacked: they must never outlive a change of the data,
// never reach a request without a live session, and never grow beyond their memory.
#include "ServerTestData.h"
#include "server/http/ReplyCache.h"
#include "support/TestServer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

using namespace vorteq;
using namespace vorteq::test;

namespace {

// The screening of the seeded day, as the query builder writes it, with a further condition.
std::string screeningSql(const std::string& condition = "")
{
    return kScreeningColumns +
           "STK_INFO a, MKT_INFO b , STK_DAILY_TSE_2006 c WHERE a.MKT_CD = b.MKT_CD AND a.MKT_CD = 11 AND "
           "a.STK_CD = c.STK_CD AND c.E_PRICE <> 0 " +
           condition + " AND c.STK_DATE = '2006/05/15' ORDER BY a.STK_CD ";
}
const std::string kScreening = screeningSql();

class KeptReplies : public ::testing::Test {
protected:
    explicit KeptReplies(const TestServerOptions& options = {}) : server(options) { seedMarket(server); }

    std::string loginAs(const std::string& user, const std::string& password,
                        const std::string& address = "127.0.0.1")
    {
        const auto r = exchangeFrom(address, server.port(), {"Query", loginSql(user, password)});
        const std::string set = r.header("set-cookie");
        EXPECT_FALSE(set.empty()) << user;
        return set.substr(0, set.find(';'));
    }
    RawExchange screen(const std::string& cookie, const std::string& sql = kScreening)
    {
        return exchangeFrom("127.0.0.1", server.port(), {"Query", sql}, cookie);
    }
    // The close of 1301 on the screening day, as the screening sends it (column 8).
    static std::string closeOf1301(const RawExchange& r)
    {
        if (r.reply.sections.empty() || r.reply.sections[0].rowCount < 1)
            return "";
        return r.reply.sections[0].tbl->cell(8, 1);
    }

    TestServer server;
};

class KeptRepliesSmall : public KeptReplies {
protected:
    static TestServerOptions small()
    {
        TestServerOptions options;
        options.replyCacheBytes = 64 * 1024;
        return options;
    }
    KeptRepliesSmall() : KeptReplies(small()) {}
};

} // namespace

TEST_F(KeptReplies, AnotherUserGetsTheSameBytesAndTheLogStillCountsTheRows)
{
    const std::string demo = loginAs("demo", "demo1234");
    const std::string bounce = loginAs("bounce", "bounce12");
    const auto first = screen(demo);
    ASSERT_EQ(first.status, 200);
    ASSERT_TRUE(first.reply.ok);
    ASSERT_EQ(first.firstRows(), 4);
    ASSERT_NE(server.keptReplies(), nullptr);
    EXPECT_EQ(server.keptReplies()->size(), 1u);
    const auto again = screen(bounce);
    EXPECT_EQ(again.text, first.text);
    EXPECT_EQ(server.keptReplies()->size(), 1u);
    const auto lines = server.logLines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines.back().find("user=bounce kinds=Query:select rows=4 "), std::string::npos) << lines.back();
    EXPECT_NE(lines.back().find("outcome=ok"), std::string::npos);
}

TEST_F(KeptReplies, NoReplyWithoutALiveSession)
{
    const std::string demo = loginAs("demo", "demo1234");
    ASSERT_EQ(screen(demo).firstRows(), 4);
    // No cookie, a forged one, a blocked user's and an expired session: the kept reply never goes out.
    EXPECT_FALSE(screen("").reply.ok);
    EXPECT_FALSE(screen("VQSESSION=" + std::string(64, 'a')).reply.ok);
    const std::string bounce = loginAs("bounce", "bounce12");
    server.execSql("UPDATE USR_INFO SET USR_STATUS = 1 WHERE USR_ID = 'bounce'");
    const auto blocked = screen(bounce);
    EXPECT_FALSE(blocked.reply.ok);
    EXPECT_EQ(blocked.firstRows(), -1);
    server.advanceClock(13 * 60 * 60);
    const auto expired = screen(demo);
    EXPECT_FALSE(expired.reply.ok);
    EXPECT_EQ(expired.text.find("1301"), std::string::npos);
}

TEST_F(KeptReplies, AWriteFromAnotherConnectionIsSeenAtOnce)
{
    const std::string demo = loginAs("demo", "demo1234");
    ASSERT_EQ(closeOf1301(screen(demo)), "300");
    server.execSql(
        "UPDATE STK_DAILY_TSE_2006 SET E_PRICE = 333.5 WHERE STK_CD = '1301' AND STK_DATE = '2006/05/15'");
    EXPECT_EQ(closeOf1301(screen(demo)), "333.5");
    // A close that an import fills in brings its stock into the same screening.
    server.execSql("UPDATE STK_DAILY_TSE_2006 SET E_PRICE = 211 WHERE STK_CD = '1333'");
    EXPECT_EQ(screen(demo).firstRows(), 5);
}

TEST_F(KeptReplies, RefusedBatchesAreNotKept)
{
    const std::string demo = loginAs("demo", "demo1234");
    EXPECT_FALSE(screen(demo, "SELECT a.USR_ID, a.PASS_WORD FROM USR_INFO a").reply.ok);
    EXPECT_FALSE(
        exchangeFrom("127.0.0.1", server.port(), {"Query", kScreening, "SELECT 1 FROM NO_SUCH"}, demo)
            .reply.ok);
    EXPECT_EQ(server.keptReplies()->size(), 0u);
}

// Readers must never see a value older than one committed before they asked, while a writer on
// another connection moves it on as fast as it can.
TEST_F(KeptReplies, ConcurrentWritesNeverLeaveAStaleReply)
{
    const std::string demo = loginAs("demo", "demo1234");
    const std::string bounce = loginAs("bounce", "bounce12");
    std::atomic<int> committed{300};
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int v = 301; v <= 360 && !stop; ++v) {
            server.execSql("UPDATE STK_DAILY_TSE_2006 SET E_PRICE = " + std::to_string(v) +
                           " WHERE STK_CD = '1301' AND STK_DATE = '2006/05/15'");
            committed = v;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
        stop = true;
    });
    std::atomic<int> stale{0};
    std::atomic<int> checked{0};
    auto reader = [&](const std::string& cookie) {
        while (!stop) {
            const int before = committed;
            const auto r = screen(cookie);
            if (r.reply.ok && r.firstRows() == 4) {
                ++checked;
                if (std::stoi(closeOf1301(r)) < before)
                    ++stale;
            }
        }
    };
    std::thread a(reader, demo);
    std::thread b(reader, bounce);
    writer.join();
    a.join();
    b.join();
    EXPECT_EQ(stale.load(), 0);
    EXPECT_GT(checked.load(), 20);
    EXPECT_EQ(closeOf1301(screen(demo)), "360");
}

TEST_F(KeptRepliesSmall, ManyDistinctScreeningsStayWithinTheMemory)
{
    const std::string demo = loginAs("demo", "demo1234");
    // Each statement differs and returns the same rows of 46 columns.
    for (int i = 0; i < 200; ++i) {
        const std::string sql = screeningSql("AND c.STK_VLM > -" + std::to_string(i));
        ASSERT_EQ(screen(demo, sql).firstRows(), 4) << i;
        ASSERT_LE(server.keptReplies()->bytes(), 64u * 1024u);
    }
    EXPECT_GT(server.keptReplies()->size(), 1u);
    EXPECT_LT(server.keptReplies()->size(), 200u);
}

TEST(ReplyCache, KeepsTheMostRecentlyUsedWithinItsBytes)
{
    server::ReplyCache cache(8 * 1024);
    const auto key = [](int i) {
        return server::ReplyCache::keyOf(ZlibLevel::Fastest, {"SELECT " + std::to_string(i)});
    };
    const std::uint64_t g = cache.generation();
    for (int i = 0; i < 20; ++i) {
        cache.store(key(i), g, {std::string(700, 'x'), {"1"}});
        ASSERT_NE(cache.find(key(0)), nullptr) << i; // used again and again: stays
        EXPECT_LE(cache.bytes(), 8u * 1024u);
    }
    EXPECT_NE(cache.find(key(0)), nullptr);
    EXPECT_EQ(cache.find(key(1)), nullptr);
    EXPECT_NE(cache.find(key(19)), nullptr);
    // More than an eighth of the memory is never kept.
    cache.store(key(99), g, {std::string(1100, 'x'), {"1"}});
    EXPECT_EQ(cache.find(key(99)), nullptr);
}

TEST(ReplyCache, AReplyReadBeforeAChangeIsNotKept)
{
    server::ReplyCache cache(1024 * 1024);
    const std::uint64_t before = cache.generation();
    cache.store("a", before, {"old", {"1"}});
    cache.invalidate();
    EXPECT_EQ(cache.find("a"), nullptr);
    EXPECT_EQ(cache.bytes(), 0u);
    cache.store("b", before, {"read before the change", {"1"}});
    EXPECT_EQ(cache.find("b"), nullptr);
    cache.store("b", cache.generation(), {"new", {"1"}});
    ASSERT_NE(cache.find("b"), nullptr);
    EXPECT_EQ(cache.find("b")->body, "new");
}

TEST(ReplyCache, KeysTellStatementBoundariesAndLevelsApart)
{
    using server::ReplyCache;
    EXPECT_NE(ReplyCache::keyOf(ZlibLevel::Fastest, {"ab", "c"}),
              ReplyCache::keyOf(ZlibLevel::Fastest, {"a", "bc"}));
    EXPECT_NE(ReplyCache::keyOf(ZlibLevel::Fastest, {"a:1:b"}),
              ReplyCache::keyOf(ZlibLevel::Fastest, {"a", "b"}));
    EXPECT_NE(ReplyCache::keyOf(ZlibLevel::None, {"a"}), ReplyCache::keyOf(ZlibLevel::Fastest, {"a"}));
}
