#pragma once

#include <string>
#include <string_view>

namespace vorteq {

// Typed text placed between the single quotes of a statement: every single quote is doubled so that
// the text stays one literal whatever the user typed (a password "a'b" is sent as 'a''b').
inline std::string escapeSqlText(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out;
}

} // namespace vorteq
