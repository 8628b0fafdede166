#include "server/storage/DayOrder.h"

#include "server/storage/Schema.h"

#include <vector>

namespace vorteq::server {

Result<bool> isInDayOrder(Database& db, std::string_view table)
{
    if (!isDailyTableName(table))
        return makeError(ErrorCode::Internal, "日足テーブルの名前ではありません: " + std::string(table));
    const std::string name(table);
    auto span = db.prepare("SELECT COUNT(*), MIN(rowid), MAX(rowid) FROM " + name +
                           " WHERE STK_DATE = (SELECT MAX(STK_DATE) FROM " + name + ")");
    if (!span)
        return span.error();
    auto row = span->step();
    if (!row)
        return row.error();
    const std::int64_t count = span->integer(0);
    if (count == 0)
        return true;
    return span->integer(2) - span->integer(1) + 1 <= 2 * count;
}

Status putInDayOrder(Database& db, std::string_view table)
{
    if (!isDailyTableName(table))
        return makeError(ErrorCode::Internal, "日足テーブルの名前ではありません: " + std::string(table));
    const std::string name(table);
    const std::string family = name.substr(0, name.size() - 4);
    const int year = std::stoi(name.substr(name.size() - 4));
    const std::string old = name + "_OLD";
    auto tx = Transaction::begin(db, true);
    if (!tx)
        return tx.error();
    // The table is made anew by the one definition of a daily table, then filled in day order;
    // the old one's date index goes first, since the new table's index takes its name.
    if (auto st =
            db.exec("ALTER TABLE " + name + " RENAME TO " + old + "; DROP INDEX IF EXISTS " + name + "_DATE");
        !st)
        return st;
    if (auto st = createDailyTable(db, family, year); !st)
        return st;
    if (auto st = db.exec("INSERT INTO " + name + " SELECT * FROM " + old +
                          " ORDER BY STK_DATE, STK_CD; DROP TABLE " + old);
        !st)
        return st;
    return tx->commit();
}

Result<int> putDailyTablesInDayOrder(Database& db, const std::function<void(const std::string&)>& progress)
{
    auto tables = dailyTableNames(db);
    if (!tables)
        return tables.error();
    int rewritten = 0;
    for (const std::string& table : *tables) {
        auto ordered = isInDayOrder(db, table);
        if (!ordered)
            return ordered.error();
        if (*ordered)
            continue;
        if (progress)
            progress(table);
        if (auto st = putInDayOrder(db, table); !st)
            return st.error();
        ++rewritten;
    }
    return rewritten;
}

} // namespace vorteq::server
