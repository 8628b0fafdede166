// The import's write path (several analysis threads, date indexes built after the rows, the log
// copied into the database file by a connection of its own) stores exactly what writing one stock
// per transaction with nothing of that stores, and lets other connections read and write meanwhile.
#include "analysis/TStkAnalisys.h"
#include "common/DateText.h"
#include "common/NumberText.h"
#include "server/import/Importer.h"
#include "server/storage/Schema.h"
#include "support/TempDir.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <sqlite3.h>
#include <thread>

using namespace vorteq;
using namespace vorteq::server;

namespace {

constexpr int kDays = 740; // three years from 2005 and a few days of 2008

// A made-up series of prices, different for every stock and every round; some with decimals, so
// that averages and rates are not all whole hundredths.
StockSeries series(int index, int round)
{
    StockSeries s;
    s.code = std::to_string(3001 + index);
    s.name = "銘柄" + std::to_string(index);
    s.market = index % 5 == 4 ? 91 : 11;
    Date d{2005, 1, 4};
    for (int k = 0; k < kDays; d = addDays(d, 1)) {
        const int dow = dayOfWeek(d);
        if (dow == 0 || dow == 6)
            continue;
        const int close = 800 + (index * 41 + k * 17 + round * 29) % 500;
        const std::string tail = index % 3 == 0 ? ".5" : "";
        s.days.push_back(PriceDay{d, std::to_string(close - 4) + tail, std::to_string(close + 9),
                                  std::to_string(close - 11), std::to_string(close) + tail,
                                  100 * (1 + (k * 7 + index) % 900)});
        ++k;
    }
    return s;
}

// Every table and index of the database with its definition, then every row of every table in
// key order, each value with its stored type and, for a float, its exact bits.
std::vector<std::string> dumpDatabase(Database& db)
{
    std::vector<std::string> out;
    std::vector<std::string> tables;
    auto master = db.prepare("SELECT type, name, tbl_name, COALESCE(sql, '') FROM sqlite_master ORDER BY "
                             "type, name");
    EXPECT_TRUE(master.ok());
    while (*master->step()) {
        out.push_back(master->text(0) + " " + master->text(1) + " " + master->text(2) + " " +
                      master->text(3));
        if (master->text(0) == "table")
            tables.push_back(master->text(1));
    }
    for (const std::string& table : tables) {
        auto rows = db.prepare("SELECT * FROM " + table + " ORDER BY 1, 2");
        EXPECT_TRUE(rows.ok()) << table;
        sqlite3_stmt* h = rows->handle();
        while (*rows->step()) {
            std::string line = table;
            for (int c = 0; c < sqlite3_column_count(h); ++c) {
                char buffer[64];
                switch (sqlite3_column_type(h, c)) {
                case SQLITE_NULL:
                    line += "|N";
                    break;
                case SQLITE_INTEGER:
                    line += "|I" + std::to_string(sqlite3_column_int64(h, c));
                    break;
                case SQLITE_FLOAT:
                    std::snprintf(buffer, sizeof buffer, "|F%a", sqlite3_column_double(h, c));
                    line += buffer;
                    break;
                default:
                    line += "|T" + rows->text(c);
                    break;
                }
            }
            out.push_back(std::move(line));
        }
    }
    return out;
}

class ImportWritePath : public ::testing::Test {
protected:
    // A database with the daily tables up to 2006 only: the import makes those of 2007 and 2008.
    std::string freshDatabase(const std::string& name)
    {
        const std::string path = (dir.path() / name).string();
        auto db = Database::open(path, true);
        EXPECT_TRUE(db.ok() && createSchema(*db, 2006).ok());
        return path;
    }

