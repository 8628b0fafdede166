#include "common/TextFile.h"

#include "common/Encoding.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace vorteq {
namespace {

Error ioError(const std::string& what, const std::filesystem::path& path, int err)
{
    return makeError(ErrorCode::Io, what + ": " + path.string() + " (" + std::strerror(err) + ")");
}

std::string temporaryName(const std::filesystem::path& path)
{
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    return path.string() + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(rng() % 1000000007ULL);
}

} // namespace

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, i - start));
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            ++i;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

Result<std::string> readBytes(const std::filesystem::path& path)
{
    // A folder opens as a stream but throws on the first read; it is a file that cannot be read.
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return ioError("ファイルを読めません", path, EISDIR);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ioError("ファイルを開けません", path, errno);
    try {
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad())
            return ioError("ファイルを読めません", path, errno);
        return bytes;
    } catch (const std::ios_base::failure&) {
        return ioError("ファイルを読めません", path, errno);
    }
}

Result<std::vector<std::string>> readTextLines(const std::filesystem::path& path)
{
    auto bytes = readBytes(path);
    if (!bytes)
        return bytes.error();
    auto text = cp932ToUtf8(*bytes);
    if (!text)
        return makeError(ErrorCode::Encoding, text.error().message + ": " + path.string());
    return splitLines(*text);
}

Status writeBytesAtomic(const std::filesystem::path& path, std::string_view bytes, FileAccess access)
{
    std::error_code ec;
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path(), ec);
        if (ec)
            return makeError(ErrorCode::Io, "フォルダを作成できません: " + path.parent_path().string() +
                                                " (" + ec.message() + ")");
    }
    const std::string tmp = temporaryName(path);
    const mode_t mode = access == FileAccess::OwnerOnly ? 0600 : 0666;
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0)
        return ioError("ファイルを作成できません", tmp, errno);
    if (access == FileAccess::OwnerOnly)
        ::fchmod(fd, 0600);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            ::unlink(tmp.c_str());
            return ioError("ファイルに書き込めません", path, err);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return ioError("ファイルに書き込めません", path, err);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        return ioError("ファイルを置き換えられません", path, err);
    }
    return Status::success();
}

Status writeTextLinesAtomic(const std::filesystem::path& path, const std::vector<std::string>& lines,
                            FileAccess access)
{
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    auto bytes = utf8ToCp932(text);
    if (!bytes)
        return makeError(ErrorCode::Encoding, bytes.error().message + ": " + path.string());
    return writeBytesAtomic(path, *bytes, access);
}

} // namespace vorteq
