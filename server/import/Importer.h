#pragma once

#include "common/Result.h"
#include "conditions/TJouken.h"
#include "series/TStkDailyData.h"
#include "server/import/PriceFile.h"
#include "server/storage/Database.h"
#include "server/storage/Schema.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq {
class TStkAnalisys;
}

namespace vorteq::server {

// The conditions the importer analyses with: every indicator at its default period, the four
// moving averages at 5, 15, 25 and 50 days (the MA_05 .. MA_50 columns).
TJouken importConditions();

// One stored value: no value, an integer or a float.
struct CellValue {
    enum class Kind : std::uint8_t { Null, Integer, Real };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
};

// The double a number's text reads as, as std::from_chars reads it; nothing for a text that is not
// a finite number. The database keeps a general-format text as that double; the server writes the
// double back as the shortest text that reads back to it, which is this text again (a text of at
// most 15 significant digits survives the trip through a double).
std::optional<double> doubleOfText(std::string_view text);

// A day field as the daily tables keep it: the double its text reads as (an integer for a whole
// value in an integer column); no value when the field is empty or not a number.
CellValue storedValueOf(const DayValue& field, ColumnType type);

// One row of a daily table without the stock code: the date and the values of the columns from
// S_PRICE on, in table order. The values are part of the row, so that a stock's rows take one
// allocation, made by the analysis and freed by the writer, instead of one per row.
struct DailyRow {
    Date date;
    std::array<CellValue, kDailyValueCount> values{};
};

// A stock ready to be written: its master data and its rows, oldest day first.
struct PreparedStock {
    std::string code;
    std::string name;
    int market = 0;
    std::vector<DailyRow> rows;
    std::function<Status(Database&)> alsoWrite; // from the series
};

// The INSERT of every column of a daily table, for rows rows at once; bindDailyRow binds one
// stock's row to it, from parameter first on (the n-th row of a statement: 1 + n * columns).
std::string dailyInsertSql(std::string_view table, std::string_view verb = "INSERT", int rows = 1);
void bindDailyRow(Statement& insert, std::string_view code, const DailyRow& row, int first = 1);

// Runs the analysis engine over the whole series and turns every day into a row. The engine is
// the caller's (one per thread; it is reused from stock to stock). The rows are written into
// storage, rows of an earlier stock given back for reuse (every value is overwritten).
Result<PreparedStock> prepareStock(TStkAnalisys& engine, const StockSeries& series,
                                   std::vector<DailyRow> storage = {});

// The market of a code, or nullptr.
const Market* findMarket(int code);

// Where an import writes its prepared stocks, one at a time, in batches: each stock all or
// nothing, stored once its batch is committed.
class StockStore {
public:
    virtual ~StockStore() = default;
    virtual Status write(const PreparedStock& stock) = 0;
    virtual std::size_t pendingRows() const = 0;
    virtual Status commit() = 0;
    // Commits, then sets STK_UPD from the data.
    virtual Status updateDates() = 0;
};

// Writes prepared stocks into one database: the stock's rows in every daily table are replaced,
// its master row written, and a missing yearly table created. Each stock is all or nothing (a
// savepoint of its own); several stocks share one transaction, so that the pages every stock
// touches (the date indexes) are written once per batch instead of once per stock.
//
// In bulk (the default) several rows go into one INSERT, and a stock's rows are not looked for in a
// table that was empty when the writer's first batch began and has since held only rows this
// writer wrote for other stocks, as long as no other connection has committed anything in the
// meantime. Row by row writes one row per INSERT and deletes from every table: the same rows.
class StockWriter final : public StockStore {
public:
    enum class Mode { Bulk, RowByRow };
    static Result<StockWriter> open(Database& db, Mode mode = Mode::Bulk);
    StockWriter(StockWriter&&) noexcept;
    StockWriter& operator=(StockWriter&&) noexcept;
    // Rolls back what has not been committed.
    ~StockWriter() override;

    // Writes one stock into the open batch; on failure nothing of it is changed and the batch
    // goes on. The stock is stored once the batch is committed.
    Status write(const PreparedStock& stock) override;

    // Rows written since the last commit.
    std::size_t pendingRows() const override;

    // Commits the open batch, if any. On failure the whole batch is rolled back.
    Status commit() override;

    // Commits, then sets STK_UPD from the data: the stock-price row (UPD_FLG 1) to the latest day of the
    // stock markets, the exchange-rate row (UPD_FLG 2) to the latest day of the FX market. A family without
    // any row leaves its row as it was.
    Status updateDates() override;

private:
    struct Impl;
    explicit StockWriter(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

// Turns off SQLite's process-wide memory statistics, which take a global lock on every allocation.
// Takes effect only before the process first uses SQLite; later it does nothing. For programs
// that import in bulk or serve many requests at once.
void disableSqliteMemoryStatistics();

// One unit of import work: reads a file or makes a generated stock.
using StockSource = std::function<Result<StockBatch>()>;

struct ImportProgress {
    std::size_t sourcesDone = 0;
    std::size_t sourcesTotal = 0;
    int imported = 0;
    int skipped = 0;
};

struct ImportOptions {
    int workers = 0; // analysis threads; 0: one per core but one (the writer's)
    // Pages of the write-ahead log (4 KiB each) after which the writer waits for them to be copied
    // into the database file. The log starts afresh only at the beginning of a write that finds
    // every page in it copied, so without this bound it would grow with the whole import.
    int logPagesBound = 65536;
    // Receives every problem (bad row, unreadable file, stock left out), one line each.
    std::function<void(const std::string&)> message;
    // Called after each source has been written.
    std::function<void(const ImportProgress&)> progress;
};

struct ImportSummary {
    int imported = 0;      // stocks written
    int skipped = 0;       // stocks left out (bad rows, a failed analysis or write)
    int failedSources = 0; // files that could not be read at all
    std::int64_t days = 0; // rows written
};

// Reads, analyses (in parallel) and writes (on the calling thread, in source order) every stock,
// then updates STK_UPD. A bad stock or file is reported and the rest goes on; an error is returned
// only when the database cannot be used at all.
Result<ImportSummary> importStocks(Database& db, std::vector<StockSource> sources,
                                   const ImportOptions& options);
// The same into any target (the PostgreSQL one).
Result<ImportSummary> importStocks(StockStore& target, std::vector<StockSource> sources,
                                   const ImportOptions& options);

} // namespace vorteq::server
