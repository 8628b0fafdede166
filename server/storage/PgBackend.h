#pragma once

#include "common/Result.h"
#include "server/ServerConfig.h"
#include "server/storage/Backend.h"
#include "server/storage/PgDatabase.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::server {

// The two roles the server logs in as on PostgreSQL, besides the owner of the tables that the
// address names (init, adduser, import, day-order): statements from the wire run as the first,
// which may read the market tables only; logins, sessions and the two account changes as the
// second, which may read the users and change only their password and e-mail columns.
inline constexpr std::string_view kPgQueryRole = "vorteq_query";
inline constexpr std::string_view kPgAccountRole = "vorteq_account";

// Creates the roles (when missing, as login roles without a password: the administrator sets one or
// lets the host authenticate them), every table, the market master and the daily tables from 2005
// to lastYear, and grants each role what it needs and nothing else. Existing tables are kept. Runs
// as the owner the address names; creating roles needs CREATEROLE.
Status createPostgresSchema(PgDatabase& db, int lastYear);

// Creates the daily table of one family and year, readable by the query role, if missing.
Status createPostgresDailyTable(PgDatabase& db, std::string_view family, int year);

// The names of the daily tables the database holds, in name order (upper case, as in SQLite).
Result<std::vector<std::string>> postgresDailyTableNames(PgDatabase& db);

// The server on PostgreSQL at address: sessions and the login throttle live in the database, so
// several servers on one database act as one.
Result<std::unique_ptr<Backend>> openPostgresBackend(const std::string& address, const ServerConfig& config);

// Stores the rows of every daily table in date order (CLUSTER on the date index) and refreshes
// the planner's statistics; progress(table) is called before each. Returns how many were ordered.
Result<int> clusterPostgresDailyTables(PgDatabase& db,
                                       const std::function<void(const std::string&)>& progress);

} // namespace vorteq::server
