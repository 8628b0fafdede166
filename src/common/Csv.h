#pragma once

#include "common/Result.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

// Appends one export cell followed by ",": every cell, the last included, ends with a comma.
// A cell holding a comma, a double quote or a line break is quoted with its quotes doubled;
// every other cell goes out byte for byte.
void appendCsvCell(std::string& line, std::string_view cell);

// One export line from its cells (UTF-8, no line end).
std::string csvLine(const std::vector<std::string>& cells);

// Writes export lines as CP932 with CR LF line ends, replacing the file atomically.
Status writeCsvFile(const std::filesystem::path& path, const std::vector<std::string>& lines);

} // namespace vorteq
