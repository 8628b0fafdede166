#include "cli/ExportSet.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vorteq::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNewSuffix = ".vorteq-new";
constexpr const char* kListName = ".vorteq-set";
constexpr const char* kListTemporary = ".vorteq-set.tmp";

Error fileError(std::string_view what, const fs::path& path, int error)
{
    return makeError(ErrorCode::Io,
                     std::string(what) + ": " + path.string() + " (" + std::strerror(error) + ")");
}

// Writes bytes to path and flushes them to disk before returning.
Status writeDurably(const fs::path& path, std::string_view bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return fileError("ファイルを作成できません", path, errno);
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = errno;
            ::close(fd);
            return fileError("ファイルに書き込めません", path, error);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    if (::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return fileError("ファイルを保存できません", path, error);
    }
    if (::close(fd) != 0)
        return fileError("ファイルを保存できません", path, errno);
    return {};
}

// Makes the renames and removals in dir durable.
void syncFolder(const fs::path& dir)
{
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

Status renameFile(const fs::path& from, const fs::path& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        return fileError("ファイルの名前を変えられません", to, errno);
    return {};
}

// A name the list may hold: one file directly in the folder.
bool isPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Gives each listed file its final name, then removes the list.
Status finishListedSet(const fs::path& dir, const std::vector<std::string>& names)
{
    for (const std::string& name : names) {
        const fs::path pending = dir / (name + std::string(kNewSuffix));
        std::error_code ec;
        if (fs::exists(pending, ec))
            if (auto st = renameFile(pending, dir / name); !st)
                return st;
    }
    syncFolder(dir);
    if (::unlink((dir / kListName).c_str()) != 0 && errno != ENOENT)
        return fileError("ファイルを削除できません", dir / kListName, errno);
    syncFolder(dir);
    return {};
}

} // namespace

Status recoverExportSet(const fs::path& dir)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return {};
    const fs::path list = dir / kListName;
    if (fs::exists(list, ec)) {
        std::ifstream in(list);
        std::vector<std::string> names;
        for (std::string line; std::getline(in, line);)
            if (isPlainName(line))
                names.push_back(line);
        if (auto st = finishListedSet(dir, names); !st)
            return st;
    }
    // What is left is a set never completed, or the list's own temporary file: the old set stands.
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        const std::string name = entry.path().filename().string();
        const bool pending = name.size() > kNewSuffix.size() && name.ends_with(kNewSuffix);
        if (pending || name == kListTemporary)
            if (::unlink(entry.path().c_str()) != 0 && errno != ENOENT)
                return fileError("ファイルを削除できません", entry.path(), errno);
    }
    if (ec)
        return fileError("フォルダを読めません", dir, ec.value());
    return {};
}

Status ExportSet::commit()
{
    std::error_code ec;
    fs::create_directories(m_dir, ec);
    if (ec)
        return fileError("フォルダを作成できません", m_dir, ec.value());
    if (auto st = recoverExportSet(m_dir); !st)
        return st;

    std::string listText;
    for (const auto& [name, bytes] : m_files) {
        if (auto st = writeDurably(m_dir / (name + std::string(kNewSuffix)), bytes); !st) {
            (void)recoverExportSet(m_dir); // drops the files of the new set written so far
            return st;
        }
        listText += name + "\n";
    }
    // The list's arrival under its name is the moment the new set replaces the old one.
    if (auto st = writeDurably(m_dir / kListTemporary, listText); !st) {
        (void)recoverExportSet(m_dir);
        return st;
    }
    if (auto st = renameFile(m_dir / kListTemporary, m_dir / kListName); !st) {
        (void)recoverExportSet(m_dir);
        return st;
    }
    syncFolder(m_dir);
    std::vector<std::string> names;
    for (const auto& file : m_files)
        names.push_back(file.first);
    return finishListedSet(m_dir, names);
}

} // namespace vorteq::cli
