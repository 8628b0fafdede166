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

struct pg_conn;
struct pg_result;

namespace vorteq::server {

class PgDatabase;

// True for a database address the PostgreSQL backend serves ("postgresql://..." or "postgres://...").
bool isPostgresAddress(std::string_view db);

// The address as messages and logs may show it: a password in it is replaced by "***".
std::string withoutPassword(const std::string& address);

// The server's own statement texts, written with SQLite's parameters ("?" in order, "?N" by
// number), in PostgreSQL's form ("$1", "$N"). Quoted texts are left as they are.
std::string postgresParameters(std::string_view sql);

// One statement of the server's own on a PostgreSQL connection, used like the SQLite one: bind from
// 1, step through the rows, read columns from 0. The statement runs at the first step; its rows are
// then read from the whole result.
class PgStatement {
public:
    PgStatement() = default;
    PgStatement(PgDatabase* db, std::string sql, std::string name);
    ~PgStatement();
    PgStatement(PgStatement&& other) noexcept;
    PgStatement& operator=(PgStatement&& other) noexcept;
    PgStatement(const PgStatement&) = delete;
    PgStatement& operator=(const PgStatement&) = delete;

    PgStatement& bind(int index, std::string_view text);
    PgStatement& bind(int index, std::int64_t value);
    PgStatement& bindNull(int index);
    // true: a row is ready; false: done; an error: the statement failed.
    Result<bool> step();
    // Runs to completion, ignoring rows.
    Status run();
    // Back to before the first step; the bindings stay.
    void reset();
    // Back to before the first step with no bindings.
    void clearBindings();

    std::string text(int column) const;
    std::int64_t integer(int column) const;
    bool isNull(int column) const;
    int columnCount() const;
    // The connection moved: the statement follows it.
    void attach(PgDatabase* db) { m_db = db; }

private:
    void clearResult();

    PgDatabase* m_db = nullptr;
    std::string m_sql;
    std::string m_name; // prepared on the connection under this name; empty: sent with each run
    std::vector<std::optional<std::string>> m_params;
    pg_result* m_result = nullptr;
    int m_row = -1; // the current row; -1 before the first step
};

// Use of a kept statement: its result and bindings are cleared when the lease ends.
class PgStatementLease {
public:
    explicit PgStatementLease(PgStatement* stmt) : m_stmt(stmt) {}
    PgStatementLease(PgStatementLease&& other) noexcept : m_stmt(std::exchange(other.m_stmt, nullptr)) {}
    PgStatementLease& operator=(PgStatementLease&&) = delete;
    ~PgStatementLease()
    {
        if (m_stmt)
            m_stmt->clearBindings();
    }
    PgStatement* operator->() const { return m_stmt; }
    PgStatement& operator*() const { return *m_stmt; }

private:
    PgStatement* m_stmt;
};

// One connection to PostgreSQL through libpq, with the calls the account store and the server's
// own statements make on SQLite: the same statement texts (parameters rewritten), transactions
// with a retry when PostgreSQL reports a serialization failure or a deadlock.
class PgDatabase {
public:
    PgDatabase() = default;
    ~PgDatabase();
    PgDatabase(PgDatabase&& other) noexcept;
    PgDatabase& operator=(PgDatabase&& other) noexcept;
    PgDatabase(const PgDatabase&) = delete;
    PgDatabase& operator=(const PgDatabase&) = delete;

    // Connects to the address (a postgresql:// URI); role, when not empty, replaces the user it
    // names (the server's roles log in with the address's host, port and database). Texts go both
    // ways as UTF-8, dates and numbers as the server writes them.
    static Result<PgDatabase> open(const std::string& address, const std::string& role = {});

    // Runs one or more trusted statements without parameters (schema, transactions).
    Status exec(std::string_view sql);
    // A trusted statement, prepared for this use only.
    Result<PgStatement> prepare(std::string_view sql);
    // A trusted statement prepared once per connection and kept.
    Result<PgStatementLease> prepareCached(std::string_view sql);

    // Runs work inside a transaction and commits; on a serialization failure or a deadlock the
    // transaction is rolled back and work runs again, up to attempts times.
    Status writeTransaction(const std::function<Status()>& work, int attempts = 4);
    // Runs work in a transaction that gives up at once on a row another writer holds, instead
    // of waiting for it.
    Status withoutWaiting(const std::function<Status()>& work);

    std::string lastError() const { return m_lastError; }
    std::int64_t changes() const { return m_changes; }
    // The SQLSTATE of the last failure ("40001"), empty when none.
    const std::string& lastState() const { return m_lastState; }

    pg_conn* handle() const { return m_conn; }

    // Records the outcome of a result (affected rows, or the error with its SQLSTATE); true when
    // it succeeded. Takes no ownership.
    bool note(pg_result* result);

private:
    explicit PgDatabase(pg_conn* conn) : m_conn(conn) {}
    void close();

    pg_conn* m_conn = nullptr;
    std::string m_lastError;
    std::string m_lastState;
    std::int64_t m_changes = 0;
    int m_prepared = 0;
    std::vector<std::pair<std::string, std::unique_ptr<PgStatement>>> m_kept;
};

} // namespace vorteq::server
