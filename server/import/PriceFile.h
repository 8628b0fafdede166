#pragma once

#include "common/DateText.h"
#include "common/Result.h"
#include "server/storage/Database.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::server {

// One trading day of a stock as the importer keeps it. Prices are texts in the general number
// format ("100.5", not "100.50"), so that the analysis reads exactly what the server will later
// give back to the client.
struct PriceDay {
    Date date;
    std::string open;
    std::string high;
    std::string low;
    std::string close;
    std::int64_t volume = 0; // shares
};

// One stock's daily series, oldest day first, one row per date.
struct StockSeries {
    std::string code;
    std::string name; // empty: keep the stored name (a new stock is named by its code)
    int market = 0;   // market code (11, 12, ..., 999)
    std::vector<PriceDay> days;
    // Rows of the stock's own in other tables, written in the same step as its daily rows, so that
    // either both are stored or neither (empty: none).
    std::function<Status(Database&)> alsoWrite;
};

// What one price file (or one generated unit) gives the importer: the stocks that read cleanly,
// one message per bad row ("file:line: ..."), and the number of stocks left out because of them.
struct StockBatch {
    std::vector<StockSeries> stocks;
    std::vector<std::string> problems;
    int skippedStocks = 0;
};

// A stock code as the client uses it: 1 to 10 decimal digits, no leading zero (the client writes
// all-digit codes unquoted into IN lists, where "0123" would read as 123), or four characters of a
// leading digit and then digits or capital letters (130A), which the client always quotes.
bool isStockCode(std::string_view code);

// What is wrong with a stock name that must travel on the wire (control characters, no CP932
// form); empty when it is fine.
std::string nameProblem(std::string_view name);

// The code a file name stands for: "7203.csv", "7203_daily.txt" give "7203"; empty when the name
// does not start with a code.
std::string codeFromFileName(const std::filesystem::path& file);

// Raw file bytes to UTF-8 lines: a UTF-8 byte-order mark is dropped; text that is not valid UTF-8
// is read as CP932. Fails when it is neither.
Result<std::vector<std::string>> decodeLines(std::string_view bytes);

// Splits one comma-separated line into fields; a field in double quotes may hold commas and
// doubled quotes. Blanks around an unquoted field are trimmed.
std::vector<std::string> splitCsvFields(std::string_view line);

// Reads the daily prices of price-file text (already decoded to lines). label names the file in
// messages. Columns come from a header line (日付/Date, 始値/Open, 高値/High, 安値/Low, 終値/Close,
// 出来高/Volume, and optionally コード/Code and 銘柄名/Name), or without a header are either
// date,open,high,low,close,volume[,...] or code,date,open,high,low,close,volume[,...]. Rows without
// a code column belong to defaultCode. Dates are yyyy-mm-dd or yyyy/mm/dd, in any order. A bad row
// is reported and its stock left out; an error means the file as a whole cannot be read.
Result<StockBatch> parsePriceLines(const std::vector<std::string>& lines, std::string_view label,
                                   std::string_view defaultCode, int market);

// Reads a price file; the stock code comes from codeOverride when given, else from a code column,
// else from the file name.
Result<StockBatch> readPriceFile(const std::filesystem::path& file, std::string_view codeOverride,
                                 int market);

// Reads a names file: lines "code,name" (a header line is allowed), UTF-8 or CP932.
Result<std::map<std::string, std::string>> readNamesFile(const std::filesystem::path& file);

} // namespace vorteq::server
