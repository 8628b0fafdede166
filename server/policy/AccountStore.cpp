#include "server/policy/AccountStore.h"

#include "server/storage/PgDatabase.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace vorteq::server {

namespace {
// User IDs longer than this are refused without a look-up (the login window takes 12 characters).
constexpr std::size_t kMaxUserIdBytes = 64;
constexpr std::size_t kMaxPasswordBytes = 256;
constexpr std::size_t kMaxNewUserIdChars = 12;

Error refusal(std::string reason)
{
    return makeError(ErrorCode::Validation, std::move(reason));
}

// The work of an Argon2 hash string: memory in KiB times passes ("$argon2id$v=19$m=65536,t=2,p=1$...");
// 0 when the string does not say.
std::int64_t hashWork(std::string_view hash)
{
    auto number = [&](std::string_view key) -> std::int64_t {
        const std::size_t at = hash.find(key);
        if (at == std::string_view::npos)
            return 0;
        std::int64_t value = 0;
        for (std::size_t i = at + key.size();
             i < hash.size() && std::isdigit(static_cast<unsigned char>(hash[i])); ++i)
            value = std::min<std::int64_t>(value * 10 + (hash[i] - '0'), std::int64_t{1} << 40);
        return value;
    };
    return number("$m=") * number(",t=");
}

// The wait after a pair's or an address's n-th failure: none for the free ones, then the first wait
// doubling with each further failure, up to the longest.
std::int64_t waitAfter(std::int64_t failures, int free, const LoginThrottle& throttle)
{
    if (failures <= free)
        return 0;
    std::int64_t wait = throttle.firstWait.count();
    for (std::int64_t n = failures - free - 1; n > 0 && wait < throttle.maxWait.count(); --n)
        wait *= 2;
    return std::min<std::int64_t>(wait, throttle.maxWait.count());
}

// The address's own row of LOGIN_THROTTLE has an empty user ID.
constexpr std::string_view kWholeAddress = "";
} // namespace

