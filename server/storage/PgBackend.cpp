#include "server/storage/PgBackend.h"

#include "gateway/WireCodec.h"
#include "server/policy/StatementShape.h"
#include "server/storage/PgDialect.h"
#include "server/storage/Schema.h"
#include "server/storage/ValueText.h"

#include <charconv>
#include <chrono>
#include <libpq-fe.h>
#include <mutex>

namespace vorteq::server {

namespace {

Error refusal(std::string reason)
{
    return makeError(ErrorCode::Server, std::move(reason));
}

// Texts compare byte by byte, as in SQLite, whatever the database's own collation says.
constexpr std::string_view kText = " text COLLATE \"C\"";

std::string columnType(ColumnType type)
{
    switch (type) {
    case ColumnType::Text:
        return std::string(kText) + " NOT NULL";
    case ColumnType::Integer:
        return " bigint";
    case ColumnType::Real:
        return " double precision";
    }
    return {};
}

// Every table but the daily ones; the same columns as on SQLite, in PostgreSQL's types.
std::string baseTables()
{
    const std::string t(kText);
    return "CREATE TABLE IF NOT EXISTS USR_INFO (USR_ID" + t + " PRIMARY KEY NOT NULL, PASS_WORD" + t +
           " NOT NULL, USR_NM" + t + " NOT NULL DEFAULT '', E_MAIL" + t +
           " NOT NULL DEFAULT '', MAIL_STATUS" + t +
           " NOT NULL DEFAULT '0', USR_STATUS bigint NOT NULL DEFAULT 0);\n"
           "CREATE TABLE IF NOT EXISTS SESSION_INFO (TOKEN_DIGEST" +
           t + " PRIMARY KEY NOT NULL, USR_ID" + t +
           " NOT NULL REFERENCES USR_INFO (USR_ID) ON DELETE CASCADE ON UPDATE CASCADE, "
           "EXPIRES_AT bigint NOT NULL);\n"
           "CREATE INDEX IF NOT EXISTS SESSION_INFO_EXPIRES ON SESSION_INFO (EXPIRES_AT);\n"
           "CREATE TABLE IF NOT EXISTS STK_UPD (UPD_FLG bigint PRIMARY KEY NOT NULL, UPD_DATE" +
           t +
           " NOT NULL);\n"
           "CREATE TABLE IF NOT EXISTS MKT_INFO (MKT_CD bigint PRIMARY KEY NOT NULL, MKT_NM" +
           t +
           " NOT NULL);\n"
           "CREATE TABLE IF NOT EXISTS STK_INFO (STK_CD" +
           t + " PRIMARY KEY NOT NULL, STK_NM" + t +
           " NOT NULL, MKT_CD bigint NOT NULL);\n"
           "CREATE INDEX IF NOT EXISTS STK_INFO_MKT ON STK_INFO (MKT_CD);\n"
           "CREATE TABLE IF NOT EXISTS LOGIN_THROTTLE (CLIENT_ADDR" +
           t + " NOT NULL, USR_ID" + t +
           " NOT NULL, FAIL_COUNT bigint NOT NULL, LAST_FAIL bigint NOT NULL, WAIT_UNTIL bigint NOT NULL, "
           "PRIMARY KEY (CLIENT_ADDR, USR_ID));\n"
           "CREATE INDEX IF NOT EXISTS LOGIN_THROTTLE_LAST ON LOGIN_THROTTLE (LAST_FAIL);\n"
           "CREATE TABLE IF NOT EXISTS LOGIN_KNOWN (CLIENT_ADDR" +
           t + " NOT NULL, USR_ID" + t +
           " NOT NULL, LAST_OK bigint NOT NULL, PRIMARY KEY (CLIENT_ADDR, USR_ID));\n";
}

std::string roleSetup()
{
    const std::string q(kPgQueryRole);
    const std::string a(kPgAccountRole);
    return "DO $$BEGIN\n"
           "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '" +
           q + "') THEN CREATE ROLE " + q +
           " LOGIN; END IF;\n"
           "IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '" +
           a + "') THEN CREATE ROLE " + a +
           " LOGIN; END IF;\n"
           "EXECUTE format('GRANT USAGE ON SCHEMA %I TO " +
           q + ", " + a +
           "', current_schema());\n"
           "EXECUTE format('REVOKE TEMPORARY ON DATABASE %I FROM PUBLIC', current_database());\n"
           "END$$;\n"
           "REVOKE ALL ON USR_INFO, SESSION_INFO, LOGIN_THROTTLE, LOGIN_KNOWN, STK_INFO, MKT_INFO, STK_UPD "
           "FROM PUBLIC;\n"
           "GRANT SELECT ON STK_INFO, MKT_INFO, STK_UPD TO " +
           q +
           ";\n"
           "GRANT SELECT ON USR_INFO TO " +
           a +
           ";\n"
           "GRANT UPDATE (PASS_WORD, E_MAIL) ON USR_INFO TO " +
           a +
           ";\n"
           "GRANT SELECT, INSERT, UPDATE, DELETE ON SESSION_INFO, LOGIN_THROTTLE, LOGIN_KNOWN TO " +
           a + ";\n";
}

// How a value of a result column goes on the wire, by its PostgreSQL type.
enum class ValueKind { Text, Integer, Float, Numeric, Boolean };

ValueKind kindOf(Oid type)
{
    switch (type) {
    case 20: // int8
    case 21: // int2
    case 23: // int4
    case 26: // oid
        return ValueKind::Integer;
    case 700: // float4
    case 701: // float8
        return ValueKind::Float;
    case 1700:
        return ValueKind::Numeric;
    case 16:
        return ValueKind::Boolean;
    default:
        return ValueKind::Text;
    }
}

bool isWholeNumber(std::string_view text)
{
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    if (i >= text.size() || text.size() - i > 18)
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// A value that is not a text, written as the SQLite backend writes it: integers as they are,
// floats in their shortest exact form (a true boolean is 1, as SQLite has it).
void appendNonText(std::string& out, ValueKind kind, std::string_view text)
{
    if (kind == ValueKind::Integer || (kind == ValueKind::Numeric && isWholeNumber(text))) {
        out.append(text);
        return;
    }
    if (kind == ValueKind::Boolean) {
        out += text == "t" ? '1' : '0';
        return;
    }
    double value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec == std::errc())
        appendValueText(out, value);
}

// One connection pool of one role.
class PgPool {
public:
    PgPool(std::string address, std::string role) : m_address(std::move(address)), m_role(std::move(role)) {}

