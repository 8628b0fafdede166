#include "server/storage/RequestLimits.h"

namespace vorteq::server {

int stopPastDeadline(void* context)
{
    auto* deadline = static_cast<StatementDeadline*>(context);
    if (deadline->set && std::chrono::steady_clock::now() > deadline->at) {
        deadline->passed = true;
        return 1;
    }
    return 0;
}

} // namespace vorteq::server
