#include "server/storage/QuoteStore.h"

#include "common/NumberText.h"

#include <algorithm>
#include <cmath>
#include <sqlite3.h>

namespace vorteq::server {

namespace {

// Prices and factors go in as doubles and come back as the same doubles; NULL prices mark a day
// without trades. Flags are 0 or 1.
constexpr std::string_view kInsertQuote =
    "INSERT OR REPLACE INTO STK_QUOTE (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM, "
    "TURNOVER, ADJ_FACTOR, UPPER_LIMIT, LOWER_LIMIT) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

Status insertQuotes(Database& db, const std::string& code, const std::vector<ApiQuote>& days)
{
    auto insert = db.prepare(kInsertQuote);
    if (!insert)
        return insert.error();
    for (const ApiQuote& q : days) {
        const std::string date = formatDate(q.date);
        insert->bind(1, std::string_view(code)).bind(2, std::string_view(date));
        if (q.traded) {
            insert->bind(3, q.open).bind(4, q.high).bind(5, q.low).bind(6, q.close);
            insert->bind(7, q.volume).bind(8, q.turnover);
        } else {
            for (int i = 3; i <= 8; ++i)
                insert->bindNull(i);
        }
        insert->bind(9, q.factor);
        insert->bind(10, std::int64_t{q.upperLimit ? 1 : 0}).bind(11, std::int64_t{q.lowerLimit ? 1 : 0});
        Status st = insert->run();
        insert->reset();
        if (!st)
            return st;
    }
    return Status::success();
}

} // namespace

Status createQuoteTables(Database& db)
{
    return db.exec(R"(
CREATE TABLE IF NOT EXISTS STK_QUOTE (
    STK_CD TEXT NOT NULL,
    STK_DATE TEXT NOT NULL,
    S_PRICE REAL, H_PRICE REAL, L_PRICE REAL, E_PRICE REAL,
    STK_VLM INTEGER,
    TURNOVER REAL,
    ADJ_FACTOR REAL NOT NULL,
    UPPER_LIMIT INTEGER NOT NULL,
    LOWER_LIMIT INTEGER NOT NULL,
    PRIMARY KEY (STK_CD, STK_DATE)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS STK_QUOTE_MODE (
    STK_CD TEXT PRIMARY KEY NOT NULL,
    ADJUSTED INTEGER NOT NULL);
)");
}

Status replaceQuotes(Database& db, const ApiStockQuotes& stock, bool adjusted)
{
    auto remove = db.prepare("DELETE FROM STK_QUOTE WHERE STK_CD = ?");
    if (!remove)
        return remove.error();
    remove->bind(1, std::string_view(stock.code));
    if (auto st = remove->run(); !st)
        return st;
    auto mode = db.prepare("INSERT OR REPLACE INTO STK_QUOTE_MODE (STK_CD, ADJUSTED) VALUES (?, ?)");
    if (!mode)
        return mode.error();
    mode->bind(1, std::string_view(stock.code)).bind(2, std::int64_t{adjusted ? 1 : 0});
    if (auto st = mode->run(); !st)
        return st;
    return insertQuotes(db, stock.code, stock.days);
}

Status upsertQuotes(Database& db, const std::string& code, const std::vector<ApiQuote>& days)
{
    return insertQuotes(db, code, days);
}

Result<std::optional<StoredQuotes>> readQuotes(Database& db, const std::string& code, std::size_t newest)
{
    auto mode = db.prepare("SELECT ADJUSTED FROM STK_QUOTE_MODE WHERE STK_CD = ?");
    if (!mode)
        return mode.error();
    mode->bind(1, std::string_view(code));
    auto found = mode->step();
    if (!found)
        return found.error();
    if (!*found)
        return std::optional<StoredQuotes>();
    StoredQuotes out;
    out.adjusted = mode->integer(0) != 0;
    // The newest days come newest first and are turned around below.
    auto rows =
        db.prepare(std::string("SELECT STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM, TURNOVER, "
                               "ADJ_FACTOR, UPPER_LIMIT, LOWER_LIMIT FROM STK_QUOTE WHERE STK_CD = ? ") +
                   (newest > 0 ? "ORDER BY STK_DATE DESC LIMIT ?" : "ORDER BY STK_DATE"));
    if (!rows)
        return rows.error();
    rows->bind(1, std::string_view(code));
    if (newest > 0)
        rows->bind(2, static_cast<std::int64_t>(newest + 1)); // one more tells whether days were left
    sqlite3_stmt* s = rows->handle();
    for (;;) {
        auto row = rows->step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        ApiQuote q;
        const auto* dateText = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
        const auto date = parseDate(dateText ? dateText : "");
        if (!date)
            return makeError(ErrorCode::Data, "銘柄 " + code + ": 保存された日付が読めません");
        q.date = *date;
        q.traded = sqlite3_column_type(s, 4) != SQLITE_NULL;
        if (q.traded) {
            q.open = sqlite3_column_double(s, 1);
            q.high = sqlite3_column_double(s, 2);
            q.low = sqlite3_column_double(s, 3);
            q.close = sqlite3_column_double(s, 4);
            q.volume = sqlite3_column_int64(s, 5);
            q.turnover = sqlite3_column_double(s, 6);
        }
        q.factor = sqlite3_column_double(s, 7);
        q.upperLimit = sqlite3_column_int(s, 8) != 0;
        q.lowerLimit = sqlite3_column_int(s, 9) != 0;
        out.days.push_back(q);
    }
    if (newest > 0) {
        out.truncated = out.days.size() > newest;
        out.days.resize(std::min(out.days.size(), newest));
        std::reverse(out.days.begin(), out.days.end());
    }
    return std::optional<StoredQuotes>(std::move(out));
}

StockSeries seriesOfQuotes(const std::string& code, const std::string& name, int market,
                           const std::vector<ApiQuote>& days, bool adjusted)
{
    StockSeries series;
    series.code = code;
    series.name = name;
    series.market = market;
    std::size_t traded = 0;
    for (const ApiQuote& q : days)
        traded += q.traded ? 1 : 0;
    series.days.resize(traded);
    // Walk from the newest day back, carrying the product of the factors of the later days: a
    // factor takes effect on its own day, so it scales the days before it.
    long double later = 1.0L;
    std::size_t k = traded;
    for (std::size_t i = days.size(); i-- > 0;) {
        const ApiQuote& q = days[i];
        if (q.traded) {
            PriceDay& day = series.days[--k];
            day.date = q.date;
            const long double scale = adjusted ? later : 1.0L;
            day.open = formatNumber(static_cast<long double>(q.open) * scale);
            day.high = formatNumber(static_cast<long double>(q.high) * scale);
            day.low = formatNumber(static_cast<long double>(q.low) * scale);
            day.close = formatNumber(static_cast<long double>(q.close) * scale);
            day.volume = static_cast<std::int64_t>(std::llround(static_cast<long double>(q.volume) / scale));
        }
        later *= static_cast<long double>(q.factor);
    }
    return series;
}

std::vector<ApiQuote> mergeQuotes(std::vector<ApiQuote> stored, const std::vector<ApiQuote>& newer)
{
    if (newer.empty())
        return stored;
    // The usual update adds days after the stored ones: append without a search.
    if (stored.empty() || stored.back().date < newer.front().date) {
        stored.insert(stored.end(), newer.begin(), newer.end());
        return stored;
    }
    std::vector<ApiQuote> out;
    out.reserve(stored.size() + newer.size());
    std::size_t a = 0, b = 0;
    while (a < stored.size() || b < newer.size()) {
        if (b == newer.size() || (a < stored.size() && stored[a].date < newer[b].date)) {
            out.push_back(stored[a++]);
        } else {
            if (a < stored.size() && stored[a].date == newer[b].date)
                ++a;
            out.push_back(newer[b++]);
        }
    }
    return out;
}

} // namespace vorteq::server
