#pragma once

#include "common/Result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

enum class FileAccess {
    Normal,    // readable by everyone the umask allows
    OwnerOnly, // 0600: files that may hold a password
};

// Reads a CP932 text file into UTF-8 lines. Lines end at CR LF, LF or a lone CR; a last line
// without an end is kept; an empty file has no lines.
Result<std::vector<std::string>> readTextLines(const std::filesystem::path& path);

// Splits UTF-8 text into lines the same way.
std::vector<std::string> splitLines(std::string_view text);

// Writes UTF-8 lines as CP932, each followed by CR LF. The file is replaced atomically: the text
// goes to a temporary file in the same folder, is flushed to disk, then renamed over the old one,
// so a crash leaves either the old or the new file, never a half-written one. Missing parent
// folders are created.
Status writeTextLinesAtomic(const std::filesystem::path& path, const std::vector<std::string>& lines,
                            FileAccess access = FileAccess::Normal);

// Writes raw bytes atomically, as above.
Status writeBytesAtomic(const std::filesystem::path& path, std::string_view bytes,
                        FileAccess access = FileAccess::Normal);

// Reads a whole file as raw bytes.
Result<std::string> readBytes(const std::filesystem::path& path);

} // namespace vorteq