    // The whole import, as the commands run it.
    static ImportSummary importFully(const std::string& path, int stocks, int round, int workers = 2,
                                     int logPagesBound = ImportOptions{}.logPagesBound,
                                     std::vector<int> again = {})
    {
        auto db = Database::open(path, false);
        EXPECT_TRUE(db.ok());
        std::vector<StockSource> sources;
        for (int i = 0; i < stocks; ++i)
            sources.push_back([i, round]() -> Result<StockBatch> {
                return StockBatch{{series(i, round)}, {}, 0};
            });
        for (int i : again)
            sources.push_back([i]() -> Result<StockBatch> { return StockBatch{{series(i, 2)}, {}, 0}; });
        ImportOptions options;
        options.workers = workers;
        options.logPagesBound = logPagesBound;
        auto summary = importStocks(*db, std::move(sources), options);
        EXPECT_TRUE(summary.ok()) << (summary.ok() ? "" : summary.error().message);
        return summary.ok() ? *summary : ImportSummary{};
    }

    // One stock per transaction on one thread, one row per INSERT, every table's rows of the stock
    // deleted first, date indexes kept up row by row, SQLite's own checkpoints. again: stocks
    // written a second time at the end, with the prices of round 2.
    static void importPlainly(const std::string& path, int stocks, int round, std::vector<int> again = {})
    {
        auto db = Database::open(path, false);
        ASSERT_TRUE(db.ok());
        auto writer = StockWriter::open(*db, StockWriter::Mode::RowByRow);
        ASSERT_TRUE(writer.ok());
        TStkAnalisys engine;
        auto write = [&](int i, int r) {
            auto prepared = prepareStock(engine, series(i, r));
            ASSERT_TRUE(prepared.ok());
            ASSERT_TRUE(writer->write(*prepared).ok());
            ASSERT_TRUE(writer->commit().ok());
        };
        for (int i = 0; i < stocks; ++i)
            write(i, round);
        for (int i : again)
            write(i, 2);
        ASSERT_TRUE(writer->updateDates().ok());
    }

    static std::vector<std::string> dump(const std::string& path)
    {
        auto db = Database::open(path, false);
        EXPECT_TRUE(db.ok());
        return dumpDatabase(*db);
    }

    vorteq::test::TempDir dir;
};

} // namespace

TEST_F(ImportWritePath, StoresWhatThePlainPathStoresInFreshAndInFilledTables)
{
    const std::string full = freshDatabase("full.db");
    const std::string plain = freshDatabase("plain.db");
    // Three stocks come twice, the second time with other prices: the second replaces the first
    // also in the tables the import found empty.
    const std::vector<int> again{0, 5, 23};
    EXPECT_EQ(importFully(full, 24, 0, 2, ImportOptions{}.logPagesBound, again).imported, 27);
    importPlainly(plain, 24, 0, again);
    const auto first = dump(full);
    ASSERT_GT(first.size(), 24u * kDays);
    EXPECT_EQ(first, dump(plain));

    // Again over filled tables: other prices for the first 24 stocks, and 6 new ones; the writer
    // waits for the log to be copied after every commit.
    EXPECT_EQ(importFully(full, 30, 1, 3, 1).imported, 30);
    importPlainly(plain, 30, 1);
    const auto second = dump(full);
    EXPECT_EQ(second.size(), first.size() + 6u * kDays + 6u);
    EXPECT_EQ(second, dump(plain));
}

// A table the writer found empty holds only its own rows until another connection commits: then
// the writer looks for a stock's rows there again (a quote update may have added some).
TEST_F(ImportWritePath, RowsAnotherConnectionAddsBetweenBatchesAreReplacedToo)
{
    const std::string path = freshDatabase("other.db");
    auto db = Database::open(path, false);
    ASSERT_TRUE(db.ok());
    auto writer = StockWriter::open(*db);
    ASSERT_TRUE(writer.ok());
    TStkAnalisys engine;
    auto write = [&](int i) {
        auto prepared = prepareStock(engine, series(i, 0));
        ASSERT_TRUE(prepared.ok());
        ASSERT_TRUE(writer->write(*prepared).ok());
        ASSERT_TRUE(writer->commit().ok());
    };
    write(0);
    // Stock 3002 on a Sunday it has no price for, and on a day it has one.
    auto other = Database::open(path, false);
    ASSERT_TRUE(other.ok());
    ASSERT_TRUE(other
                    ->exec("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE) VALUES ('3002', '2006/12/31'), "
                           "('3002', '2006/05/15')")
                    .ok());
    write(1);
    write(2);
    auto count = db->prepare("SELECT COUNT(*), COUNT(S_PRICE) FROM STK_DAILY_TSE_2006 WHERE STK_CD = '3002'");
    ASSERT_TRUE(count.ok() && *count->step());
    EXPECT_EQ(count->integer(0), 260);
    EXPECT_EQ(count->integer(1), 260);
}

