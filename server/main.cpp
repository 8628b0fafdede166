#include "common/DateText.h"
#include "server/policy/AccountStore.h"
#include "server/http/BatchService.h"
#include "server/storage/Database.h"
#include "server/storage/DayOrder.h"
#include "server/http/HttpServer.h"
#include "server/import/ImportCommand.h"
#include "server/storage/PgBackend.h"
#include "server/storage/PgDatabase.h"
#include "server/storage/Schema.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

using namespace vorteq;
using namespace vorteq::server;

namespace {

constexpr const char* kUsage = R"(vorteq-server: the statement server of the screening client

Usage:
  vorteq-server init [--db PATH]
      Creates the database file with every table, the market master and the daily
      tables of each market family from 2005 to this year. Existing tables are kept.
  vorteq-server adduser ID PASSWORD NAME EMAIL [--blocked] [--mail-status 1] [--db PATH]
                        [--hash-cost interactive|moderate|min]
      Adds a user; the password is stored as an Argon2id hash. The ID is what the login
      window takes (1 to 12 half-width characters, no blanks); the password 4 to 10
      half-width letters and digits.
  vorteq-server serve [--db PATH] [--bind ADDRESS] [--port N] [--threads N]
                      [--hash-cost interactive|moderate|min] [--session-hours N]
                      [--reply-compression auto|fastest|none] [--tls-cert FILE --tls-key FILE]
                      [--trusted-proxy ADDRESS]...
      Serves the endpoint http://ADDRESS:N/ORQ/servlet/ApsServlet/ (default 127.0.0.1:8080),
      or https:// with --tls-cert (PEM certificate chain) and --tls-key (PEM private key),
      and writes one line per request to standard error. Ends on SIGINT or SIGTERM.
      Behind a reverse proxy, --trusted-proxy names its address: the client of its requests
      is then the last address of their X-Forwarded-For header (for the login throttle).
  vorteq-server day-order [--db PATH]
      Stores the rows of every daily table day by day, where an import left them stock by
      stock: a screening reads one day of every stock, and then reads far fewer pages.
)";

constexpr const char* kUsageTail = R"(  vorteq-server --help

--db defaults to vorteq.db in the current folder; postgresql://USER@HOST:PORT/DATABASE runs
init, adduser, serve, import (price files), demo-data and day-order on PostgreSQL instead, where
init creates the roles vorteq_query and vorteq_account the server logs in as (see README.md);
several serve processes on one PostgreSQL database act as one server. --hash-cost sets the cost of new password
hashes (default interactive); stored hashes keep the cost they were made with.
--reply-compression none sends replies as stored zlib blocks: less work for the server on a
local network, larger replies across the Internet; fastest deflates every reply; auto (the
default) sends stored blocks to clients on this machine or a private network and deflates the
replies to everyone else.
)";

int fail(const std::string& message)
{
    std::fprintf(stderr, "vorteq-server: %s\n", message.c_str());
    return 1;
}

struct Options {
    std::vector<std::string> positional;
    std::string db = "vorteq.db";
    std::string bind = "127.0.0.1";
    int port = 8080;
    int threads = 0;
    HashCost cost = HashCost::Interactive;
    int sessionHours = 12;
    ZlibLevel replyCompression = ZlibLevel::Fastest;
    bool storedRepliesNearby = true;
    bool blocked = false;
    std::string mailStatus = "0";
    std::string tlsCert;
    std::string tlsKey;
    std::vector<std::string> trustedProxies;
};

std::optional<int> intArg(const std::string& text, int lo, int hi)
{
    try {
        std::size_t used = 0;
        const int v = std::stoi(text, &used);
        if (used == text.size() && v >= lo && v <= hi)
            return v;
    } catch (...) {
    }
    return std::nullopt;
}

std::optional<Options> parse(int argc, char** argv, std::string& error)
{
    Options o;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return std::nullopt;
            }
            return std::string(argv[++i]);
        };
        if (arg == "--db") {
            auto v = value();
            if (!v)
                return std::nullopt;
            o.db = *v;
        } else if (arg == "--bind") {
            auto v = value();
            if (!v)
                return std::nullopt;
            o.bind = *v;
        } else if (arg == "--port" || arg == "--threads" || arg == "--session-hours") {
            auto v = value();
            if (!v)
                return std::nullopt;
            const auto n = arg == "--port" ? intArg(*v, 0, 65535) : intArg(*v, 1, 10000);
            if (!n) {
                error = arg + ": not a valid number: " + *v;
                return std::nullopt;
            }
            (arg == "--port" ? o.port : arg == "--threads" ? o.threads : o.sessionHours) = *n;
        } else if (arg == "--hash-cost") {
            auto v = value();
            if (!v)
                return std::nullopt;
            auto cost = parseHashCost(*v);
            if (!cost) {
                error = "--hash-cost: use interactive, moderate or min";
                return std::nullopt;
            }
            o.cost = *cost;
        } else if (arg == "--reply-compression") {
            auto v = value();
            if (!v)
                return std::nullopt;
            if (*v != "auto" && *v != "fastest" && *v != "none") {
                error = "--reply-compression: use auto, fastest or none";
                return std::nullopt;
            }
            o.replyCompression = *v == "none" ? ZlibLevel::None : ZlibLevel::Fastest;
            o.storedRepliesNearby = *v == "auto";
        } else if (arg == "--tls-cert" || arg == "--tls-key") {
            auto v = value();
            if (!v)
                return std::nullopt;
            (arg == "--tls-cert" ? o.tlsCert : o.tlsKey) = *v;
        } else if (arg == "--trusted-proxy") {
            auto v = value();
            if (!v)
                return std::nullopt;
            o.trustedProxies.push_back(*v);
        } else if (arg == "--blocked") {
            o.blocked = true;
        } else if (arg == "--mail-status") {
            auto v = value();
            if (!v)
                return std::nullopt;
            if (*v != "0" && *v != "1") {
                error = "--mail-status: use 0 or 1";
                return std::nullopt;
            }
            o.mailStatus = *v;
        } else if (arg.rfind("--", 0) == 0) {
            error = "unknown option " + arg;
            return std::nullopt;
        } else {
            o.positional.push_back(arg);
        }
    }
    return o;
}