    Result<std::unique_ptr<PgDatabase>> take()
    {
        {
            std::lock_guard lock(m_mutex);
            while (!m_idle.empty()) {
                auto db = std::move(m_idle.back());
                m_idle.pop_back();
                if (PQstatus(db->handle()) == CONNECTION_OK)
                    return db;
            }
        }
        auto db = PgDatabase::open(m_address, m_role);
        if (!db)
            return db.error();
        return std::make_unique<PgDatabase>(std::move(*db));
    }

    // A connection that broke or was left inside a transaction is closed instead of kept.
    void give(std::unique_ptr<PgDatabase> db)
    {
        if (!db || PQstatus(db->handle()) != CONNECTION_OK ||
            PQtransactionStatus(db->handle()) != PQTRANS_IDLE)
            return;
        std::lock_guard lock(m_mutex);
        if (m_idle.size() < kMaxIdle)
            m_idle.push_back(std::move(db));
    }

private:
    static constexpr std::size_t kMaxIdle = 64;
    std::string m_address;
    std::string m_role;
    std::mutex m_mutex;
    std::vector<std::unique_ptr<PgDatabase>> m_idle;
};

// Runs one SELECT on a query connection in a read-only transaction that PostgreSQL ends at the
// request's deadline, reading the rows one at a time so that a large result never sits in memory
// whole; the rows and reply bytes are drawn from the budget as on SQLite.
class QueryRun {
public:
    QueryRun(PgDatabase& db, RequestBudget& budget, RowSink& sink) : m_db(db), m_budget(budget), m_sink(sink)
    {
    }

