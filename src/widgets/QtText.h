#pragma once

#include <QString>

#include <string_view>

namespace vorteq {

// A UTF-8 text of the core as the toolkit's string.
inline QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace vorteq
