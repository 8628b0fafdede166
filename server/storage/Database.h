#pragma once

#include "common/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vorteq::server {

class Statement;
class StatementLease;

// One SQLite connection. The server opens one per worker; every connection runs in WAL mode with a
// busy timeout, foreign extensions disabled and the defensive flag set.
class Database {
public:
    Database() = default;
    ~Database();
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (create = true: creates) the database file and applies the connection settings; vfs
    // names the file layer (nullptr: the system's).
    static Result<Database> open(const std::string& path, bool create, const char* vfs = nullptr);

    // Runs one or more trusted statements (schema, transactions).
    Status exec(std::string_view sql);
    // Prepares one trusted statement.
    Result<Statement> prepare(std::string_view sql);
    // A trusted statement of the server's own fixed texts (the session lookup), compiled once per
    // connection and kept; the lease resets it and clears its bindings when it ends.
    Result<StatementLease> prepareCached(std::string_view sql);

    // Runs work inside a write transaction that takes the write lock as it begins (BEGIN
    // IMMEDIATE, waiting up to the busy timeout for another writer), and commits. When SQLite
    // answers busy all the same, the transaction is rolled back and work runs again, up to
    // attempts times. work must only touch the database: it may run more than once.
    Status writeTransaction(const std::function<Status()>& work, int attempts = 4);
    // True when the last failure on this connection was SQLite saying busy or locked.
    bool lastFailureWasBusy() const;
    // Runs work with the busy timeout set to zero, so a write that another writer holds up fails at
    // once instead of waiting; for writes that may as well happen on a later request.
    Status withoutWaiting(const std::function<Status()>& work);

    sqlite3* handle() const { return m_db; }
    std::string lastError() const;
    std::int64_t changes() const;

    // How a connection waits for another's write lock: it looks again every millisecond, so that it
    // gets the lock in the short pause an importer leaves between its transactions, for up to
    // timeoutMs in all.
    struct BusyWait {
        int timeoutMs = 0;
        std::int64_t startedNs = 0; // when the current wait began
    };

private:
    explicit Database(sqlite3* db);
    void close();

    sqlite3* m_db = nullptr;
    std::unique_ptr<BusyWait> m_busy = std::make_unique<BusyWait>();
    std::vector<std::pair<std::string, std::unique_ptr<Statement>>> m_kept; // finalized before m_db closes
};

// Checks, before a server starts, that the database file exists and that the server can write it
// and create the write-ahead log beside it; the error says precisely what is wrong and what to do.
Status checkDatabaseWritable(const std::string& path);

// A prepared statement; bind from 1, step, read columns from 0.
class Statement {
public:
    Statement() = default;
    explicit Statement(sqlite3_stmt* stmt) : m_stmt(stmt) {}
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::string_view text);
    Statement& bind(int index, std::int64_t value);
    Statement& bind(int index, double value);
    Statement& bindNull(int index);
    // true: a row is ready; false: done; an error: the step failed.
    Result<bool> step();
    // Runs to completion, ignoring rows.
    Status run();
    void reset();

    std::string text(int column) const;
    std::int64_t integer(int column) const;
    bool isNull(int column) const;

    sqlite3_stmt* handle() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// Use of a kept statement: reset, bindings cleared, when the lease ends, so that the statement
// holds no read transaction between uses.
class StatementLease {
public:
    explicit StatementLease(Statement* stmt) : m_stmt(stmt) {}
    StatementLease(StatementLease&& other) noexcept : m_stmt(std::exchange(other.m_stmt, nullptr)) {}
    StatementLease& operator=(StatementLease&&) = delete;
    ~StatementLease()
    {
        if (m_stmt)
            m_stmt->reset();
    }
    Statement* operator->() const { return m_stmt; }
    Statement& operator*() const { return *m_stmt; }

private:
    Statement* m_stmt;
};

// A transaction that rolls back unless committed.
class Transaction {
public:
    // immediate = true takes the write lock at once (read-modify-write sequences).
    static Result<Transaction> begin(Database& db, bool immediate);
    Transaction(Transaction&& other) noexcept : m_db(other.m_db) { other.m_db = nullptr; }
    Transaction& operator=(Transaction&&) = delete;
    ~Transaction();
    Status commit();

private:
    explicit Transaction(Database* db) : m_db(db) {}
    Database* m_db = nullptr;
};

} // namespace vorteq::server