TEST_F(ImportWritePath, TheImportsConnectionCheckpointsAsBeforeOnceItEnds)
{
    const std::string path = freshDatabase("again.db");
    auto db = Database::open(path, false);
    ASSERT_TRUE(db.ok());
    auto threshold = [&] {
        auto st = db->prepare("PRAGMA wal_autocheckpoint");
        EXPECT_TRUE(st.ok() && *st->step());
        return st.ok() ? st->integer(0) : -1;
    };
    ASSERT_TRUE(db->exec("PRAGMA wal_autocheckpoint=777").ok());
    std::vector<StockSource> sources;
    for (int i = 0; i < 5; ++i)
        sources.push_back([i]() -> Result<StockBatch> { return StockBatch{{series(i, 0)}, {}, 0}; });
    ASSERT_TRUE(importStocks(*db, std::move(sources), ImportOptions{}).ok());
    EXPECT_EQ(threshold(), 777);
    // A later commit on the connection runs SQLite's own checkpoint, nothing of the import's.
    ASSERT_TRUE(db->exec("CREATE TABLE LATER (X, Y); INSERT INTO LATER VALUES (1, 2)").ok());
    const auto all = dumpDatabase(*db);
    EXPECT_NE(std::find(all.begin(), all.end(), "LATER|I1|I2"), all.end());
}

