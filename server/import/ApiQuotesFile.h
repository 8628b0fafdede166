#pragma once

// The files of the exchange group's data API as users download them, in JSON or CSV: the daily
// quotes (traded prices, the adjustment factor of a split and the price-limit flags of every stock
// and day) and the listed issues (name and market of every stock).

#include "common/DateText.h"
#include "common/Result.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::server {

// One day of one stock as the data API gives it. A day without trades has no prices; it is kept
// for its adjustment factor (a split can take effect on such a day) but never becomes a daily row.
struct ApiQuote {
    Date date;
    bool traded = false;
    // Traded prices (yen) and volume (shares); the values the text of the file reads as, kept as the
    // doubles the database stores, so that an import and a later update start from the same numbers.
    double open = 0, high = 0, low = 0, close = 0;
    std::int64_t volume = 0;
    double turnover = 0; // yen; 0 when the file leaves it empty
    // Prices of the days before this one are multiplied by it (0.5 for a 1:2 split), volumes divided.
    double factor = 1;
    bool upperLimit = false; // closed at the daily upper price limit
    bool lowerLimit = false; // closed at the daily lower price limit
};

// The quotes of one stock, oldest day first, one per date.
struct ApiStockQuotes {
    std::string code; // the four-character code (the check character dropped)
    std::vector<ApiQuote> days;
};

// One stock of the listed issues.
struct ApiListedIssue {
    std::string code;
    std::string name;
    std::string marketCode; // the API's market code, "0111"
    int market = 0;         // this system's market code; 0 for a market it does not have
    Date date;              // the day the entry describes
};

enum class ApiFileKind { Quotes, ListedIssues };

// What one file gives: the stocks that read cleanly, one message per problem ("file:line: ..."),
// and the codes of the stocks left out because of them.
struct ApiFile {
    ApiFileKind kind = ApiFileKind::Quotes;
    std::vector<ApiStockQuotes> quotes;
    std::vector<ApiListedIssue> issues;
    std::vector<std::string> problems;
    std::vector<std::string> skippedCodes;
};

// This system's market code for the API's market code ("0111" gives 14), or 0.
int marketOfApiCode(std::string_view apiMarketCode);

// The four-character code of the API's five-character code ("86970" gives "8697", "130A0" gives
// "130A"); empty when the text is no such code. Only the check character "0" (the common share)
// names a stock of the daily tables.
std::string codeOfApiCode(std::string_view apiCode);

// True when the bytes look like a data API file (JSON, or CSV whose header names the API's fields).
bool looksLikeApiFile(std::string_view bytes);
// The same for the first bytes of a file; false when it cannot be read (the reader says why).
bool isApiFile(const std::filesystem::path& file);

// Reads a data API file's bytes; label names the file in messages. A bad record is reported with
// its line and its stock left out; an error means the file as a whole cannot be read (broken JSON,
// missing columns), and nothing of it is used.
Result<ApiFile> parseApiFile(std::string_view bytes, std::string_view label);

Result<ApiFile> readApiFile(const std::filesystem::path& file);

} // namespace vorteq::server
