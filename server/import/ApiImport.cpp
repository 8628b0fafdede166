#include "server/import/ApiImport.h"

#include "analysis/TStkAnalisys.h"
#include "server/storage/QuoteStore.h"
#include "server/storage/Schema.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <thread>

namespace vorteq::server {

namespace {

void say(const ApiImportOptions& options, const std::string& line)
{
    if (options.message)
        options.message(line);
}

std::string stockText(const std::string& code)
{
    return "銘柄 " + code + ": ";
}

// The market of a stock from the listed issues, else the fallback; 0 after a message.
int marketOf(const ApiData& data, const std::string& code, int fallback, const ApiImportOptions& options)
{
    if (auto it = data.issues.find(code); it != data.issues.end()) {
        if (it->second.market == 0)
            say(options, stockText(code) + "市場コード " + it->second.marketCode +
                             " の市場はありません（取り込みませんでした）");
        return it->second.market;
    }
    if (fallback == 0)
        say(options, stockText(code) +
                         "上場銘柄のファイルにないため市場が分かりません。上場銘柄のファイルを加えるか "
                         "--market を指定してください（取り込みませんでした）");
    return fallback;
}

std::string nameOf(const ApiData& data, const std::string& code)
{
    auto it = data.issues.find(code);
    return it == data.issues.end() ? std::string() : it->second.name;
}

// An update's writer has little to do (a row or two per stock): by default every core analyses.
std::size_t workerCount(int requested, std::size_t total)
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t n = requested > 0 ? static_cast<std::size_t>(requested) : cores;
    return std::max<std::size_t>(1, std::min(n, total));
}

} // namespace

ApiData readApiFiles(const std::vector<std::string>& files,
                     const std::function<void(const std::string&)>& message)
{
    ApiData data;
    for (const std::string& file : files) {
        auto read = readApiFile(file);
        if (!read) {
            if (message)
                message(read.error().message + "（このファイルは使いませんでした）");
            ++data.failedFiles;
            continue;
        }
        if (message)
            for (const std::string& line : read->problems)
                message(line);
        data.rejected.insert(read->skippedCodes.begin(), read->skippedCodes.end());
        for (ApiListedIssue& issue : read->issues) {
            auto [it, added] = data.issues.try_emplace(issue.code, issue);
            if (!added && !(issue.date < it->second.date))
                it->second = std::move(issue);
        }
        for (ApiStockQuotes& stock : read->quotes) {
            std::vector<ApiQuote>& days = data.quotes[stock.code];
            days = mergeQuotes(std::move(days), stock.days);
        }
    }
    for (const std::string& code : data.rejected)
        data.quotes.erase(code);
    return data;
}

Result<ImportSummary> importApiFiles(Database& db, const std::vector<std::string>& files,
                                     const ApiImportOptions& options)
{
    if (auto st = createQuoteTables(db); !st)
        return st.error();
    auto data = std::make_shared<ApiData>(readApiFiles(files, options.message));
    std::vector<StockSource> sources;
    int skipped = static_cast<int>(data->rejected.size());
    for (const auto& [code, days] : data->quotes) {
        const int market = marketOf(*data, code, options.fallbackMarket, options);
        if (market == 0) {
            ++skipped;
            continue;
        }
        const bool adjusted = options.adjusted;
        sources.push_back([data, code = code, market, adjusted]() -> Result<StockBatch> {
            const std::vector<ApiQuote>& quotes = data->quotes.at(code);
            StockBatch batch;
            batch.stocks.push_back(seriesOfQuotes(code, nameOf(*data, code), market, quotes, adjusted));
            batch.stocks.back().alsoWrite = [data, code, adjusted](Database& target) {
                return replaceQuotes(target, ApiStockQuotes{code, data->quotes.at(code)}, adjusted);
            };
            return batch;
        });
    }
    ImportOptions importOptions;
    importOptions.workers = options.workers;
    importOptions.message = options.message;
    importOptions.progress = options.progress;
    auto summary = importStocks(db, std::move(sources), importOptions);
    if (!summary)
        return summary.error();
    summary->skipped += skipped;
    summary->failedSources += data->failedFiles;
    return summary;
}

