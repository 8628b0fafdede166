#include "common/TextTable.h"

#include "common/NumberText.h"
#include "common/TextWidth.h"

#include <algorithm>

namespace vorteq {

std::string formatTable(const std::vector<std::vector<std::string>>& rows)
{
    std::size_t columns = 0;
    for (const auto& row : rows)
        columns = std::max(columns, row.size());
    std::vector<std::size_t> widths(columns, 0);
    for (const auto& row : rows)
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], displayWidth(row[c]));

    std::string out;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::string line;
        for (std::size_t c = 0; c < columns; ++c) {
            const std::string empty;
            const std::string& cell = c < rows[r].size() ? rows[r][c] : empty;
            const std::size_t pad = widths[c] - displayWidth(cell);
            if (c > 0)
                line += "  ";
            const bool right = r > 0 && !cell.empty() && parseNumber(cell).has_value();
            if (right)
                line.append(pad, ' ');
            line += cell;
            if (!right)
                line.append(pad, ' ');
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line;
        out += '\n';
        if (r == 0) {
            std::size_t total = 0;
            for (std::size_t c = 0; c < columns; ++c)
                total += widths[c] + (c > 0 ? 2 : 0);
            out.append(total, '-');
            out += '\n';
        }
    }
    return out;
}

} // namespace vorteq
