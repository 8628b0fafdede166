#include "conditions/TJouken.h"

#include <cassert>
#include <unordered_map>

namespace vorteq {

TJouken jouken;

std::optional<int> lookupJoukenField(std::string_view key)
{
    static const std::unordered_map<std::string_view, int> index = [] {
        std::unordered_map<std::string_view, int> m;
        for (const auto& f : kJoukenFields)
            m.emplace(f.key, f.no);
        return m;
    }();
    const auto it = index.find(key);
    if (it == index.end())
        return std::nullopt;
    return it->second;
}

TJouken TJouken::defaults()
{
    TJouken j;
    for (const auto& f : kJoukenFields)
        j.m_fields[static_cast<std::size_t>(f.no)] = f.defaultValue;
    return j;
}

std::string& TJouken::operator[](int no)
{
    assert(no >= 0 && no < kFieldCount && "condition field number out of range");
    return m_fields[static_cast<std::size_t>(no)];
}

const std::string& TJouken::operator[](int no) const
{
    assert(no >= 0 && no < kFieldCount && "condition field number out of range");
    return m_fields[static_cast<std::size_t>(no)];
}

std::string* TJouken::field(std::string_view key)
{
    const auto no = lookupJoukenField(key);
    return no ? &m_fields[static_cast<std::size_t>(*no)] : nullptr;
}

const std::string* TJouken::field(std::string_view key) const
{
    const auto no = lookupJoukenField(key);
    return no ? &m_fields[static_cast<std::size_t>(*no)] : nullptr;
}

const std::string& TJouken::value(std::string_view key) const
{
    static const std::string kEmpty;
    const std::string* f = field(key);
    return f ? *f : kEmpty;
}

bool TJouken::set(std::string_view key, std::string_view text)
{
    std::string* f = field(key);
    if (!f)
        return false;
    f->assign(text);
    return true;
}

} // namespace vorteq