namespace {

// What a worker decides for one stock of an update.
struct UpdatePlan {
    enum class Kind { Append, Rewrite, Skip, Unchanged };
    Kind kind = Kind::Skip;
    bool isNew = false;
    std::string code;
    PreparedStock prepared;       // Append: the new days' rows only; Rewrite: every row
    std::vector<ApiQuote> quotes; // Append: the new quotes; Rewrite: all of them
    bool adjusted = true;
    bool setInfo = false; // Append: the listed issues name the stock
    bool analysedWhole = false;
    std::string message;
};

std::string_view familyOf(int market)
{
    const Market* m = findMarket(market);
    return m ? m->family : std::string_view();
}

// An appended day needs its indicators as the whole history gives them. The recursive ones (the
// exponential averages of MACD and DMI, the two SARs) forget their start long before this many days,
// as every value is kept to 15 digits; the shorter analysis is taken only when its last stored days
// equal the stored rows exactly, and otherwise the whole history is analysed.
constexpr std::size_t kTailDays = 1000;
constexpr std::size_t kCheckedDays = 100;

// True when the rows of the last `count` stored days equal those the daily tables hold.
Result<bool> sameAsStored(Database& db, const PreparedStock& prepared, const Date& lastStored,
                          std::size_t count)
{
    const Market* market = findMarket(prepared.market);
    std::vector<const DailyRow*> check;
    for (auto it = prepared.rows.rbegin(); it != prepared.rows.rend() && check.size() < count; ++it)
        if (!(lastStored < it->date))
            check.push_back(&*it);
    if (check.size() < count)
        return false;
    std::map<std::string, const DailyRow*> byDate;
    for (const DailyRow* row : check)
        byDate[formatDate(row->date)] = row;
    std::string columns;
    const auto daily = dailyColumns();
    for (std::size_t c = 1; c < daily.size(); ++c)
        columns += (c > 1 ? ", " : "") + std::string(daily[c].name);
    std::size_t matched = 0;
    for (int year = check.back()->date.year; year <= check.front()->date.year; ++year) {
        auto rows = db.prepare("SELECT " + columns + " FROM " + dailyTableName(market->family, year) +
                               " WHERE STK_CD = ? AND STK_DATE >= ?");
        if (!rows)
            return rows.error();
        const std::string from = formatDate(check.back()->date);
        rows->bind(1, std::string_view(prepared.code)).bind(2, std::string_view(from));
        sqlite3_stmt* st = rows->handle();
        for (;;) {
            auto row = rows->step();
            if (!row)
                return row.error();
            if (!*row)
                break;
            auto found = byDate.find(rows->text(0));
            if (found == byDate.end())
                return false;
            for (std::size_t v = 0; v < found->second->values.size(); ++v) {
                const CellValue& cell = found->second->values[v];
                const int column = static_cast<int>(v) + 1;
                const bool storedNull = sqlite3_column_type(st, column) == SQLITE_NULL;
                if (storedNull != (cell.kind == CellValue::Kind::Null))
                    return false;
                if (cell.kind == CellValue::Kind::Integer && sqlite3_column_int64(st, column) != cell.integer)
                    return false;
                if (cell.kind == CellValue::Kind::Real && sqlite3_column_double(st, column) != cell.real)
                    return false;
            }
            ++matched;
        }
    }
    return matched == byDate.size();
}

bool sameAsStoredQuote(const std::vector<ApiQuote>& stored, const ApiQuote& q)
{
    const auto at = std::lower_bound(stored.begin(), stored.end(), q.date,
                                     [](const ApiQuote& s, const Date& d) { return s.date < d; });
    return at != stored.end() && at->date == q.date && at->traded == q.traded && at->open == q.open &&
           at->high == q.high && at->low == q.low && at->close == q.close && at->volume == q.volume &&
           at->turnover == q.turnover && at->factor == q.factor && at->upperLimit == q.upperLimit &&
           at->lowerLimit == q.lowerLimit;
}

Result<UpdatePlan> planStock(Database& db, TStkAnalisys& engine, const ApiData& data, const std::string& code,
                             const ApiImportOptions& options)
{
    UpdatePlan plan;
    plan.code = code;
    auto info = db.prepare("SELECT MKT_CD FROM STK_INFO WHERE STK_CD = ?");
    if (!info)
        return info.error();
    info->bind(1, std::string_view(code));
    auto hasInfo = info->step();
    if (!hasInfo)
        return hasInfo.error();
    const int storedMarket = *hasInfo ? static_cast<int>(info->integer(0)) : 0;
    info->reset();
    auto stored = readQuotes(db, code, kTailDays);
    if (!stored)
        return stored.error();
    if (!*stored && *hasInfo) {
        plan.message =
            stockText(code) +
            "データ API のファイルから取り込まれていないため、日を足せません。import で取り込み直してください"
            "（更新しませんでした）";
        return plan;
    }
    // Days the database already holds as the files give them are no news: a repeated or resumed
    // update changes nothing for them.
    std::vector<ApiQuote> newer;
    for (const ApiQuote& q : data.quotes.at(code))
        if (!*stored || !sameAsStoredQuote((*stored)->days, q))
            newer.push_back(q);
    if (newer.empty()) {
        plan.kind = UpdatePlan::Kind::Unchanged;
        return plan;
    }
    const auto issue = data.issues.find(code);
    int market = storedMarket;
    if (issue != data.issues.end())
        market = issue->second.market;
    else if (!*stored)
        market = options.fallbackMarket;
    if (market == 0 || !findMarket(market)) {
        plan.message =
            stockText(code) +
            (issue != data.issues.end()
                 ? "市場コード " + issue->second.marketCode + " の市場はありません"
                 : std::string("上場銘柄のファイルにないため市場が分かりません（--market で指定できます）")) +
            "（更新しませんでした）";
        return plan;
    }
    plan.adjusted = *stored ? (*stored)->adjusted : options.adjusted;
    plan.isNew = !*stored;
    plan.setInfo = issue != data.issues.end();

    bool rewrite = plan.isNew || familyOf(market) != familyOf(storedMarket);
    Date lastStored{};
    if (*stored && !(*stored)->days.empty())
        lastStored = (*stored)->days.back().date;
    for (const ApiQuote& q : newer) {
        // A corrected older day, or a split whose factor changes every earlier adjusted day.
        if ((*stored && !(lastStored < q.date)) || (plan.adjusted && q.factor != 1.0))
            rewrite = true;
    }
    // Only the latest days were read: a rewrite needs them all.
    bool tail = *stored && (*stored)->truncated;
    if (tail && rewrite) {
        stored = readQuotes(db, code);
        if (!stored)
            return stored.error();
        tail = false;
    }
    for (;;) {
        std::vector<ApiQuote> merged = *stored ? mergeQuotes((*stored)->days, newer) : newer;
        const StockSeries series = seriesOfQuotes(code, nameOf(data, code), market, merged, plan.adjusted);
        auto prepared = prepareStock(engine, series);
        if (!prepared) {
            plan.message = prepared.error().message + "（更新しませんでした）";
            return plan;
        }
        if (tail) {
            auto same = sameAsStored(db, *prepared, lastStored, kCheckedDays);
            if (!same)
                return same.error();
            if (!*same) {
                // The shorter history has not settled: analyse the whole of it.
                stored = readQuotes(db, code);
                if (!stored)
                    return stored.error();
                tail = false;
                plan.analysedWhole = true;
                continue;
            }
        }
        plan.prepared = std::move(*prepared);
        if (rewrite) {
            plan.kind = UpdatePlan::Kind::Rewrite;
            plan.quotes = std::move(merged);
        } else {
            plan.kind = UpdatePlan::Kind::Append;
            std::vector<DailyRow>& rows = plan.prepared.rows;
            rows.erase(rows.begin(), std::find_if(rows.begin(), rows.end(),
                                                  [&](const DailyRow& r) { return lastStored < r.date; }));
            plan.quotes = newer;
        }
        return plan;
    }
}

// Writes appended days: INSERT OR REPLACE into the daily tables, each stock in a savepoint of its
// own, many stocks per transaction but no transaction open for long.
class AppendWriter {
public:
    explicit AppendWriter(Database& db) : m_db(db) {}

