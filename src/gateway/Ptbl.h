#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {

// A table of texts indexed [column][row]: the result of one statement, or the lines of a condition
// file while it is loaded. Data cells are columns 1..ColCount and rows 1..RowCount; column 0 and
// row 0 carry no data (row 0 receives the reply's record 0, which nobody reads).
//
// The texts of all cells live in one buffer and each cell is 8 bytes (where its text starts and how
// long it is): a reply of many short or empty fields costs a few times its own size, not the tens of
// bytes a separate string per cell would.
class PtblData {
public:
    PtblData() = default;
    // columns x rows empty cells (for a result of NC columns and NR rows: NC+1 by NR+1).
    PtblData(int columns, int rows)
        : m_columns(static_cast<std::size_t>(columns < 0 ? 0 : columns)),
          m_rows(m_columns == 0 ? 0 : static_cast<std::size_t>(rows < 0 ? 0 : rows)),
          m_cells(m_columns * m_rows)
    {
    }

    int columnCount() const { return static_cast<int>(m_columns); }
    int rowCount() const { return static_cast<int>(m_rows); }

    // One column, read-only: column[row] is the cell's text.
    class Column {
    public:
        std::size_t size() const { return m_table->m_rows; }
        // const, so that an assignment to a cell through it does not compile: cells change by set().
        const std::string_view operator[](std::size_t row) const
        {
            if (row >= m_table->m_rows)
                throw std::out_of_range("PtblData: row out of range");
            return m_table->textAt(m_column * m_table->m_rows + row);
        }

    private:
        friend class PtblData;
        Column(const PtblData* table, std::size_t column) : m_table(table), m_column(column) {}
        const PtblData* m_table;
        std::size_t m_column;
    };

    // The column; one outside the table throws std::out_of_range.
    Column operator[](int column) const
    {
        if (column < 0 || static_cast<std::size_t>(column) >= m_columns)
            throw std::out_of_range("PtblData: column out of range");
        return Column(this, static_cast<std::size_t>(column));
    }

    // The cell's text, or an empty text when the cell lies outside the table. The view stays valid
    // until the table is changed.
    std::string_view text(int column, int row) const
    {
        if (column < 0 || row < 0 || column >= columnCount() || row >= rowCount())
            return {};
        return textAt(static_cast<std::size_t>(column) * m_rows + static_cast<std::size_t>(row));
    }
    // The same as a string of its own.
    std::string cell(int column, int row) const { return std::string(text(column, row)); }

    // Replaces the cell's text; a cell outside the table throws std::out_of_range.
    void set(int column, int row, std::string_view value)
    {
        if (column < 0 || row < 0 || column >= columnCount() || row >= rowCount())
            throw std::out_of_range("PtblData: cell out of range");
        if (m_text.size() + value.size() > UINT32_MAX)
            throw std::length_error("PtblData: texts larger than 4 GiB");
        Span& span = m_cells[static_cast<std::size_t>(column) * m_rows + static_cast<std::size_t>(row)];
        span.offset = static_cast<std::uint32_t>(m_text.size());
        span.length = static_cast<std::uint32_t>(value.size());
        m_text.append(value);
    }

    // Room for this many bytes of cell text, so that filling the table does not copy it again.
    void reserveText(std::size_t bytes) { m_text.reserve(bytes); }

private:
    struct Span {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
    };

    std::string_view textAt(std::size_t index) const
    {
        const Span span = m_cells[index];
        return std::string_view(m_text).substr(span.offset, span.length);
    }

    std::size_t m_columns = 0;
    std::size_t m_rows = 0;
    std::vector<Span> m_cells; // [column * rows + row]
    std::string m_text;
};

// Tables are shared by reference: a caller may keep one after the batch that produced it is cleared.
using Ptbl = std::shared_ptr<PtblData>;

inline Ptbl makePtbl(int columns, int rows)
{
    return std::make_shared<PtblData>(columns, rows);
}

} // namespace vorteq
