#pragma once

#include "server/ServerConfig.h"
#include "server/http/HttpServer.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vorteq::server {
class ReplyCache;
}

namespace vorteq::test {

// Settings a test may change before the server starts. Passwords are hashed at the lowest cost.
struct TestServerOptions {
    server::Limits limits;
    server::LoginThrottle throttle;
    std::int64_t sessionLifetimeSeconds = 12 * 60 * 60;
    ZlibLevel replyCompression = ZlibLevel::Fastest;
    server::HashCost hashCost = server::HashCost::Min; // the cost of hashes the server makes
    std::size_t replyCacheBytes = server::ServerConfig{}.replyCacheBytes;
    // Connection bounds, deadlines and TLS files; the address, port and threads are the test's own.
    server::HttpOptions http;
    // The database kind: by default SQLite, or PostgreSQL when the environment variable
    // VORTEQ_TEST_BACKEND is "postgresql" (then on the test program's shared cluster).
    enum class Backend { Default, Sqlite, Postgres } backend = Backend::Default;
    // Serve the database of another TestServer (its dbPath()) instead of a fresh one: several
    // servers on one database.
    std::string database;
};

// True when test servers run on PostgreSQL by default (VORTEQ_TEST_BACKEND=postgresql).
bool postgresByDefault();

// The real statement server, in process, on 127.0.0.1 and a free port, over a fresh database in a
// temporary folder (schema and market master included). Stopped and removed by the destructor.
// Failures of the set-up helpers throw std::runtime_error: a test cannot go on without them.
class TestServer {
public:
    TestServer();
    explicit TestServer(const TestServerOptions& options);
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Adds a user (password stored hashed). mailStatus "1" marks an address that bounced.
    void addUser(const std::string& id, const std::string& password, const std::string& name,
                 const std::string& email, bool blocked = false, const std::string& mailStatus = "0");
    // Runs trusted SQL directly on the database (UTF-8), e.g. to seed STK_INFO or a daily table.
    void execSql(const std::string& sql);
    // Rows of a trusted SELECT, every value as text (NULL as empty), to check what the database holds.
    std::vector<std::vector<std::string>> query(const std::string& sql);

    unsigned short port() const;
    // "http://127.0.0.1:<port>/ORQ/servlet/ApsServlet/" (https with a TLS certificate)
    std::string url() const;
    // The SQLite file, or the PostgreSQL address (as the cluster's superuser).
    std::string dbPath() const;
    bool onPostgres() const;
    // Bytes of replies the endpoint holds for peers still reading them.
    std::size_t heldReplyBytes() const;
    // The replies the service keeps for repeated "Query" batches (null when it keeps none).
    const server::ReplyCache* keptReplies() const;

    // The request log lines written so far (one per request).
    std::vector<std::string> logLines() const;
    // Moves the server's clock forward (session expiry, login lock).
    void advanceClock(std::int64_t seconds);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace vorteq::test
