#pragma once

#include "common/Result.h"
#include "server/ServerConfig.h"
#include "server/http/ReplyCache.h"
#include "server/policy/AccountStore.h"
#include "server/policy/PasswordPool.h"
#include "server/storage/Backend.h"
#include "server/storage/Connection.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace vorteq::server {

// The name of the session cookie.
inline constexpr std::string_view kSessionCookieName = "VQSESSION";

// The reply header that marks a login or password change answered as throttled ("throttled"): the
// body is then that of a refused login (or -99 for the change), which every client understands, and
// "Retry-After" says in how many seconds the next attempt is looked at.
inline constexpr std::string_view kLoginHeader = "X-Vorteq-Login";
inline constexpr std::string_view kLoginThrottled = "throttled";

// One request as the HTTP layer hands it over.
struct BatchRequest {
    std::string body;         // the raw request body
    std::string cookieHeader; // every Cookie header value joined by "; "
    std::string peerAddress;  // the client's address ("127.0.0.1"), the key of the login throttle
    bool nearbyPeer = false;  // on this machine or a private network (see storedRepliesNearby)
};

// What the HTTP layer sends back for one request.
struct BatchReply {
    std::string body;                   // 4-byte length + zlib stream of the reply text
    std::string setCookie;              // the Set-Cookie value, empty for none
    bool sessionExpired = false;        // no live session: the reply carries kSessionHeaderName
    std::chrono::milliseconds delay{0}; // hold the reply back this long
    std::vector<std::pair<std::string, std::string>> headers; // further reply headers
};

// Runs one statement batch under the server's policy. Before login only the login batch is
// accepted; with a live session "Query" runs confined read-only SELECTs and "Update" only the two
// account changes of the session's own user. Everything else ends the reply with -99 and a log
// line giving the reason. Thread-safe: each call takes its own database connection.
class BatchService {
public:
    // Opens the database (it must exist and hold the schema): an SQLite file, or PostgreSQL at a
    // "postgresql://" address.
    static Result<std::unique_ptr<BatchService>> open(const std::string& dbPath, ServerConfig config);

    ~BatchService();

    // Runs one batch and hands its reply to done: on this thread, or, for a batch that checks a
    // password (the login, a password change), later on a password thread. done runs exactly once.
    void handleAsync(BatchRequest request, std::function<void(BatchReply)> done);
    // The same, waiting for the reply.
    BatchReply handle(BatchRequest request);
    BatchReply handle(std::string_view body, std::string_view cookieHeader, bool nearbyPeer = false);

    // Answer to a request the HTTP layer refused before reading its body (too large): -99 and a log line.
    BatchReply refuse(std::string_view reason);

    const ServerConfig& config() const { return m_config; }
    // Replies kept for repeated "Query" batches (null when none are kept).
    const ReplyCache* keptReplies() const { return m_replies.get(); }

    // Writes one log line (to config().log, else standard error) with every control character,
    // and the backslash that introduces the escapes, written as \xNN: no field can end the line
    // or forge another.
    void log(std::string_view line) const;
    // A log line about the connection rather than a request: the time, then the text.
    void logNotice(std::string_view text) const;

private:
    struct Job;
    class UserSlot;

    explicit BatchService(ServerConfig config);
    std::int64_t now() const;
    // Inflates and splits the body into the job; false when the job is already answered.
    bool decode(Job& job);
    // Sends a batch that checks a password to the password threads; false when it ran or was
    // answered here instead.
    bool passToPasswordThreads(const std::shared_ptr<Job>& job, std::function<void(BatchReply)>& done);
    void runLogin(Job& job, const LoginStatement& login);
    void runBatch(Job& job);
    void answerThrottled(Job& job, std::int64_t retryAfter, std::string reason);
    BatchReply finish(Job& job);
    ZlibLevel replyLevel(const Job& job) const;
    // Answers a "Query" batch from the kept replies when the database has not changed; otherwise
    // prepares the job to keep its reply. True when answered.
    bool answerFromKeptReplies(Job& job, BackendSession& conn);

    ServerConfig m_config;
    std::unique_ptr<Backend> m_backend;
    std::mutex m_usersMutex;
    std::unordered_map<std::string, std::size_t> m_userRequests; // requests running per user
    std::unique_ptr<ReplyCache> m_replies;                       // null when replyCacheBytes is 0
    std::unique_ptr<PasswordPool> m_passwords; // last: stopped first, while the rest still stands
};

// The session token of a Cookie header value, or empty. The client sends back the whole
// Set-Cookie value, attributes included ("VQSESSION=...; HttpOnly; Path=/ORQ").
std::string sessionTokenFromCookie(std::string_view cookieHeader);

} // namespace vorteq::server
