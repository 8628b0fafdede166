#include "support/TestServer.h"

#include "common/DateText.h"
#include "gateway/ServletPath.h"
#include "server/http/BatchService.h"
#include "server/http/HttpServer.h"
#include "server/policy/AccountStore.h"
#include "server/storage/Database.h"
#include "server/storage/PgBackend.h"
#include "server/storage/PgDatabase.h"
#include "server/storage/Schema.h"
#include "support/PgCluster.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sqlite3.h>
#include <stdexcept>
#include <unistd.h>

namespace vorteq::test {

namespace fs = std::filesystem;

class TestServer::Impl {
public:
    explicit Impl(const TestServerOptions& options)
    {
        using Backend = TestServerOptions::Backend;
        m_postgres = options.backend == Backend::Postgres ||
                     (options.backend == Backend::Default && postgresByDefault()) ||
                     server::isPostgresAddress(options.database);
        if (!options.database.empty()) {
            m_dbPath = options.database;
        } else if (m_postgres) {
            PgCluster& cluster = sharedPgCluster();
            m_pgDatabase = cluster.createDatabase();
            m_dbPath = cluster.address(m_pgDatabase);
            auto db = openPg();
            if (auto st = server::createPostgresSchema(db, today().year); !st)
                throw std::runtime_error("TestServer: " + st.error().message);
        } else {
            std::string tmpl = (fs::temp_directory_path() / "vorteq_server_XXXXXX").string();
            if (::mkdtemp(tmpl.data()) == nullptr)
                throw std::runtime_error("TestServer: cannot create a temporary folder");
            m_dir = tmpl;
            m_dbPath = (m_dir / "vorteq.db").string();
            auto db = server::Database::open(m_dbPath, true);
            if (!db)
                throw std::runtime_error("TestServer: " + db.error().message);
            if (auto st = server::createSchema(*db, today().year); !st)
                throw std::runtime_error("TestServer: " + st.error().message);
        }
        server::ServerConfig config;
        config.limits = options.limits;
        config.throttle = options.throttle;
        config.hashCost = options.hashCost;
        config.replyCompression = options.replyCompression;
        config.replyCacheBytes = options.replyCacheBytes;
        config.sessionLifetime = std::chrono::seconds(options.sessionLifetimeSeconds);
        const bool echo = std::getenv("VORTEQ_TEST_SERVER_LOG") != nullptr;
        config.log = [this, echo](std::string_view line) {
            std::lock_guard lock(m_logMutex);
            m_log.emplace_back(line);
            if (echo)
                std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
        };
        config.clock = [this] {
            const auto real = std::chrono::duration_cast<std::chrono::seconds>(
                                  std::chrono::system_clock::now().time_since_epoch())
                                  .count();
            return real + m_clockOffset.load();
        };
        auto service = server::BatchService::open(m_dbPath, std::move(config));
        if (!service)
            throw std::runtime_error("TestServer: " + service.error().message);
        m_service = std::move(*service);
        server::HttpOptions http = options.http;
        http.bind = "127.0.0.1";
        http.port = 0;
        http.threads = 2;
        m_http = std::make_unique<server::HttpServer>(*m_service, http);
        auto port = m_http->start();
        if (!port)
            throw std::runtime_error("TestServer: " + port.error().message);
        m_port = *port;
        m_tls = !http.tlsCertFile.empty();
    }

    ~Impl()
    {
        m_http.reset();
        m_service.reset();
        if (!m_pgDatabase.empty()) {
            try {
                sharedPgCluster().dropDatabase(m_pgDatabase);
            } catch (const std::exception&) {
                // The cluster and everything in it go when the test program ends.
            }
        }
        std::error_code ignored;
        if (!m_dir.empty())
            fs::remove_all(m_dir, ignored);
    }

    server::PgDatabase openPg() const
    {
        auto db = server::PgDatabase::open(m_dbPath);
        if (!db)
            throw std::runtime_error("TestServer: " + db.error().message);
        return std::move(*db);
    }

    server::Database open() const
    {
        auto db = server::Database::open(m_dbPath, false);
        if (!db)
            throw std::runtime_error("TestServer: " + db.error().message);
        return std::move(*db);
    }

