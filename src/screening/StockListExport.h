#pragma once

#include "gateway/Ptbl.h"

#include <string>
#include <vector>

namespace vorteq {

// The stock list's export lines for a screening result (the table of the SELECT and its row
// count): the header line of the 45 visible columns, then one line per row, every cell followed
// by ","; the hidden market code is not written.
std::vector<std::string> stockListExportLines(const PtblData& result, int rowCount);

} // namespace vorteq
