// The server's handling of a request once it is decoded: login and account-change shapes, the
// session cookie, the read-only confinement of queries. Two users, alice and bob, share one
// database. The first input byte picks whose session cookie goes with the request and the client
// address; the rest is the request text (items separated by 0x1D, as the client writes it). After
// each request: no reply carries bob's data unless the request logged in as bob (his password is
// never in the seeds), no reply carries a password hash, bob's account and the
// market tables are unchanged, and a session cookie is only ever set by a correct login.
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "server/http/BatchService.h"
#include "server/policy/AccountStore.h"
#include "server/storage/Database.h"
#include "server/storage/Schema.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::server;

namespace {

constexpr std::string_view kBobName = "ボブ秘密名";
constexpr std::string_view kBobPassword = "Zq7bobPw";

struct World {
    std::string path;
    std::unique_ptr<Database> db; // the fuzzer's own look at the tables
    std::unique_ptr<BatchService> service;
    std::string aliceCookie;
    std::string bobRow;    // bob's USR_INFO row as text
    std::string marketRow; // counts and schema of what no request may change
};

std::string rowsOf(Database& db, std::string_view sql)
{
    auto stmt = db.prepare(sql);
    if (!stmt)
        __builtin_trap();
    std::string out;
    for (;;) {
        auto more = stmt->step();
        if (!more)
            __builtin_trap();
        if (!*more)
            return out;
        for (int c = 0; c < 4; ++c)
            out += stmt->text(c) + '\x1F';
        out += '\x1E';
    }
}

std::string cookieOf(BatchService& service, std::string_view user, std::string_view password)
{
    const std::string text = wire::buildRequestText(
        {"Query", "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 AND "
                  "a.USR_ID = '" +
                      std::string(user) + "' AND a.PASS_WORD = '" + std::string(password) + "' "});
    const BatchReply reply = service.handle(*zlibCompress(text, ZlibLevel::Fastest), "");
    if (reply.setCookie.empty())
        __builtin_trap();
    return reply.setCookie.substr(0, reply.setCookie.find(';'));
}

World& world()
{
    static World* w = [] {
        auto* made = new World;
        char dir[] = "/tmp/vorteq_fuzz_service_XXXXXX";
        if (::mkdtemp(dir) == nullptr)
            std::abort();
        made->path = std::string(dir) + "/vorteq.db";
        auto db = Database::open(made->path, true);
        if (!db || !createSchema(*db, 2006))
            std::abort();
        made->db = std::make_unique<Database>(std::move(*db));
        Database& d = *made->db;
        if (!addUser(d, NewUser{"alice", "alice123", "アリス", "alice@example.com"}, HashCost::Min) ||
            !addUser(d, NewUser{"bob", std::string(kBobPassword), std::string(kBobName), "bob@example.com"},
                     HashCost::Min) ||
            !d.exec("INSERT INTO STK_UPD VALUES (1, '2006/05/15'), (2, '2006/05/12');"
                    "INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('7203', 'トヨタ', 11);"
                    "INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, E_PRICE) VALUES "
                    "('1301', '2006/05/15', 295), ('7203', '2006/05/15', 6000);"))
            std::abort();
        ServerConfig config;
        config.hashCost = HashCost::Min;
        config.log = [](std::string_view) {};
        config.limits.requestTime = std::chrono::milliseconds(200);
        config.limits.maxRows = 1000;
        config.throttle.freePerPair = 1 << 30;
        config.throttle.freePerAddress = 1 << 30;
        auto service = BatchService::open(made->path, config);
        if (!service)
            std::abort();
        made->service = std::move(*service);
        made->aliceCookie = cookieOf(*made->service, "alice", "alice123");
        (void)cookieOf(*made->service, "bob", kBobPassword); // bob has a live session too
        made->bobRow =
            rowsOf(d, "SELECT USR_ID, PASS_WORD, E_MAIL, USR_STATUS FROM USR_INFO WHERE USR_ID = 'bob'");
        made->marketRow =
            rowsOf(d, "SELECT (SELECT COUNT(*) FROM STK_INFO), (SELECT COUNT(*) FROM USR_INFO), "
                      "(SELECT COUNT(*) FROM sqlite_master), (SELECT SUM(E_PRICE) FROM "
                      "STK_DAILY_TSE_2006)");
        return made;
    }();
    return *w;
}

bool contains(std::string_view text, std::string_view what)
{
    return text.find(what) != std::string_view::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    World& w = world();
    const std::uint8_t pick = data[0];
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string cookie;
    switch (pick % 4) {
    case 0:
        break;
    case 1:
        cookie = w.aliceCookie + "; HttpOnly; Path=/ORQ";
        break;
    case 2:
        cookie = "VQSESSION=" + std::string(64, 'a');
        break;
    case 3:
        cookie = "other=1; " + w.aliceCookie;
        break;
    }
    BatchRequest request{*zlibCompress(text, ZlibLevel::Fastest), cookie,
                         "127.0.0." + std::to_string(pick / 4), false};
    const BatchReply reply = w.service->handle(std::move(request));

    auto replyText = zlibDecompress(reply.body, 1u << 26);
    if (!replyText)
        __builtin_trap(); // every reply is a well-formed zlib body
    auto converted = wire::parseReplyText(*replyText, 1 << 20);
    std::string visible; // the reply's fields as UTF-8
    if (converted)
        for (const auto& section : converted->sections)
            for (int r = 0; r <= section.rowCount; ++r)
                for (int c = 0; c <= section.colCount; ++c)
                    visible += section.tbl->cell(c, r) + '\x1F';
    // Only a request that holds bob's password may see bob's name; nobody sees a hash or a digest.
    if (!contains(text, kBobPassword) && contains(visible, kBobName))
        __builtin_trap();
    if (contains(visible, "$argon2id$") || contains(*replyText, "$argon2id$"))
        __builtin_trap();
    if (!reply.setCookie.empty() && !contains(text, "alice123") && !contains(text, kBobPassword))
        __builtin_trap(); // a session for someone who gave no password
    if (rowsOf(*w.db, "SELECT USR_ID, PASS_WORD, E_MAIL, USR_STATUS FROM USR_INFO WHERE USR_ID = 'bob'") !=
        w.bobRow)
        __builtin_trap();
    if (rowsOf(*w.db,
               "SELECT (SELECT COUNT(*) FROM STK_INFO), (SELECT COUNT(*) FROM USR_INFO), "
               "(SELECT COUNT(*) FROM sqlite_master), (SELECT SUM(E_PRICE) FROM STK_DAILY_TSE_2006)") !=
        w.marketRow)
        __builtin_trap();
    return 0;
}
