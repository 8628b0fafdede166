// An import killed at any moment leaves a sound database: every stock all there or not at all, and
// an import run afterwards completes it, date indexes included.
#include "common/DateText.h"
#include "server/import/Importer.h"
#include "server/storage/Schema.h"

#include <chrono>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::server;

namespace {

constexpr int kStocks = 120;
constexpr int kDays = 740; // three years from 2005

// A made-up series of whole-yen prices, different for every stock.
StockSeries series(int index)
{
    StockSeries s;
    s.code = std::to_string(2001 + index);
    s.market = 11;
    Date d{2005, 1, 4};
    for (int k = 0; k < kDays; d = addDays(d, 1)) {
        const int dow = dayOfWeek(d);
        if (dow == 0 || dow == 6)
            continue;
        const int close = 1000 + (index * 37 + k * 13) % 400;
        s.days.push_back(PriceDay{d, std::to_string(close - 5), std::to_string(close + 10),
                                  std::to_string(close - 12), std::to_string(close), 1000 + (k * 7) % 900});
        ++k;
    }
    return s;
}

std::vector<StockSource> sources()
{
    std::vector<StockSource> out;
    for (int i = 0; i < kStocks; ++i)
        out.push_back([i]() -> Result<StockBatch> { return StockBatch{{series(i)}, {}, 0}; });
    return out;
}

// logPagesBound 1: the writer waits for the log to be copied into the file after every commit.
bool importAll(const std::string& path, int logPagesBound = ImportOptions{}.logPagesBound)
{
    auto db = Database::open(path, false);
    if (!db)
        return false;
    ImportOptions options;
    options.workers = 2;
    options.logPagesBound = logPagesBound;
    auto summary = importStocks(*db, sources(), options);
    return summary.ok() && summary->imported == kStocks;
}

class ImportKill : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vorteq_kill_XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string freshDatabase(const std::string& name)
    {
        const std::string path = (dir / name).string();
        auto db = Database::open(path, true);
        EXPECT_TRUE(db.ok());
        EXPECT_TRUE(createSchema(*db, 2008).ok());
        return path;
    }

    static std::vector<std::vector<std::string>> rows(Database& db, const std::string& sql)
    {
        std::vector<std::vector<std::string>> out;
        auto stmt = db.prepare(sql);
        EXPECT_TRUE(stmt.ok()) << sql;
        if (!stmt)
            return out;
        const int columns = sqlite3_column_count(stmt->handle());
        while (*stmt->step()) {
            out.emplace_back();
            for (int c = 0; c < columns; ++c)
                out.back().push_back(stmt->text(c));
        }
        return out;
    }

    // Checks the database after a kill; returns the stocks stored.
    int checkSound(const std::string& path)
    {
        auto db = Database::open(path, false);
        EXPECT_TRUE(db.ok());
        EXPECT_EQ(rows(*db, "PRAGMA integrity_check"), (std::vector<std::vector<std::string>>{{"ok"}}));
        // Each stock has every day of its series or none, and a master row exactly when it has days.
        const auto counts = rows(
            *db, "SELECT i.STK_CD, (SELECT COUNT(*) FROM STK_DAILY_TSE_2005 d WHERE d.STK_CD = i.STK_CD) + "
                 "(SELECT COUNT(*) FROM STK_DAILY_TSE_2006 d WHERE d.STK_CD = i.STK_CD) + "
                 "(SELECT COUNT(*) FROM STK_DAILY_TSE_2007 d WHERE d.STK_CD = i.STK_CD) + "
                 "(SELECT COUNT(*) FROM STK_DAILY_TSE_2008 d WHERE d.STK_CD = i.STK_CD) FROM STK_INFO i");
        for (const auto& row : counts)
            EXPECT_EQ(row[1], std::to_string(kDays)) << "stock " << row[0];
        const auto orphans = rows(*db, "SELECT COUNT(*) FROM STK_DAILY_TSE_2006 d WHERE NOT EXISTS "
                                       "(SELECT 1 FROM STK_INFO i WHERE i.STK_CD = d.STK_CD)");
        EXPECT_EQ(orphans.at(0).at(0), "0");
        return static_cast<int>(counts.size());
    }

    std::filesystem::path dir;
};

} // namespace

TEST_F(ImportKill, AKilledImportLeavesWholeStocksAndTheNextOneCompletesTheIndexes)
{
    // How long a whole import takes here, to spread the kills over it.
    const std::string timed = freshDatabase("timed.db");
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_TRUE(importAll(timed));
    const auto whole = std::chrono::steady_clock::now() - t0;

    const std::string path = freshDatabase("killed.db");
    int kills = 0;
    for (const double share : {0.05, 0.2, 0.4, 0.6, 0.8, 0.95, 0.99}) {
        // Every other one with the writer waiting for each copy of the log.
        const int bound = ++kills % 2 ? 1 : ImportOptions{}.logPagesBound;
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            ::_exit(importAll(path, bound) ? 0 : 1);
        std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(whole * share));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        checkSound(path);
        if (HasFailure())
            return;
    }
    ASSERT_TRUE(importAll(path));
    EXPECT_EQ(checkSound(path), kStocks);
    auto db = Database::open(path, false);
    ASSERT_TRUE(db.ok());
    // The same rows as the import that ran whole: the first kill left tables holding part of the
    // stocks, whose rows the later imports replaced.
    auto clean = Database::open(timed, false);
    ASSERT_TRUE(clean.ok());
    for (int year = 2005; year <= 2008; ++year) {
        const std::string sql = "SELECT * FROM STK_DAILY_TSE_" + std::to_string(year) + " ORDER BY 1, 2";
        EXPECT_EQ(rows(*db, sql), rows(*clean, sql)) << year;
    }
    // Every daily table has its date index again, and the screening by day uses it.
    const auto missing = rows(*db, "SELECT name FROM sqlite_master m WHERE type = 'table' AND name LIKE "
                                   "'STK_DAILY_%' AND NOT EXISTS (SELECT 1 FROM sqlite_master x WHERE "
                                   "x.type = 'index' AND x.name = m.name || '_DATE')");
    EXPECT_TRUE(missing.empty()) << missing.size() << " tables without their date index, first "
                                 << (missing.empty() ? "" : missing[0][0]);
    const auto plan = rows(*db, "EXPLAIN QUERY PLAN SELECT STK_CD FROM STK_DAILY_TSE_2006 WHERE STK_DATE = "
                                "'2006/05/15'");
    ASSERT_FALSE(plan.empty());
    EXPECT_NE(plan[0].back().find("STK_DAILY_TSE_2006_DATE"), std::string::npos) << plan[0].back();
}
