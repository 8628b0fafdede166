#pragma once

#include "common/Result.h"
#include "server/Database.h"
#include "server/ServerConfig.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::server {

// What one statement from the wire returned: its column count and its rows, values as text.
struct SelectResult {
    int columns = 0;
    std::vector<std::vector<std::string>> rows;
    std::size_t textBytes = 0;
};

// A database connection with its guards: an authorizer that, while a statement from the wire is
// compiled, allows only reading the market tables, and a progress handler that ends any statement
// running past its deadline.
class Connection {
public:
    static Result<std::unique_ptr<Connection>> open(const std::string& path);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Database& db() { return m_db; }

    // Runs one SELECT from the wire, read-only and confined to STK_INFO, MKT_INFO, STK_UPD and the
    // daily tables, within the limits. The error message is the refusal reason for the log.
    Result<SelectResult> runConfinedSelect(std::string_view sql, const Limits& limits);

    // Runs one trusted SELECT of the server's own, within the same row and time limits.
    Result<SelectResult> runTrustedSelect(std::string_view sql, const Limits& limits);

    // Guard state read by the two SQLite callbacks.
    struct Guard {
        bool confined = false;
        std::string denied; // the first thing the authorizer refused
        bool deadlineSet = false;
        std::chrono::steady_clock::time_point deadline;
        bool timedOut = false;
    };

private:
    explicit Connection(Database db);
    Result<SelectResult> run(std::string_view sql, const Limits& limits, bool confined);

    Database m_db;
    Guard m_guard;
};

// Connections shared by the worker threads: one is taken for a request and given back after it.
class ConnectionPool {
public:
    explicit ConnectionPool(std::string path) : m_path(std::move(path)) {}

    class Lease {
    public:
        Lease(ConnectionPool* pool, std::unique_ptr<Connection> conn) : m_pool(pool), m_conn(std::move(conn))
        {
        }
        Lease(Lease&&) = default;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        Connection& operator*() { return *m_conn; }
        Connection* operator->() { return m_conn.get(); }

    private:
        ConnectionPool* m_pool;
        std::unique_ptr<Connection> m_conn;
    };

    Result<Lease> acquire();

private:
    std::string m_path;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Connection>> m_idle;
};

// A number as it goes on the wire: the shortest digits that read back to the same double, in fixed
// notation from 0.0001 up to below 1E15 and in exponent form outside ("1E-5", "2.5E20"); whole
// numbers have no point. (Integers and texts go out as stored, NULL as an empty field.)
void appendValueText(std::string& out, double value);

} // namespace vorteq::server
