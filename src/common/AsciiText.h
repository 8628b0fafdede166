#pragma once

#include <string_view>
#include <strings.h>

namespace vorteq {

// True when a and b hold the same text but for the case of ASCII letters (header names, SQL names).
inline bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace vorteq
