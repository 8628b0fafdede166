// The server's request decoding: a request body (length prefix and zlib stream) and, since few
// mutations survive inflating, the same bytes as a request text. A text that splits must come
// back byte for byte when its items are joined again.
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void split(std::string_view text)
{
    auto items = vorteq::wire::splitRequestText(text);
    if (items.ok() && vorteq::wire::buildRequestText(*items) != text)
        __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    auto text = vorteq::zlibDecompress(input, 1u << 20);
    if (text.ok())
        split(*text);
    split(input);
    return 0;
}
