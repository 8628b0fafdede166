#pragma once

#include "server/ServerConfig.h"

#include <chrono>
#include <cstddef>

namespace vorteq::server {

// What is left of one request's limits; every statement of the batch draws on the same budget.
struct RequestBudget {
    std::chrono::steady_clock::time_point deadline;
    std::size_t rowsLeft = 0;
    std::size_t replyBytesLeft = 0;

    // The whole of the limits, starting now.
    static RequestBudget of(const Limits& limits)
    {
        return {std::chrono::steady_clock::now() + limits.requestTime, limits.maxRows, limits.maxReplyBytes};
    }
};

// The deadline of the statement that runs now, watched while SQLite compiles and steps it.
struct StatementDeadline {
    bool set = false;
    std::chrono::steady_clock::time_point at;
    bool passed = false; // the statement was ended for it
};

// The SQLite progress handler; context is the connection's StatementDeadline. Ends the statement
// once the deadline has passed.
int stopPastDeadline(void* context);

} // namespace vorteq::server
