#pragma once

#include "server/storage/Database.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::server {

// Compiled confined statements of one connection, kept for the next request of the same user with
// the same text; the least recently used one goes first when the cache is full.
class StatementCache {
public:
    static constexpr std::size_t kSize = 16;
    // Longer texts are compiled for each request: kept, a few of them would hold megabytes.
    static constexpr std::size_t kMaxKeptBytes = 64 * 1024;

    // A compiled statement with the user and the text it was compiled for.
    struct Entry {
        std::string user;
        std::string sql;
        Statement stmt;
        std::uint64_t lastUse = 0;
    };

    // The kept statement of this user and text, now the most recently used; null if none.
    Entry* find(std::string_view user, std::string_view sql);
    // Keeps a statement (not already kept), dropping the least recently used one when full.
    void keep(std::string_view user, std::string_view sql, Statement stmt);
    // Drops a statement that failed: the next request compiles its text anew.
    void forget(const Entry* entry);

private:
    std::vector<Entry> m_entries;
    std::uint64_t m_useClock = 0;
};

} // namespace vorteq::server
