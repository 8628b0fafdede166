#pragma once

#include "common/Result.h"

#include <string>

struct sqlite3_stmt;

namespace vorteq::wire {
class ReplyWriter;
}

namespace vorteq::server {

// A number as it goes on the wire: the shortest digits that read back to the same double, in fixed
// notation from 0.0001 up to below 1E15 and in exponent form outside ("1E-5", "2.5E20"); whole
// numbers have no point. (Integers and texts go out as stored, NULL as an empty field.)
void appendValueText(std::string& out, double value);

// The value of a column of the current row of a SQLite statement, as it goes on the wire.
void appendColumn(std::string& out, sqlite3_stmt* stmt, int column);

// The same value written straight into a reply row; a text the reply refuses is the error.
Status writeColumn(wire::ReplyWriter& out, sqlite3_stmt* stmt, int column);

} // namespace vorteq::server