    fs::path m_dir;
    std::string m_dbPath;
    bool m_postgres = false;
    std::string m_pgDatabase; // made by this server, dropped with it
    std::unique_ptr<server::BatchService> m_service;
    std::unique_ptr<server::HttpServer> m_http;
    unsigned short m_port = 0;
    bool m_tls = false;
    mutable std::mutex m_logMutex;
    std::vector<std::string> m_log;
    std::atomic<std::int64_t> m_clockOffset{0};
};

TestServer::TestServer() : TestServer(TestServerOptions{}) {}

TestServer::TestServer(const TestServerOptions& options) : m_impl(std::make_unique<Impl>(options)) {}

TestServer::~TestServer() = default;

void TestServer::addUser(const std::string& id, const std::string& password, const std::string& name,
                         const std::string& email, bool blocked, const std::string& mailStatus)
{
    server::NewUser user{id, password, name, email, blocked, mailStatus};
    if (m_impl->m_postgres) {
        auto db = m_impl->openPg();
        if (auto st = server::storeUser(db, user, server::HashCost::Min); !st)
            throw std::runtime_error("TestServer::addUser: " + st.error().message);
        return;
    }
    auto db = m_impl->open();
    if (auto st = server::storeUser(db, user, server::HashCost::Min); !st)
        throw std::runtime_error("TestServer::addUser: " + st.error().message);
}

const server::ReplyCache* TestServer::keptReplies() const
{
    return m_impl->m_service->keptReplies();
}

void TestServer::execSql(const std::string& sql)
{
    if (m_impl->m_postgres) {
        auto db = m_impl->openPg();
        if (auto st = db.exec(sql); !st)
            throw std::runtime_error("TestServer::execSql: " + st.error().message);
        return;
    }
    auto db = m_impl->open();
    if (auto st = db.exec(sql); !st)
        throw std::runtime_error("TestServer::execSql: " + st.error().message);
}

std::vector<std::vector<std::string>> TestServer::query(const std::string& sql)
{
    if (m_impl->m_postgres) {
        auto db = m_impl->openPg();
        auto stmt = db.prepare(sql);
        if (!stmt)
            throw std::runtime_error("TestServer::query: " + stmt.error().message);
        std::vector<std::vector<std::string>> rows;
        for (;;) {
            auto more = stmt->step();
            if (!more)
                throw std::runtime_error("TestServer::query: " + more.error().message);
            if (!*more)
                break;
            std::vector<std::string> row;
            for (int c = 0; c < stmt->columnCount(); ++c)
                row.push_back(stmt->text(c));
            rows.push_back(std::move(row));
        }
        return rows;
    }
    auto db = m_impl->open();
    auto stmt = db.prepare(sql);
    if (!stmt)
        throw std::runtime_error("TestServer::query: " + stmt.error().message);
    std::vector<std::vector<std::string>> rows;
    const int columns = sqlite3_column_count(stmt->handle());
    for (;;) {
        auto more = stmt->step();
        if (!more)
            throw std::runtime_error("TestServer::query: " + more.error().message);
        if (!*more)
            break;
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c)
            row.push_back(stmt->text(c));
        rows.push_back(std::move(row));
    }
    return rows;
}

unsigned short TestServer::port() const
{
    return m_impl->m_port;
}

std::string TestServer::url() const
{
    return std::string(m_impl->m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_impl->m_port) +
           std::string(kServletPath);
}

std::size_t TestServer::heldReplyBytes() const
{
    return m_impl->m_http->heldReplyBytes();
}

std::string TestServer::dbPath() const
{
    return m_impl->m_dbPath;
}

bool TestServer::onPostgres() const
{
    return m_impl->m_postgres;
}

bool postgresByDefault()
{
    const char* backend = std::getenv("VORTEQ_TEST_BACKEND");
    return backend != nullptr && std::string(backend) == "postgresql";
}

std::vector<std::string> TestServer::logLines() const
{
    std::lock_guard lock(m_impl->m_logMutex);
    return m_impl->m_log;
}

void TestServer::advanceClock(std::int64_t seconds)
{
    m_impl->m_clockOffset += seconds;
}

} // namespace vorteq::test
