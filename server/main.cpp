#include "common/CommandLine.h"
#include "common/DateText.h"
#include "gateway/ServletPath.h"
#include "server/http/BatchService.h"
#include "server/http/HttpServer.h"
#include "server/import/ImportCommand.h"
#include "server/policy/AccountStore.h"
#include "server/storage/Database.h"
#include "server/storage/DayOrder.h"
#include "server/storage/PgBackend.h"
#include "server/storage/PgDatabase.h"
#include "server/storage/Schema.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
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

// A check of an option's text; its message follows "--name: " when the text fails it.
CLI::Validator check(std::function<bool(const std::string&)> accepts, std::string message)
{
    return CLI::Validator([accepts = std::move(accepts), message = std::move(message)](
                              std::string& text) { return accepts(text) ? std::string() : message; },
                          "");
}

CLI::Validator numberFrom(int lo, int hi)
{
    return CLI::Validator(
        [lo, hi](std::string& text) {
            return intArg(text, lo, hi) ? std::string() : "not a valid number: " + text;
        },
        "");
}

// The options of init, adduser, serve and day-order. Every command takes every option; the words
// that are not options are adduser's fields. An option given twice keeps its last value, except
// --trusted-proxy, which names one proxy each time.
std::optional<Options> parse(int argc, char** argv, std::string& error)
{
    Options o;
    std::string port = std::to_string(o.port), threads = std::to_string(o.threads);
    std::string sessionHours = std::to_string(o.sessionHours);
    std::string hashCost = "interactive", replyCompression = "auto";
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    app.add_option("words", o.positional);
    app.add_option("--db", o.db);
    app.add_option("--bind", o.bind);
    app.add_option("--port", port)->check(numberFrom(0, 65535));
    app.add_option("--threads", threads)->check(numberFrom(1, 10000));
    app.add_option("--session-hours", sessionHours)->check(numberFrom(1, 10000));
    app.add_option("--hash-cost", hashCost)
        ->check(check([](const std::string& text) { return parseHashCost(text).has_value(); },
                      "use interactive, moderate or min"));
    app.add_option("--reply-compression", replyCompression)
        ->check(check(
            [](const std::string& text) { return text == "auto" || text == "fastest" || text == "none"; },
            "use auto, fastest or none"));
    app.add_option("--tls-cert", o.tlsCert);
    app.add_option("--tls-key", o.tlsKey);
    app.add_option("--trusted-proxy", o.trustedProxies)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    app.add_flag("--blocked", o.blocked);
    app.add_option("--mail-status", o.mailStatus)
        ->check(check([](const std::string& text) { return text == "0" || text == "1"; }, "use 0 or 1"));
    for (CLI::Option* option : app.get_options())
        if (option->get_name() != "--trusted-proxy" && option->get_name() != "words")
            option->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    const CommandLineReading reading = readCommandLine(app, std::vector<std::string>(argv + 2, argv + argc));
    if (!reading.missingValue.empty())
        error = reading.missingValue + " needs a value";
    else if (!reading.failure.empty())
        error = reading.failure; // a failed check: "--port: not a valid number: x"
    else if (!reading.leftOver.empty())
        error = "unknown option " + reading.leftOver.front();
    if (!error.empty())
        return std::nullopt;
    o.port = *intArg(port, 0, 65535);
    o.threads = threads == "0" ? 0 : *intArg(threads, 1, 10000);
    o.sessionHours = *intArg(sessionHours, 1, 10000);
    o.cost = *parseHashCost(hashCost);
    o.replyCompression = replyCompression == "none" ? ZlibLevel::None : ZlibLevel::Fastest;
    o.storedRepliesNearby = replyCompression == "auto";
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
                 o.tlsCert.empty() ? "http" : "https", o.bind.c_str(), *port,
                 std::string(kServletPath).c_str(), withoutPassword(o.db).c_str());
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
