#include "server/storage/Connection.h"

#include "common/AsciiText.h"
#include "gateway/WireCodec.h"
#include "server/storage/Schema.h"
#include "server/policy/StatementShape.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <sqlite3.h>

namespace vorteq::server {

namespace {

bool equalsNoCase(const char* a, std::string_view b)
{
    return a != nullptr && equalsIgnoringCase(a, b);
}

bool isMarketTable(const char* table)
{
    if (table == nullptr)
        return false;
    const std::string_view name(table);
    return equalsNoCase(table, "STK_INFO") || equalsNoCase(table, "MKT_INFO") ||
           equalsNoCase(table, "STK_UPD") || isDailyTableName(name);
}

// Plain functions a screening might reasonably use; everything else (load_extension, randomblob,
// printf, the sqlite_ introspection functions, ...) is refused.
bool isAllowedFunction(const char* name)
{
    static constexpr std::array<std::string_view, 16> kAllowed{
        "abs",    "round", "min",   "max",    "count", "sum",    "avg",      "total",
        "length", "upper", "lower", "substr", "trim",  "ifnull", "coalesce", "like"};
    return std::any_of(kAllowed.begin(), kAllowed.end(),
                       [&](std::string_view f) { return equalsNoCase(name, f); });
}

std::string describe(const char* what, const char* a, const char* b)
{
    std::string text = what;
    if (a) {
        text += ' ';
        text += a;
    }
    if (b) {
        text += '.';
        text += b;
    }
    return text;
}

int authorize(void* context, int action, const char* arg3, const char* arg4, const char* dbName, const char*)
{
    auto* guard = static_cast<Connection::Guard*>(context);
    if (!guard->confined)
        return SQLITE_OK;
    std::string refused;
    switch (action) {
    case SQLITE_SELECT:
        return SQLITE_OK;
    case SQLITE_READ:
        // A table of the FROM list is reported with an empty column and no database name.
        if ((dbName == nullptr || std::string_view(dbName) == "main") && isMarketTable(arg3))
            return SQLITE_OK;
        refused = describe("reading", arg3, arg4);
        break;
    case SQLITE_FUNCTION:
        if (isAllowedFunction(arg4))
            return SQLITE_OK;
        refused = describe("function", arg4, nullptr);
        break;
    case SQLITE_PRAGMA:
        refused = describe("PRAGMA", arg3, nullptr);
        break;
    case SQLITE_ATTACH:
        refused = "ATTACH";
        break;
    default:
        refused = "action " + std::to_string(action);
        break;
    }
    if (guard->denied.empty())
        guard->denied = std::move(refused);
    return SQLITE_DENY;
}

int progress(void* context)
{
    auto* guard = static_cast<Connection::Guard*>(context);
    if (guard->deadlineSet && std::chrono::steady_clock::now() > guard->deadline) {
        guard->timedOut = true;
        return 1;
    }
    return 0;
}

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

std::string_view columnText(sqlite3_stmt* stmt, int column)
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    return {text, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column))};
}

void appendInteger(std::string& out, std::int64_t value)
{
    std::array<char, 24> buf;
    const char* end = std::to_chars(buf.data(), buf.data() + buf.size(), value).ptr;
    out.append(buf.data(), static_cast<std::size_t>(end - buf.data()));
}

void appendColumn(std::string& out, sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        appendInteger(out, sqlite3_column_int64(stmt, column));
        break;
    case SQLITE_FLOAT:
        appendValueText(out, sqlite3_column_double(stmt, column));
        break;
    case SQLITE_TEXT:
        out.append(columnText(stmt, column));
        break;
    default: // NULL: no value; BLOB: none of our tables hold one
        break;
    }
}

// The same values written straight into a reply row; a text the reply refuses is the error.
Status writeColumn(wire::ReplyWriter& out, sqlite3_stmt* stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_INTEGER:
        appendInteger(out.plainField(), sqlite3_column_int64(stmt, column));
        break;
    case SQLITE_FLOAT:
        appendValueText(out.plainField(), sqlite3_column_double(stmt, column));
        break;
    case SQLITE_TEXT:
        return out.appendText(columnText(stmt, column));
    default:
        out.plainField();
        break;
    }
    return Status::success();
}

} // namespace

