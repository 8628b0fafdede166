#pragma once

#include "common/Result.h"
#include "server/ServerConfig.h"
#include "server/policy/StatementShape.h"
#include "server/storage/Database.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorteq::server {

struct NewUser {
    std::string id;
    std::string password;
    std::string name;
    std::string email;
    bool blocked = false;
    std::string mailStatus = "0";
};

// Adds a user with a hashed password after checking the ID and password against the rules below;
// an existing user ID is an error. Db is Database (SQLite) or PgDatabase (PostgreSQL).
template <class Db> Status addUser(Db& db, const NewUser& user, HashCost cost);
// The same without the rules, for accounts as an older server may hold them (tests).
template <class Db> Status storeUser(Db& db, const NewUser& user, HashCost cost);

enum class LoginVerdict { Accepted, Refused, Throttled };

struct LoginOutcome {
    LoginVerdict verdict = LoginVerdict::Refused;
    std::string name;            // USR_NM
    std::string email;           // E_MAIL
    std::string mailStatus;      // MAIL_STATUS
    std::string token;           // the new session's cookie value, when accepted
    std::int64_t retryAfter = 0; // seconds until the next attempt is looked at, when throttled
    std::string reason;          // why it was refused, for the log
};

// Where the throttle stands for one user ID from one client address, before any password is checked.
struct ThrottleState {
    bool throttled = false;      // an attempt now is answered as throttled
    std::int64_t retryAfter = 0; // seconds until it is looked at again
    bool addressFailed = false;  // the address has failures on record (its checks wait behind others)
    bool knownPair = false;      // the user ID logged in from this address lately (its checks go first)
};

// What the account tables answer: logins with their failure throttle, sessions, and the two
// account changes, on SQLite (Database) or PostgreSQL (PgDatabase). Times are seconds since the epoch from
// the configured clock. The password checks take the time of the configured hash cost whatever the stored
// hash's cost, and no transaction is open while a password is checked.
class AccountStore {
public:
    explicit AccountStore(const ServerConfig& config);

    // The throttle of an attempt for userId from address (a database read, no password check).
    template <class Db>
    Result<ThrottleState> throttleState(Db& db, std::string_view userId, std::string_view address,
                                        std::int64_t now);

    // Checks a user ID and password from a client address and, when they match, starts a session.
    // A database failure is an error (the request fails with -99).
    template <class Db>
    Result<LoginOutcome> login(Db& db, const LoginStatement& login, std::string_view address,
                               std::int64_t now);

    // Seconds that must pass before a session's expiry is pushed forward again.
    static constexpr std::int64_t kSessionRenewalStep = 60;

    // The user of a live session, or nullopt (unknown, expired, or the user is now blocked). A live
    // session's expiry moves to now + the session lifetime (written at most once a minute).
    template <class Db>
    Result<std::optional<std::string>> sessionUser(Db& db, std::string_view token, std::int64_t now);

    // The account changes for the session's own user. The refusal reasons are errors of code
    // Validation; the value is the number of rows changed (1).
    // A password change checks the current password under the login throttle of (user, address):
    // a throttled one is refused with retryAfter set. It also ends the user's other sessions
    // (keepToken is the one in use).
    template <class Db>
    Result<int> changePassword(Db& db, const std::string& sessionUserId, const PasswordChange& change,
                               std::string_view keepToken, std::string_view address, std::int64_t now,
                               std::int64_t& retryAfter);
    template <class Db>
    Result<int> changeMail(Db& db, const std::string& sessionUserId, const MailChange& change);

private:
    // The password check of a stored hash, padded to the configured cost when the hash is cheaper.
    bool checkPassword(const std::string& storedHash, std::string_view password) const;
    // Records a failed check of userId from address (its wait grows), in its own write transaction.
    template <class Db>
    Status recordFailure(Db& db, std::string_view userId, std::string_view address, std::int64_t now);

    const ServerConfig& m_config;
    std::string m_dummyHash; // verified against for unknown user IDs, so they cost the same time
    std::int64_t m_dummyCost = 0;
};

// The rules for new values, the same the account window applies: 4 to 10 letters or digits; an
// address of at most 50 of "-", ".", "_", "@", letters and digits with exactly one "@". A user ID
// is what the login window takes: 1 to 12 half-width characters, no blanks or control characters.
bool isAcceptablePassword(std::string_view password);
bool isAcceptableUserId(std::string_view userId);
bool isAcceptableMail(std::string_view mail);

} // namespace vorteq::server
