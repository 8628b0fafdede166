#include "server/import/Importer.h"

#include "analysis/TStkAnalisys.h"
#include "common/NumberText.h"
#include "indicators/IndicatorTable.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <sqlite3.h>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace vorteq::server {

std::optional<double> doubleOfText(std::string_view text)
{
    // Digits with at most one point inside, 15 digits at most (a price in the general format):
    // the whole number q of those digits is exact in a double, and so is 10^k for the k decimals;
    // one division rounds q / 10^k correctly, which is what reading the text does.
    static constexpr std::array<double, 16> kPow10{1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    std::uint64_t q = 0;
    std::size_t digits = 0;
    std::size_t point = text.size();
    bool plain = !text.empty() && text.size() <= 16;
    for (std::size_t i = 0; plain && i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            q = q * 10 + static_cast<std::uint64_t>(c - '0');
            ++digits;
        } else if (c == '.' && point == text.size() && i > 0 && i + 1 < text.size()) {
            point = i;
        } else {
            plain = false;
        }
    }
    if (plain && digits <= 15) {
        const std::size_t decimals = point == text.size() ? 0 : text.size() - point - 1;
        return static_cast<double>(q) / kPow10[decimals];
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

namespace {

// The double that the general-format text of a stored number reads as, without making the text.
// A stored number is what that text (at most 15 significant digits) reads back as in extended
// precision, correctly rounded. Rounding it once more, to a double, gives what reading the text as
// a double gives: rounding to 64 bits never carries a value across a point halfway between two
// doubles, it can only land on one. A number lying exactly on such a point goes through its text.
std::optional<double> doubleOfStoredNumber(long double v)
{
    const long double size = std::fabs(v);
    if (!(size > 1e-300L && size < 1e300L)) // zero, subnormal doubles, NaN: through the text
        return std::nullopt;
    // In this range the double is a normal one: it keeps the top 53 of the 64 significand bits,
    // and the value lies halfway between two doubles when the 11 bits dropped are 10000000000.
    static_assert(std::numeric_limits<long double>::digits == 64);
    std::uint64_t significand = 0;
    std::memcpy(&significand, &v, sizeof significand);
    if ((significand & 0x7ff) == 0x400)
        return std::nullopt;
    return static_cast<double>(v);
}

} // namespace

CellValue storedValueOf(const DayValue& field, ColumnType type)
{
    CellValue cell;
    if (field.empty())
        return cell;
    std::optional<double> d;
    if (type == ColumnType::Real && field.isNumber()) {
        // A computed value in a float column: rounded straight to a double. Where the value is a
        // whole number of hundredths q / 100 (|q| below 1E15, so at most 15 significant digits),
        // that number is the one decimal of at most 15 digits that reads back as it in extended
        // precision, which is its text; rounding it to a double therefore gives the double of its
        // text, just as q / 100 formed as a double does. Zero is stored as +0, whatever its sign.
        const long double v = field.storedNumber();
        d = v == 0 ? std::optional<double>(0.0) : doubleOfStoredNumber(v);
    } else {
        const auto number = field.number();
        if (!number)
            return cell;
        const long double v = *number;
        // Most values are whole hundredths (the two-decimal fields, the averages of whole-yen
        // prices); for those the value is formed directly from the hundredths, which is exactly
        // what reading their text would give.
        if (std::fabs(v) < 1e13L) {
            const long double scaled = v * 100.0L;
            const auto k = static_cast<std::int64_t>(scaled + (scaled < 0 ? -0.5L : 0.5L));
            if (static_cast<long double>(k) / 100.0L == v) {
                if (type == ColumnType::Integer && k % 100 == 0) {
                    cell.kind = CellValue::Kind::Integer;
                    cell.integer = k / 100;
                } else {
                    cell.kind = CellValue::Kind::Real;
                    cell.real = static_cast<double>(k) / 100.0;
                }
                return cell;
            }
        }
        if (field.isNumber())
            d = doubleOfStoredNumber(v);
    }
    if (!d)
        d = doubleOfText(field.text());
    if (d) {
        cell.kind = CellValue::Kind::Real;
        cell.real = *d;
    }
    return cell;
}

namespace {

CellValue realOf(std::string_view text)
{
    CellValue cell;
    if (auto d = doubleOfText(text)) {
        cell.kind = CellValue::Kind::Real;
        cell.real = *d;
    }
    return cell;
}

Error stockError(const std::string& code, std::string message)
{
    return makeError(ErrorCode::Data, "銘柄 " + code + ": " + std::move(message));
}

bool sameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

} // namespace

void disableSqliteMemoryStatistics()
{
    (void)sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
}

TJouken importConditions()
{
    TJouken conditions;
    conditions.set("AmtBuyIdo", "5");
    conditions.set("AmtBuyKairi1", "15");
    conditions.set("AmtBuyCloss1", "25");
    conditions.set("AmtBuyCloss2", "50");
    return conditions;
}

const Market* findMarket(int code)
{
    for (const Market& m : kMarkets)
        if (m.code == code)
            return &m;
    return nullptr;
}

Result<PreparedStock> prepareStock(TStkAnalisys& engine, const StockSeries& series,
                                   std::vector<DailyRow> storage)
{
    const int n = static_cast<int>(series.days.size());
    if (n == 0)
        return stockError(series.code, "日足がありません");
    // The engine reads the table in the shape of the daily-price query: newest day first.
    Ptbl table = makePtbl(TStkAnalisys::kColVolume + 1, n + 1);
    PtblData& t = *table;
    for (int k = 0; k < n; ++k) {
        const PriceDay& day = series.days[static_cast<std::size_t>(k)];
        const int row = n - k;
        t.set(TStkAnalisys::kColCode, row, series.code);
        t.set(TStkAnalisys::kColDate, row, formatDate(day.date));
        t.set(TStkAnalisys::kColOpen, row, day.open);
        t.set(TStkAnalisys::kColHigh, row, day.high);
        t.set(TStkAnalisys::kColLow, row, day.low);
        t.set(TStkAnalisys::kColClose, row, day.close);
        t.set(TStkAnalisys::kColVolume, row, std::to_string(day.volume));
    }
    static const TJouken kConditions = importConditions();
    const std::string first = formatDate(series.days.front().date);
    const std::string last = formatDate(series.days.back().date);
    if (auto st = engine.Analyze(table, n, kConditions, first, last, false); !st)
        return stockError(series.code, "指標を計算できません: " + st.error().message);
    if (engine.StkList.size() != 1 || engine.StkList.front().Days.size() != series.days.size())
        return stockError(series.code, "指標の計算結果が日足の数と合いません");

    PreparedStock out;
    out.code = series.code;
    out.name = series.name;
    out.market = series.market;
    out.alsoWrite = series.alsoWrite;
    out.rows = std::move(storage);
    out.rows.resize(series.days.size());
    const std::vector<TStkDailyData>& days = engine.StkList.front().Days;
    const auto columns = dailyColumns();
    const auto precomputed = precomputedColumns();
    for (int k = 0; k < n; ++k) {
        const PriceDay& day = series.days[static_cast<std::size_t>(k)];
        const TStkDailyData& computed = days[static_cast<std::size_t>(n - 1 - k)];
        DailyRow& row = out.rows[static_cast<std::size_t>(k)];
        row.date = day.date;
        row.values[0] = realOf(day.open);
        row.values[1] = realOf(day.high);
        row.values[2] = realOf(day.low);
        row.values[3] = realOf(day.close);
        row.values[4].kind = CellValue::Kind::Integer;
        row.values[4].integer = day.volume;
        for (std::size_t c = 0; c < precomputed.size(); ++c)
            row.values[kPriceColumnCount - 2 + c] =
                storedValueOf(computed[precomputed[c].field], columns[kPriceColumnCount + c].type);
    }
    engine.Clear();
    return out;
}

std::string dailyInsertSql(std::string_view table, std::string_view verb, int rows)
{
    std::string sql = std::string(verb) + " INTO " + std::string(table) + " (";
    std::string params;
    const auto columns = dailyColumns();
    for (std::size_t i = 0; i < columns.size(); ++i) {
        sql += (i ? ", " : "") + std::string(columns[i].name);
        params += i ? ", ?" : "(?";
    }
    params += ")";
    sql += ") VALUES " + params;
    for (int r = 1; r < rows; ++r)
        sql += ", " + params;
    return sql;
}

namespace {

// Binds one row from parameter first on; the code's and the date's text must stay as they are
// until the statement has run when lifetime is SQLITE_STATIC.
void bindRow(sqlite3_stmt* insert, int first, std::string_view code, std::string_view date,
             const DailyRow& row, sqlite3_destructor_type lifetime)
{
    sqlite3_bind_text(insert, first, code.data(), static_cast<int>(code.size()), lifetime);
    sqlite3_bind_text(insert, first + 1, date.data(), static_cast<int>(date.size()), lifetime);
    int index = first + 2;
    for (const CellValue& v : row.values) {
        switch (v.kind) {
        case CellValue::Kind::Null:
            sqlite3_bind_null(insert, index);
            break;
        case CellValue::Kind::Integer:
            sqlite3_bind_int64(insert, index, v.integer);
            break;
        case CellValue::Kind::Real:
            sqlite3_bind_double(insert, index, v.real);
            break;
        }
        ++index;
    }
}

// Rows per INSERT, largest first: the statement's fixed cost per run spread over many rows (a
// year of a stock, about 245 rows, takes 7 of 32, 2 of 8 and 5 single ones), with the
// parameters (47 a row) far below SQLite's limit.
constexpr std::array<int, 3> kRowsPerInsert{32, 8, 1};

} // namespace

void bindDailyRow(Statement& insert, std::string_view code, const DailyRow& row, int first)
{
    bindRow(insert.handle(), first, code, formatDate(row.date), row, SQLITE_TRANSIENT);
}

struct StockWriter::Impl {
    Database* db = nullptr;
    StockWriter::Mode mode = StockWriter::Mode::Bulk;
    // Every daily table of the database, by name, with its statements once prepared.
    struct Table {
        std::string family;
        int year = 0;
        std::array<Statement, kRowsPerInsert.size()> inserts; // by kRowsPerInsert
        Statement remove;
        // Holds only rows this writer wrote, for the codes in written: empty when the first batch
        // began (or made by this writer), and no other connection has committed since.
        bool ownRowsOnly = false;
    };
    std::map<std::string, Table> tables;
    Statement upsertInfo;
    std::optional<Transaction> batch;
    std::size_t pending = 0;                 // rows written in the open batch
    std::vector<std::string> createdInBatch; // tables the open batch made
    // Codes of every stock this writer has begun to write.
    std::unordered_set<std::string> written;
    Statement dataVersion;                   // changes when another connection commits
    std::optional<std::int64_t> seenVersion; // at the start of the last batch

    void forget(const std::vector<std::string>& names)
    {
        for (const std::string& name : names)
            tables.erase(name);
    }

    Status savepoint(std::string_view sql) { return db->exec(sql); }

    void addTable(const std::string& name)
    {
        for (std::string_view family : kDailyFamilies)
            if (name.size() == family.size() + 4 && sameName(name.substr(0, family.size()), family)) {
                Table t;
                t.family = std::string(family);
                t.year = std::stoi(name.substr(family.size()));
                tables.emplace(name, std::move(t));
                return;
            }
    }

    Result<bool> isEmpty(const std::string& name)
    {
        auto any = db->prepare("SELECT 1 FROM " + name + " LIMIT 1");
        if (!any)
            return any.error();
        auto row = any->step();
        if (!row)
            return row.error();
        return !*row;
    }

    // At the start of a batch, the write lock held: which tables hold only this writer's rows. The
    // first batch finds the empty ones; a later one keeps them unless another connection has
    // committed anything since the previous batch began (this connection's commits do not count).
    Status settleOwnRows()
    {
        if (mode != StockWriter::Mode::Bulk)
            return Status::success();
        if (!dataVersion.handle()) {
            auto st = db->prepare("PRAGMA data_version");
            if (!st)
                return st.error();
            dataVersion = std::move(*st);
        }
        auto row = dataVersion.step();
        if (!row)
            return row.error();
        if (!*row)
            return makeError(ErrorCode::Internal, "PRAGMA data_version に答えがありません");
        const std::int64_t version = dataVersion.integer(0);
        dataVersion.reset();
        const bool first = !seenVersion;
        const bool othersCommitted = seenVersion && *seenVersion != version;
        seenVersion = version;
        for (auto& [name, table] : tables) {
            if (othersCommitted) {
                table.ownRowsOnly = false;
            } else if (first) {
                auto empty = isEmpty(name);
                if (!empty)
                    return empty.error();
                table.ownRowsOnly = *empty;
            }
        }
        return Status::success();
    }

    Result<Table*> tableFor(const std::string& name)
    {
        auto found = tables.find(name);
        if (found == tables.end())
            return makeError(ErrorCode::Internal, "日足テーブル " + name + " がありません");
        return &found->second;
    }

    // The statement for kRowsPerInsert[size] rows.
    Result<Statement*> insertFor(Table& t, const std::string& name, std::size_t size)
    {
        Statement& insert = t.inserts[size];
        const int rows = kRowsPerInsert[size];
        if (!insert.handle()) {
            // Any failure rolls the whole stock back, so the many-row form need not undo its own
            // rows on a failure (OR FAIL): SQLite then keeps no journal of the statement.
            auto st = db->prepare(dailyInsertSql(name, rows == 1 ? "INSERT" : "INSERT OR FAIL", rows));
            if (!st)
                return st.error();
            insert = std::move(*st);
        }
        return &insert;
    }

    Result<Statement*> removeFor(const std::string& name)
    {
        Table& t = tables.find(name)->second; // called for the names of the map only
        if (!t.remove.handle()) {
            auto st = db->prepare("DELETE FROM " + name + " WHERE STK_CD = ?");
            if (!st)
                return st.error();
            t.remove = std::move(*st);
        }
        return &t.remove;
    }

    Result<std::optional<std::string>> latestDate(const std::vector<std::string_view>& families)
    {
        std::optional<std::string> latest;
        for (const auto& [name, table] : tables) {
            if (std::find(families.begin(), families.end(), table.family) == families.end())
                continue;
            auto st = db->prepare("SELECT MAX(STK_DATE) FROM " + name);
            if (!st)
                return st.error();
            auto row = st->step();
            if (!row)
                return row.error();
            if (*row && !st->isNull(0)) {
                std::string date = st->text(0);
                if (!latest || date > *latest)
                    latest = std::move(date);
            }
        }
        return latest;
    }
};

StockWriter::StockWriter(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
StockWriter::StockWriter(StockWriter&&) noexcept = default;
StockWriter& StockWriter::operator=(StockWriter&&) noexcept = default;
StockWriter::~StockWriter() = default;

Result<StockWriter> StockWriter::open(Database& db, Mode mode)
{
    auto impl = std::make_unique<Impl>();
    impl->db = &db;
    impl->mode = mode;
    // A large page cache for this connection: the date index of a table takes every stock's rows.
    if (auto st = db.exec("PRAGMA cache_size=-262144; PRAGMA temp_store=MEMORY"); !st)
        return st.error();
    auto tables = dailyTableNames(db);
    if (!tables)
        return tables.error();
    for (const std::string& name : *tables)
        impl->addTable(name);
    auto upsert =
        db.prepare("INSERT INTO STK_INFO (STK_CD, STK_NM, MKT_CD) "
                   "VALUES (?1, COALESCE(?2, (SELECT STK_NM FROM STK_INFO WHERE STK_CD = ?1), ?1), ?3) "
                   "ON CONFLICT (STK_CD) DO UPDATE SET STK_NM = excluded.STK_NM, MKT_CD = excluded.MKT_CD");
    if (!upsert)
        return upsert.error();
    impl->upsertInfo = std::move(*upsert);
    return StockWriter(std::move(impl));
}

Status StockWriter::write(const PreparedStock& stock)
{
    Impl& m = *m_impl;
    const Market* market = findMarket(stock.market);
    if (!market)
        return stockError(stock.code, "市場コード " + std::to_string(stock.market) + " はありません");
    if (!m.batch) {
        auto tx = Transaction::begin(*m.db, true);
        if (!tx)
            return stockError(stock.code, "書き込めませんでした: " + tx.error().message);
        m.batch.emplace(std::move(*tx));
        if (auto st = m.settleOwnRows(); !st) {
            m.batch.reset();
            return stockError(stock.code, "書き込めませんでした: " + st.error().message);
        }
    }
    if (auto st = m.savepoint("SAVEPOINT stock"); !st)
        return stockError(stock.code, "書き込めませんでした: " + st.error().message);
    // Tables made for this stock vanish with its rollback, and so must their entries here.
    std::vector<std::string> created;
    auto fail = [&](const Error& e) -> Status {
        (void)m.savepoint("ROLLBACK TO stock");
        (void)m.savepoint("RELEASE stock");
        m.forget(created);
        return stockError(stock.code, "書き込めませんでした: " + e.message);
    };

    // The rows come oldest first, so each year is listed once (a year listed again finds its table).
    std::vector<int> years;
    for (const DailyRow& row : stock.rows)
        if (years.empty() || years.back() != row.date.year)
            years.push_back(row.date.year);
    for (int year : years) {
        const std::string name = dailyTableName(market->family, year);
        if (m.tables.count(name))
            continue;
        if (!isDailyTableName(name))
            return fail(
                makeError(ErrorCode::Data, "年 " + std::to_string(year) + " の日足テーブルは作れません"));
        if (auto st = createDailyTable(*m.db, market->family, year); !st)
            return fail(st.error());
        m.addTable(name);
        created.push_back(name);
        // Another connection may have made it since this writer listed the tables.
        auto empty = m.isEmpty(name);
        if (!empty)
            return fail(empty.error());
        m.tables.find(name)->second.ownRowsOnly = m.mode == Mode::Bulk && *empty;
    }
    // Re-import replaces: the stock's rows go from every daily table (also another family's, for
    // a stock that changed market). A table with only other stocks' rows has none to remove.
    const bool writtenBefore = !m.written.insert(stock.code).second;
    for (auto& [name, table] : m.tables) {
        if (table.ownRowsOnly && !writtenBefore)
            continue;
        auto remove = m.removeFor(name);
        if (!remove)
            return fail(remove.error());
        (*remove)->bind(1, std::string_view(stock.code));
        Status st = (*remove)->run();
        (*remove)->reset();
        if (!st)
            return fail(st.error());
    }
    m.upsertInfo.bind(1, std::string_view(stock.code));
    if (stock.name.empty())
        m.upsertInfo.bindNull(2);
    else
        m.upsertInfo.bind(2, std::string_view(stock.name));
    m.upsertInfo.bind(3, std::int64_t{stock.market});
    Status info = m.upsertInfo.run();
    m.upsertInfo.reset();
    if (!info)
        return fail(info.error());

    // The rows come oldest first: each year's rows follow one another.
    // Row by row takes the single-row statement only.
    const std::size_t largest = m.mode == Mode::Bulk ? 0 : kRowsPerInsert.size() - 1;
    const std::size_t columns = dailyColumns().size();
    std::array<std::string, kRowsPerInsert.front()> dates;
    for (std::size_t k = 0; k < stock.rows.size();) {
        const int year = stock.rows[k].date.year;
        std::size_t end = k;
        while (end < stock.rows.size() && stock.rows[end].date.year == year)
            ++end;
        const std::string name = dailyTableName(market->family, year);
        auto table = m.tableFor(name);
        if (!table)
            return fail(table.error());
        while (k < end) {
            std::size_t size = largest;
            while (static_cast<std::size_t>(kRowsPerInsert[size]) > end - k)
                ++size;
            const int rows = kRowsPerInsert[size];
            auto insert = m.insertFor(**table, name, size);
            if (!insert)
                return fail(insert.error());
            for (int r = 0; r < rows; ++r) {
                const DailyRow& row = stock.rows[k + static_cast<std::size_t>(r)];
                dates[static_cast<std::size_t>(r)] = formatDate(row.date);
                bindRow((*insert)->handle(), 1 + r * static_cast<int>(columns), stock.code,
                        dates[static_cast<std::size_t>(r)], row, SQLITE_STATIC);
            }
            Status st = (*insert)->run();
            // Every parameter is bound again for the next use: a plain reset is enough.
            sqlite3_reset((*insert)->handle());
            if (!st)
                return fail(st.error());
            k += static_cast<std::size_t>(rows);
        }
    }
    if (stock.alsoWrite)
        if (Status st = stock.alsoWrite(*m.db); !st)
            return fail(st.error());
    if (auto st = m.savepoint("RELEASE stock"); !st)
        return fail(st.error());
    m.createdInBatch.insert(m.createdInBatch.end(), created.begin(), created.end());
    m.pending += stock.rows.size();
    return Status::success();
}

std::size_t StockWriter::pendingRows() const
{
    return m_impl->pending;
}

Status StockWriter::commit()
{
    Impl& m = *m_impl;
    if (!m.batch)
        return Status::success();
    Status st = m.batch->commit();
    m.batch.reset();
    m.pending = 0;
    if (!st) {
        // A COMMIT that fails may leave the transaction open: end it, and forget its tables.
        (void)m.db->exec("ROLLBACK");
        m.forget(m.createdInBatch);
    }
    m.createdInBatch.clear();
    return st;
}

Status StockWriter::updateDates()
{
    Impl& m = *m_impl;
    if (auto st = commit(); !st)
        return st;
    auto stocks = m.latestDate({"STK_DAILY_TSE_", "STK_DAILY_DSE_", "STK_DAILY_JSA_"});
    if (!stocks)
        return stocks.error();
    auto fx = m.latestDate({"STK_DAILY_FX_"});
    if (!fx)
        return fx.error();
    auto tx = Transaction::begin(*m.db, true);
    if (!tx)
        return tx.error();
    auto upsert = m.db->prepare("INSERT INTO STK_UPD (UPD_FLG, UPD_DATE) VALUES (?, ?) "
                                "ON CONFLICT (UPD_FLG) DO UPDATE SET UPD_DATE = excluded.UPD_DATE");
    if (!upsert)
        return upsert.error();
    const std::pair<int, const std::optional<std::string>*> rows[] = {{kUpdFlagStock, &*stocks},
                                                                      {kUpdFlagFx, &*fx}};
    for (const auto& [flag, date] : rows) {
        if (!*date)
            continue;
        upsert->bind(1, std::int64_t{flag}).bind(2, std::string_view(**date));
        Status st = upsert->run();
        upsert->reset();
        if (!st)
            return st;
    }
    return tx->commit();
}

namespace {

// Rows per batch transaction: large enough that the date indexes are written rarely, small
// enough that the write-ahead log stays a few hundred megabytes at most.
constexpr std::size_t kBatchRows = 200000;
// A batch also ends once it has held the write lock this long, and the writer then leaves the lock
// free for a moment: a running server's login or session record waits for about one batch, not
// for the whole import (its connections look for the lock every millisecond while they wait).
constexpr std::chrono::milliseconds kBatchTime{500};
constexpr std::chrono::milliseconds kPauseAfterBatch{3};

// What the analysis of one source gives the writer.
struct SourceOutcome {
    std::vector<std::string> messages;
    std::vector<PreparedStock> stocks;
    int skipped = 0;
    bool failed = false;
};

// Rows of written stocks, kept for the analysis of later ones: their memory is reused instead of
// being given back and asked for again (and cleared by the system) for every stock.
class RowStorage {
public:
    explicit RowStorage(std::size_t keep) : m_keep(keep) {}
    std::vector<DailyRow> take()
    {
        std::lock_guard lock(m_mutex);
        if (m_free.empty())
            return {};
        std::vector<DailyRow> rows = std::move(m_free.back());
        m_free.pop_back();
        return rows;
    }
    void giveBack(std::vector<DailyRow> rows)
    {
        std::lock_guard lock(m_mutex);
        if (m_free.size() < m_keep)
            m_free.push_back(std::move(rows));
    }

private:
    std::mutex m_mutex;
    std::vector<std::vector<DailyRow>> m_free;
    std::size_t m_keep;
};

SourceOutcome runSource(TStkAnalisys& engine, const StockSource& source, RowStorage& storage)
{
    SourceOutcome out;
    try {
        auto batch = source();
        if (!batch) {
            out.failed = true;
            out.messages.push_back(batch.error().message);
            return out;
        }
        out.messages = std::move(batch->problems);
        out.skipped = batch->skippedStocks;
        for (const StockSeries& series : batch->stocks) {
            auto prepared = prepareStock(engine, series, storage.take());
            if (prepared) {
                out.stocks.push_back(std::move(*prepared));
            } else {
                out.messages.push_back(prepared.error().message + "（取り込みませんでした）");
                ++out.skipped;
            }
        }
    } catch (const std::exception& e) {
        out.failed = true;
        out.stocks.clear();
        out.messages.push_back(std::string("取り込みを中断しました: ") + e.what());
    }
    return out;
}

// Copies the pages an import commits from the write-ahead log into the database file, on a
// connection and a thread of its own, while the writer goes on with its next batch. SQLite would
// otherwise do it on the writer's connection after each commit, file sync included, with the
// analysis threads waiting on the writer meanwhile. The copy is SQLite's own checkpoint: a kill
// during it leaves the log, which the next connection replays.
class LogCopier {
public:
    // Takes over the checkpoints of the writer's connection; nullptr (and SQLite's own checkpoints
    // left as they are) when a second connection to its file cannot be opened.
    static std::unique_ptr<LogCopier> start(Database& writer, int logPagesBound)
    {
        const char* path = sqlite3_db_filename(writer.handle(), "main");
        if (!path || !*path)
            return nullptr;
        sqlite3_vfs* vfs = nullptr;
        if (sqlite3_file_control(writer.handle(), "main", SQLITE_FCNTL_VFS_POINTER, &vfs) != SQLITE_OK)
            vfs = nullptr;
        auto own = Database::open(path, false, vfs ? vfs->zName : nullptr);
        if (!own)
            return nullptr;
        // What the connection did before, to be given back: SQLite's checkpoint after a commit that
        // leaves the log at this many pages.
        auto before = writer.prepare("PRAGMA wal_autocheckpoint");
        if (!before)
            return nullptr;
        if (auto row = before->step(); !row || !*row)
            return nullptr;
        auto copier = std::unique_ptr<LogCopier>(
            new LogCopier(writer, std::move(*own), static_cast<int>(before->integer(0)), logPagesBound));
        copier->m_thread = std::thread([c = copier.get()] { c->run(); });
        sqlite3_wal_hook(writer.handle(), &LogCopier::committed, copier.get());
        return copier;
    }

    // Gives the checkpoints back to the writer's connection, then copies what is left and ends.
    ~LogCopier()
    {
        sqlite3_wal_autocheckpoint(m_writer.handle(), m_autocheckpointBefore);
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_wake.notify_all();
        m_thread.join();
    }

    LogCopier(const LogCopier&) = delete;
    LogCopier& operator=(const LogCopier&) = delete;

private:
    LogCopier(Database& writer, Database own, int autocheckpointBefore, int logPagesBound)
        : m_writer(writer), m_own(std::move(own)), m_autocheckpointBefore(autocheckpointBefore),
          m_logPagesBound(logPagesBound)
    {
    }

    // Called on the writer's thread after each commit, the write lock already given up.
    static int committed(void* context, sqlite3*, const char*, int pages)
    {
        auto* self = static_cast<LogCopier*>(context);
        std::unique_lock lock(self->m_mutex);
        const std::uint64_t request = ++self->m_asked;
        self->m_wake.notify_all();
        if (pages > self->m_logPagesBound)
            self->m_copied.wait(lock, [&] { return self->m_done >= request; });
        return SQLITE_OK;
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_stop || m_asked > m_done; });
            if (m_asked == m_done)
                return; // stopping, nothing left
            const std::uint64_t upTo = m_asked;
            lock.unlock();
            // Passive: copies what no reader still needs and never waits for a lock. A page a
            // reader holds back is copied by a later pass or by the last connection to close.
            (void)sqlite3_wal_checkpoint_v2(m_own.handle(), "main", SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                            nullptr);
            lock.lock();
            m_done = upTo;
            m_copied.notify_all();
        }
    }

    Database& m_writer;
    Database m_own;
    int m_autocheckpointBefore;
    int m_logPagesBound;
    std::mutex m_mutex;
    std::condition_variable m_wake;   // a commit asks for a copy, or the import ends
    std::condition_variable m_copied; // a copy pass ended
    std::uint64_t m_asked = 0;        // commits seen
    std::uint64_t m_done = 0;         // commits whose pages a finished pass has copied
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

Result<ImportSummary> importStocks(Database& db, std::vector<StockSource> sources,
                                   const ImportOptions& options)
{
    // Declared first, so that it ends last: its final pass copies the date indexes too.
    const auto copier = LogCopier::start(db, options.logPagesBound);
    auto writer = StockWriter::open(db);
    if (!writer)
        return writer.error();
    // The date index of a table filled from empty is built in one sorted pass after its rows are
    // in, rather than entry by entry at scattered places (and rewritten with every batch). Indexes
    // an earlier import left unbuilt are built first.
    if (auto st = ensureDateIndexes(db); !st)
        return st.error();
    auto setAside = setAsideEmptyTablesDateIndexes(db);
    if (!setAside)
        return setAside.error();
    struct RebuildIndexes {
        Database& db;
        bool pending;
        Status run()
        {
            pending = false;
            return ensureDateIndexes(db);
        }
        ~RebuildIndexes()
        {
            if (pending)
                (void)ensureDateIndexes(db);
        }
    } rebuild{db, !setAside->empty()};
    auto summary = importStocks(*writer, std::move(sources), options);
    if (summary && rebuild.pending)
        if (auto st = rebuild.run(); !st && options.message)
            options.message("日付の索引を作れませんでした（次の取り込みかサーバーの起動時に作ります）: " +
                            st.error().message);
    return summary;
}

Result<ImportSummary> importStocks(StockStore& writer, std::vector<StockSource> sources,
                                   const ImportOptions& options)
{
    const std::size_t total = sources.size();
    // The writer is the busiest thread: by default the analysis takes every core but the writer's.
    // On two cores a second analysis thread slowed the import down: the writer, which bounds it,
    // lost part of its core.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    std::size_t workerCount =
        options.workers > 0 ? static_cast<std::size_t>(options.workers) : std::max(1u, cores - 1);
    workerCount = std::max<std::size_t>(1, std::min(workerCount, total));
    // Sources analysed ahead of the writer, at most, and the rows their finished stocks may hold.
    // The writer's commits and the log copies come in bursts; a long queue lets the analysis go on
    // meanwhile, so that the writer finds work waiting afterwards (at 4,000 x 1,250 on two cores, 32
    // sources instead of 4 cut the writer's waits from about 3 s to 1 s). The row bound keeps the
    // finished stocks near 70 MB however long their histories.
    const std::size_t window = 32 * workerCount;
    constexpr std::size_t kRowsAhead = 65536;
    auto rowsOf = [](const SourceOutcome& outcome) {
        std::size_t rows = 0;
        for (const PreparedStock& stock : outcome.stocks)
            rows += stock.rows.size();
        return rows;
    };

    std::mutex mutex;
    std::condition_variable ready;    // a slot was filled
    std::condition_variable advanced; // the writer took a slot
    std::vector<std::optional<SourceOutcome>> slots(total);
    std::size_t next = 0;      // next source to analyse
    std::size_t written = 0;   // sources the writer has taken
    std::size_t rowsAhead = 0; // rows of the finished sources the writer has not taken
    bool stop = false;
    RowStorage storage(window + workerCount);

    auto work = [&] {
        TStkAnalisys engine;
        for (;;) {
            std::size_t k = 0;
            {
                std::unique_lock lock(mutex);
                // The source the writer waits for is always begun or done, so this wait ends.
                advanced.wait(lock, [&] {
                    return stop || next >= total || (next < written + window && rowsAhead < kRowsAhead);
                });
                if (stop || next >= total)
                    return;
                k = next++;
            }
            SourceOutcome outcome = runSource(engine, sources[k], storage);
            {
                std::lock_guard lock(mutex);
                rowsAhead += rowsOf(outcome);
                slots[k] = std::move(outcome);
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> workers;
    // Stops and joins the workers however the writer's loop ends.
    struct Join {
        std::vector<std::thread>& threads;
        std::mutex& mutex;
        bool& stop;
        std::condition_variable& advanced;
        ~Join()
        {
            {
                std::lock_guard lock(mutex);
                stop = true;
            }
            advanced.notify_all();
            for (std::thread& t : threads)
                if (t.joinable())
                    t.join();
        }
    } join{workers, mutex, stop, advanced};
    for (std::size_t i = 0; i < workerCount && total > 0; ++i)
        workers.emplace_back(work);

    ImportSummary summary;
    auto say = [&](const std::string& line) {
        if (options.message)
            options.message(line);
    };
    // Stocks written into the open batch: imported once it commits.
    std::vector<std::pair<std::string, std::size_t>> pending;
    auto batchStarted = std::chrono::steady_clock::now();
    auto commitPending = [&] {
        if (auto st = writer.commit(); st) {
            for (const auto& [code, rows] : pending) {
                ++summary.imported;
                summary.days += static_cast<std::int64_t>(rows);
            }
        } else {
            for (const auto& [code, rows] : pending)
                say("銘柄 " + code + ": 書き込みを確定できませんでした: " + st.error().message +
                    "（取り込みませんでした）");
            summary.skipped += static_cast<int>(pending.size());
        }
        pending.clear();
    };
    for (std::size_t k = 0; k < total; ++k) {
        SourceOutcome outcome;
        {
            std::unique_lock lock(mutex);
            ready.wait(lock, [&] { return slots[k].has_value(); });
            outcome = std::move(*slots[k]);
            slots[k].reset();
            written = k + 1;
            rowsAhead -= rowsOf(outcome);
        }
        advanced.notify_all();
        for (const std::string& line : outcome.messages)
            say(line);
        summary.skipped += outcome.skipped;
        if (outcome.failed)
            ++summary.failedSources;
        for (PreparedStock& stock : outcome.stocks) {
            if (writer.pendingRows() == 0)
                batchStarted = std::chrono::steady_clock::now();
            if (auto st = writer.write(stock); st) {
                pending.emplace_back(stock.code, stock.rows.size());
            } else {
                say(st.error().message + "（取り込みませんでした）");
                ++summary.skipped;
                // Some failures (a full disk, for one) end the whole transaction: settle the batch
                // now, so that the stocks before this one are reported as they really are.
                commitPending();
            }
            storage.giveBack(std::move(stock.rows));
        }
        const bool last = k + 1 == total;
        if (writer.pendingRows() >= kBatchRows || last ||
            (writer.pendingRows() > 0 && std::chrono::steady_clock::now() - batchStarted >= kBatchTime)) {
            commitPending();
            if (!last)
                std::this_thread::sleep_for(kPauseAfterBatch);
        }
        if (options.progress)
            options.progress(ImportProgress{k + 1, total, summary.imported, summary.skipped});
    }
    if (auto st = writer.updateDates(); !st)
        return makeError(st.error().code, "更新日（STK_UPD）を書き込めませんでした: " + st.error().message);
    return summary;
}

} // namespace vorteq::server
