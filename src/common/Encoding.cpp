#include "common/Encoding.h"

#include <cerrno>
#include <iconv.h>

namespace vorteq {
namespace {

// One iconv descriptor per thread and direction: opening one costs more than converting a line.
class Converter {
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    Result<std::string> convert(std::string_view in, const char* what)
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            return makeError(ErrorCode::Encoding,
                             std::string("文字コード変換を開始できません (") + what + ")");
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        std::string out;
        out.resize(in.size() * 2 + 16);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char* dst = out.data();
        std::size_t dstLeft = out.size();
        while (srcLeft > 0) {
            const std::size_t r = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
            if (r != static_cast<std::size_t>(-1))
                continue;
            if (errno == E2BIG) {
                const std::size_t used = static_cast<std::size_t>(dst - out.data());
                out.resize(out.size() * 2);
                dst = out.data() + used;
                dstLeft = out.size() - used;
                continue;
            }
            const std::size_t at = in.size() - srcLeft;
            return makeError(ErrorCode::Encoding, std::string("文字コードを変換できない文字があります (") +
                                                      what + ", " + std::to_string(at) + "バイト目)");
        }
        out.resize(static_cast<std::size_t>(dst - out.data()));
        return out;
    }

private:
    iconv_t m_cd;
};

} // namespace

bool isAscii(std::string_view text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

Result<std::string> cp932ToUtf8(std::string_view cp932)
{
    if (isAscii(cp932))
        return std::string(cp932);
    thread_local Converter conv("UTF-8", "CP932");
    return conv.convert(cp932, "CP932→UTF-8");
}

Result<std::string> utf8ToCp932(std::string_view utf8)
{
    if (isAscii(utf8))
        return std::string(utf8);
    thread_local Converter conv("CP932", "UTF-8");
    return conv.convert(utf8, "UTF-8→CP932");
}

} // namespace vorteq
