#pragma once

#include "common/Result.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vorteq {

// None: stored blocks (no compression, least work); Fastest, Default, Maximum: zlib levels 1, 6, 9.
enum class ZlibLevel { None, Fastest, Default, Maximum };

// The largest uncompressed text a 4-byte length prefix may announce before we refuse it.
inline constexpr std::size_t kMaxInflatedLength = 64u * 1024u * 1024u;

// The source's size as 4 bytes little-endian, then a zlib stream (RFC 1950) of the whole source,
// written by libdeflate (any zlib inflater reads it).
Result<std::string> zlibCompress(std::string_view source, ZlibLevel level);

// Reads the 4-byte length L; 0 gives an empty text. Otherwise inflates exactly L bytes; a stream
// shorter than L, a damaged stream, or L above maxLength is an error.
Result<std::string> zlibDecompress(std::string_view source, std::size_t maxLength = kMaxInflatedLength);

} // namespace vorteq