bool isAcceptablePassword(std::string_view password)
{
    if (password.size() < 4 || password.size() > 10)
        return false;
    return std::all_of(password.begin(), password.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

bool isAcceptableUserId(std::string_view userId)
{
    if (userId.empty() || userId.size() > kMaxNewUserIdChars)
        return false;
    return std::all_of(userId.begin(), userId.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b > 0x20 && b < 0x7F;
    });
}

bool isAcceptableMail(std::string_view mail)
{
    if (mail.empty() || mail.size() > 50)
        return false;
    int ats = 0;
    for (char c : mail) {
        if (c == '@')
            ++ats;
        else if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_')
            return false;
    }
    return ats == 1;
}

template <class Db> Status addUser(Db& db, const NewUser& user, HashCost cost)
{
    if (!isAcceptableUserId(user.id))
        return makeError(ErrorCode::Validation,
                         "ユーザーIDは半角の英数字・記号 1～12 文字で指定してください (空白は使えません)。");
    if (!isAcceptablePassword(user.password))
        return makeError(ErrorCode::Validation, "パスワードは半角英数字にて4文字～10文字です。");
    return storeUser<Db>(db, user, cost);
}

template <class Db> Status storeUser(Db& db, const NewUser& user, HashCost cost)
{
    if (user.id.empty() || user.id.size() > kMaxUserIdBytes)
        return makeError(ErrorCode::Validation, "ユーザーIDは1～64バイトで指定してください。");
    if (user.password.empty() || user.password.size() > kMaxPasswordBytes)
        return makeError(ErrorCode::Validation, "パスワードが正しく入力されていません。");
    auto hash = hashPassword(user.password, cost);
    if (!hash)
        return hash.error();
    auto insert =
        db.prepare("INSERT INTO USR_INFO (USR_ID, PASS_WORD, USR_NM, E_MAIL, MAIL_STATUS, USR_STATUS) "
                   "VALUES (?, ?, ?, ?, ?, ?)");
    if (!insert)
        return insert.error();
    insert->bind(1, user.id).bind(2, *hash).bind(3, user.name).bind(4, user.email).bind(5, user.mailStatus);
    insert->bind(6, std::int64_t{user.blocked ? 1 : 0});
    if (auto st = insert->run(); !st)
        return makeError(ErrorCode::Validation,
                         "ユーザーを登録できません (" + user.id + "): " + db.lastError());
    return Status::success();
}

AccountStore::AccountStore(const ServerConfig& config) : m_config(config)
{
    auto dummy = hashPassword("not a password of anyone", config.hashCost);
    if (dummy) {
        m_dummyHash = std::move(*dummy);
        m_dummyCost = hashWork(m_dummyHash);
    }
}

bool AccountStore::checkPassword(const std::string& storedHash, std::string_view password) const
{
    const bool ok = verifyPassword(storedHash, password);
    // A hash made at a lower cost would answer sooner than an unknown ID: check the dummy too, so
    // that the answer takes no less than the configured cost.
    if (hashWork(storedHash) < m_dummyCost)
        (void)verifyPassword(m_dummyHash, password);
    return ok;
}

template <class Db>
Result<ThrottleState> AccountStore::throttleState(Db& db, std::string_view userId, std::string_view address,
                                                  std::int64_t now)
{
    const LoginThrottle& throttle = m_config.throttle;
    auto read = db.prepareCached("SELECT USR_ID, WAIT_UNTIL FROM LOGIN_THROTTLE "
                                 "WHERE CLIENT_ADDR = ? AND USR_ID IN (?, ?) AND LAST_FAIL > ?");
    if (!read)
        return read.error();
    auto& stmt = **read;
    stmt.bind(1, address).bind(2, userId).bind(3, kWholeAddress).bind(4, now - throttle.forgetAfter.count());
    ThrottleState state;
    for (;;) {
        auto row = stmt.step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        if (stmt.text(0).empty())
            state.addressFailed = true;
        const std::int64_t waitUntil = stmt.integer(1);
        if (waitUntil > now) {
            state.throttled = true;
            state.retryAfter = std::max(state.retryAfter, waitUntil - now);
        }
    }
    auto known = db.prepareCached(
        "SELECT 1 FROM LOGIN_KNOWN WHERE CLIENT_ADDR = ? AND USR_ID = ? AND USR_ID <> '' AND LAST_OK > ?");
    if (!known)
        return known.error();
    (*known)->bind(1, address).bind(2, userId).bind(3, now - throttle.knownFor.count());
    auto row = (*known)->step();
    if (!row)
        return row.error();
    state.knownPair = *row;
    return state;
}

template <class Db>
Status AccountStore::recordFailure(Db& db, std::string_view userId, std::string_view address,
                                   std::int64_t now)
{
    const LoginThrottle& throttle = m_config.throttle;
    return db.writeTransaction([&]() -> Status {
        // The count of a row gone quiet starts again.
        auto record = db.prepareCached(
            "INSERT INTO LOGIN_THROTTLE (CLIENT_ADDR, USR_ID, FAIL_COUNT, LAST_FAIL, WAIT_UNTIL) "
            "VALUES (?1, ?2, 1, ?3, 0) ON CONFLICT (CLIENT_ADDR, USR_ID) DO UPDATE SET "
            "FAIL_COUNT = CASE WHEN LOGIN_THROTTLE.LAST_FAIL > ?4 THEN LOGIN_THROTTLE.FAIL_COUNT + 1 ELSE 1 "
            "END, "
            "LAST_FAIL = ?3 "
            "RETURNING FAIL_COUNT");
        if (!record)
            return record.error();
        auto setWait =
            db.prepareCached("UPDATE LOGIN_THROTTLE SET WAIT_UNTIL = ? WHERE CLIENT_ADDR = ? AND USR_ID = ?");
        if (!setWait)
            return setWait.error();
        for (std::string_view id : {userId, kWholeAddress}) {
            auto& stmt = **record;
            stmt.reset();
            stmt.bind(1, address).bind(2, id).bind(3, now).bind(4, now - throttle.forgetAfter.count());
            auto row = stmt.step();
            if (!row)
                return row.error();
            const std::int64_t failures = *row ? stmt.integer(0) : 1;
            stmt.reset();
            const int free = id.empty() ? throttle.freePerAddress : throttle.freePerPair;
            auto& update = **setWait;
            update.reset();
            update.bind(1, now + waitAfter(failures, free, throttle)).bind(2, address).bind(3, id);
            if (auto st = update.run(); !st)
                return st;
        }
        // Rows gone quiet are dropped, so that random IDs cannot fill the table.
        auto forget = db.prepareCached("DELETE FROM LOGIN_THROTTLE WHERE LAST_FAIL < ? AND WAIT_UNTIL < ?");
        if (!forget)
            return forget.error();
        (*forget)->bind(1, now - throttle.forgetAfter.count()).bind(2, now);
        return (*forget)->run();
    });
}

template <class Db>
Result<LoginOutcome> AccountStore::login(Db& db, const LoginStatement& login, std::string_view address,
                                         std::int64_t now)
{
    LoginOutcome outcome;
    if (login.userId.empty() || login.userId.size() > kMaxUserIdBytes ||
        login.password.size() > kMaxPasswordBytes) {
        outcome.reason = "user ID or password of an impossible length";
        return outcome;
    }
    auto throttled = throttleState(db, login.userId, address, now);
    if (!throttled)
        return throttled.error();
    if (throttled->throttled) {
        outcome.verdict = LoginVerdict::Throttled;
        outcome.retryAfter = throttled->retryAfter;
        outcome.reason = "throttled after failures from this address";
        return outcome;
    }

    // The user's row is copied out and the statement reset before the password check, so that no
    // read transaction stays open across it (a write after it would then find its snapshot stale).
    bool known = false;
    bool blocked = false;
    std::string storedHash;
    {
        auto find = db.prepareCached(
            "SELECT PASS_WORD, USR_NM, E_MAIL, MAIL_STATUS, USR_STATUS FROM USR_INFO WHERE USR_ID = ?");
        if (!find)
            return find.error();
        auto& stmt = **find;
        stmt.bind(1, login.userId);
        auto found = stmt.step();
        if (!found)
            return found.error();
        known = *found;
        if (known) {
            storedHash = stmt.text(0);
            outcome.name = stmt.text(1);
            outcome.email = stmt.text(2);
            outcome.mailStatus = stmt.text(3);
            blocked = stmt.integer(4) == 1;
        }
    }
    bool passwordOk = false;
    if (known)
        passwordOk = checkPassword(storedHash, login.password);
    else
        (void)verifyPassword(m_dummyHash, login.password); // the same time as a known ID

    if (!passwordOk) {
        outcome.reason = known ? "wrong password" : "unknown user ID";
        if (auto st = recordFailure(db, login.userId, address, now); !st)
            return st.error();
        return outcome;
    }
    if (blocked) {
        outcome.reason = "account blocked";
        return outcome;
    }

    // A hash of another cost than the configured one is made again at that cost (outside the
    // transaction: it takes the time of a password check).
    std::optional<std::string> rehashed;
    if (passwordNeedsRehash(storedHash, m_config.hashCost)) {
        if (auto hash = hashPassword(login.password, m_config.hashCost))
            rehashed = std::move(*hash);
    }
    const std::string token = newSessionToken();
    auto stored = db.writeTransaction([&]() -> Status {
        auto clear = db.prepareCached("DELETE FROM LOGIN_THROTTLE WHERE CLIENT_ADDR = ? AND USR_ID = ?");
        if (!clear)
            return clear.error();
        (*clear)->bind(1, address).bind(2, login.userId);
        if (auto st = (*clear)->run(); !st)
            return st;
        auto remember =
            db.prepareCached("INSERT INTO LOGIN_KNOWN (CLIENT_ADDR, USR_ID, LAST_OK) VALUES (?1, ?2, ?3) "
                             "ON CONFLICT (CLIENT_ADDR, USR_ID) DO UPDATE SET LAST_OK = ?3");
        if (!remember)
            return remember.error();
        (*remember)->bind(1, address).bind(2, login.userId).bind(3, now);
        if (auto st = (*remember)->run(); !st)
            return st;
        auto forget = db.prepareCached("DELETE FROM LOGIN_KNOWN WHERE LAST_OK < ?");
        if (!forget)
            return forget.error();
        (*forget)->bind(1, now - m_config.throttle.knownFor.count());
        if (auto st = (*forget)->run(); !st)
            return st;
        if (rehashed) {
            // Only while the stored hash is still the one checked: a concurrent change wins.
            auto update =
                db.prepareCached("UPDATE USR_INFO SET PASS_WORD = ? WHERE USR_ID = ? AND PASS_WORD = ?");
            if (!update)
                return update.error();
            (*update)->bind(1, *rehashed).bind(2, login.userId).bind(3, storedHash);
            if (auto st = (*update)->run(); !st)
                return st;
        }
        auto purge = db.prepareCached("DELETE FROM SESSION_INFO WHERE EXPIRES_AT <= ?");
        if (!purge)
            return purge.error();
        (*purge)->bind(1, now);
        if (auto st = (*purge)->run(); !st)
            return st;
        auto insert =
            db.prepareCached("INSERT INTO SESSION_INFO (TOKEN_DIGEST, USR_ID, EXPIRES_AT) VALUES (?, ?, ?)");
        if (!insert)
            return insert.error();
        (*insert)
            ->bind(1, tokenDigest(token))
            .bind(2, login.userId)
            .bind(3, now + m_config.sessionLifetime.count());
        return (*insert)->run();
    });
    if (!stored)
        return makeError(ErrorCode::Server, "session cannot be stored: " + stored.error().message);
    outcome.verdict = LoginVerdict::Accepted;
    outcome.token = token;
    return outcome;
}

template <class Db>
Result<std::optional<std::string>> AccountStore::sessionUser(Db& db, std::string_view token, std::int64_t now)
{
    if (token.size() != 64)
        return std::optional<std::string>();
    const std::string digest = tokenDigest(token);
    std::string userId;
    std::int64_t expiresAt = 0;
    {
        // Every request after login asks this: the statement is compiled once per connection.
        auto find = db.prepareCached(
            "SELECT s.USR_ID, s.EXPIRES_AT FROM SESSION_INFO s JOIN USR_INFO u ON u.USR_ID = s.USR_ID "
            "WHERE s.TOKEN_DIGEST = ? AND s.EXPIRES_AT > ? AND u.USR_STATUS <> 1");
        if (!find)
            return find.error();
        auto& stmt = **find;
        stmt.bind(1, digest).bind(2, now);
        auto row = stmt.step();
        if (!row)
            return row.error();
        if (!*row)
            return std::optional<std::string>();
        userId = stmt.text(0);
        expiresAt = stmt.integer(1);
    }
    // The lifetime slides with use. The expiry is written at most once a minute per session, so a
    // screening burst costs one write, not one per request. The write does not wait for another
    // writer (an import, a login): a busy database only puts the push off to a later request, and
    // the session is live either way.
    const std::int64_t renewed = now + m_config.sessionLifetime.count();
    if (renewed - expiresAt >= kSessionRenewalStep) {
        (void)db.withoutWaiting([&]() -> Status {
            auto push = db.prepareCached("UPDATE SESSION_INFO SET EXPIRES_AT = ? WHERE TOKEN_DIGEST = ? "
                                         "AND EXPIRES_AT < ?");
            if (!push)
                return push.error();
            (*push)->bind(1, renewed).bind(2, digest).bind(3, renewed);
            return (*push)->run();
        });
    }
    return std::optional<std::string>(std::move(userId));
}

template <class Db>
Result<int> AccountStore::changePassword(Db& db, const std::string& sessionUserId,
                                         const PasswordChange& change, std::string_view keepToken,
                                         std::string_view address, std::int64_t now, std::int64_t& retryAfter)
{
    if (change.userId != sessionUserId)
        return refusal("password change for another user");
    if (!isAcceptablePassword(change.newPassword))
        return refusal("new password outside 4 to 10 letters or digits");
    auto throttled = throttleState(db, sessionUserId, address, now);
    if (!throttled)
        return throttled.error();
    if (throttled->throttled) {
        retryAfter = throttled->retryAfter;
        return refusal("throttled after failures from this address");
    }
    std::string oldHash;
    {
        auto find = db.prepareCached("SELECT PASS_WORD FROM USR_INFO WHERE USR_ID = ?");
        if (!find)
            return find.error();
        (*find)->bind(1, sessionUserId);
        auto row = (*find)->step();
        if (!row)
            return row.error();
        if (!*row)
            return refusal("session user no longer exists");
        oldHash = (*find)->text(0);
    }
    if (!checkPassword(oldHash, change.currentPassword)) {
        if (auto st = recordFailure(db, sessionUserId, address, now); !st)
            return st.error();
        return refusal("current password does not match");
    }
    auto newHash = hashPassword(change.newPassword, m_config.hashCost);
    if (!newHash)
        return newHash.error();
    bool changed = false;
    auto stored = db.writeTransaction([&]() -> Status {
        // Compare-and-set on the old hash: a concurrent change wins and this one changes nothing.
        auto update =
            db.prepareCached("UPDATE USR_INFO SET PASS_WORD = ? WHERE USR_ID = ? AND PASS_WORD = ?");
        if (!update)
            return update.error();
        (*update)->bind(1, *newHash).bind(2, sessionUserId).bind(3, oldHash);
        if (auto st = (*update)->run(); !st)
            return st;
        changed = db.changes() == 1;
        if (!changed)
            return Status::success();
        auto others = db.prepareCached("DELETE FROM SESSION_INFO WHERE USR_ID = ? AND TOKEN_DIGEST <> ?");
        if (!others)
            return others.error();
        (*others)->bind(1, sessionUserId).bind(2, tokenDigest(keepToken));
        if (auto st = (*others)->run(); !st)
            return st;
        auto clear = db.prepareCached("DELETE FROM LOGIN_THROTTLE WHERE CLIENT_ADDR = ? AND USR_ID = ?");
        if (!clear)
            return clear.error();
        (*clear)->bind(1, address).bind(2, sessionUserId);
        return (*clear)->run();
    });
    if (!stored)
        return stored.error();
    if (!changed)
        return refusal("password changed concurrently");
    return 1;
}

template <class Db>
Result<int> AccountStore::changeMail(Db& db, const std::string& sessionUserId, const MailChange& change)
{
    if (change.userId != sessionUserId)
        return refusal("e-mail change for another user");
    if (!isAcceptableMail(change.newMail))
        return refusal("new e-mail address not acceptable");
    auto update = db.prepare("UPDATE USR_INFO SET E_MAIL = ? WHERE USR_ID = ? AND E_MAIL = ?");
    if (!update)
        return update.error();
    update->bind(1, change.newMail).bind(2, sessionUserId).bind(3, change.currentMail);
    if (auto st = update->run(); !st)
        return st.error();
    if (db.changes() != 1)
        return refusal("current e-mail address does not match");
    return 1;
}

// The two databases the account tables live in.
#define VORTEQ_ACCOUNT_STORE_FOR(Db)                                                                         \
    template Status addUser<Db>(Db&, const NewUser&, HashCost);                                              \
    template Status storeUser<Db>(Db&, const NewUser&, HashCost);                                            \
    template Result<ThrottleState> AccountStore::throttleState<Db>(Db&, std::string_view, std::string_view,  \
                                                                   std::int64_t);                            \
    template Result<LoginOutcome> AccountStore::login<Db>(Db&, const LoginStatement&, std::string_view,      \
                                                          std::int64_t);                                     \
    template Result<std::optional<std::string>> AccountStore::sessionUser<Db>(Db&, std::string_view,         \
                                                                              std::int64_t);                 \
    template Result<int> AccountStore::changePassword<Db>(Db&, const std::string&, const PasswordChange&,    \
                                                          std::string_view, std::string_view, std::int64_t,  \
                                                          std::int64_t&);                                    \
    template Result<int> AccountStore::changeMail<Db>(Db&, const std::string&, const MailChange&);
VORTEQ_ACCOUNT_STORE_FOR(Database)
VORTEQ_ACCOUNT_STORE_FOR(PgDatabase)
#undef VORTEQ_ACCOUNT_STORE_FOR

} // namespace vorteq::server