    Status begin()
    {
        if (m_open)
            return Status::success();
        if (auto st = m_db.exec("BEGIN IMMEDIATE"); !st)
            return st;
        m_open = true;
        m_openedAt = std::chrono::steady_clock::now();
        m_stocks = 0;
        return Status::success();
    }

    // Commits when the transaction has run long enough that a waiting writer (a login) should go.
    Status commitIfDue()
    {
        if (m_open && (m_stocks >= kStocksPerTransaction ||
                       std::chrono::steady_clock::now() - m_openedAt >= kTransactionTime))
            return commit();
        return Status::success();
    }

    Status commit()
    {
        if (!m_open)
            return Status::success();
        m_open = false;
        Status st = m_db.exec("COMMIT");
        if (!st) {
            (void)m_db.exec("ROLLBACK");
            m_inserts.clear(); // a table made in the lost transaction is gone again
        }
        return st;
    }

    Status write(const UpdatePlan& plan)
    {
        if (auto st = begin(); !st)
            return st;
        if (auto st = m_db.exec("SAVEPOINT stock"); !st)
            return st;
        Status st = writeRows(plan);
        if (!st) {
            (void)m_db.exec("ROLLBACK TO stock");
            (void)m_db.exec("RELEASE stock");
            return st;
        }
        ++m_stocks;
        return m_db.exec("RELEASE stock");
    }

private:
    static constexpr int kStocksPerTransaction = 200;
    static constexpr std::chrono::milliseconds kTransactionTime{50};

