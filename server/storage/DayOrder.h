#pragma once

#include "common/Result.h"
#include "server/storage/Database.h"

#include <functional>
#include <string>
#include <string_view>

namespace vorteq::server {

// A screening reads one day of every stock. When a daily table holds its rows stock by stock (as a
// bulk import writes them), that day's rows lie on as many pages as there are stocks and the
// screening takes about twice as long as when they lie together. These functions store the rows
// day by day, stock code within a day; the key, the date index and every value stay as they are.

// True when the rows of the table's latest day lie together: their row ids span at most twice
// their count. An empty table is in day order.
Result<bool> isInDayOrder(Database& db, std::string_view table);

// Rewrites one daily table in day order, in one transaction (nothing changes on failure).
Status putInDayOrder(Database& db, std::string_view table);

// Rewrites every daily table that is not in day order; progress(table) is called before each.
// Returns how many were rewritten.
Result<int> putDailyTablesInDayOrder(Database& db, const std::function<void(const std::string&)>& progress);

} // namespace vorteq::server