    Result<std::size_t> run(const std::string& sql)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            m_budget.deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return refusal("request time limit reached");
        if (auto st =
                m_db.exec("BEGIN READ ONLY; SET LOCAL statement_timeout = " + std::to_string(left.count()));
            !st)
            return refusal("database: " + st.error().message);
        pg_conn* conn = m_db.handle();
        if (PQsendQueryParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1) {
            const std::string message = PQerrorMessage(conn);
            end(false);
            return refusal("database: " + message);
        }
        PQsetSingleRowMode(conn);
        Status outcome = Status::success();
        for (;;) {
            pg_result* result = PQgetResult(conn);
            if (result == nullptr)
                break;
            if (outcome)
                outcome = take(result);
            PQclear(result);
            if (!outcome && !m_cancelled) {
                // Stop the statement instead of reading what is left of it.
                if (PGcancel* cancel = PQgetCancel(conn)) {
                    char buffer[256];
                    (void)PQcancel(cancel, buffer, sizeof buffer);
                    PQfreeCancel(cancel);
                }
                m_cancelled = true;
            }
        }
        end(static_cast<bool>(outcome));
        if (!outcome)
            return outcome.error();
        m_budget.rowsLeft -= m_rows;
        m_budget.replyBytesLeft -= m_textBytes;
        return m_rows;
    }

private:
    void end(bool ok) { (void)m_db.exec(ok ? "COMMIT" : "ROLLBACK"); }

    Status begin(pg_result* result)
    {
        const int columns = PQnfields(result);
        if (columns <= 0)
            return refusal("statement returns no columns");
        m_kinds.clear();
        for (int c = 0; c < columns; ++c)
            m_kinds.push_back(kindOf(PQftype(result, c)));
        m_sink.begin(columns);
        m_begun = true;
        return Status::success();
    }

    Status take(pg_result* result)
    {
        const ExecStatusType status = PQresultStatus(result);
        if (status == PGRES_TUPLES_OK)
            return m_begun ? Status::success() : begin(result);
        if (status != PGRES_SINGLE_TUPLE) {
            const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
            const std::string code = state != nullptr ? state : "";
            std::string message = PQresultErrorMessage(result);
            while (!message.empty() && message.back() == '\n')
                message.pop_back();
            if (code == "57014")
                return refusal("request time limit reached");
            if (code == "42501")
                return refusal("not allowed: " + message);
            if (code == "53100" || code == "53200")
                return refusal("temporary storage limit reached: " + message);
            return refusal("SQL error: " + message);
        }
        if (!m_begun)
            if (auto st = begin(result); !st)
                return st;
        if (m_rows >= m_budget.rowsLeft)
            return refusal("more rows than the request may return");
        const int columns = static_cast<int>(m_kinds.size());
        auto value = [&](int c) {
            return std::string_view(PQgetvalue(result, 0, c),
                                    static_cast<std::size_t>(PQgetlength(result, 0, c)));
        };
        if (wire::ReplyWriter* out = m_sink.replyWriter()) {
            const std::size_t before = out->size();
            out->beginRow();
            for (int c = 0; c < columns; ++c) {
                const ValueKind kind = m_kinds[static_cast<std::size_t>(c)];
                if (PQgetisnull(result, 0, c))
                    out->plainField();
                else if (kind == ValueKind::Text) {
                    if (auto st = out->appendText(value(c)); !st)
                        return refusal("result cannot be sent: " + st.error().message);
                } else
                    appendNonText(out->plainField(), kind, value(c));
            }
            out->endRow();
            m_textBytes += out->size() - before;
        } else {
            m_rowText.clear();
            m_rowEnds.clear();
            for (int c = 0; c < columns; ++c) {
                const ValueKind kind = m_kinds[static_cast<std::size_t>(c)];
                if (PQgetisnull(result, 0, c))
                    ;
                else if (kind == ValueKind::Text)
                    m_rowText.append(value(c));
                else
                    appendNonText(m_rowText, kind, value(c));
                m_rowEnds.push_back(m_rowText.size());
            }
            std::vector<std::string_view> fields;
            std::size_t start = 0;
            for (std::size_t end : m_rowEnds) {
                fields.emplace_back(m_rowText.data() + start, end - start);
                start = end;
            }
            m_textBytes += m_rowText.size() + static_cast<std::size_t>(columns);
            if (m_textBytes <= m_budget.replyBytesLeft)
                if (auto st = m_sink.row(fields); !st)
                    return refusal("result cannot be sent: " + st.error().message);
        }
        if (m_textBytes > m_budget.replyBytesLeft)
            return refusal("reply larger than the request may return");
        ++m_rows;
        return Status::success();
    }

