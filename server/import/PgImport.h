#pragma once

#include "common/Result.h"
#include "server/import/Importer.h"

#include <memory>
#include <string>

namespace vorteq::server {

// Writes prepared stocks into PostgreSQL at address (as the owner of the tables): each stock's
// rows go in with COPY, one yearly table at a time, after its old rows in every daily table are
// deleted; each stock is all or nothing (a savepoint of its own) and several share one
// transaction, as on SQLite. A missing yearly table is created, readable by the query role. The
// rows lie stock by stock afterwards; day-order (CLUSTER) stores them by date.
Result<std::unique_ptr<StockStore>> openPostgresStockWriter(const std::string& address);

} // namespace vorteq::server
