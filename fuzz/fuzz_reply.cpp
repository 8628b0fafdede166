// The client's reply decoding: the first byte picks the batch's statement count, the rest is a
// reply body (length prefix and zlib stream) and, since few mutations survive inflating, also a
// reply text parsed as it is.
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

void parse(std::string_view text, int statements)
{
    auto reply = vorteq::wire::parseReplyText(text, statements);
    if (!reply.ok())
        return;
    check(static_cast<int>(reply->sections.size()) <= statements);
    for (const auto& s : reply->sections) {
        check(s.tbl != nullptr);
        if (s.rowCount > 0) {
            // A table of NR rows is NC+1 by NR+1 and every row had its NC fields.
            check(s.tbl->columnCount() == s.colCount + 1);
            check(s.tbl->rowCount() == s.rowCount + 1);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const int statements = data[0] % 16;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    // A small limit keeps each run fast; the limit itself is tested by the unit tests.
    auto text = vorteq::zlibDecompress(rest, 1u << 20);
    if (text.ok())
        parse(*text, statements);
    parse(rest, statements);
    return 0;
}
