#pragma once

// Imports and daily updates from the data API's files: the listed issues name each stock and its
// market, the daily quotes give its days. The daily tables get adjusted prices and volumes (or the
// traded ones), and the quotes themselves are kept (QuoteStore.h), so that an update can append a
// day, or re-adjust a stock's whole history after a split, with the same rows a full import gives.

#include "common/Result.h"
#include "server/import/ApiQuotesFile.h"
#include "server/import/Importer.h"
#include "server/storage/Database.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace vorteq::server {

struct ApiImportOptions {
    bool adjusted = true;   // false (--raw): the daily tables hold the traded prices
    int fallbackMarket = 0; // the market of stocks the listed issues do not name; 0: none
    int workers = 0;        // analysis threads; 0: the importer's default, every core for an update
    std::function<void(const std::string&)> message;
    std::function<void(const ImportProgress&)> progress;
};

// Everything a set of files gives, merged: for a day given twice, the later file's quote holds.
// A stock with a bad record in any file is left out entirely.
struct ApiData {
    std::map<std::string, ApiListedIssue> issues;
    std::map<std::string, std::vector<ApiQuote>> quotes;
    std::set<std::string> rejected; // stocks left out because of bad records
    int failedFiles = 0;
};
ApiData readApiFiles(const std::vector<std::string>& files,
                     const std::function<void(const std::string&)>& message);

// A full import: each stock's quotes and daily rows are replaced by those of the files.
Result<ImportSummary> importApiFiles(Database& db, const std::vector<std::string>& files,
                                     const ApiImportOptions& options);

struct UpdateSummary {
    int appended = 0;   // stocks that got new days
    int readjusted = 0; // stocks whose whole history was written again (a split, a corrected day)
    int added = 0;      // stocks new to the database
    int unchanged = 0;  // stocks whose days the database already held just so
    int skipped = 0;    // stocks left out
    int failedFiles = 0;
    std::int64_t days = 0; // daily rows written
    // Appended stocks whose latest days did not settle on the stored rows, so that their whole
    // history was analysed (slower, same rows).
    int analysedWhole = 0;
};

// Appends the files' days to the database at dbPath while the server may be serving it: the
// history is read and analysed on worker connections, and the rows are written in short
// transactions, so that readers never wait and a login waits at most a few milliseconds. A stock
// whose new days carry an adjustment factor other than 1 (adjusted prices), that moves to another
// family of daily tables, or whose files correct a stored day, has its whole history written again.
Result<UpdateSummary> updateFromApiFiles(const std::string& dbPath, const std::vector<std::string>& files,
                                         const ApiImportOptions& options);

} // namespace vorteq::server
