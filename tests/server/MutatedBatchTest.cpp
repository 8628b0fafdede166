// Randomly damaged request bodies straight into the batch service: every one gets a well-formed
// reply and none changes the accounts or the market.
#include "ServerTestData.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "server/http/BatchService.h"
#include "support/TestServer.h"

#include <gtest/gtest.h>
#include <random>

using namespace vorteq;
using namespace vorteq::test;

namespace {

std::string compressed(const std::vector<std::string>& items)
{
    return *zlibCompress(wire::buildRequestText(items), ZlibLevel::Fastest);
}

} // namespace

TEST(MutatedBatch, EveryDamagedBodyGetsAWellFormedReplyAndChangesNothing)
{
    TestServer server;
    seedMarket(server);
    server::ServerConfig config;
    config.hashCost = server::HashCost::Min;
    config.log = [](std::string_view) {};
    config.throttle.freePerPair = 1000000; // no throttled logins: the damaged logins must reach the check
    config.throttle.freePerAddress = 1000000;
    auto service = server::BatchService::open(server.dbPath(), config);
    ASSERT_TRUE(service.ok()) << service.error().message;

    auto login = (*service)->handle(compressed({"Query", loginSql("demo", "demo1234"), kUpdateDatesSql}), "");
    ASSERT_FALSE(login.setCookie.empty());
    const std::string cookie = login.setCookie;

    // Request texts; each is damaged either before compression (reaching the statements) or after.
    const std::vector<std::string> seeds = {
        wire::buildRequestText({"Query", loginSql("demo", "demo1234"), kUpdateDatesSql}),
        wire::buildRequestText(
            {"Query", kScreeningColumns +
                          "STK_INFO a, MKT_INFO b , STK_DAILY_TSE_2006 c WHERE a.MKT_CD = "
                          "b.MKT_CD AND a.STK_NM LIKE 'マルハ%'  AND a.STK_CD = c.STK_CD "
                          " AND c.E_PRICE <> 0  AND c.STK_DATE = '2006/05/15' ORDER BY a.STK_CD "}),
        wire::buildRequestText(
            {"Query", "SELECT a.STK_CD, a.STK_NM FROM STK_INFO a", "SELECT a.MKT_NM FROM MKT_INFO a"}),
        wire::buildRequestText({"Update", mailChangeSql("demo", "nobody@example.com", "x@example.com")}),
    };
    const auto before = server.query("SELECT USR_ID, PASS_WORD, E_MAIL, USR_STATUS FROM USR_INFO ORDER BY 1");
    const auto stocksBefore = server.query("SELECT COUNT(*) FROM STK_INFO");

    std::mt19937 random(2024);
    for (int i = 0; i < 3000; ++i) {
        const bool beforeCompression = i % 3 != 0;
        std::string body = seeds[static_cast<std::size_t>(random()) % seeds.size()];
        if (!beforeCompression)
            body = *zlibCompress(body, ZlibLevel::Fastest);
        // Flip, overwrite, cut or duplicate a few bytes; the length prefix is fair game too.
        const int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits && !body.empty(); ++e) {
            const std::size_t at = random() % body.size();
            switch (random() % 4) {
            case 0:
                body[at] = static_cast<char>(body[at] ^ (1 << (random() % 8)));
                break;
            case 1:
                body[at] = static_cast<char>(random() & 0xFF);
                break;
            case 2:
                body.resize(at);
                break;
            default:
                body.insert(at, body.substr(at, random() % 16));
                break;
            }
        }
        if (beforeCompression)
            body = *zlibCompress(body, ZlibLevel::Fastest);
        const auto reply = (*service)->handle(body, i % 2 == 0 ? cookie : "");
        auto text = zlibDecompress(reply.body);
        ASSERT_TRUE(text.ok()) << "body " << i;
        if (text->empty())
            continue; // a batch of only a mode word
        ASSERT_EQ(text->back(), '\x04') << "body " << i;
        auto parsed = wire::parseReplyText(*text, 32);
        ASSERT_TRUE(parsed.ok()) << "body " << i << ": " << parsed.error().message;
    }
    EXPECT_EQ(server.query("SELECT USR_ID, PASS_WORD, E_MAIL, USR_STATUS FROM USR_INFO ORDER BY 1"), before);
    EXPECT_EQ(server.query("SELECT COUNT(*) FROM STK_INFO"), stocksBefore);
}