    Status writeRows(const UpdatePlan& plan)
    {
        const Market* market = findMarket(plan.prepared.market);
        for (const DailyRow& row : plan.prepared.rows) {
            const std::string table = dailyTableName(market->family, row.date.year);
            auto found = m_inserts.find(table);
            if (found == m_inserts.end()) {
                if (auto st = createDailyTable(m_db, market->family, row.date.year); !st)
                    return st;
                auto insert = m_db.prepare(dailyInsertSql(table, "INSERT OR REPLACE"));
                if (!insert)
                    return insert.error();
                found = m_inserts.emplace(table, std::move(*insert)).first;
            }
            bindDailyRow(found->second, plan.code, row);
            Status st = found->second.run();
            found->second.reset();
            if (!st)
                return st;
        }
        if (plan.setInfo) {
            auto info = m_db.prepare("UPDATE STK_INFO SET STK_NM = ?, MKT_CD = ? WHERE STK_CD = ?");
            if (!info)
                return info.error();
            info->bind(1, std::string_view(plan.prepared.name))
                .bind(2, std::int64_t{plan.prepared.market})
                .bind(3, std::string_view(plan.code));
            if (auto st = info->run(); !st)
                return st;
        }
        return upsertQuotes(m_db, plan.code, plan.quotes);
    }

    Database& m_db;
    bool m_open = false;
    int m_stocks = 0;
    std::chrono::steady_clock::time_point m_openedAt;
    std::map<std::string, Statement> m_inserts;
};

} // namespace

