#pragma once

#include "gateway/ZlibUtil.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace vorteq::server {

// Compressed replies of "Query" batches, kept for the next batch of the same statements: a
// screening of one day is sent by many users, and its reply only changes when the market tables do.
//
// A reply may be shared between users because a "Query" statement can only read the market tables
// (the confinement does not depend on who sends it) and every allowed function is deterministic;
// it is looked up only after the request's session has been checked. Replies depend on the data
// they were read from, so every entry carries the generation it was read in: the generation moves on
// whenever a connection sees that another connection has written the database since it last looked
// (an import, another server process, a login's session record), and that drops every entry.
// Memory is bounded: the replies and their keys together stay under maxBytes, the least recently
// used going first, and a reply larger than an eighth of it is not kept.
class ReplyCache {
public:
    struct Entry {
        std::string body;              // the reply as sent: length prefix and zlib stream
        std::vector<std::string> rows; // row count of each statement, for the log line
    };

    explicit ReplyCache(std::size_t maxBytes) : m_maxBytes(maxBytes) {}

    // The key of a batch: the reply's compression and every statement, each with its length so that
    // no two batches share a key.
    static std::string keyOf(ZlibLevel level, const std::vector<std::string>& statements);

    // The generation replies read from now on belong to. Read it before the statements run, so that
    // their snapshot of the database is no older than the generation.
    std::uint64_t generation() const;
    // The database changed: every kept reply is dropped and the generation moves on.
    void invalidate();

    // The reply kept for key, or nullptr.
    std::shared_ptr<const Entry> find(const std::string& key);
    // Keeps a reply read in the given generation; a reply of a past generation is not kept.
    void store(std::string key, std::uint64_t generation, Entry entry);

    std::size_t bytes() const;
    std::size_t size() const;
    std::size_t maxBytes() const { return m_maxBytes; }

private:
    struct Slot {
        std::string key;
        std::shared_ptr<const Entry> entry;
        std::size_t bytes = 0;
    };
    void evictBeyond(std::size_t limit);

    const std::size_t m_maxBytes;
    mutable std::mutex m_mutex;
    std::uint64_t m_generation = 1;
    std::size_t m_bytes = 0;
    std::list<Slot> m_order;                                                 // most recently used first
    std::unordered_map<std::string_view, std::list<Slot>::iterator> m_index; // views into m_order's keys
};

} // namespace vorteq::server
