#pragma once

#include "gateway/ZlibUtil.h"
#include "server/Passwords.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vorteq::server {

// Bounds on what one request may cost. A request beyond any of them is answered with -99.
struct Limits {
    std::size_t maxBodyBytes = 1024 * 1024;        // compressed request body
    std::size_t maxRequestTextBytes = 1024 * 1024; // inflated request text
    std::size_t maxStatements = 32;                // statements per batch, mode word not counted
    std::size_t maxRows = 100000;                  // rows of one result
    std::size_t maxReplyBytes = 48 * 1024 * 1024;  // whole reply text, below the client's 64 MiB
    std::chrono::milliseconds statementTime{5000}; // wall time of one statement
};

// Repeated login failures for one user ID are answered later and later, then refused for a while.
struct LoginThrottle {
    int slowAfter = 3;                        // failures before replies are delayed
    std::chrono::milliseconds delayStep{500}; // added delay per failure beyond slowAfter
    std::chrono::milliseconds maxDelay{4000};
    int lockAfter = 10; // failures that lock the user ID
    std::chrono::seconds lockFor{15 * 60};
    std::chrono::seconds forgetAfter{60 * 60}; // a quiet hour clears the count
};

struct ServerConfig {
    Limits limits;
    LoginThrottle throttle;
    HashCost hashCost = HashCost::Interactive;
    // Compression of replies: Fastest suits a client across the Internet; None (stored zlib blocks,
    // which every client inflates alike) saves the server's time on a local network.
    ZlibLevel replyCompression = ZlibLevel::Fastest;
    // Replies to a peer on this machine or a private network go out in stored blocks whatever
    // replyCompression says: there the bytes cost less than the server's time to deflate them.
    bool storedRepliesNearby = true;
    std::chrono::seconds sessionLifetime{12 * 60 * 60};
    // Where the one line per request goes; standard error when empty.
    std::function<void(std::string_view)> log;
    // Seconds since the epoch, for session expiry and the login throttle; the system clock when empty.
    std::function<std::int64_t()> clock;
};

} // namespace vorteq::server
