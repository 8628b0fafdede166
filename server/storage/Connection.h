#pragma once

#include "common/Result.h"
#include "server/ServerConfig.h"
#include "server/storage/ConfinementPolicy.h"
#include "server/storage/Database.h"
#include "server/storage/RequestLimits.h"
#include "server/storage/StatementCache.h"
#include "server/storage/TempFileCap.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::wire {
class ReplyWriter;
}

namespace vorteq::server {

// Receives a result row by row, values as text; an error from row() ends the statement with it.
class RowSink {
public:
    virtual ~RowSink() = default;
    virtual void begin(int columns) = 0;
    virtual Status row(const std::vector<std::string_view>& fields) = 0;
    // A sink that writes the rows into a reply returns its writer: the values are then formatted
    // straight into the reply text instead of going through row().
    virtual wire::ReplyWriter* replyWriter() { return nullptr; }
};

// A sink that keeps the rows (the server's own small queries, tests).
struct SelectResult final : RowSink {
    int columns = 0;
    std::vector<std::vector<std::string>> rows;

    void begin(int count) override { columns = count; }
    Status row(const std::vector<std::string_view>& fields) override
    {
        rows.emplace_back(fields.begin(), fields.end());
        return Status::success();
    }
};

// A database connection with its guards: an authorizer that, while a statement from the wire is
// compiled, allows only reading the market tables, and a progress handler that ends any statement
// running past its deadline.
class Connection {
public:
    // maxTempBytes caps the temporary storage (sort and transient table files) of the connection.
    static Result<std::unique_ptr<Connection>> open(const std::string& path,
                                                    std::int64_t maxTempBytes = Limits{}.maxTempBytes);
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    Database& db() { return m_db; }

    // Runs one SELECT from the wire, read-only and confined to STK_INFO, MKT_INFO, STK_UPD and the
    // daily tables, within the limits, handing its rows to the sink (begin() comes only after the
    // statement has compiled). Returns the row count; the error message is the refusal reason for
    // the log, and rows already handed over must then be dropped by the caller.
    // The compiled statement is kept for the next request of the same user with the same text; a
    // schema change since makes SQLite compile it again, under the same confinement.
    // The rows and reply bytes it hands over are taken from the budget.
    Result<std::size_t> runConfinedSelect(std::string_view user, std::string_view sql, RequestBudget& budget,
                                          RowSink& sink);
    // The same with a budget of its own (one statement that is the whole request).
    Result<std::size_t> runConfinedSelect(std::string_view user, std::string_view sql, const Limits& limits,
                                          RowSink& sink);

    // Runs one trusted SELECT of the server's own, within the same budget.
    Result<std::size_t> runTrustedSelect(std::string_view sql, RequestBudget& budget, RowSink& sink);

    // Whether another connection may have written the database since this connection last asked:
    // true the first time, and whenever SQLite's data version of the connection moved (its own
    // writes do not move it). Asked outside any transaction, it sees the latest commit.
    Result<bool> othersWroteSinceLastLook();

    // Confined statements compiled on this connection so far (the ones not found in the cache).
    std::uint64_t compiledCount() const { return m_compiled; }

private:
    Connection(std::unique_ptr<TempFileCap> tempFiles, Database db);
    Result<std::size_t> run(std::string_view user, std::string_view sql, RequestBudget& budget, bool confined,
                            RowSink& sink);
    Status compile(std::string_view sql, bool confined, Statement& out);

    std::unique_ptr<TempFileCap> m_tempFiles; // declared before m_db: outlives the connection
    Database m_db;
    Confinement m_confinement;
    StatementDeadline m_deadline;
    StatementCache m_cache; // declared after m_db: finalized before it closes
    std::uint64_t m_compiled = 0;
    std::optional<std::int64_t> m_dataVersion; // at the last look
    std::string m_rowText;                     // the values of the current row, end to end
                                               // (or a reply row's runs of numbers)
    std::vector<std::size_t> m_rowEnds;        // where each value ends in m_rowText
    std::vector<std::string_view> m_fields;    // the values as views, for the sink
};

// Connections shared by the worker threads: one is taken for a request and given back after it.
class ConnectionPool {
public:
    ConnectionPool(std::string path, std::int64_t maxTempBytes)
        : m_path(std::move(path)), m_maxTempBytes(maxTempBytes)
    {
    }

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
    std::int64_t m_maxTempBytes;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<Connection>> m_idle;
};

} // namespace vorteq::server
