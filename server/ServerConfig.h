#pragma once

#include "gateway/ZlibUtil.h"
#include "server/policy/Passwords.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace vorteq::server {

// Bounds on what one request may cost, all statements of its batch together. A request beyond any
// of them is answered with -99.
struct Limits {
    std::size_t maxBodyBytes = 1024 * 1024;        // compressed request body
    std::size_t maxRequestTextBytes = 1024 * 1024; // inflated request text
    std::size_t maxStatements = 32;                // statements per batch, mode word not counted
    std::size_t maxRows = 100000;                  // rows of all results of one request
    std::size_t maxReplyBytes = 48 * 1024 * 1024;  // whole reply text, below the client's 64 MiB
    std::chrono::milliseconds requestTime{5000};   // wall time of all statements of one request
    std::size_t maxRequestsPerUser = 2;            // requests of one user running at the same time
    // Temporary storage (sorts, transient tables) one statement may write, per connection.
    std::int64_t maxTempBytes = 256 * 1024 * 1024;
};

// Failed logins are throttled per (user ID, client address) and per client address, never per user
// ID alone: whoever knows an ID cannot lock its owner out. After the free failures each further
// failure doubles the wait before the next attempt of that pair or address is looked at; an
// attempt inside the wait is answered as throttled without checking the password. The state lives
// in the database, so several servers on one database share it.
struct LoginThrottle {
    int freePerPair = 3;                       // failures of one ID from one address without a wait
    int freePerAddress = 20;                   // failures from one address, any IDs, without a wait
    std::chrono::seconds firstWait{2};         // the first wait; each further failure doubles it
    std::chrono::seconds maxWait{15 * 60};     // the longest wait
    std::chrono::seconds forgetAfter{60 * 60}; // a quiet hour clears the count
    // Password checks run on a pool of their own. Attempts of a user ID from an address it logged
    // in from lately go first, then those from addresses without a recent failure, then the
    // rest; each lane holds at most maxQueuedChecks waiting checks, and beyond it an attempt is
    // answered as throttled (the server is busy).
    int passwordThreads = 0; // 0: half the cores, at least 1
    std::size_t maxQueuedChecks = 32;
    std::chrono::seconds knownFor{30 * 24 * 60 * 60}; // how long a login keeps its pair known
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
    // Memory for compressed replies of "Query" batches kept for the next identical batch (a screening
    // of the same day by many users); 0 keeps none. Any write to the database drops them.
    std::size_t replyCacheBytes = 32 * 1024 * 1024;
    std::chrono::seconds sessionLifetime{12 * 60 * 60};
    // Where the one line per request goes; standard error when empty.
    std::function<void(std::string_view)> log;
    // Seconds since the epoch, for session expiry and the login throttle; the system clock when empty.
    std::function<std::int64_t()> clock;
};

} // namespace vorteq::server
