#pragma once

#include "common/Result.h"

#include <string>
#include <string_view>

namespace vorteq {

// CP932 (Windows Shift-JIS) is the encoding of the wire, the local files and the CSV exports;
// inside the program text is UTF-8. ASCII passes through unchanged without a conversion.
Result<std::string> cp932ToUtf8(std::string_view cp932);
Result<std::string> utf8ToCp932(std::string_view utf8);

// True when every byte is below 0x80.
bool isAscii(std::string_view text);

} // namespace vorteq
