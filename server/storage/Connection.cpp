#include "server/storage/Connection.h"

#include "gateway/WireCodec.h"
#include "server/policy/StatementShape.h"
#include "server/storage/ValueText.h"

#include <sqlite3.h>

namespace vorteq::server {

namespace {

Error refusal(std::string reason)
{
    return makeError(ErrorCode::Server, std::move(reason));
}

bool onlyBlank(const char* text)
{
    for (; text != nullptr && *text != '\0'; ++text)
        if (*text != ' ' && *text != '\t' && *text != '\r' && *text != '\n')
            return false;
    return true;
}

} // namespace

Connection::Connection(std::unique_ptr<TempFileCap> tempFiles, Database db)
    : m_tempFiles(std::move(tempFiles)), m_db(std::move(db))
{
}

Result<std::unique_ptr<Connection>> Connection::open(const std::string& path, std::int64_t maxTempBytes)
{
    auto tempFiles = std::make_unique<TempFileCap>(maxTempBytes);
    auto db = Database::open(path, false, tempFiles->vfsName());
    if (!db)
        return db.error();
    std::unique_ptr<Connection> conn(new Connection(std::move(tempFiles), std::move(*db)));
    sqlite3_set_authorizer(conn->m_db.handle(), authorizeConfined, &conn->m_confinement);
    sqlite3_progress_handler(conn->m_db.handle(), 1000, stopPastDeadline, &conn->m_deadline);
    return conn;
}

Result<bool> Connection::othersWroteSinceLastLook()
{
    auto look = m_db.prepareCached("PRAGMA data_version");
    if (!look)
        return look.error();
    auto row = (*look)->step();
    if (!row)
        return row.error();
    if (!*row)
        return makeError(ErrorCode::Server, "PRAGMA data_version returned no row");
    const std::int64_t version = (*look)->integer(0);
    const bool changed = !m_dataVersion || *m_dataVersion != version;
    m_dataVersion = version;
    return changed;
}

Result<std::size_t> Connection::runConfinedSelect(std::string_view user, std::string_view sql,
                                                  RequestBudget& budget, RowSink& sink)
{
    // Only a plain SELECT: no WITH (recursive queries), VALUES, EXPLAIN or anything else.
    if (firstWord(sql) != "SELECT")
        return refusal("not a SELECT statement");
    return run(user, sql, budget, true, sink);
}

Result<std::size_t> Connection::runConfinedSelect(std::string_view user, std::string_view sql,
                                                  const Limits& limits, RowSink& sink)
{
    RequestBudget budget = RequestBudget::of(limits);
    return runConfinedSelect(user, sql, budget, sink);
}

Result<std::size_t> Connection::runTrustedSelect(std::string_view sql, RequestBudget& budget, RowSink& sink)
{
    return run({}, sql, budget, false, sink);
}

Status Connection::compile(std::string_view sql, bool confined, Statement& out)
{
    sqlite3* db = m_db.handle();
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    // A statement that may be kept is marked persistent: SQLite then keeps it out of the small
    // per-connection allocator meant for short-lived objects.
    const int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                      confined ? SQLITE_PREPARE_PERSISTENT : 0, &raw, &tail);
    out = Statement(raw);
    if (rc != SQLITE_OK) {
        if (!m_confinement.denied.empty())
            return refusal("not allowed: " + m_confinement.denied);
        if (m_deadline.passed)
            return refusal("request time limit reached while compiling");
        return refusal(std::string("SQL error: ") + sqlite3_errmsg(db));
    }
    if (raw == nullptr)
        return refusal("empty statement");
    // The tail lies inside sql, which need not be terminated: copy the rest to check it.
    const std::string rest(tail, static_cast<std::size_t>(sql.data() + sql.size() - tail));
    if (!onlyBlank(rest.c_str()))
        return refusal("more than one statement");
    if (confined && (!sqlite3_stmt_readonly(raw) || sqlite3_stmt_isexplain(raw) != 0))
        return refusal("not a read-only SELECT");
    if (sqlite3_column_count(raw) <= 0)
        return refusal("statement returns no columns");
    if (confined)
        ++m_compiled;
    return Status::success();
}

