#include "server/storage/StatementCache.h"

#include <algorithm>

namespace vorteq::server {

StatementCache::Entry* StatementCache::find(std::string_view user, std::string_view sql)
{
    for (Entry& entry : m_entries) {
        if (entry.user == user && entry.sql == sql) {
            entry.lastUse = ++m_useClock;
            return &entry;
        }
    }
    return nullptr;
}

void StatementCache::keep(std::string_view user, std::string_view sql, Statement stmt)
{
    if (m_entries.size() >= kSize) {
        auto oldest = std::min_element(m_entries.begin(), m_entries.end(),
                                       [](const auto& a, const auto& b) { return a.lastUse < b.lastUse; });
        m_entries.erase(oldest);
    }
    m_entries.push_back(Entry{std::string(user), std::string(sql), std::move(stmt), ++m_useClock});
}

void StatementCache::forget(const Entry* entry)
{
    m_entries.erase(m_entries.begin() + (entry - m_entries.data()));
}

} // namespace vorteq::server
