#pragma once

#include "common/Result.h"

#include <string>
#include <string_view>

namespace vorteq::server {

// The clients write their SELECTs for SQLite. This turns one of them into a PostgreSQL statement
// that gives the same rows, or refuses it (ErrorCode::Server, the reason for the log) when it holds
// anything whose meaning could differ or that has no business in a screening:
// - refused: quoted identifiers, escape and dollar strings, parameters, casts, ";", the bit and
//   modulo operators, non-ASCII outside texts, names of the system catalogues ("pg_..."), the
//   session's own facts (current_user, ...), SELECT INTO, and every function outside a short list;
// - translated: LIKE (SQLite's ignores ASCII case and has no escape character), division (by zero
//   is an empty value in SQLite, an error in PostgreSQL), a number compared with a text column
//   (SQLite compares its text), "==", ifnull, total, round (half away from zero).
Result<std::string> translateSelectForPostgres(std::string_view sql);

} // namespace vorteq::server
