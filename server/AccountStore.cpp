#include "server/AccountStore.h"

#include <algorithm>
#include <cctype>

namespace vorteq::server {

namespace {
// User IDs longer than this are refused without a look-up (the login window takes 12 characters).
constexpr std::size_t kMaxUserIdBytes = 64;
constexpr std::size_t kMaxPasswordBytes = 256;

Error refusal(std::string reason)
{
    return makeError(ErrorCode::Validation, std::move(reason));
}
} // namespace

bool isAcceptablePassword(std::string_view password)
{
    if (password.size() < 4 || password.size() > 10)
        return false;
    return std::all_of(password.begin(), password.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
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

Status addUser(Database& db, const NewUser& user, HashCost cost)
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
    if (dummy)
        m_dummyHash = std::move(*dummy);
}

Result<LoginOutcome> AccountStore::login(Database& db, const LoginStatement& login, std::int64_t now)
{
    LoginOutcome outcome;
    if (login.userId.empty() || login.userId.size() > kMaxUserIdBytes ||
        login.password.size() > kMaxPasswordBytes) {
        outcome.reason = "user ID or password of an impossible length";
        return outcome;
    }
    const LoginThrottle& throttle = m_config.throttle;

    // The failure record of this user ID, forgotten after a quiet period.
    std::int64_t failures = 0;
    std::int64_t lockedUntil = 0;
    {
        auto read = db.prepare("SELECT FAIL_COUNT, LAST_FAIL, LOCKED_UNTIL FROM LOGIN_FAIL WHERE USR_ID = ?");
        if (!read)
            return read.error();
        read->bind(1, login.userId);
        auto row = read->step();
        if (!row)
            return row.error();
        if (*row && read->integer(1) + throttle.forgetAfter.count() > now) {
            failures = read->integer(0);
            lockedUntil = read->integer(2);
        }
    }
    if (lockedUntil > now) {
        outcome.reason = "user ID locked after repeated failures";
        outcome.delay = throttle.maxDelay;
        return outcome;
    }

    auto find = db.prepare(
        "SELECT PASS_WORD, USR_NM, E_MAIL, MAIL_STATUS, USR_STATUS FROM USR_INFO WHERE USR_ID = ?");
    if (!find)
        return find.error();
    find->bind(1, login.userId);
    auto found = find->step();
    if (!found)
        return found.error();
    const bool known = *found;
    const bool passwordOk = verifyPassword(known ? find->text(0) : m_dummyHash, login.password) && known;

    if (passwordOk) {
        if (find->integer(4) == 1) {
            outcome.reason = "account blocked";
            return outcome;
        }
        auto clear = db.prepare("DELETE FROM LOGIN_FAIL WHERE USR_ID = ?");
        if (!clear)
            return clear.error();
        clear->bind(1, login.userId);
        if (auto st = clear->run(); !st)
            return st.error();
        outcome.verdict = LoginVerdict::Accepted;
        outcome.name = find->text(1);
        outcome.email = find->text(2);
        outcome.mailStatus = find->text(3);
        return outcome;
    }

    outcome.reason = known ? "wrong password" : "unknown user ID";
    ++failures;
    if (failures >= throttle.lockAfter) {
        lockedUntil = now + throttle.lockFor.count();
        outcome.reason += ", user ID now locked";
    }
    if (failures > throttle.slowAfter)
        outcome.delay = std::min(throttle.maxDelay, throttle.delayStep * (failures - throttle.slowAfter));
    auto record =
        db.prepare("INSERT INTO LOGIN_FAIL (USR_ID, FAIL_COUNT, LAST_FAIL, LOCKED_UNTIL) VALUES (?, ?, ?, ?) "
                   "ON CONFLICT (USR_ID) DO UPDATE SET FAIL_COUNT = excluded.FAIL_COUNT, "
                   "LAST_FAIL = excluded.LAST_FAIL, LOCKED_UNTIL = excluded.LOCKED_UNTIL");
    if (!record)
        return record.error();
    record->bind(1, login.userId).bind(2, failures).bind(3, now).bind(4, lockedUntil);
    if (auto st = record->run(); !st)
        return st.error();
    // Failure records of IDs that went quiet are dropped, so random IDs cannot fill the table.
    auto forget = db.prepare("DELETE FROM LOGIN_FAIL WHERE LAST_FAIL < ? AND LOCKED_UNTIL < ?");
    if (!forget)
        return forget.error();
    forget->bind(1, now - throttle.forgetAfter.count()).bind(2, now);
    if (auto st = forget->run(); !st)
        return st.error();
    return outcome;
}

Result<std::string> AccountStore::createSession(Database& db, const std::string& userId, std::int64_t now)
{
    auto purge = db.prepare("DELETE FROM SESSION_INFO WHERE EXPIRES_AT <= ?");
    if (!purge)
        return purge.error();
    purge->bind(1, now);
    if (auto st = purge->run(); !st)
        return st.error();
    std::string token = newSessionToken();
    auto insert = db.prepare("INSERT INTO SESSION_INFO (TOKEN_DIGEST, USR_ID, EXPIRES_AT) VALUES (?, ?, ?)");
    if (!insert)
        return insert.error();
    insert->bind(1, tokenDigest(token)).bind(2, userId).bind(3, now + m_config.sessionLifetime.count());
    if (auto st = insert->run(); !st)
        return st.error();
    return token;
}

Result<std::optional<std::string>> AccountStore::sessionUser(Database& db, std::string_view token,
                                                             std::int64_t now)
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
        Statement& stmt = **find;
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
    // screening burst costs one write, not one per request. A write that fails (a busy database)
    // only puts the push off to the next request: the session is live either way.
    const std::int64_t renewed = now + m_config.sessionLifetime.count();
    if (renewed - expiresAt >= kSessionRenewalStep) {
        if (auto push = db.prepareCached("UPDATE SESSION_INFO SET EXPIRES_AT = ? WHERE TOKEN_DIGEST = ? "
                                         "AND EXPIRES_AT < ?")) {
            (*push)->bind(1, renewed).bind(2, digest).bind(3, renewed);
            (void)(*push)->run();
        }
    }
    return std::optional<std::string>(std::move(userId));
}

Result<int> AccountStore::changePassword(Database& db, const std::string& sessionUserId,
                                         const PasswordChange& change, std::string_view keepToken)
{
    if (change.userId != sessionUserId)
        return refusal("password change for another user");
    if (!isAcceptablePassword(change.newPassword))
        return refusal("new password outside 4 to 10 letters or digits");
    auto find = db.prepare("SELECT PASS_WORD FROM USR_INFO WHERE USR_ID = ?");
    if (!find)
        return find.error();
    find->bind(1, sessionUserId);
    auto row = find->step();
    if (!row)
        return row.error();
    if (!*row)
        return refusal("session user no longer exists");
    const std::string oldHash = find->text(0);
    if (!verifyPassword(oldHash, change.currentPassword))
        return refusal("current password does not match");
    auto newHash = hashPassword(change.newPassword, m_config.hashCost);
    if (!newHash)
        return newHash.error();
    // Compare-and-set on the old hash: a concurrent change wins and this one changes nothing.
    auto update = db.prepare("UPDATE USR_INFO SET PASS_WORD = ? WHERE USR_ID = ? AND PASS_WORD = ?");
    if (!update)
        return update.error();
    update->bind(1, *newHash).bind(2, sessionUserId).bind(3, oldHash);
    if (auto st = update->run(); !st)
        return st.error();
    if (db.changes() != 1)
        return refusal("password changed concurrently");
    auto others = db.prepare("DELETE FROM SESSION_INFO WHERE USR_ID = ? AND TOKEN_DIGEST <> ?");
    if (!others)
        return others.error();
    others->bind(1, sessionUserId).bind(2, tokenDigest(keepToken));
    if (auto st = others->run(); !st)
        return st.error();
    return 1;
}

Result<int> AccountStore::changeMail(Database& db, const std::string& sessionUserId, const MailChange& change)
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

} // namespace vorteq::server
