#pragma once

#include "common/Result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::cli {

// What the results are written in: CP932 like the client's export files, or UTF-8 (--utf8).
enum class OutputEncoding {
    Cp932,
    Utf8,
};

// Export lines (UTF-8, no line end) as the bytes of an export file: each line followed by CR LF, in
// the encoding. A character without a CP932 form is an error naming it.
Result<std::string> exportBytes(const std::vector<std::string>& lines, OutputEncoding encoding);

// Text for the terminal (UTF-8 with LF line ends) in the encoding.
Result<std::string> encodeText(std::string_view utf8, OutputEncoding encoding);

// Writes export lines as a file, replacing it atomically: in CP932 through the client's own CSV
// writer, so the bytes are those of the client's export.
Status writeExportFile(const std::filesystem::path& path, const std::vector<std::string>& lines,
                       OutputEncoding encoding);

// The line breaks of the dialog texts (LF CR) as plain LF, for a terminal.
std::string terminalLines(std::string_view dialogText);

} // namespace vorteq::cli