void appendValueText(std::string& out, double value)
{
    if (!std::isfinite(value))
        return;
    if (value == 0.0) {
        out += '0';
        return;
    }
    // Fast path for whole numbers and values of up to two decimals (prices and the indicator values
    // kept to two decimals): when v is the double nearest to k / 100 and k has at most 15 digits,
    // the decimal k / 100 is the shortest text that reads back to v. k is rounded by truncating
    // after adding a half, which can be one off near a half: the check below catches that too.
    if (std::abs(value) < 1e12) {
        const double scaled = value * 100.0;
        const auto k = static_cast<std::int64_t>(scaled < 0 ? scaled - 0.5 : scaled + 0.5);
        if (static_cast<double>(k) / 100.0 == value) {
            // Written from the right: the cents (without a trailing zero), then the whole part two
            // digits at a time, then the sign.
            static constexpr char kPairs[] =
                "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                "8081828384858687888990919293949596979899";
            std::array<char, 24> buf;
            char* const end = buf.data() + buf.size();
            char* p = end;
            std::uint64_t whole = static_cast<std::uint64_t>(k < 0 ? -k : k);
            const auto cents = static_cast<unsigned>(whole % 100);
            whole /= 100;
            if (cents != 0) {
                if (cents % 10 != 0)
                    *--p = static_cast<char>('0' + cents % 10);
                *--p = static_cast<char>('0' + cents / 10);
                *--p = '.';
            }
            while (whole >= 100) {
                p -= 2;
                std::memcpy(p, kPairs + 2 * (whole % 100), 2);
                whole /= 100;
            }
            if (whole >= 10) {
                p -= 2;
                std::memcpy(p, kPairs + 2 * whole, 2);
            } else {
                *--p = static_cast<char>('0' + whole);
            }
            if (k < 0)
                *--p = '-';
            out.append(p, static_cast<std::size_t>(end - p));
            return;
        }
    }
    // The shortest digits that read back to the same double, in scientific form "d.ddde-05".
    std::array<char, 40> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), value, std::chars_format::scientific);
    const std::string_view text(buf.data(), static_cast<std::size_t>(end - buf.data()));
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c >= '0' && c <= '9')
            digits += c;
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(), exponent);
    if (value < 0)
        out += '-';
    // Fixed notation from 0.0001 up to below 1E15, exponent form outside, as the client's numbers.
    if (exponent >= -4 && exponent < 15) {
        if (exponent < 0) {
            out += "0.";
            out.append(static_cast<std::size_t>(-exponent - 1), '0');
            out += digits;
        } else if (digits.size() <= static_cast<std::size_t>(exponent) + 1) {
            out += digits;
            out.append(static_cast<std::size_t>(exponent) + 1 - digits.size(), '0');
        } else {
            out.append(digits, 0, static_cast<std::size_t>(exponent) + 1);
            out += '.';
            out.append(digits, static_cast<std::size_t>(exponent) + 1);
        }
        return;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += '.';
        out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
}

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
    sqlite3_set_authorizer(conn->m_db.handle(), authorize, &conn->m_guard);
    sqlite3_progress_handler(conn->m_db.handle(), 1000, progress, &conn->m_guard);
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
        if (!m_guard.denied.empty())
            return refusal("not allowed: " + m_guard.denied);
        if (m_guard.timedOut)
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

Connection::CachedStatement* Connection::findCached(std::string_view user, std::string_view sql)
{
    for (CachedStatement& entry : m_cache) {
        if (entry.user == user && entry.sql == sql) {
            entry.lastUse = ++m_useClock;
            return &entry;
        }
    }
    return nullptr;
}

void Connection::keep(std::string_view user, std::string_view sql, Statement stmt)
{
    if (m_cache.size() >= kStatementCacheSize) {
        auto oldest = std::min_element(m_cache.begin(), m_cache.end(),
                                       [](const auto& a, const auto& b) { return a.lastUse < b.lastUse; });
        m_cache.erase(oldest);
    }
    m_cache.push_back(CachedStatement{std::string(user), std::string(sql), std::move(stmt), ++m_useClock});
}

void Connection::forget(const CachedStatement* entry)
{
    m_cache.erase(m_cache.begin() + (entry - m_cache.data()));
}

Result<std::size_t> Connection::run(std::string_view user, std::string_view sql, RequestBudget& budget,
                                    bool confined, RowSink& sink)
{
    sqlite3* db = m_db.handle();
    m_guard.denied.clear();
    m_guard.timedOut = false;
    m_guard.confined = confined;
    m_tempFiles->clearExhausted();
    if (std::chrono::steady_clock::now() > budget.deadline)
        return refusal("request time limit reached");
    m_guard.deadline = budget.deadline;
    m_guard.deadlineSet = true;
    Statement compiled; // declared before the reset below, so that it is reset before being finalized
    // Whatever happens, the statement ends reset (a kept one must not hold its read transaction
    // until its next use) and the guards go back to rest.
    struct Reset {
        Connection::Guard& guard;
        sqlite3_stmt* stmt = nullptr;
        ~Reset()
        {
            if (stmt != nullptr)
                sqlite3_reset(stmt);
            guard.confined = false;
            guard.deadlineSet = false;
        }
    } reset{m_guard};

    CachedStatement* cached = confined ? findCached(user, sql) : nullptr;
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
            forget(cached);
        }
        return refusal(std::move(reason));
    };

    wire::ReplyWriter* out = sink.replyWriter();
    std::size_t rows = 0;
    std::size_t textBytes = 0;
    for (bool first = true;; first = false) {
        const int step = sqlite3_step(stmt);
        if (step != SQLITE_ROW && step != SQLITE_DONE) {
            if (m_guard.timedOut)
                return fail("request time limit reached");
            if (m_tempFiles->exhausted())
                return fail("temporary storage limit of " + std::to_string(m_tempFiles->limit()) +
                            " bytes reached");
            if (!m_guard.denied.empty()) // a schema change made SQLite compile it again, and that was refused
                return fail("not allowed: " + m_guard.denied);
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
            out->beginRow();
            for (int c = 0; c < columns; ++c)
                if (auto st = writeColumn(*out, stmt, c); !st)
                    return fail("result cannot be sent: " + st.error().message);
            out->endRow();
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
    if (cached == nullptr && confined && sql.size() <= kMaxKeptStatementBytes) {
        reset.stmt = nullptr;
        sqlite3_reset(stmt);
        keep(user, sql, std::move(compiled));
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