    PgDatabase& m_db;
    RequestBudget& m_budget;
    RowSink& m_sink;
    std::vector<ValueKind> m_kinds;
    bool m_begun = false;
    bool m_cancelled = false;
    std::size_t m_rows = 0;
    std::size_t m_textBytes = 0;
    std::string m_rowText;
    std::vector<std::size_t> m_rowEnds;
};

class PgBackend;

// One request's connections, taken from the pools when first needed and given back at its end.
class PgSession final : public BackendSession {
public:
    PgSession(PgPool& accounts, PgPool& queries, AccountStore& store)
        : m_accountPool(accounts), m_queryPool(queries), m_store(store)
    {
    }
    ~PgSession() override
    {
        m_accountPool.give(std::move(m_account));
        m_queryPool.give(std::move(m_query));
    }
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    Result<ThrottleState> throttleState(std::string_view userId, std::string_view address,
                                        std::int64_t now) override
    {
        auto db = account();
        if (!db)
            return db.error();
        return m_store.throttleState(**db, userId, address, now);
    }
    Result<LoginOutcome> login(const LoginStatement& login, std::string_view address,
                               std::int64_t now) override
    {
        auto db = account();
        if (!db)
            return db.error();
        return m_store.login(**db, login, address, now);
    }
    Result<std::optional<std::string>> sessionUser(std::string_view token, std::int64_t now) override
    {
        auto db = account();
        if (!db)
            return db.error();
        return m_store.sessionUser(**db, token, now);
    }
    Result<int> changePassword(const std::string& sessionUserId, const PasswordChange& change,
                               std::string_view keepToken, std::string_view address, std::int64_t now,
                               std::int64_t& retryAfter) override
    {
        auto db = account();
        if (!db)
            return db.error();
        return m_store.changePassword(**db, sessionUserId, change, keepToken, address, now, retryAfter);
    }
    Result<int> changeMail(const std::string& sessionUserId, const MailChange& change) override
    {
        auto db = account();
        if (!db)
            return db.error();
        return m_store.changeMail(**db, sessionUserId, change);
    }
    Result<std::size_t> runConfinedSelect(std::string_view, std::string_view sql, RequestBudget& budget,
                                          RowSink& sink) override
    {
        // The shape check of the SQLite backend comes first; the role and the read-only transaction
        // then hold whatever the translation lets through.
        if (firstWord(sql) != "SELECT")
            return refusal("not a SELECT statement");
        auto text = translateSelectForPostgres(sql);
        if (!text)
            return text.error();
        return runTrusted(*text, budget, sink);
    }
    Result<std::size_t> runTrustedSelect(std::string_view sql, RequestBudget& budget, RowSink& sink) override
    {
        return runTrusted(std::string(sql), budget, sink);
    }
    // Other servers write the same database unseen by this one: no reply is kept on PostgreSQL.
    Result<bool> othersWroteSinceLastLook() override
    {
        return makeError(ErrorCode::Server, "replies are not kept on PostgreSQL");
    }

private:
    Result<std::size_t> runTrusted(const std::string& sql, RequestBudget& budget, RowSink& sink)
    {
        if (!m_query) {
            auto db = m_queryPool.take();
            if (!db)
                return db.error();
            m_query = std::move(*db);
        }
        return QueryRun(*m_query, budget, sink).run(sql);
    }

    Result<PgDatabase*> account()
    {
        if (!m_account) {
            auto db = m_accountPool.take();
            if (!db)
                return db.error();
            m_account = std::move(*db);
        }
        return m_account.get();
    }

    PgPool& m_accountPool;
    PgPool& m_queryPool;
    AccountStore& m_store;
    std::unique_ptr<PgDatabase> m_account;
    std::unique_ptr<PgDatabase> m_query;
};

class PgBackend final : public Backend {
public:
    PgBackend(const std::string& address, const ServerConfig& config)
        : m_accounts(address, std::string(kPgAccountRole)), m_queries(address, std::string(kPgQueryRole)),
          m_store(config)
    {
    }

