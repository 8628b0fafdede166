#pragma once

#include "common/Result.h"

#include <filesystem>
#include <map>
#include <string>

namespace vorteq {

// The column widths the user gave the grids, by grid name (its control name) and column, in pixels.
using GridWidths = std::map<std::string, std::map<int, int>>;

// <baseDir>/SysData/grid_widths.ini: one line per grid column, "grid name,column,width,", CR LF.
std::filesystem::path gridWidthsPath(const std::filesystem::path& baseDir);

// Reads the file; empty when it does not exist. A line that does not read (a name with characters
// other than letters, digits and "_", a column or width that is not a whole number in range) is left
// out: a width is only a preference.
Result<GridWidths> readGridWidths(const std::filesystem::path& path);

// Writes the widths, replacing the file atomically and creating SysData when it is missing.
Status writeGridWidths(const std::filesystem::path& path, const GridWidths& widths);

} // namespace vorteq
