#pragma once

#include "common/Result.h"

#include <cstddef>
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

// The most bytes a value's text takes ("-2.2250738585072014E-308" is 24).
inline constexpr std::size_t kMaxValueTextBytes = 32;

// The same text written at out, which has room for kMaxValueTextBytes; returns where it ends.
char* writeValueText(char* out, double value);
// The general form alone (shortest digits laid out as fixed or exponent notation), without the
// shortcut for whole numbers and values of up to two decimals: the shortcut must agree with it.
char* writeShortestValueText(char* out, double value);

// The value of a column of the current row of a SQLite statement, as it goes on the wire.
void appendColumn(std::string& out, sqlite3_stmt* stmt, int column);

// The current row of a statement written straight into a reply row; a text the reply refuses is
// the error (the row is then dropped). Numbers between two texts are formatted into scratch (kept
// by the caller between rows) and handed to the reply in one piece.
Status writeRow(wire::ReplyWriter& out, sqlite3_stmt* stmt, int columns, std::string& scratch);

} // namespace vorteq::server