Result<UpdateSummary> updateFromApiFiles(const std::string& dbPath, const std::vector<std::string>& files,
                                         const ApiImportOptions& options)
{
    auto db = Database::open(dbPath, false);
    if (!db)
        return db.error();
    if (auto st = createQuoteTables(*db); !st)
        return st.error();
    auto writer = StockWriter::open(*db);
    if (!writer)
        return writer.error();
    const ApiData data = readApiFiles(files, options.message);
    UpdateSummary summary;
    summary.failedFiles = data.failedFiles;
    summary.skipped = static_cast<int>(data.rejected.size());
    std::vector<std::string> codes;
    for (const auto& [code, days] : data.quotes)
        codes.push_back(code);
    const std::size_t total = codes.size();

    // Workers read and analyse; the calling thread writes. The queue of finished plans is bounded,
    // so that memory stays that of a few stocks whatever the market's size.
    const std::size_t workers = workerCount(options.workers, total);
    const std::size_t window = 2 * workers + 2;
    std::mutex mutex;
    std::condition_variable ready, taken;
    std::deque<UpdatePlan> done;
    std::size_t next = 0, finished = 0;
    bool stop = false;
    auto work = [&] {
        auto own = Database::open(dbPath, false);
        TStkAnalisys engine;
        for (;;) {
            std::size_t k = 0;
            {
                std::unique_lock lock(mutex);
                taken.wait(lock, [&] { return stop || next >= total || done.size() < window; });
                if (stop || next >= total)
                    return;
                k = next++;
            }
            UpdatePlan plan;
            plan.code = codes[k];
            try {
                if (!own) {
                    plan.message = stockText(codes[k]) + "データベースを開けません: " + own.error().message;
                } else if (auto made = planStock(*own, engine, data, codes[k], options); made) {
                    plan = std::move(*made);
                } else {
                    plan.message = stockText(codes[k]) + "読めませんでした: " + made.error().message;
                }
            } catch (const std::exception& e) {
                plan.kind = UpdatePlan::Kind::Skip;
                plan.message = stockText(codes[k]) + "更新を中断しました: " + e.what();
            }
            {
                std::lock_guard lock(mutex);
                done.push_back(std::move(plan));
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> threads;
    struct Join {
        std::vector<std::thread>& threads;
        std::mutex& mutex;
        bool& stop;
        std::condition_variable& taken;
        ~Join()
        {
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            taken.notify_all();
            for (std::thread& t : threads)
                if (t.joinable())
                    t.join();
        }
    } join{threads, mutex, stop, taken};
    for (std::size_t i = 0; i < workers && total > 0; ++i)
        threads.emplace_back(work);

    AppendWriter appender(*db);
    std::vector<std::pair<std::string, std::size_t>> pending; // appended stocks, counted once committed
    auto settle = [&](Status st) {
        for (const auto& [code, rows] : pending) {
            if (st) {
                summary.days += static_cast<std::int64_t>(rows);
                ++summary.appended;
            } else {
                say(options, stockText(code) + "書き込みを確定できませんでした: " + st.error().message +
                                 "（更新しませんでした）");
                ++summary.skipped;
            }
        }
        pending.clear();
    };
    while (finished < total) {
        UpdatePlan plan;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return !done.empty(); });
            plan = std::move(done.front());
            done.pop_front();
        }
        taken.notify_all();
        ++finished;
        if (plan.kind == UpdatePlan::Kind::Unchanged) {
            ++summary.unchanged;
        } else if (plan.kind == UpdatePlan::Kind::Skip) {
            say(options, plan.message);
            ++summary.skipped;
        } else if (plan.kind == UpdatePlan::Kind::Append) {
            if (Status st = appender.write(plan); st) {
                pending.emplace_back(plan.code, plan.prepared.rows.size());
                summary.analysedWhole += plan.analysedWhole ? 1 : 0;
            } else {
                say(options, stockText(plan.code) + "書き込めませんでした: " + st.error().message +
                                 "（更新しませんでした）");
                ++summary.skipped;
            }
            settle(appender.commitIfDue());
        } else {
            // A whole history: the importer's writer replaces the stock's rows in one transaction.
            settle(appender.commit());
            const std::vector<ApiQuote> quotes = std::move(plan.quotes);
            const std::string code = plan.code;
            const bool adjusted = plan.adjusted;
            plan.prepared.alsoWrite = [&quotes, &code, adjusted](Database& target) {
                return replaceQuotes(target, ApiStockQuotes{code, quotes}, adjusted);
            };
            Status st = writer->write(plan.prepared);
            if (st)
                st = writer->commit();
            if (st) {
                summary.days += static_cast<std::int64_t>(plan.prepared.rows.size());
                (plan.isNew ? summary.added : summary.readjusted) += 1;
            } else {
                say(options, st.error().message + "（更新しませんでした）");
                ++summary.skipped;
            }
        }
        if (options.progress)
            options.progress(ImportProgress{
                finished, total, summary.appended + summary.readjusted + summary.added, summary.skipped});
    }
    settle(appender.commit());
    if (auto st = writer->updateDates(); !st)
        return makeError(st.error().code, "更新日（STK_UPD）を書き込めませんでした: " + st.error().message);
    return summary;
}

} // namespace vorteq::server
