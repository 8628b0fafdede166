#pragma once

#include <string>
#include <vector>

namespace vorteq {

// Rows of cells (the first row the header) as aligned columns for a terminal: columns padded to
// their widest cell by display width, two blanks apart, numbers right-aligned, a rule under the
// header, LF line ends, no trailing blanks.
std::string formatTable(const std::vector<std::vector<std::string>>& rows);

} // namespace vorteq
