#include "server/http/ReplyCache.h"

namespace vorteq::server {

namespace {

// What one kept reply costs beyond its texts: the list node, the index node, the entry itself.
constexpr std::size_t kSlotOverhead = 256;

} // namespace

std::string ReplyCache::keyOf(ZlibLevel level, const std::vector<std::string>& statements)
{
    std::string key;
    std::size_t size = 2;
    for (const std::string& sql : statements)
        size += sql.size() + 12;
    key.reserve(size);
    key += static_cast<char>('0' + static_cast<int>(level));
    for (const std::string& sql : statements) {
        key += ':';
        key += std::to_string(sql.size());
        key += ':';
        key += sql;
    }
    return key;
}

std::uint64_t ReplyCache::generation() const
{
    std::lock_guard lock(m_mutex);
    return m_generation;
}

void ReplyCache::invalidate()
{
    std::lock_guard lock(m_mutex);
    ++m_generation;
    m_index.clear();
    m_order.clear();
    m_bytes = 0;
}

std::shared_ptr<const ReplyCache::Entry> ReplyCache::find(const std::string& key)
{
    std::lock_guard lock(m_mutex);
    auto it = m_index.find(key);
    if (it == m_index.end())
        return nullptr;
    m_order.splice(m_order.begin(), m_order, it->second);
    return it->second->entry;
}

void ReplyCache::store(std::string key, std::uint64_t generation, Entry entry)
{
    std::size_t bytes = kSlotOverhead + key.size() + entry.body.size();
    for (const std::string& r : entry.rows)
        bytes += r.size() + sizeof(std::string);
    if (bytes > m_maxBytes / 8)
        return;
    auto shared = std::make_shared<const Entry>(std::move(entry));
    std::lock_guard lock(m_mutex);
    if (generation != m_generation)
        return; // read before the database last changed
    if (auto it = m_index.find(key); it != m_index.end()) {
        // Another request stored the same reply meanwhile: keep that one.
        m_order.splice(m_order.begin(), m_order, it->second);
        return;
    }
    evictBeyond(m_maxBytes - bytes);
    m_order.push_front(Slot{std::move(key), std::move(shared), bytes});
    m_index.emplace(m_order.front().key, m_order.begin());
    m_bytes += bytes;
}

void ReplyCache::evictBeyond(std::size_t limit)
{
    while (m_bytes > limit && !m_order.empty()) {
        const Slot& last = m_order.back();
        m_bytes -= last.bytes;
        m_index.erase(last.key);
        m_order.pop_back();
    }
}

std::size_t ReplyCache::bytes() const
{
    std::lock_guard lock(m_mutex);
    return m_bytes;
}

std::size_t ReplyCache::size() const
{
    std::lock_guard lock(m_mutex);
    return m_order.size();
}

} // namespace vorteq::server
