#include "screening/StockListExport.h"

#include "common/Csv.h"
#include "screening/StockListColumns.h"

namespace vorteq {

std::vector<std::string> stockListExportLines(const PtblData& result, int rowCount)
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(rowCount > 0 ? rowCount : 0) + 1);
    std::string line;
    for (int c = 0; c < kStockListVisibleColumns; ++c)
        appendCsvCell(line, kStockListColumns[static_cast<std::size_t>(c)].header);
    lines.push_back(std::move(line));
    // Result column c + 1 is list column c.
    for (int r = 1; r <= rowCount; ++r) {
        line.clear();
        for (int c = 0; c < kStockListVisibleColumns; ++c)
            appendCsvCell(line, result.cell(c + 1, r));
        lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace vorteq