    Result<std::unique_ptr<BackendSession>> acquire() override
    {
        return std::unique_ptr<BackendSession>(new PgSession(m_accounts, m_queries, m_store));
    }

    // Both roles log in and see their tables, so that a wrong set-up shows at start, not at the first login.
    Status check(const std::string& shownAddress)
    {
        const std::pair<PgPool*, std::string_view> probes[] = {
            {&m_accounts, "SELECT 1 FROM USR_INFO, SESSION_INFO, LOGIN_THROTTLE, LOGIN_KNOWN LIMIT 0"},
            {&m_queries, "SELECT 1 FROM STK_INFO, MKT_INFO, STK_UPD LIMIT 0"}};
        for (const auto& [pool, sql] : probes) {
            auto db = pool->take();
            if (!db)
                return makeError(ErrorCode::Server, db.error().message + " (" + shownAddress + ")");
            if (auto st = (*db)->exec(sql); !st)
                return makeError(
                    ErrorCode::Server,
                    "PostgreSQL のデータベースに必要な表がないか、読む権限がありません。先に init "
                    "を実行してください (" +
                        shownAddress + "): " + st.error().message);
            pool->give(std::move(*db));
        }
        return Status::success();
    }

private:
    PgPool m_accounts;
    PgPool m_queries;
    AccountStore m_store;
};

} // namespace

Status createPostgresDailyTable(PgDatabase& db, std::string_view family, int year)
{
    const std::string table = dailyTableName(family, year);
    std::string sql = "CREATE TABLE IF NOT EXISTS " + table + " (";
    for (const DailyColumn& column : dailyColumns()) {
        sql += column.name;
        sql += columnType(column.type);
        sql += ", ";
    }
    sql += "PRIMARY KEY (STK_CD, STK_DATE));\n";
    sql += "CREATE INDEX IF NOT EXISTS " + table + "_DATE ON " + table + " (STK_DATE);\n";
    sql += "REVOKE ALL ON " + table + " FROM PUBLIC;\n";
    sql += "GRANT SELECT ON " + table + " TO " + std::string(kPgQueryRole) + ";\n";
    return db.exec(sql);
}

Status createPostgresSchema(PgDatabase& db, int lastYear)
{
    return db.writeTransaction([&]() -> Status {
        if (auto st = db.exec(baseTables()); !st)
            return st;
        if (auto st = db.exec(roleSetup()); !st)
            return st;
        auto market =
            db.prepare("INSERT INTO MKT_INFO (MKT_CD, MKT_NM) VALUES (?, ?) ON CONFLICT DO NOTHING");
        if (!market)
            return market.error();
        for (const Market& m : kMarkets) {
            market->bind(1, std::int64_t{m.code}).bind(2, m.name);
            if (auto st = market->run(); !st)
                return st;
        }
        for (int year = kFirstDailyYear; year <= lastYear; ++year)
            for (std::string_view family : kDailyFamilies)
                if (auto st = createPostgresDailyTable(db, family, year); !st)
                    return st;
        return Status::success();
    });
}

Result<std::vector<std::string>> postgresDailyTableNames(PgDatabase& db)
{
    return dailyTablesListedBy(db,
                               "SELECT upper(tablename) FROM pg_tables WHERE schemaname = current_schema() "
                               "ORDER BY 1");
}

Result<std::unique_ptr<Backend>> openPostgresBackend(const std::string& address, const ServerConfig& config)
{
    auto backend = std::make_unique<PgBackend>(address, config);
    if (auto st = backend->check(withoutPassword(address)); !st)
        return st.error();
    return std::unique_ptr<Backend>(std::move(backend));
}

Result<int> clusterPostgresDailyTables(PgDatabase& db,
                                       const std::function<void(const std::string&)>& progress)
{
    auto tables = postgresDailyTableNames(db);
    if (!tables)
        return tables.error();
    int done = 0;
    for (const std::string& table : *tables) {
        if (progress)
            progress(table);
        if (auto st = db.exec("CLUSTER " + table + " USING " + table + "_DATE; ANALYZE " + table); !st)
            return makeError(ErrorCode::Server, table + ": " + st.error().message);
        ++done;
    }
    return done;
}

} // namespace vorteq::server
