#include "server/storage/Schema.h"

#include "indicators/IndicatorTable.h"

#include <cctype>
#include <stdexcept>
#include <string>
#include <vector>

namespace vorteq::server {

std::span<const DailyColumn> dailyColumns()
{
    static const std::vector<DailyColumn> columns = [] {
        std::vector<DailyColumn> all{
            {"STK_CD", ColumnType::Text},     {"STK_DATE", ColumnType::Text}, {"S_PRICE", ColumnType::Real},
            {"H_PRICE", ColumnType::Real},    {"L_PRICE", ColumnType::Real},  {"E_PRICE", ColumnType::Real},
            {"STK_VLM", ColumnType::Integer},
        };
        for (const PrecomputedColumn& c : precomputedColumns())
            all.push_back(
                {c.name, c.number == ColumnNumber::Integer ? ColumnType::Integer : ColumnType::Real});
        if (all.size() != 2 + kDailyValueCount)
            throw std::logic_error("kDailyValueCount must be " + std::to_string(all.size() - 2) +
                                   ", the number of daily columns from S_PRICE on");
        return all;
    }();
    return columns;
}

std::string dailyTableName(std::string_view family, int year)
{
    std::string name(family);
    name += std::to_string(year);
    return name;
}

const char* const kLoginThrottleTable = R"(
CREATE TABLE IF NOT EXISTS LOGIN_THROTTLE (
    CLIENT_ADDR TEXT NOT NULL,
    USR_ID TEXT NOT NULL,
    FAIL_COUNT INTEGER NOT NULL,
    LAST_FAIL INTEGER NOT NULL,
    WAIT_UNTIL INTEGER NOT NULL,
    PRIMARY KEY (CLIENT_ADDR, USR_ID));
CREATE INDEX IF NOT EXISTS LOGIN_THROTTLE_LAST ON LOGIN_THROTTLE (LAST_FAIL);
CREATE TABLE IF NOT EXISTS LOGIN_KNOWN (
    CLIENT_ADDR TEXT NOT NULL,
    USR_ID TEXT NOT NULL,
    LAST_OK INTEGER NOT NULL,
    PRIMARY KEY (CLIENT_ADDR, USR_ID));
)";

bool isDailyTableName(std::string_view name)
{
    for (std::string_view family : kDailyFamilies) {
        if (name.size() != family.size() + 4)
            continue;
        bool same = true;
        for (std::size_t i = 0; i < family.size() && same; ++i)
            same = std::toupper(static_cast<unsigned char>(name[i])) == family[i];
        if (!same)
            continue;
        for (std::size_t i = family.size(); i < name.size(); ++i)
            if (!std::isdigit(static_cast<unsigned char>(name[i])))
                return false;
        return true;
    }
    return false;
}

Result<std::vector<std::string>> dailyTableNames(Database& db)
{
    return dailyTablesListedBy(db, "SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name");
}

namespace {

std::string dateIndexSql(const std::string& table)
{
    return "CREATE INDEX IF NOT EXISTS " + table + "_DATE ON " + table + " (STK_DATE);\n";
}

} // namespace

Status ensureDateIndexes(Database& db)
{
    return db.writeTransaction([&]() -> Status {
        auto tables = dailyTableNames(db);
        if (!tables)
            return tables.error();
        std::string sql;
        for (const std::string& table : *tables)
            sql += dateIndexSql(table);
        return sql.empty() ? Status::success() : db.exec(sql);
    });
}

Result<std::vector<std::string>> setAsideEmptyTablesDateIndexes(Database& db)
{
    std::vector<std::string> setAside;
    auto st = db.writeTransaction([&]() -> Status {
        setAside.clear();
        auto tables = dailyTableNames(db);
        if (!tables)
            return tables.error();
        std::string sql;
        for (const std::string& table : *tables) {
            auto any = db.prepare("SELECT 1 FROM " + table + " LIMIT 1");
            if (!any)
                return any.error();
            auto row = any->step();
            if (!row)
                return row.error();
            if (*row)
                continue;
            sql += "DROP INDEX IF EXISTS " + table + "_DATE;\n";
            setAside.push_back(table);
        }
        return sql.empty() ? Status::success() : db.exec(sql);
    });
    if (!st)
        return st.error();
    return setAside;
}

Status createDailyTable(Database& db, std::string_view family, int year)
{
    const std::string table = dailyTableName(family, year);
    std::string sql = "CREATE TABLE IF NOT EXISTS " + table + " (";
    for (const DailyColumn& column : dailyColumns()) {
        sql += column.name;
        switch (column.type) {
        case ColumnType::Text:
            sql += " TEXT NOT NULL, ";
            break;
        case ColumnType::Integer:
            sql += " INTEGER, ";
            break;
        case ColumnType::Real:
            sql += " REAL, ";
            break;
        }
    }
    sql += "PRIMARY KEY (STK_CD, STK_DATE));\n";
    sql += dateIndexSql(table);
    return db.exec(sql);
}

Status createSchema(Database& db, int lastYear)
{
    auto tx = Transaction::begin(db, true);
    if (!tx)
        return tx.error();
    // Passwords are Argon2id hashes; MAIL_STATUS "1" marks an address that bounced; USR_STATUS 1 a
    // blocked account. Sessions keep a digest of the cookie value, never the value itself.
    static constexpr std::string_view kTables = R"(
CREATE TABLE IF NOT EXISTS USR_INFO (
    USR_ID TEXT PRIMARY KEY NOT NULL,
    PASS_WORD TEXT NOT NULL,
    USR_NM TEXT NOT NULL DEFAULT '',
    E_MAIL TEXT NOT NULL DEFAULT '',
    MAIL_STATUS TEXT NOT NULL DEFAULT '0',
    USR_STATUS INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS SESSION_INFO (
    TOKEN_DIGEST TEXT PRIMARY KEY NOT NULL,
    USR_ID TEXT NOT NULL REFERENCES USR_INFO (USR_ID) ON DELETE CASCADE ON UPDATE CASCADE,
    EXPIRES_AT INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS SESSION_INFO_EXPIRES ON SESSION_INFO (EXPIRES_AT);
CREATE TABLE IF NOT EXISTS STK_UPD (
    UPD_FLG INTEGER PRIMARY KEY NOT NULL,
    UPD_DATE TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS MKT_INFO (
    MKT_CD INTEGER PRIMARY KEY NOT NULL,
    MKT_NM TEXT NOT NULL);
CREATE TABLE IF NOT EXISTS STK_INFO (
    STK_CD TEXT PRIMARY KEY NOT NULL,
    STK_NM TEXT NOT NULL,
    MKT_CD INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS STK_INFO_MKT ON STK_INFO (MKT_CD);
)";
    if (auto st = db.exec(kTables); !st)
        return st;
    if (auto st = db.exec(kLoginThrottleTable); !st)
        return st;
    auto insertMarket = db.prepare("INSERT OR IGNORE INTO MKT_INFO (MKT_CD, MKT_NM) VALUES (?, ?)");
    if (!insertMarket)
        return insertMarket.error();
    for (const Market& market : kMarkets) {
        insertMarket->bind(1, std::int64_t{market.code}).bind(2, market.name);
        if (auto st = insertMarket->run(); !st)
            return st;
        insertMarket->reset();
    }
    for (int year = kFirstDailyYear; year <= lastYear; ++year)
        for (std::string_view family : kDailyFamilies)
            if (auto st = createDailyTable(db, family, year); !st)
                return st;
    if (auto st = db.exec("PRAGMA user_version = 1"); !st)
        return st;
    return tx->commit();
}

} // namespace vorteq::server
