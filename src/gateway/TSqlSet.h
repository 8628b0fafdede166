#pragma once

#include "gateway/Ptbl.h"

#include <cstdint>
#include <string>

namespace vorteq {

// One item of a statement batch: the statement (or the mode word) as added, and its result.
class TSqlSet {
public:
    std::int32_t ColCount = 0; // columns of the result; 0 until a table section is stored
    std::int32_t RowCount = 0; // data rows of the result; 0 means no data found
    Ptbl Tbl = makePtbl(0, 0); // the result table, shared by reference
    std::string SqlText;       // UTF-8; converted to CP932 on the wire

    void SetColCount(std::int32_t value) { ColCount = value; }
    void SetRowCount(std::int32_t value) { RowCount = value; }
    void SetTbl(Ptbl value) { Tbl = std::move(value); }
    void SetSqlText(std::string value) { SqlText = std::move(value); }
};

} // namespace vorteq