Result<std::size_t> Connection::run(std::string_view user, std::string_view sql, RequestBudget& budget,
                                    bool confined, RowSink& sink)
{
    sqlite3* db = m_db.handle();
    m_confinement.denied.clear();
    m_confinement.confined = confined;
    m_deadline.passed = false;
    m_tempFiles->clearExhausted();
    if (std::chrono::steady_clock::now() > budget.deadline)
        return refusal("request time limit reached");
    m_deadline.at = budget.deadline;
    m_deadline.set = true;
    Statement compiled; // declared before the reset below, so that it is reset before being finalized
    // Whatever happens, the statement ends reset (a kept one must not hold its read transaction
    // until its next use) and the guards go back to rest.
    struct Reset {
        Confinement& confinement;
        StatementDeadline& deadline;
        sqlite3_stmt* stmt = nullptr;
        ~Reset()
        {
            if (stmt != nullptr)
                sqlite3_reset(stmt);
            confinement.confined = false;
            deadline.set = false;
        }
    } reset{m_confinement, m_deadline};

    StatementCache::Entry* cached = confined ? m_cache.find(user, sql) : nullptr;
    if (cached == nullptr) {
        if (auto st = compile(sql, confined, compiled); !st)
            return st.error();
    }
    sqlite3_stmt* stmt = cached != nullptr ? cached->stmt.handle() : compiled.handle();
    reset.stmt = stmt;
    // A kept statement that fails is dropped: the next request compiles its text anew.
    auto fail = [&](std::string reason) -> Error {
        if (cached != nullptr) {
            reset.stmt = nullptr;
            m_cache.forget(cached);
        }
        return refusal(std::move(reason));
    };

    wire::ReplyWriter* out = sink.replyWriter();
    std::size_t rows = 0;
    std::size_t textBytes = 0;
    for (bool first = true;; first = false) {
        const int step = sqlite3_step(stmt);
        if (step != SQLITE_ROW && step != SQLITE_DONE) {
            if (m_deadline.passed)
                return fail("request time limit reached");
            if (m_tempFiles->exhausted())
                return fail("temporary storage limit of " + std::to_string(m_tempFiles->limit()) +
                            " bytes reached");
            if (!m_confinement.denied
                     .empty()) // a schema change made SQLite compile it again, and that was refused
                return fail("not allowed: " + m_confinement.denied);
            return fail(std::string("SQL error: ") + sqlite3_errmsg(db));
        }
        // The columns are counted after the first step: a statement compiled before a schema
        // change is compiled again by that step, and "SELECT *" may then have other columns.
        const int columns = sqlite3_column_count(stmt);
        if (first) {
            if (columns <= 0)
                return fail("statement returns no columns");
            sink.begin(columns);
        }
        if (step == SQLITE_DONE)
            break;
        if (rows >= budget.rowsLeft)
            return fail("more rows than the request may return");
        if (out != nullptr) {
            // Values formatted straight into the reply; texts are checked and converted there.
            const std::size_t before = out->size();
            if (auto st = writeRow(*out, stmt, columns, m_rowText); !st)
                return fail("result cannot be sent: " + st.error().message);
            textBytes += out->size() - before;
        } else {
            // The row's values go end to end into one reused buffer; the views are made once it is complete.
            m_rowText.clear();
            m_rowEnds.clear();
            for (int c = 0; c < columns; ++c) {
                appendColumn(m_rowText, stmt, c);
                m_rowEnds.push_back(m_rowText.size());
            }
            m_fields.clear();
            std::size_t start = 0;
            for (std::size_t end : m_rowEnds) {
                m_fields.emplace_back(m_rowText.data() + start, end - start);
                start = end;
            }
            textBytes += m_rowText.size() + static_cast<std::size_t>(columns);
            if (textBytes <= budget.replyBytesLeft)
                if (auto st = sink.row(m_fields); !st)
                    return fail("result cannot be sent: " + st.error().message);
        }
        if (textBytes > budget.replyBytesLeft)
            return fail("reply larger than the request may return");
        ++rows;
    }
    budget.rowsLeft -= rows;
    budget.replyBytesLeft -= textBytes;
    if (cached == nullptr && confined && sql.size() <= StatementCache::kMaxKeptBytes) {
        reset.stmt = nullptr;
        sqlite3_reset(stmt);
        m_cache.keep(user, sql, std::move(compiled));
    }
    return rows;
}

ConnectionPool::Lease::~Lease()
{
    if (m_conn) {
        std::lock_guard lock(m_pool->m_mutex);
        m_pool->m_idle.push_back(std::move(m_conn));
    }
}

Result<ConnectionPool::Lease> ConnectionPool::acquire()
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_idle.empty()) {
            auto conn = std::move(m_idle.back());
            m_idle.pop_back();
            return Lease(this, std::move(conn));
        }
    }
    auto conn = Connection::open(m_path, m_maxTempBytes);
    if (!conn)
        return conn.error();
    return Lease(this, std::move(*conn));
}

} // namespace vorteq::server
