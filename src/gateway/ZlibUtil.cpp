#include "gateway/ZlibUtil.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <zlib.h>

namespace vorteq {
namespace {

int zlibLevelOf(ZlibLevel level)
{
    switch (level) {
    case ZlibLevel::None:
        return Z_NO_COMPRESSION;
    case ZlibLevel::Fastest:
        return Z_BEST_SPEED;
    case ZlibLevel::Default:
        return Z_DEFAULT_COMPRESSION;
    case ZlibLevel::Maximum:
        return Z_BEST_COMPRESSION;
    }
    return Z_DEFAULT_COMPRESSION;
}

unsigned char* bytesOf(std::string& s)
{
    return reinterpret_cast<unsigned char*>(s.data());
}

// zlib's stream fields are 32-bit; the texts here are far below that (the length prefix is 32-bit too).
uInt chunkOf(std::size_t n)
{
    return static_cast<uInt>(std::min<std::size_t>(n, std::numeric_limits<uInt>::max()));
}

} // namespace

Result<std::string> zlibCompress(std::string_view source, ZlibLevel level)
{
    if (source.size() > std::numeric_limits<std::uint32_t>::max())
        return makeError(ErrorCode::Internal,
                         "圧縮するデータが大きすぎます (" + std::to_string(source.size()) + " バイト)");
    z_stream zs{};
    if (deflateInit(&zs, zlibLevelOf(level)) != Z_OK)
        return makeError(ErrorCode::Internal, "データを圧縮できません (zlib の初期化に失敗しました)");

    const auto length = static_cast<std::uint32_t>(source.size());
    std::string out;
    out.resize(4 + deflateBound(&zs, static_cast<uLong>(source.size())));
    for (std::size_t i = 0; i < 4; ++i)
        out[i] = static_cast<char>((length >> (8 * i)) & 0xFFu);

    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source.data()));
    zs.avail_in = chunkOf(source.size());
    zs.next_out = bytesOf(out) + 4;
    zs.avail_out = chunkOf(out.size() - 4);
    const int rc = deflate(&zs, Z_FINISH);
    const std::size_t produced = zs.total_out;
    deflateEnd(&zs);
    if (rc != Z_STREAM_END)
        return makeError(ErrorCode::Internal, "データを圧縮できません (zlib " + std::to_string(rc) + ")");
    out.resize(4 + produced);
    return out;
}

Result<std::string> zlibDecompress(std::string_view source, std::size_t maxLength)
{
    if (source.size() < 4)
        return makeError(ErrorCode::Protocol, "圧縮データが短すぎます (長さの4バイトがありません)");
    std::uint32_t declared = 0;
    for (std::size_t i = 0; i < 4; ++i)
        declared |= static_cast<std::uint32_t>(static_cast<unsigned char>(source[i])) << (8 * i);
    const std::size_t length = declared;
    if (length == 0)
        return std::string();
    if (length > maxLength)
        return makeError(ErrorCode::Protocol, "圧縮データの宣言長 " + std::to_string(length) +
                                                  " バイトが上限 " + std::to_string(maxLength) +
                                                  " バイトを超えています");

    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return makeError(ErrorCode::Internal, "データを展開できません (zlib の初期化に失敗しました)");
    const std::string_view stream = source.substr(4);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    zs.avail_in = chunkOf(stream.size());

    // The output grows with what the stream really yields, so a large declared length backed by a
    // few bytes of stream costs no more memory than the stream can fill.
    std::string out;
    out.resize(std::min(length, std::max<std::size_t>(64 * 1024, stream.size() * 4)));
    std::size_t produced = 0;
    int rc = Z_OK;
    while (produced < length) {
        if (produced == out.size())
            out.resize(std::min(length, out.size() * 2));
        zs.next_out = bytesOf(out) + produced;
        zs.avail_out = chunkOf(out.size() - produced);
        rc = inflate(&zs, Z_NO_FLUSH);
        produced = out.size() - zs.avail_out;
        if (rc == Z_STREAM_END || (rc != Z_OK && rc != Z_BUF_ERROR))
            break;
        if (rc == Z_BUF_ERROR && zs.avail_in == 0)
            break; // the stream ran out before the declared length
    }
    std::string detail = zs.msg != nullptr ? zs.msg : "";
    inflateEnd(&zs);

    if (produced >= length) {
        out.resize(length);
        return out;
    }
    if (rc == Z_DATA_ERROR || rc == Z_NEED_DICT || rc == Z_STREAM_ERROR || rc == Z_MEM_ERROR)
        return makeError(ErrorCode::Protocol,
                         "圧縮データが壊れています" + (detail.empty() ? std::string() : " (" + detail + ")"));
    return makeError(ErrorCode::Protocol, "圧縮データが宣言長より短いです (宣言 " + std::to_string(length) +
                                              " バイト, 展開できたのは " + std::to_string(produced) +
                                              " バイト)");
}

} // namespace vorteq