int runInit(const Options& o)
{
    if (isPostgresAddress(o.db)) {
        auto pg = PgDatabase::open(o.db);
        if (!pg)
            return fail(pg.error().message);
        if (auto st = createPostgresSchema(*pg, today().year); !st)
            return fail(st.error().message);
        std::fprintf(stderr, "vorteq-server: database ready: %s\n", withoutPassword(o.db).c_str());
        return 0;
    }
    auto db = Database::open(o.db, true);
    if (!db)
        return fail(db.error().message);
    if (auto st = createSchema(*db, today().year); !st)
        return fail(st.error().message);
    std::fprintf(stderr, "vorteq-server: database ready: %s\n", o.db.c_str());
    return 0;
}

int runDayOrder(const Options& o)
{
    const auto progress = [](const std::string& table) {
        std::fprintf(stderr, "vorteq-server: %s を日付順に並べ替えています\n", table.c_str());
    };
    if (isPostgresAddress(o.db)) {
        auto pg = PgDatabase::open(o.db);
        if (!pg)
            return fail(pg.error().message);
        auto ordered = clusterPostgresDailyTables(*pg, progress);
        if (!ordered)
            return fail(ordered.error().message);
        std::fprintf(stderr, "vorteq-server: 日付順に並べ替えた日足テーブル: %d\n", *ordered);
        return 0;
    }
    auto db = Database::open(o.db, false);
    if (!db)
        return fail(db.error().message);
    (void)db->exec("PRAGMA cache_size=-262144; PRAGMA temp_store=MEMORY");
    auto rewritten = putDailyTablesInDayOrder(*db, progress);
    if (!rewritten)
        return fail(rewritten.error().message);
    std::fprintf(stderr, "vorteq-server: 日付順に並べ替えた日足テーブル: %d\n", *rewritten);
    return 0;
}

int runAddUser(const Options& o)
{
    if (o.positional.size() != 4)
        return fail("adduser needs ID PASSWORD NAME EMAIL (see --help)");
    NewUser user{o.positional[0], o.positional[1], o.positional[2], o.positional[3], o.blocked, o.mailStatus};
    if (isPostgresAddress(o.db)) {
        auto pg = PgDatabase::open(o.db);
        if (!pg)
            return fail(pg.error().message);
        if (auto st = addUser(*pg, user, o.cost); !st)
            return fail(st.error().message);
        std::fprintf(stderr, "vorteq-server: user added: %s\n", user.id.c_str());
        return 0;
    }
    auto db = Database::open(o.db, false);
    if (!db)
        return fail(db.error().message);
    if (auto st = addUser(*db, user, o.cost); !st)
        return fail(st.error().message);
    std::fprintf(stderr, "vorteq-server: user added: %s\n", user.id.c_str());
    return 0;
}

int runServe(const Options& o)
{
    tuneAllocatorForServing(); // before the first use of SQLite, which fixes its memory settings
    ServerConfig config;
    config.hashCost = o.cost;
    config.sessionLifetime = std::chrono::hours(o.sessionHours);
    config.replyCompression = o.replyCompression;
    config.storedRepliesNearby = o.storedRepliesNearby;
    auto service = BatchService::open(o.db, std::move(config));
    if (!service)
        return fail(service.error().message);
    HttpOptions http;
    http.bind = o.bind;
    http.port = static_cast<unsigned short>(o.port);
    http.threads = o.threads;
    http.tlsCertFile = o.tlsCert;
    http.tlsKeyFile = o.tlsKey;
    http.trustedProxies = o.trustedProxies;
    HttpServer server(**service, http);
    auto port = server.start();
    if (!port)
        return fail(port.error().message);
    std::fprintf(stderr, "vorteq-server: serving %s://%s:%u%s (database %s)\n",
                 o.tlsCert.empty() ? "http" : "https", o.bind.c_str(), *port, kServletPath,
                 withoutPassword(o.db).c_str());
    server.waitForSignal();
    server.stop();
    std::fprintf(stderr, "vorteq-server: stopped\n");
    return 0;
}

bool asksForHelp(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || (i == 1 && arg == "help"))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // "--help" anywhere, after a command too ("import --help"), prints the usage.
    if (argc < 2 || asksForHelp(argc, argv)) {
        std::FILE* out = argc < 2 ? stderr : stdout;
        std::fputs(kUsage, out);
        std::fwrite(kImportUsage.data(), 1, kImportUsage.size(), out);
        std::fputs(kUsageTail, out);
        return argc < 2 ? 2 : 0;
    }
    // The data commands read options of their own.
    if (std::string(argv[1]) == "import")
        return runImportCommand(argc, argv);
    if (std::string(argv[1]) == "demo-data")
        return runDemoDataCommand(argc, argv);
    if (std::string(argv[1]) == "update")
        return runUpdateCommand(argc, argv);
    std::string error;
    auto options = parse(argc, argv, error);
    if (!options)
        return fail(error);
    const std::string command = argv[1];
    if (command == "init")
        return runInit(*options);
    if (command == "adduser")
        return runAddUser(*options);
    if (command == "serve")
        return runServe(*options);
    if (command == "day-order")
        return runDayOrder(*options);
    return fail("unknown command " + command + " (see --help)");
}
