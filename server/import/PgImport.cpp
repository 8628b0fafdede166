#include "server/import/PgImport.h"

#include "common/DateText.h"
#include "server/storage/PgBackend.h"
#include "server/storage/PgDatabase.h"

#include <charconv>
#include <cmath>
#include <libpq-fe.h>
#include <set>

namespace vorteq::server {

namespace {

Error stockFailure(const std::string& code, const std::string& message)
{
    return makeError(ErrorCode::Data, "銘柄 " + code + ": 書き込めませんでした: " + message);
}

// A text field of COPY's text format: the backslash and the characters that end a field or a
// row are escaped.
void appendCopyText(std::string& out, std::string_view text)
{
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

// A value as SQLite stores it: no value, an integer, or a float written in its shortest exact
// form (which PostgreSQL reads back to the same double). A NaN has no value, as SQLite keeps it.
void appendCopyValue(std::string& out, const CellValue& v)
{
    char buf[32];
    switch (v.kind) {
    case CellValue::Kind::Null:
        out += "\\N";
        return;
    case CellValue::Kind::Integer: {
        const char* end = std::to_chars(buf, buf + sizeof buf, v.integer).ptr;
        out.append(buf, static_cast<std::size_t>(end - buf));
        return;
    }
    case CellValue::Kind::Real:
        if (std::isnan(v.real)) {
            out += "\\N";
        } else if (std::isinf(v.real)) {
            out += v.real > 0 ? "Infinity" : "-Infinity";
        } else {
            const char* end = std::to_chars(buf, buf + sizeof buf, v.real).ptr;
            out.append(buf, static_cast<std::size_t>(end - buf));
        }
        return;
    }
}

class PgStockWriter final : public StockStore {
public:
    explicit PgStockWriter(PgDatabase db) : m_db(std::move(db)) {}

    Status load()
    {
        auto tables = postgresDailyTableNames(m_db);
        if (!tables)
            return tables.error();
        m_tables.insert(tables->begin(), tables->end());
        return Status::success();
    }

    Status write(const PreparedStock& stock) override
    {
        const Market* market = findMarket(stock.market);
        if (!market)
            return stockFailure(stock.code, "市場コード " + std::to_string(stock.market) + " はありません");
        if (stock.alsoWrite)
            return stockFailure(stock.code, "データ API の取り込みは SQLite のデータベースにだけできます");
        if (!m_open) {
            if (auto st = m_db.exec("BEGIN"); !st)
                return stockFailure(stock.code, st.error().message);
            m_open = true;
        }
        if (auto st = m_db.exec("SAVEPOINT stock"); !st)
            return stockFailure(stock.code, st.error().message);
        std::vector<std::string> created;
        auto fail = [&](const std::string& message) -> Status {
            (void)m_db.exec("ROLLBACK TO stock; RELEASE stock");
            for (const std::string& name : created)
                m_tables.erase(name);
            return stockFailure(stock.code, message);
        };
        for (const DailyRow& row : stock.rows) {
            const std::string name = dailyTableName(market->family, row.date.year);
            if (m_tables.count(name))
                continue;
            if (!isDailyTableName(name))
                return fail("年 " + std::to_string(row.date.year) + " の日足テーブルは作れません");
            if (auto st = createPostgresDailyTable(m_db, market->family, row.date.year); !st)
                return fail(st.error().message);
            m_tables.insert(name);
            created.push_back(name);
        }
        // Re-import replaces: the stock's rows go from every daily table (also another family's,
        // for a stock that changed market).
        for (const std::string& name : m_tables) {
            auto remove = m_db.prepareCached("DELETE FROM " + name + " WHERE STK_CD = ?");
            if (!remove)
                return fail(remove.error().message);
            (*remove)->bind(1, stock.code);
            if (auto st = (*remove)->run(); !st)
                return fail(st.error().message);
        }
        auto info = m_db.prepareCached(
            "INSERT INTO STK_INFO (STK_CD, STK_NM, MKT_CD) "
            "VALUES (?1, COALESCE(?2, (SELECT STK_NM FROM STK_INFO WHERE STK_CD = ?1), ?1), ?3) "
            "ON CONFLICT (STK_CD) DO UPDATE SET STK_NM = excluded.STK_NM, MKT_CD = excluded.MKT_CD");
        if (!info)
            return fail(info.error().message);
        (*info)->bind(1, stock.code);
        if (stock.name.empty())
            (*info)->bindNull(2);
        else
            (*info)->bind(2, stock.name);
        (*info)->bind(3, std::int64_t{stock.market});
        if (auto st = (*info)->run(); !st)
            return fail(st.error().message);
        // The rows are oldest first: one COPY per year.
        for (std::size_t from = 0; from < stock.rows.size();) {
            std::size_t to = from;
            while (to < stock.rows.size() && stock.rows[to].date.year == stock.rows[from].date.year)
                ++to;
            if (auto st =
                    copyRows(dailyTableName(market->family, stock.rows[from].date.year), stock, from, to);
                !st)
                return fail(st.error().message);
            from = to;
        }
        if (auto st = m_db.exec("RELEASE stock"); !st)
            return fail(st.error().message);
        m_createdInBatch.insert(m_createdInBatch.end(), created.begin(), created.end());
        m_pending += stock.rows.size();
        return Status::success();
    }

    std::size_t pendingRows() const override { return m_pending; }

    Status commit() override
    {
        if (!m_open)
            return Status::success();
        m_open = false;
        m_pending = 0;
        Status st = m_db.exec("COMMIT");
        if (!st) {
            (void)m_db.exec("ROLLBACK");
            for (const std::string& name : m_createdInBatch)
                m_tables.erase(name);
        }
        m_createdInBatch.clear();
        return st;
    }

    Status updateDates() override
    {
        if (auto st = commit(); !st)
            return st;
        // The planner's statistics follow the new rows (a screening joins the masters with a day).
        (void)m_db.exec("ANALYZE");
        const std::pair<int, std::vector<std::string_view>> flags[] = {
            {kUpdFlagStock, {"STK_DAILY_TSE_", "STK_DAILY_DSE_", "STK_DAILY_JSA_"}},
            {kUpdFlagFx, {"STK_DAILY_FX_"}}};
        return m_db.writeTransaction([&]() -> Status {
            for (const auto& [flag, families] : flags) {
                std::string latest;
                for (const std::string& name : m_tables) {
                    bool inFamily = false;
                    for (std::string_view family : families)
                        inFamily = inFamily || name.rfind(family, 0) == 0;
                    if (!inFamily)
                        continue;
                    auto max = m_db.prepare("SELECT MAX(STK_DATE) FROM " + name);
                    if (!max)
                        return max.error();
                    auto row = max->step();
                    if (!row)
                        return row.error();
                    if (*row && !max->isNull(0) && max->text(0) > latest)
                        latest = max->text(0);
                }
                if (latest.empty())
                    continue;
                auto upsert =
                    m_db.prepare("INSERT INTO STK_UPD (UPD_FLG, UPD_DATE) VALUES (?, ?) "
                                 "ON CONFLICT (UPD_FLG) DO UPDATE SET UPD_DATE = excluded.UPD_DATE");
                if (!upsert)
                    return upsert.error();
                upsert->bind(1, std::int64_t{flag}).bind(2, latest);
                if (auto st = upsert->run(); !st)
                    return st;
            }
            return Status::success();
        });
    }

private:
    Status copyRows(const std::string& table, const PreparedStock& stock, std::size_t from, std::size_t to)
    {
        pg_conn* conn = m_db.handle();
        pg_result* start = PQexec(conn, ("COPY " + table + " FROM STDIN").c_str());
        const bool copying = PQresultStatus(start) == PGRES_COPY_IN;
        const std::string startError = PQresultErrorMessage(start);
        PQclear(start);
        if (!copying)
            return makeError(ErrorCode::Server, startError);
        std::string text;
        for (std::size_t i = from; i < to; ++i) {
            const DailyRow& row = stock.rows[i];
            appendCopyText(text, stock.code);
            text += '\t';
            text += formatDate(row.date);
            for (const CellValue& v : row.values) {
                text += '\t';
                appendCopyValue(text, v);
            }
            text += '\n';
        }
        const bool sent = PQputCopyData(conn, text.data(), static_cast<int>(text.size())) == 1;
        PQputCopyEnd(conn, sent ? nullptr : "the rows could not be sent");
        Status outcome = Status::success();
        while (pg_result* result = PQgetResult(conn)) {
            if (outcome && !m_db.note(result))
                outcome = makeError(ErrorCode::Server, m_db.lastError());
            PQclear(result);
        }
        return outcome;
    }

    PgDatabase m_db;
    std::set<std::string> m_tables;
    bool m_open = false;
    std::size_t m_pending = 0;
    std::vector<std::string> m_createdInBatch;
};

} // namespace

Result<std::unique_ptr<StockStore>> openPostgresStockWriter(const std::string& address)
{
    auto db = PgDatabase::open(address);
    if (!db)
        return db.error();
    // The masters must be there; no daily table is made here beyond those the data needs.
    if (auto st = createPostgresSchema(*db, kFirstDailyYear - 1); !st)
        return st.error();
    auto writer = std::make_unique<PgStockWriter>(std::move(*db));
    if (auto st = writer->load(); !st)
        return st.error();
    return std::unique_ptr<StockStore>(std::move(writer));
}

} // namespace vorteq::server
