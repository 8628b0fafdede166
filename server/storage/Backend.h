#pragma once

#include "common/Result.h"
#include "server/policy/AccountStore.h"
#include "server/policy/StatementShape.h"
#include "server/storage/Connection.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vorteq::server {

// What one request asks of the database: the account side (logins with their throttle, sessions,
// the two account changes) and the statements. Taken for one request and given back after it;
// the connections behind it return to their pool when it ends.
class BackendSession {
public:
    virtual ~BackendSession() = default;

    virtual Result<ThrottleState> throttleState(std::string_view userId, std::string_view address,
                                                std::int64_t now) = 0;
    virtual Result<LoginOutcome> login(const LoginStatement& login, std::string_view address,
                                       std::int64_t now) = 0;
    virtual Result<std::optional<std::string>> sessionUser(std::string_view token, std::int64_t now) = 0;
    virtual Result<int> changePassword(const std::string& sessionUserId, const PasswordChange& change,
                                       std::string_view keepToken, std::string_view address, std::int64_t now,
                                       std::int64_t& retryAfter) = 0;
    virtual Result<int> changeMail(const std::string& sessionUserId, const MailChange& change) = 0;

    // A SELECT from the wire, read-only and confined to the market tables (see Connection).
    virtual Result<std::size_t> runConfinedSelect(std::string_view user, std::string_view sql,
                                                  RequestBudget& budget, RowSink& sink) = 0;
    // Whether another connection may have written the database since this one last asked (true
    // the first time); an error where the database cannot tell, and then no reply is kept.
    virtual Result<bool> othersWroteSinceLastLook() = 0;
    // A SELECT of the server's own on the market tables.
    virtual Result<std::size_t> runTrustedSelect(std::string_view sql, RequestBudget& budget,
                                                 RowSink& sink) = 0;
};

// The database a statement server runs on: an SQLite file, or PostgreSQL.
class Backend {
public:
    virtual ~Backend() = default;
    virtual Result<std::unique_ptr<BackendSession>> acquire() = 0;
};

// The SQLite file at path (it must exist and hold the schema; tables added since are created, and
// date indexes an interrupted import left unbuilt are built, or notice says why not).
Result<std::unique_ptr<Backend>> openSqliteBackend(const std::string& path, const ServerConfig& config,
                                                   const std::function<void(std::string_view)>& notice);

} // namespace vorteq::server
