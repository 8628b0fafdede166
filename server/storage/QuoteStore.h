#pragma once

// The data API's quotes as the database keeps them beside the daily tables: every day of a stock
// with its traded prices, its adjustment factor and its price-limit flags (STK_QUOTE), and whether
// the stock's daily tables hold adjusted or traded prices (STK_QUOTE_MODE). The daily tables are
// derived from these rows, by an import and again by every update, so that both give the same rows.
// No statement of the client reads these tables.

#include "common/Result.h"
#include "server/import/ApiQuotesFile.h"
#include "server/import/PriceFile.h"
#include "server/storage/Database.h"

#include <optional>
#include <string>
#include <vector>

namespace vorteq::server {

// Creates the two tables when missing.
Status createQuoteTables(Database& db);

// Replaces every stored quote of the stock and its mode (adjusted = true: the daily tables hold
// adjusted prices). Runs inside the caller's transaction.
Status replaceQuotes(Database& db, const ApiStockQuotes& stock, bool adjusted);

// Adds or replaces the quotes of these days. Runs inside the caller's transaction.
Status upsertQuotes(Database& db, const std::string& code, const std::vector<ApiQuote>& days);

// The stock's stored quotes, oldest first, and its mode; nothing when the stock has none. newest > 0
// reads only that many of the latest days (truncated tells whether older ones were left).
struct StoredQuotes {
    std::vector<ApiQuote> days;
    bool adjusted = true;
    bool truncated = false;
};
Result<std::optional<StoredQuotes>> readQuotes(Database& db, const std::string& code, std::size_t newest = 0);

// The daily series the daily tables hold for these quotes: the traded days only, with prices
// multiplied by the product of the adjustment factors of every later day and volumes divided by it
// (rounded to whole shares) when adjusted, or as traded otherwise.
StockSeries seriesOfQuotes(const std::string& code, const std::string& name, int market,
                           const std::vector<ApiQuote>& days, bool adjusted);

// Merges newer quotes into a stored history: a day present in both takes the newer one.
std::vector<ApiQuote> mergeQuotes(std::vector<ApiQuote> stored, const std::vector<ApiQuote>& newer);

} // namespace vorteq::server
