#pragma once

#include <cstddef>
#include <string_view>

namespace vorteq {

// Columns a UTF-8 text takes on a terminal: 2 for kanji, kana and full-width forms, 1 for ASCII and
// half-width katakana, 0 for combining marks. Bytes that are not UTF-8 count one column each.
std::size_t displayWidth(std::string_view utf8);

} // namespace vorteq
