#pragma once

#include <memory>
#include <string>
#include <vector>

namespace vorteq {

// A table of texts indexed [column][row]: the result of one statement, or the lines of a condition
// file while it is loaded. Data cells are columns 1..ColCount and rows 1..RowCount; column 0 and
// row 0 carry no data (row 0 receives the reply's record 0, which nobody reads).
class PtblData {
public:
    PtblData() = default;
    // columns x rows empty cells (for a result of NC columns and NR rows: NC+1 by NR+1).
    PtblData(int columns, int rows)
        : m_columns(static_cast<std::size_t>(columns < 0 ? 0 : columns),
                    std::vector<std::string>(static_cast<std::size_t>(rows < 0 ? 0 : rows)))
    {
    }

    int columnCount() const { return static_cast<int>(m_columns.size()); }
    int rowCount() const { return m_columns.empty() ? 0 : static_cast<int>(m_columns.front().size()); }

    std::vector<std::string>& operator[](int column) { return m_columns.at(static_cast<std::size_t>(column)); }
    const std::vector<std::string>& operator[](int column) const
    {
        return m_columns.at(static_cast<std::size_t>(column));
    }

    // The cell's text, or an empty text when the cell lies outside the table.
    const std::string& cell(int column, int row) const
    {
        static const std::string kEmpty;
        if (column < 0 || row < 0 || column >= columnCount() || row >= rowCount())
            return kEmpty;
        return m_columns[static_cast<std::size_t>(column)][static_cast<std::size_t>(row)];
    }

private:
    std::vector<std::vector<std::string>> m_columns;
};

// Tables are shared by reference: a caller may keep one after the batch that produced it is cleared.
using Ptbl = std::shared_ptr<PtblData>;

inline Ptbl makePtbl(int columns, int rows) { return std::make_shared<PtblData>(columns, rows); }

} // namespace vorteq