TEST_F(ImportWritePath, OtherConnectionsWriteAndReadWholeStocksWhileTheImportRuns)
{
    const std::string path = freshDatabase("busy.db");
    std::atomic<bool> done{false};
    std::atomic<int> writes{0}, reads{0}, failures{0}, partial{0};
    // A login's throttle record: a short write transaction, waiting for the import's write lock.
    std::thread writer([&] {
        auto db = Database::open(path, false);
        ASSERT_TRUE(db.ok());
        for (int n = 0; !done; ++n) {
            const Status st = db->writeTransaction([&] {
                return db->exec("INSERT OR REPLACE INTO LOGIN_THROTTLE VALUES ('127.0.0.1', 'u" +
                                std::to_string(n % 50) + "', 1, " + std::to_string(n) + ", 0)");
            });
            st ? ++writes : ++failures;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    // A screening-shaped read: every stock it sees has all of its days of the year.
    std::thread reader([&] {
        auto db = Database::open(path, false);
        ASSERT_TRUE(db.ok());
        while (!done) {
            auto counts = db->prepare("SELECT COUNT(*) FROM STK_DAILY_TSE_2006 GROUP BY STK_CD");
            if (!counts) {
                ++failures;
                continue;
            }
            for (;;) {
                auto row = counts->step();
                if (!row) {
                    ++failures;
                    break;
                }
                if (!*row)
                    break;
                if (counts->integer(0) != 260)
                    ++partial;
            }
            ++reads;
        }
    });
    const ImportSummary s = importFully(path, 60, 0);
    done = true;
    writer.join();
    reader.join();
    EXPECT_EQ(s.imported, 60);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(partial, 0);
    EXPECT_GT(writes, 0);
    EXPECT_GT(reads, 0);
    auto db = Database::open(path, false);
    ASSERT_TRUE(db.ok());
    auto check = db->prepare("PRAGMA integrity_check");
    ASSERT_TRUE(check.ok());
    ASSERT_TRUE(*check->step());
    EXPECT_EQ(check->text(0), "ok");
}

// The stored double of a computed value is the double its text reads as, bit for bit, whether it
// is formed from the number or from the text.
// Sources of many stocks each hold more rows than the analysis may keep ahead of the writer: the
// analysis waits for the writer, never the other way round, and every stock is written.
TEST_F(ImportWritePath, SourcesLargerThanTheQueueOfFinishedRowsAllGetWritten)
{
    const std::string path = freshDatabase("large.db");
    auto db = Database::open(path, false);
    ASSERT_TRUE(db.ok());
    std::vector<StockSource> sources;
    for (int s = 0; s < 3; ++s)
        sources.push_back([s]() -> Result<StockBatch> {
            StockBatch batch;
            for (int i = 0; i < 100; ++i) // 100 x 740 rows: more than the 65,536 kept ahead
                batch.stocks.push_back(series(s * 100 + i, 0));
            return batch;
        });
    ImportOptions options;
    options.workers = 2;
    auto summary = importStocks(*db, std::move(sources), options);
    ASSERT_TRUE(summary.ok()) << summary.error().message;
    EXPECT_EQ(summary->imported, 300);
    EXPECT_EQ(summary->days, 300 * static_cast<std::int64_t>(series(0, 0).days.size()));
}

TEST(StoredValue, IsWhatTheTextOfTheNumberReadsAs)
{
    auto viaText = [](const DayValue& field) {
        const std::string text = field.text();
        double d = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
        EXPECT_TRUE(ec == std::errc() && end == text.data() + text.size()) << text;
        return d;
    };
    int compared = 0;
    auto check = [&](const DayValue& field) {
        const CellValue cell = storedValueOf(field, ColumnType::Real);
        ASSERT_EQ(cell.kind, CellValue::Kind::Real) << field.text();
        ASSERT_EQ(std::bit_cast<std::uint64_t>(cell.real), std::bit_cast<std::uint64_t>(viaText(field)))
            << field.text();
        ++compared;
    };
    std::mt19937_64 rng(19);
    for (int i = 0; i < 100000; ++i) {
        // Any extended value, kept as its text reads back: 15 significant digits.
        const auto bits = rng() | (std::uint64_t{1} << 63);
        const int exponent = static_cast<int>(rng() % 160) - 110;
        DayValue field;
        field.setNumber(std::ldexp(static_cast<long double>(bits), exponent) * (i % 2 ? -1 : 1));
        check(field);
        // A short decimal, as the indicators' rounded values are.
        const std::string text = std::to_string(rng() % 100000000) + "." + std::to_string(rng() % 1000 + 1);
        field.setTextOrNumber(text);
        check(field);
    }
    // Values whose text is exactly halfway between two doubles, and their neighbours.
    for (const char* text :
         {"1E+23", "9.00719925474099E+15", "1.00000000000001", "0.1", "1E-15", "123456789012345"}) {
        DayValue field;
        field.setNumber(*parseNumber(text));
        check(field);
    }
    // A number that is not its own text's value (a value kept without its read-back) on such a
    // halfway point still gets its text's double.
    for (int i = 0; i < 1000; ++i) {
        const double d = std::ldexp(static_cast<double>(rng() >> 11), static_cast<int>(rng() % 80) - 60);
        DayValue field;
        field.setReadBack((static_cast<long double>(d) + std::nextafter(d, HUGE_VAL)) / 2);
        check(field);
    }
    EXPECT_EQ(compared, 200000 + 6 + 1000);
}

TEST(StoredValue, ATextReadsAsFromCharsReadsIt)
{
    auto fromChars = [](const std::string& text) -> std::optional<double> {
        double d = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
        if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(d))
            return std::nullopt;
        return d;
    };
    auto same = [&](const std::string& text) {
        const auto now = doubleOfText(text);
        const auto expected = fromChars(text);
        ASSERT_EQ(now.has_value(), expected.has_value()) << text;
        if (now) {
            ASSERT_EQ(std::bit_cast<std::uint64_t>(*now), std::bit_cast<std::uint64_t>(*expected)) << text;
        }
    };
    std::mt19937_64 rng(21);
    const std::string alphabet = "0123456789012345678901234567890123456789.-e+x";
    for (int i = 0; i < 200000; ++i) {
        // Digits with a point anywhere (or none), 1 to 18 of them: both sides of the 15-digit limit.
        std::string text;
        const int digits = 1 + static_cast<int>(rng() % 18);
        for (int k = 0; k < digits; ++k)
            text += static_cast<char>('0' + rng() % 10);
        if (rng() % 4 != 0)
            text.insert(rng() % (text.size() + 1), ".");
        same(text);
        // Any short mix of digits, points, signs and exponents, most of them not numbers.
        std::string mixed;
        for (int k = 1 + static_cast<int>(rng() % 8); k > 0; --k)
            mixed += alphabet[rng() % alphabet.size()];
        same(mixed);
    }
    for (const char* text : {"", ".", "0", "-0", "1e400", "9007199254740993", "999999999999999",
                             "0.000000000000001", "123456789012345.", "1.5e3"})
        same(text);
}

namespace {

// The conversion as it was before float columns took the number straight to a double: whole
// hundredths formed from their count, anything else through the rounding or the text.
CellValue storedValueAsBefore(const DayValue& field, ColumnType type)
{
    CellValue cell;
    const auto number = field.number();
    if (field.empty() || !number)
        return cell;
    const long double v = *number;
    auto textual = [&] {
        const std::string text = field.text();
        double d = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), d);
        if (ec == std::errc() && end == text.data() + text.size() && std::isfinite(d)) {
            cell.kind = CellValue::Kind::Real;
            cell.real = d;
        }
        return cell;
    };
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
    const long double size = std::fabs(v);
    if (!field.isNumber() || !(size > 1e-300L && size < 1e300L))
        return textual();
    const double d = static_cast<double>(v);
    if (static_cast<long double>(d) != v) {
        const double beside = std::nextafter(d, v > d ? HUGE_VAL : -HUGE_VAL);
        if (2 * v == static_cast<long double>(d) + static_cast<long double>(beside))
            return textual();
    }
    cell.kind = CellValue::Kind::Real;
    cell.real = d;
    return cell;
}

} // namespace

