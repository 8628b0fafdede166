#pragma once

#include "common/Result.h"
#include "series/MarketTable.h"
#include "server/storage/Database.h"

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::server {

// One market with its code as a number, as the server's tables keep it. Derived from the one market
// table of the client, so that both sides always agree on codes, names and daily-table families.
struct Market {
    int code;
    std::string_view name;
    std::string_view family; // "STK_DAILY_TSE_" ...; the table is the family and a four-digit year
};

inline constexpr std::array<Market, kMarketTable.size()> kMarkets = [] {
    std::array<Market, kMarketTable.size()> markets{};
    for (std::size_t i = 0; i < kMarketTable.size(); ++i) {
        int code = 0;
        for (char c : kMarketTable[i].code)
            code = code * 10 + (c - '0');
        markets[i] = Market{code, kMarketTable[i].name, kMarketTable[i].family};
    }
    return markets;
}();

inline constexpr std::array<std::string_view, 4> kDailyFamilies{"STK_DAILY_TSE_", "STK_DAILY_DSE_",
                                                                "STK_DAILY_JSA_", "STK_DAILY_FX_"};

// The first year that has daily tables.
inline constexpr int kFirstDailyYear = 2005;

enum class ColumnType { Text, Integer, Real };

struct DailyColumn {
    std::string_view name;
    ColumnType type;
};

// Columns of a daily table before the precomputed ones: code, date, four prices, volume.
inline constexpr std::size_t kPriceColumnCount = 7;

// Every column of a daily table, in table order: the key, the day's prices and volume, then the
// precomputed indicator values the screening compares (empty while an indicator has no value yet),
// where the indicator table places them.
std::span<const DailyColumn> dailyColumns();

// The columns of a daily table from S_PRICE on: a fixed count, so that a row's values fit in the
// row itself. dailyColumns() refuses to start with any other number of precomputed columns.
inline constexpr std::size_t kDailyValueCount = 45;

// Rows of STK_UPD, by UPD_FLG: the stock-price update first, the exchange-rate update second.
inline constexpr int kUpdFlagStock = 1;
inline constexpr int kUpdFlagFx = 2;

// "STK_DAILY_TSE_" + "2006".
std::string dailyTableName(std::string_view family, int year);

// True for a name of the form family + four digits (case-insensitive, as SQLite names are).
bool isDailyTableName(std::string_view name);

// The names of the daily tables the database holds, in name order.
Result<std::vector<std::string>> dailyTableNames(Database& db);

// The daily tables among the names a catalogue query lists (one name per row), in its order: the
// one loop behind both databases' listings.
template <class Db> Result<std::vector<std::string>> dailyTablesListedBy(Db& db, const char* catalogueQuery)
{
    auto list = db.prepare(catalogueQuery);
    if (!list)
        return list.error();
    std::vector<std::string> tables;
    for (;;) {
        auto row = list->step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        std::string name = list->text(0);
        if (isDailyTableName(name))
            tables.push_back(std::move(name));
    }
    return tables;
}

// Creates the daily table of one family and year with its key and date index, if missing. The
// importer calls it for a year that has no table yet.
Status createDailyTable(Database& db, std::string_view family, int year);

// Creates the date index of every daily table that lacks one: an import sets aside the indexes of
// the tables it fills from empty and builds them once their rows are in; one stopped before that
// leaves tables without (screenings slower, results the same) until this runs.
Status ensureDateIndexes(Database& db);

// Drops the date indexes of the daily tables that hold no row, and returns their names, so that
// an import into them inserts the rows without the index; ensureDateIndexes builds them again.
Result<std::vector<std::string>> setAsideEmptyTablesDateIndexes(Database& db);

// The failed-login record per (client address, user ID), and per address under an empty user ID:
// failures, the last one, and until when further attempts are answered as throttled; and the
// pairs that logged in lately, whose password checks go first. A server starting on a database
// made before these tables existed creates them.
extern const char* const kLoginThrottleTable;

// Creates every table (accounts, sessions, masters, the daily tables of every family from 2005 to
// lastYear) and fills the market master. Safe to run on an existing database: what exists is kept.
Status createSchema(Database& db, int lastYear);

} // namespace vorteq::server
