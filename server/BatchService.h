#pragma once

#include "common/Result.h"
#include "server/AccountStore.h"
#include "server/Connection.h"
#include "server/ServerConfig.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorteq::server {

// The name of the session cookie.
inline constexpr std::string_view kSessionCookieName = "VQSESSION";

// What the HTTP layer sends back for one request.
struct BatchReply {
    std::string body;                   // 4-byte length + zlib stream of the reply text
    std::string setCookie;              // the Set-Cookie value, empty for none
    std::chrono::milliseconds delay{0}; // hold the reply back this long (failed logins)
    // Further response header fields (name, value), sent as they stand after the fixed ones.
    std::vector<std::pair<std::string, std::string>> headers;
};

// Runs one statement batch under the server's policy. Before login only the login batch is
// accepted; with a live session "Query" runs confined read-only SELECTs and "Update" only the two
// account changes of the session's own user. Everything else ends the reply with -99 and a log
// line giving the reason. Thread-safe: each call takes its own database connection.
class BatchService {
public:
    // Opens the database (it must exist and hold the schema).
    static Result<std::unique_ptr<BatchService>> open(const std::string& dbPath, ServerConfig config);

    // body: the raw request body; cookieHeader: every Cookie header value joined by "; ";
    // nearbyPeer: the request came from this machine or a private network (see storedRepliesNearby).
    BatchReply handle(std::string_view body, std::string_view cookieHeader, bool nearbyPeer = false);

    // Answer to a request the HTTP layer refused before reading its body (too large): -99 and a log line.
    BatchReply refuse(std::string_view reason);

    const ServerConfig& config() const { return m_config; }

    // Writes one log line (to config().log, else standard error) with every control character,
    // and the backslash that introduces the escapes, written as \xNN: no field can end the line
    // or forge another.
    void log(std::string_view line) const;
    // A log line about the connection rather than a request: the time, then the text.
    void logNotice(std::string_view text) const;

private:
    BatchService(std::string dbPath, ServerConfig config);
    std::int64_t now() const;

    ServerConfig m_config;
    ConnectionPool m_pool;
    AccountStore m_accounts;
};

// The session token of a Cookie header value, or empty. The client sends back the whole
// Set-Cookie value, attributes included ("VQSESSION=...; HttpOnly; Path=/ORQ").
std::string sessionTokenFromCookie(std::string_view cookieHeader);

} // namespace vorteq::server