TEST(StoredValue, FloatAndIntegerColumnsKeepWhatTheyKeptBefore)
{
    int compared = 0;
    auto same = [&](const DayValue& field) {
        for (ColumnType type : {ColumnType::Real, ColumnType::Integer}) {
            const CellValue now = storedValueOf(field, type);
            const CellValue before = storedValueAsBefore(field, type);
            ASSERT_EQ(now.kind, before.kind) << field.text();
            ASSERT_EQ(now.integer, before.integer) << field.text();
            ASSERT_EQ(std::bit_cast<std::uint64_t>(now.real), std::bit_cast<std::uint64_t>(before.real))
                << field.text();
            ++compared;
        }
    };
    std::mt19937_64 rng(20);
    DayValue field;
    for (int i = 0; i < 100000; ++i) {
        // Whole hundredths of every size up to 15 digits, both signs.
        const int digits = static_cast<int>(rng() % 16);
        std::int64_t q =
            static_cast<std::int64_t>(rng() % static_cast<std::uint64_t>(std::pow(10.0, digits)));
        field.setHundredths(i % 2 ? -q : q);
        same(field);
        // The same values given as numbers, and whole numbers as integer columns keep them.
        field.setNumber(static_cast<long double>(i % 2 ? -q : q) / 100);
        same(field);
        field.setNumber(static_cast<long double>(q));
        same(field);
        // Any extended value, kept as its 15-digit read-back.
        const auto bits = rng() | (std::uint64_t{1} << 63);
        field.setNumber(std::ldexp(static_cast<long double>(bits), static_cast<int>(rng() % 200) - 130));
        same(field);
    }
    // Zero of either sign, the edges of the ranges, values halfway between two doubles, texts.
    for (const char* text :
         {"0", "-0", "0.01", "-0.01", "9999999999999.99", "10000000000000.01", "1E-300", "1E-310", "1E+300",
          "1E+23", "9.00719925474099E+15", "0.005", "-123456789012.34"}) {
        field.setNumber(*parseNumber(text));
        same(field);
        field.setText(text);
        same(field);
    }
    field.setNumber(-0.0L);
    same(field);
    field.setText("abc");
    same(field);
    field.clear();
    same(field);
    EXPECT_EQ(compared, 2 * (400000 + 26 + 3));
}
