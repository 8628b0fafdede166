#pragma once

#include "common/Result.h"
#include "server/Database.h"
#include "server/ServerConfig.h"
#include "server/StatementShape.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace vorteq::server {

struct NewUser {
    std::string id;
    std::string password;
    std::string name;
    std::string email;
    bool blocked = false;
    std::string mailStatus = "0";
};

// Adds a user with a hashed password; an existing user ID is an error.
Status addUser(Database& db, const NewUser& user, HashCost cost);

enum class LoginVerdict { Accepted, Refused };

struct LoginOutcome {
    LoginVerdict verdict = LoginVerdict::Refused;
    std::string name;                   // USR_NM
    std::string email;                  // E_MAIL
    std::string mailStatus;             // MAIL_STATUS
    std::chrono::milliseconds delay{0}; // how long to hold the reply back
    std::string reason;                 // why it was refused, for the log
};

// What the account tables answer: logins with their failure throttle, sessions, and the two
// account changes. Times are seconds since the epoch from the configured clock.
class AccountStore {
public:
    explicit AccountStore(const ServerConfig& config);

    // Checks a user ID and password. A database failure is an error (the request fails with -99).
    Result<LoginOutcome> login(Database& db, const LoginStatement& login, std::int64_t now);

    // A new session for the user; returns the token to put in the cookie.
    Result<std::string> createSession(Database& db, const std::string& userId, std::int64_t now);

    // Seconds that must pass before a session's expiry is pushed forward again.
    static constexpr std::int64_t kSessionRenewalStep = 60;

    // The user of a live session, or nullopt (unknown, expired, or the user is now blocked). A live
    // session's expiry moves to now + the session lifetime (written at most once a minute).
    Result<std::optional<std::string>> sessionUser(Database& db, std::string_view token, std::int64_t now);

    // The account changes for the session's own user. The refusal reasons are errors of code
    // Validation; the value is the number of rows changed (1).
    // A password change also ends the user's other sessions (keepToken is the one in use).
    Result<int> changePassword(Database& db, const std::string& sessionUserId, const PasswordChange& change,
                               std::string_view keepToken);
    Result<int> changeMail(Database& db, const std::string& sessionUserId, const MailChange& change);

private:
    const ServerConfig& m_config;
    std::string m_dummyHash; // verified against for unknown user IDs, so they cost the same time
};

// The rules for new values, the same the account window applies: 4 to 10 letters or digits; an
// address of at most 50 of "-", ".", "_", "@", letters and digits with exactly one "@".
bool isAcceptablePassword(std::string_view password);
bool isAcceptableMail(std::string_view mail);

} // namespace vorteq::server
