#include "server/storage/PgDatabase.h"

#include <charconv>
#include <libpq-fe.h>

namespace vorteq::server {

namespace {

Error failure(std::string message)
{
    return makeError(ErrorCode::Server, std::move(message));
}

// A serialization failure or a deadlock: the transaction may simply run again.
bool isRetryable(const std::string& state)
{
    return state == "40001" || state == "40P01";
}

std::string trimmedMessage(const char* text)
{
    std::string message = text != nullptr ? text : "";
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
        message.pop_back();
    return message;
}

} // namespace

bool isPostgresAddress(std::string_view db)
{
    return db.rfind("postgresql://", 0) == 0 || db.rfind("postgres://", 0) == 0;
}

std::string withoutPassword(const std::string& address)
{
    std::string out = address;
    const std::size_t scheme = out.find("://");
    const std::size_t at = out.find('@');
    if (scheme != std::string::npos && at != std::string::npos) {
        const std::size_t colon = out.find(':', scheme + 3);
        if (colon != std::string::npos && colon < at)
            out = out.substr(0, colon) + ":***" + out.substr(at);
    }
    const std::size_t param = out.find("password=");
    if (param != std::string::npos) {
        const std::size_t end = out.find('&', param);
        out = out.substr(0, param) + "password=***" + (end == std::string::npos ? "" : out.substr(end));
    }
    return out;
}

std::string postgresParameters(std::string_view sql)
{
    std::string out;
    out.reserve(sql.size() + 8);
    int next = 1;
    char quote = 0;
    for (std::size_t i = 0; i < sql.size(); ++i) {
        const char c = sql[i];
        if (quote != 0) {
            out += c;
            if (c == quote)
                quote = 0;
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
            out += c;
            continue;
        }
        if (c != '?') {
            out += c;
            continue;
        }
        out += '$';
        std::size_t j = i + 1;
        while (j < sql.size() && sql[j] >= '0' && sql[j] <= '9')
            ++j;
        if (j == i + 1) {
            out += std::to_string(next++);
        } else {
            out.append(sql, i + 1, j - i - 1);
            i = j - 1;
        }
    }
    return out;
}

PgStatement::PgStatement(PgDatabase* db, std::string sql, std::string name)
    : m_db(db), m_sql(std::move(sql)), m_name(std::move(name))
{
}

PgStatement::~PgStatement()
{
    clearResult();
}

PgStatement::PgStatement(PgStatement&& other) noexcept
    : m_db(other.m_db), m_sql(std::move(other.m_sql)), m_name(std::move(other.m_name)),
      m_params(std::move(other.m_params)), m_result(std::exchange(other.m_result, nullptr)),
      m_row(other.m_row)
{
}

PgStatement& PgStatement::operator=(PgStatement&& other) noexcept
{
    if (this != &other) {
        clearResult();
        m_db = other.m_db;
        m_sql = std::move(other.m_sql);
        m_name = std::move(other.m_name);
        m_params = std::move(other.m_params);
        m_result = std::exchange(other.m_result, nullptr);
        m_row = other.m_row;
    }
    return *this;
}

void PgStatement::clearResult()
{
    if (m_result != nullptr)
        PQclear(m_result);
    m_result = nullptr;
    m_row = -1;
}

PgStatement& PgStatement::bind(int index, std::string_view text)
{
    const auto at = static_cast<std::size_t>(index - 1);
    if (m_params.size() <= at)
        m_params.resize(at + 1);
    m_params[at] = std::string(text);
    return *this;
}

PgStatement& PgStatement::bind(int index, std::int64_t value)
{
    return bind(index, std::string_view(std::to_string(value)));
}

PgStatement& PgStatement::bindNull(int index)
{
    const auto at = static_cast<std::size_t>(index - 1);
    if (m_params.size() <= at)
        m_params.resize(at + 1);
    m_params[at].reset();
    return *this;
}

Result<bool> PgStatement::step()
{
    if (m_db == nullptr)
        return failure("statement not prepared");
    if (m_row < 0) {
        std::vector<const char*> values;
        values.reserve(m_params.size());
        for (const auto& p : m_params)
            values.push_back(p ? p->c_str() : nullptr);
        const int count = static_cast<int>(values.size());
        m_result = m_name.empty() ? PQexecParams(m_db->handle(), m_sql.c_str(), count, nullptr, values.data(),
                                                 nullptr, nullptr, 0)
                                  : PQexecPrepared(m_db->handle(), m_name.c_str(), count, values.data(),
                                                   nullptr, nullptr, 0);
        if (!m_db->note(m_result)) {
            clearResult();
            return failure(m_db->lastError());
        }
        m_row = 0;
    } else {
        ++m_row;
    }
    return m_row < PQntuples(m_result);
}

Status PgStatement::run()
{
    auto row = step();
    if (!row)
        return row.error();
    reset();
    return Status::success();
}

void PgStatement::reset()
{
    clearResult();
}

void PgStatement::clearBindings()
{
    clearResult();
    m_params.clear();
}

std::string PgStatement::text(int column) const
{
    if (m_result == nullptr || PQgetisnull(m_result, m_row, column))
        return {};
    return std::string(PQgetvalue(m_result, m_row, column),
                       static_cast<std::size_t>(PQgetlength(m_result, m_row, column)));
}

std::int64_t PgStatement::integer(int column) const
{
    if (m_result == nullptr || PQgetisnull(m_result, m_row, column))
        return 0;
    const char* text = PQgetvalue(m_result, m_row, column);
    const char* end = text + PQgetlength(m_result, m_row, column);
    std::int64_t value = 0;
    if (end - text == 1 && (*text == 't' || *text == 'f')) // a boolean
        return *text == 't' ? 1 : 0;
    std::from_chars(text, end, value);
    return value;
}

bool PgStatement::isNull(int column) const
{
    return m_result == nullptr || PQgetisnull(m_result, m_row, column) != 0;
}

int PgStatement::columnCount() const
{
    return m_result == nullptr ? 0 : PQnfields(m_result);
}

PgDatabase::~PgDatabase()
{
    close();
}

PgDatabase::PgDatabase(PgDatabase&& other) noexcept
    : m_conn(std::exchange(other.m_conn, nullptr)), m_lastError(std::move(other.m_lastError)),
      m_lastState(std::move(other.m_lastState)), m_changes(other.m_changes), m_prepared(other.m_prepared),
      m_kept(std::move(other.m_kept))
{
    for (auto& kept : m_kept)
        kept.second->attach(this);
}

PgDatabase& PgDatabase::operator=(PgDatabase&& other) noexcept
{
    if (this != &other) {
        close();
        m_conn = std::exchange(other.m_conn, nullptr);
        m_lastError = std::move(other.m_lastError);
        m_lastState = std::move(other.m_lastState);
        m_changes = other.m_changes;
        m_prepared = other.m_prepared;
        m_kept = std::move(other.m_kept);
        for (auto& kept : m_kept)
            kept.second->attach(this);
    }
    return *this;
}

void PgDatabase::close()
{
    m_kept.clear();
    if (m_conn != nullptr)
        PQfinish(m_conn);
    m_conn = nullptr;
}

Result<PgDatabase> PgDatabase::open(const std::string& address, const std::string& role)
{
    // The address comes first and is expanded; what follows it overrides its parts.
    std::vector<const char*> keys{"dbname", "client_encoding", "application_name", "connect_timeout",
                                  "options"};
    std::vector<const char*> values{
        address.c_str(), "UTF8", "vorteq-server", "10",
        "-c extra_float_digits=1 -c DateStyle=ISO -c client_min_messages=warning"};
    if (!role.empty()) {
        keys.push_back("user");
        values.push_back(role.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    pg_conn* conn = PQconnectdbParams(keys.data(), values.data(), 1);
    if (conn == nullptr)
        return failure("PostgreSQL に接続できません: メモリ不足");
    if (PQstatus(conn) != CONNECTION_OK) {
        std::string message = trimmedMessage(PQerrorMessage(conn));
        PQfinish(conn);
        return failure("PostgreSQL に接続できません" + (role.empty() ? std::string() : " (" + role + ")") +
                       ": " + message);
    }
    return PgDatabase(conn);
}

bool PgDatabase::note(pg_result* result)
{
    const ExecStatusType status = result != nullptr ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_SINGLE_TUPLE) {
        m_lastError.clear();
        m_lastState.clear();
        const char* tuples = PQcmdTuples(result);
        m_changes = tuples != nullptr && *tuples != '\0' ? std::stoll(tuples) : 0;
        return true;
    }
    const char* state = result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    m_lastState = state != nullptr ? state : "";
    m_lastError = trimmedMessage(result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(m_conn));
    if (m_lastError.empty())
        m_lastError = trimmedMessage(PQerrorMessage(m_conn));
    return false;
}

Status PgDatabase::exec(std::string_view sql)
{
    const std::string text(sql);
    pg_result* result = PQexec(m_conn, text.c_str());
    const bool ok = note(result);
    PQclear(result);
    if (!ok)
        return failure(m_lastError);
    return Status::success();
}

Result<PgStatement> PgDatabase::prepare(std::string_view sql)
{
    if (m_conn == nullptr)
        return failure("no connection");
    return PgStatement(this, postgresParameters(sql), "");
}

Result<PgStatementLease> PgDatabase::prepareCached(std::string_view sql)
{
    for (auto& kept : m_kept)
        if (kept.first == sql)
            return PgStatementLease(kept.second.get());
    const std::string name = "vq" + std::to_string(++m_prepared);
    const std::string text = postgresParameters(sql);
    pg_result* result = PQprepare(m_conn, name.c_str(), text.c_str(), 0, nullptr);
    const bool ok = note(result);
    PQclear(result);
    if (!ok)
        return failure(m_lastError);
    m_kept.emplace_back(std::string(sql), std::make_unique<PgStatement>(this, text, name));
    return PgStatementLease(m_kept.back().second.get());
}

Status PgDatabase::writeTransaction(const std::function<Status()>& work, int attempts)
{
    for (int attempt = 1;; ++attempt) {
        if (auto st = exec("BEGIN"); !st)
            return st;
        Status st = work();
        if (st)
            st = exec("COMMIT");
        if (st)
            return st;
        const std::string state = m_lastState;
        const std::string message = m_lastError;
        (void)exec("ROLLBACK");
        m_lastState = state;
        m_lastError = message;
        if (!isRetryable(state) || attempt >= attempts)
            return st;
    }
}

Status PgDatabase::withoutWaiting(const std::function<Status()>& work)
{
    if (auto st = exec("BEGIN; SET LOCAL lock_timeout = 1"); !st)
        return st;
    Status st = work();
    if (st)
        st = exec("COMMIT");
    if (!st)
        (void)exec("ROLLBACK");
    return st;
}

} // namespace vorteq::server
