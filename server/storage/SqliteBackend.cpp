#include "server/storage/Backend.h"
#include "server/storage/Schema.h"

namespace vorteq::server {

namespace {

class SqliteSession final : public BackendSession {
public:
    SqliteSession(ConnectionPool::Lease lease, AccountStore& accounts)
        : m_lease(std::move(lease)), m_accounts(accounts)
    {
    }

    Result<ThrottleState> throttleState(std::string_view userId, std::string_view address,
                                        std::int64_t now) override
    {
        return m_accounts.throttleState(m_lease->db(), userId, address, now);
    }
    Result<LoginOutcome> login(const LoginStatement& login, std::string_view address,
                               std::int64_t now) override
    {
        return m_accounts.login(m_lease->db(), login, address, now);
    }
    Result<std::optional<std::string>> sessionUser(std::string_view token, std::int64_t now) override
    {
        return m_accounts.sessionUser(m_lease->db(), token, now);
    }
    Result<int> changePassword(const std::string& sessionUserId, const PasswordChange& change,
                               std::string_view keepToken, std::string_view address, std::int64_t now,
                               std::int64_t& retryAfter) override
    {
        return m_accounts.changePassword(m_lease->db(), sessionUserId, change, keepToken, address, now,
                                         retryAfter);
    }
    Result<int> changeMail(const std::string& sessionUserId, const MailChange& change) override
    {
        return m_accounts.changeMail(m_lease->db(), sessionUserId, change);
    }
    Result<std::size_t> runConfinedSelect(std::string_view user, std::string_view sql, RequestBudget& budget,
                                          RowSink& sink) override
    {
        return m_lease->runConfinedSelect(user, sql, budget, sink);
    }
    Result<std::size_t> runTrustedSelect(std::string_view sql, RequestBudget& budget, RowSink& sink) override
    {
        return m_lease->runTrustedSelect(sql, budget, sink);
    }
    Result<bool> othersWroteSinceLastLook() override { return m_lease->othersWroteSinceLastLook(); }

private:
    ConnectionPool::Lease m_lease;
    AccountStore& m_accounts;
};

class SqliteBackend final : public Backend {
public:
    SqliteBackend(const std::string& path, const ServerConfig& config)
        : m_pool(path, config.limits.maxTempBytes), m_accounts(config)
    {
    }

    Result<std::unique_ptr<BackendSession>> acquire() override
    {
        auto lease = m_pool.acquire();
        if (!lease)
            return lease.error();
        return std::unique_ptr<BackendSession>(new SqliteSession(std::move(*lease), m_accounts));
    }

    ConnectionPool& pool() { return m_pool; }

private:
    ConnectionPool m_pool;
    AccountStore m_accounts;
};

} // namespace

Result<std::unique_ptr<Backend>> openSqliteBackend(const std::string& path, const ServerConfig& config,
                                                   const std::function<void(std::string_view)>& notice)
{
    // Check at once that the file opens, holds the schema and takes writes (every login writes),
    // rather than on the first request.
    if (auto usable = checkDatabaseWritable(path); !usable)
        return usable.error();
    auto backend = std::make_unique<SqliteBackend>(path, config);
    auto lease = backend->pool().acquire();
    if (!lease)
        return makeError(ErrorCode::Server,
                         lease.error().message + "。先に init でデータベースを作成してください。");
    auto probe = (*lease)->db().prepare("SELECT 1 FROM USR_INFO, SESSION_INFO, STK_INFO, MKT_INFO, STK_UPD "
                                        "LIMIT 0");
    if (!probe)
        return makeError(ErrorCode::Server,
                         "データベースに必要な表がありません。先に init を実行してください (" + path + ")");
    // A database made before the login throttle had its own table gets it now.
    if (auto st = (*lease)->db().writeTransaction([&] { return (*lease)->db().exec(kLoginThrottleTable); });
        !st)
        return makeError(ErrorCode::Server,
                         "データベースに書き込めません (" + path + "): " + st.error().message);
    // Date indexes an import stopped before building are built now; without them the server still
    // answers alike, only slower, so a failure here (an import holding the write lock) is only noted.
    if (auto st = ensureDateIndexes((*lease)->db()); !st && notice)
        notice("date indexes not built: " + st.error().message);
    return std::unique_ptr<Backend>(std::move(backend));
}

} // namespace vorteq::server
