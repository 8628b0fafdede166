#include "gateway/ZlibUtil.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <libdeflate.h>
#include <limits>
#include <memory>
#include <optional>
#include <zlib.h>

namespace vorteq {
namespace {

// libdeflate's levels on zlib's scale: 0 writes stored blocks, 1 is the fastest that compresses.
int deflateLevelOf(ZlibLevel level)
{
    switch (level) {
    case ZlibLevel::None:
        return 0;
    case ZlibLevel::Fastest:
        return 1;
    case ZlibLevel::Default:
        return 6;
    case ZlibLevel::Maximum:
        return 9;
    }
    return 6;
}

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// One compressor per thread and level: allocating one costs more than compressing a reply, and a
// compressor may not be shared between threads.
libdeflate_compressor* compressorFor(ZlibLevel level)
{
    thread_local std::array<std::unique_ptr<libdeflate_compressor, CompressorDeleter>, 4> compressors;
    auto& slot = compressors[static_cast<std::size_t>(level)];
    if (!slot)
        slot.reset(libdeflate_alloc_compressor(deflateLevelOf(level)));
    return slot.get();
}

struct DecompressorDeleter {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor* decompressorOfThisThread()
{
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor{
        libdeflate_alloc_decompressor()};
    return decompressor.get();
}

// Deflate cannot expand a byte of stream into more than about 1,032 bytes of text; a declared length
// beyond that for the stream at hand cannot be honest.
constexpr std::size_t kMaxInflateRatio = 1032;

// The whole stream in one call when it holds exactly the declared length: the usual reply. Anything
// else (a longer stream, a damaged or unterminated one) is left to the step-by-step inflate below,
// which takes exactly the declared length and names what went wrong.
std::optional<std::string> inflateWholeStream(std::string_view stream, std::size_t length)
{
    libdeflate_decompressor* decompressor = decompressorOfThisThread();
    if (decompressor == nullptr || length / kMaxInflateRatio > stream.size())
        return std::nullopt;
    std::string out;
    out.resize(length);
    std::size_t produced = 0;
    const libdeflate_result rc =
        libdeflate_zlib_decompress(decompressor, stream.data(), stream.size(), out.data(), length, &produced);
    if (rc != LIBDEFLATE_SUCCESS || produced != length)
        return std::nullopt;
    return out;
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
    libdeflate_compressor* compressor = compressorFor(level);
    if (compressor == nullptr)
        return makeError(ErrorCode::Internal, "データを圧縮できません (圧縮器を用意できません)");

    const auto length = static_cast<std::uint32_t>(source.size());
    std::string out;
    out.resize(4 + libdeflate_zlib_compress_bound(compressor, source.size()));
    for (std::size_t i = 0; i < 4; ++i)
        out[i] = static_cast<char>((length >> (8 * i)) & 0xFFu);
    // The bound is the worst case (stored blocks), so the stream always fits and 0 cannot come back.
    const std::size_t produced =
        libdeflate_zlib_compress(compressor, source.data(), source.size(), out.data() + 4, out.size() - 4);
    if (produced == 0)
        return makeError(ErrorCode::Internal, "データを圧縮できません (出力領域が足りません)");
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

    const std::string_view stream = source.substr(4);
    if (auto whole = inflateWholeStream(stream, length))
        return std::move(*whole);

    z_stream zs{};
    if (inflateInit(&zs) != Z_OK)
        return makeError(ErrorCode::Internal, "データを展開できません (zlib の初期化に失敗しました)");
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
