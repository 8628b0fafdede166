// The schema, the value text and the confined connection, on a database in a temporary folder.
#include "common/Encoding.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "server/http/BatchService.h"
#include "server/http/HttpServer.h"
#include "server/policy/AccountStore.h"
#include "server/storage/Connection.h"
#include "server/storage/Database.h"
#include "server/storage/DayOrder.h"
#include "server/storage/Schema.h"
#include "server/storage/ValueText.h"

#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::server;
namespace fs = std::filesystem;

namespace {

std::string valueText(double v)
{
    std::string out;
    appendValueText(out, v);
    return out;
}

class TempDatabase : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string tmpl = (fs::temp_directory_path() / "vorteq_db_XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
        path = (m_dir / "t.db").string();
        auto opened = Database::open(path, true);
        ASSERT_TRUE(opened) << opened.error().message;
        db = std::move(*opened);
        ASSERT_TRUE(createSchema(db, 2007));
    }
    void TearDown() override
    {
        db = Database();
        fs::remove_all(m_dir);
    }

    std::vector<std::string> column0(const std::string& sql)
    {
        std::vector<std::string> out;
        auto stmt = db.prepare(sql);
        EXPECT_TRUE(stmt) << sql;
        if (!stmt)
            return out;
        while (*stmt->step())
            out.push_back(stmt->text(0));
        return out;
    }

    fs::path m_dir;
    std::string path;
    Database db;
};

} // namespace

TEST(ValueText, IntegralNumbersHaveNoPointAndOthersTheirShortestExactText)
{
    EXPECT_EQ(valueText(1500.0), "1500");
    EXPECT_EQ(valueText(-2.5), "-2.5");
    EXPECT_EQ(valueText(0.1), "0.1");
    EXPECT_EQ(valueText(0.1 + 0.2), "0.30000000000000004"); // the double is not 0.3
    EXPECT_EQ(valueText(1.0 / 3.0), "0.3333333333333333");
    EXPECT_EQ(valueText(-0.0), "0");
    EXPECT_EQ(valueText(0.0001), "0.0001");
    EXPECT_EQ(valueText(0.00001), "1E-5");
    EXPECT_EQ(valueText(2.5e20), "2.5E20");
    EXPECT_EQ(valueText(123456789012.5), "123456789012.5");
    EXPECT_EQ(valueText(-0.000123), "-0.000123");
    EXPECT_EQ(valueText(1e15), "1E15");
    EXPECT_EQ(valueText(999999999999999.0), "999999999999999");
    EXPECT_EQ(valueText(120.0), "120");
    EXPECT_EQ(valueText(0.29), "0.29"); // 0.29 * 100 is 28.999999999999996 in doubles
    EXPECT_EQ(valueText(-0.05), "-0.05");
    EXPECT_EQ(valueText(-0.5), "-0.5");
    EXPECT_EQ(valueText(12.3), "12.3");
    EXPECT_EQ(valueText(1.005), "1.005"); // not a double of two decimals: full shortest text
    EXPECT_EQ(valueText(2.675), "2.675");
    EXPECT_EQ(valueText(4503599627370496.5), "4.503599627370496E15"); // 2^52 + 0.5 rounds to 2^52
    // Around the two-decimal shortcut: 0.07 * 100 is 7.000000000000001, 0.285 * 100 is
    // 28.499999999999996 (0.285 is no double of two decimals), and the largest two-decimal value
    // below 1E12 takes all 14 of its digits.
    EXPECT_EQ(valueText(0.07), "0.07");
    EXPECT_EQ(valueText(-0.07), "-0.07");
    EXPECT_EQ(valueText(0.285), "0.285");
    EXPECT_EQ(valueText(-1234.56), "-1234.56");
    EXPECT_EQ(valueText(999999999999.99), "999999999999.99");
    EXPECT_EQ(valueText(1e12), "1000000000000");
}

// The shortcut for whole numbers and values of up to two decimals must give exactly the general
// form: on values of two decimals of every size, their neighbouring doubles, values of three
// decimals, integers around the shortcut's bound and arbitrary bit patterns.
TEST(ValueText, TheShortcutGivesTheGeneralFormOfEveryValue)
{
    std::mt19937_64 rng(20261208);
    std::array<char, kMaxValueTextBytes> fast;
    std::array<char, kMaxValueTextBytes> general;
    std::size_t mismatches = 0;
    auto check = [&](double v) {
        const std::string_view a(fast.data(),
                                 static_cast<std::size_t>(writeValueText(fast.data(), v) - fast.data()));
        const std::string_view b(
            general.data(),
            static_cast<std::size_t>(writeShortestValueText(general.data(), v) - general.data()));
        if (a != b && ++mismatches <= 10)
            ADD_FAILURE() << std::hexfloat << v << ": " << a << " against " << b;
    };
    for (int i = 0; i < 400000; ++i) {
        const std::uint64_t r = rng();
        const auto k = static_cast<std::int64_t>(r % 200'000'000'000'000u) - 100'000'000'000'000;
        const double twoDecimals = static_cast<double>(k >> (r >> 58)) / 100.0; // every magnitude
        check(twoDecimals);
        check(std::nextafter(twoDecimals, 1e300));
        check(std::nextafter(twoDecimals, -1e300));
        check(static_cast<double>(k % 10'000'000) / 1000.0);
        check(static_cast<double>(k) + static_cast<double>(r & 1) * 0.5);
        check(std::bit_cast<double>(r));
        check(std::ldexp(static_cast<double>(r >> 11), static_cast<int>(r % 100) - 90));
    }
    for (std::int64_t k = -100'000; k <= 100'000; ++k)
        check(static_cast<double>(k) / 100.0);
    for (double v : {0.0, -0.0, 1e12, -1e12, std::nextafter(1e12, 0.0), 999999999999.99, 0.005, 0.015, 1e-4,
                     5e-324, 1.7976931348623157e308})
        check(v);
    EXPECT_EQ(mismatches, 0u);
}

TEST(DailyTableName, FamilyAndFourDigitsInAnyCase)
{
    EXPECT_EQ(dailyTableName("STK_DAILY_TSE_", 2006), "STK_DAILY_TSE_2006");
    EXPECT_TRUE(isDailyTableName("STK_DAILY_FX_2030"));
    EXPECT_TRUE(isDailyTableName("stk_daily_jsa_2005"));
    EXPECT_FALSE(isDailyTableName("STK_DAILY_TSE_06"));
    EXPECT_FALSE(isDailyTableName("STK_DAILY_TSE_2006X"));
    EXPECT_FALSE(isDailyTableName("STK_DAILY_NYSE_2006"));
    EXPECT_FALSE(isDailyTableName("USR_INFO"));
}

TEST_F(TempDatabase, SchemaHoldsEveryFamilyAndYearWithKeyAndDateIndex)
{
    const auto tables =
        column0("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'STK_DAILY_%' "
                "ORDER BY name");
    // 4 families x 2005..2007.
    ASSERT_EQ(tables.size(), 12u);
    EXPECT_EQ(tables.front(), "STK_DAILY_DSE_2005");
    EXPECT_EQ(tables.back(), "STK_DAILY_TSE_2007");
    EXPECT_EQ(column0("SELECT name FROM pragma_table_info('STK_DAILY_FX_2006')").size(), 47u);
    EXPECT_EQ(column0("SELECT name FROM pragma_table_info('STK_DAILY_FX_2006') WHERE pk > 0 ORDER BY pk"),
              (std::vector<std::string>{"STK_CD", "STK_DATE"}));
    EXPECT_EQ(column0("SELECT name FROM pragma_index_info('STK_DAILY_TSE_2005_DATE')"),
              (std::vector<std::string>{"STK_DATE"}));
    EXPECT_EQ(
        column0("SELECT MKT_NM FROM MKT_INFO ORDER BY MKT_CD"),
        (std::vector<std::string>{"東証一部", "東証二部", "マザーズ", "プライム", "スタンダード", "グロース",
                                  "大証一部", "大証二部", "ヘラクレス", "JASDAQ", "外国為替"}));
}

TEST_F(TempDatabase, SchemaCreationRunsAgainWithoutLosingDataAndAddsNewYears)
{
    ASSERT_TRUE(db.exec("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11); UPDATE MKT_INFO SET MKT_NM = 'x' "
                        "WHERE MKT_CD = 11"));
    ASSERT_TRUE(createSchema(db, 2008));
    EXPECT_EQ(column0("SELECT STK_NM FROM STK_INFO"), (std::vector<std::string>{"極洋"}));
    EXPECT_EQ(column0("SELECT MKT_NM FROM MKT_INFO WHERE MKT_CD = 11"), (std::vector<std::string>{"x"}));
    EXPECT_EQ(column0("SELECT name FROM sqlite_master WHERE name = 'STK_DAILY_JSA_2008'").size(), 1u);
    ASSERT_TRUE(createDailyTable(db, "STK_DAILY_TSE_", 2009));
    EXPECT_EQ(column0("SELECT name FROM sqlite_master WHERE name = 'STK_DAILY_TSE_2009_DATE'").size(), 1u);
}

TEST_F(TempDatabase, PricesCompareAsNumbersAlsoWithQuotedZeroAndCodesWithBareNumbers)
{
    ASSERT_TRUE(db.exec("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, E_PRICE, PT_RANGE) VALUES "
                        "('1301', '2006/05/15', 0, -7), ('1332', '2006/05/15', 95.5, -4.5), "
                        "('7203', '2006/05/15', 1000, 10)"));
    EXPECT_EQ(column0("SELECT STK_CD FROM STK_DAILY_TSE_2006 WHERE E_PRICE <> '0' ORDER BY 1"),
              (std::vector<std::string>{"1332", "7203"}));
    // As numbers 10 >= -5 (as texts "10" < "-5" would not hold).
    EXPECT_EQ(column0("SELECT STK_CD FROM STK_DAILY_TSE_2006 WHERE PT_RANGE >= -5 ORDER BY 1"),
              (std::vector<std::string>{"1332", "7203"}));
    EXPECT_EQ(column0("SELECT STK_CD FROM STK_DAILY_TSE_2006 WHERE STK_CD IN (1301,7203) ORDER BY 1"),
              (std::vector<std::string>{"1301", "7203"}));
}

TEST_F(TempDatabase, ConfinedSelectReadsMarketTablesOnly)
{
    ASSERT_TRUE(db.exec("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11)"));
    auto conn = Connection::open(path);
    ASSERT_TRUE(conn) << conn.error().message;
    Limits limits;
    SelectResult result;
    auto ok = (*conn)->runConfinedSelect("u1",
                                         "SELECT a.STK_CD, a.STK_NM, b.MKT_NM FROM STK_INFO a, MKT_INFO b "
                                         "WHERE a.MKT_CD = b.MKT_CD",
                                         limits, result);
    ASSERT_TRUE(ok) << ok.error().message;
    EXPECT_EQ(*ok, 1u);
    ASSERT_EQ(result.rows.size(), 1u);
    EXPECT_EQ(result.rows[0], (std::vector<std::string>{"1301", "極洋", "東証一部"}));

    const char* refused[] = {
        "SELECT USR_ID FROM USR_INFO",
        "SELECT STK_CD FROM STK_INFO UNION ALL SELECT PASS_WORD FROM USR_INFO",
        "SELECT TOKEN_DIGEST FROM SESSION_INFO",
        "SELECT name FROM sqlite_master",
        "SELECT * FROM pragma_table_info('USR_INFO')",
        "SELECT load_extension('/tmp/x.so')",
        "SELECT randomblob(100000000)",
        "SELECT STK_CD FROM STK_INFO; DELETE FROM STK_INFO",
        "SELECT 1; SELECT 2",
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n",
        "DELETE FROM STK_INFO",
        "PRAGMA table_info(USR_INFO)",
        "",
    };
    for (const char* sql : refused) {
        SelectResult none;
        EXPECT_FALSE((*conn)->runConfinedSelect("u1", sql, limits, none)) << sql;
        EXPECT_TRUE(none.rows.empty()) << sql;
    }
    // The trusted path of the server's own statements is not confined.
    SelectResult count;
    RequestBudget budget = RequestBudget::of(limits);
    EXPECT_TRUE((*conn)->runTrustedSelect("SELECT COUNT(*) FROM USR_INFO", budget, count));
    EXPECT_EQ(column0("SELECT COUNT(*) FROM STK_INFO"), (std::vector<std::string>{"1"}));
}

namespace {

// Writes a result into a reply: straight from the statement's columns (as the server does), or
// through the rows of field texts (the path of every other sink), to compare the two.
class ReplySink final : public RowSink {
public:
    explicit ReplySink(bool straight) : m_straight(straight) {}
    void begin(int columns) override { writer.beginTable(columns); }
    Status row(const std::vector<std::string_view>& fields) override { return writer.addRow(fields); }
    wire::ReplyWriter* replyWriter() override { return m_straight ? &writer : nullptr; }
    wire::ReplyWriter writer;

private:
    bool m_straight;
};

// The reply text of one statement written both ways: [0] straight from the columns, [1] through
// the field texts.
std::array<std::string, 2> bothWays(Connection& conn, const std::string& sql, std::size_t expectedRows)
{
    std::array<std::string, 2> texts;
    for (bool straight : {true, false}) {
        ReplySink sink(straight);
        Limits limits;
        auto rows = conn.runConfinedSelect("u1", sql, limits, sink);
        if (!rows) {
            ADD_FAILURE() << rows.error().message;
            return texts;
        }
        EXPECT_EQ(*rows, expectedRows);
        sink.writer.endTable();
        texts[straight ? 0 : 1] = sink.writer.finish();
    }
    return texts;
}

} // namespace

TEST_F(TempDatabase, ValuesWrittenStraightIntoTheReplyMatchTheirFieldTexts)
{
    // Awkward values of every stored type: negative zero, the smallest and largest doubles, doubles
    // with no short decimal, integers at the 64-bit limits, NULL, empty and Japanese texts.
    ASSERT_TRUE(db.exec("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('1302', '', 11), "
                        "('1303', 'ＡＢＣ　株式会社', 11), ('1304', 'x', 12)"));
    const double values[] = {-0.0,   5e-324, 1e-300, 1.7976931348623157e308, 0.1 + 0.2, 1.0 / 3.0,
                             -2.675, 0.29,   1e15,   123456789012.5,         -1e-5,     4503599627370496.5};
    std::string table = dailyTableName("STK_DAILY_TSE_", 2007);
    auto insert =
        db.prepare("INSERT INTO " + table + " (STK_CD, STK_DATE, S_PRICE, E_PRICE) VALUES (?, ?, ?, ?)");
    ASSERT_TRUE(insert);
    int day = 1;
    for (const char* code : {"1301", "1302", "1303", "1304"})
        for (std::size_t i = 0; i < std::size(values); ++i, ++day) {
            insert->bind(1, code).bind(2, "2007/01/" + std::to_string(day));
            sqlite3_bind_double(insert->handle(), 3, values[i]);
            sqlite3_bind_double(insert->handle(), 4, values[(i + 5) % std::size(values)]);
            ASSERT_TRUE(insert->run());
            insert->reset();
        }
    auto conn = Connection::open(path);
    ASSERT_TRUE(conn) << conn.error().message;
    const std::string sql =
        "SELECT a.STK_CD, a.STK_NM, b.MKT_NM, c.STK_DATE, c.S_PRICE, c.E_PRICE, c.H_PRICE, "
        "9223372036854775807, -9223372036854775807 - 1, c.S_PRICE * 1E300, CAST(c.E_PRICE AS INTEGER), '' "
        "FROM STK_INFO a, MKT_INFO b, " +
        table + " c WHERE a.MKT_CD = b.MKT_CD AND a.STK_CD = c.STK_CD ORDER BY c.STK_DATE";
    const auto texts = bothWays(**conn, sql, 4 * std::size(values));
    EXPECT_EQ(texts[0], texts[1]);
    for (const char* field : {"0.30000000000000004", "9223372036854775807", "-9223372036854775808",
                              "1.7976931348623157E308", "5E-324", "-2.675", "\x1F\x1F", "-1E-5"})
        EXPECT_NE(texts[0].find(field), std::string::npos) << field;
}

TEST_F(TempDatabase, WideRowsOfTheLongestNumbersAndATextRefusedAfterNumbersKeepTheReplyWhole)
{
    ASSERT_TRUE(
        db.exec("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('1305', 'a' || char(31) || 'b', 11)"));
    auto conn = Connection::open(path);
    ASSERT_TRUE(conn) << conn.error().message;
    // 600 columns of the longest value texts there are, NULLs and integers between them.
    std::string sql = "SELECT ";
    const char* longest[] = {"-2.2250738585072014E-308", "-1.7976931348623157E308",
                             "-4.9406564584124654E-324", "NULL",
                             "-9223372036854775807 - 1", "-0.00012345678901234567"};
    for (int c = 0; c < 600; ++c)
        sql += std::string(c == 0 ? "" : ", ") + longest[c % 6];
    sql += ", STK_NM FROM STK_INFO WHERE STK_CD = '1301'";
    const auto texts = bothWays(**conn, sql, 1);
    EXPECT_EQ(texts[0], texts[1]);
    EXPECT_NE(texts[0].find("\x1F-2.2250738585072014E-308\x1F-1.7976931348623157E308\x1F-5E-324\x1F\x1F"
                            "-9223372036854775808\x1F-0.00012345678901234567\x1F"),
              std::string::npos);
    // The second row's text holds a separator: the row goes, numbers written before it included,
    // and the statement fails; the first row stays as it was written.
    ReplySink sink(true);
    Limits limits;
    auto refused = (*conn)->runConfinedSelect(
        "u1", "SELECT 1.5, 2, NULL, STK_NM, 3 FROM STK_INFO ORDER BY STK_CD", limits, sink);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("result cannot be sent"), std::string::npos);
    sink.writer.endTable();
    EXPECT_EQ(sink.writer.finish(), "\x1E"
                                    "1.5\x1F"
                                    "2\x1F\x1F\x8B\xC9\x97\x6D\x1F"
                                    "3#5/1\x04");
}

TEST_F(TempDatabase, RowAndTimeLimitsEndAStatement)
{
    ASSERT_TRUE(
        db.exec("INSERT INTO STK_INFO VALUES ('1301', 'a', 11), ('1302', 'b', 11), ('1303', 'c', 11)"));
    for (int i = 0; i < 200; ++i)
        ASSERT_TRUE(db.exec("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE) VALUES ('" +
                            std::to_string(1000 + i) + "', '2006/01/04')"));
    auto conn = Connection::open(path);
    ASSERT_TRUE(conn);
    Limits limits;
    limits.maxRows = 2;
    SelectResult sink;
    auto rows = (*conn)->runConfinedSelect("u1", "SELECT STK_CD FROM STK_INFO", limits, sink);
    ASSERT_FALSE(rows);
    EXPECT_NE(rows.error().message.find("rows"), std::string::npos);

    limits.maxRows = 100000;
    limits.requestTime = std::chrono::milliseconds(50);
    // 200^4 combinations: far beyond 50 ms.
    auto slow = (*conn)->runConfinedSelect("u1",
                                           "SELECT COUNT(*) FROM STK_DAILY_TSE_2006 a, STK_DAILY_TSE_2006 b, "
                                           "STK_DAILY_TSE_2006 c, STK_DAILY_TSE_2006 d",
                                           limits, sink);
    ASSERT_FALSE(slow);
    EXPECT_NE(slow.error().message.find("time limit"), std::string::npos);
    // The connection stays usable.
    EXPECT_TRUE((*conn)->runConfinedSelect("u1", "SELECT COUNT(*) FROM STK_INFO", limits, sink));
}

TEST_F(TempDatabase, OneBudgetBoundsRowsBytesAndTimeOfEveryStatementTogether)
{
    ASSERT_TRUE(
        db.exec("INSERT INTO STK_INFO VALUES ('1301', 'a', 11), ('1302', 'b', 11), ('1303', 'c', 11)"));
    auto conn = Connection::open(path);
    ASSERT_TRUE(conn);
    Limits limits;
    limits.maxRows = 4;
    RequestBudget budget = RequestBudget::of(limits);
    SelectResult sink;
    const std::string sql = "SELECT a.STK_CD FROM STK_INFO a";
    ASSERT_TRUE((*conn)->runConfinedSelect("u1", sql, budget, sink)); // 3 of the 4 rows
    EXPECT_EQ(budget.rowsLeft, 1u);
    EXPECT_FALSE(
        (*conn)->runConfinedSelect("u1", sql, budget, sink)); // within its own limit, not the request's

    budget = RequestBudget::of(limits);
    budget.replyBytesLeft = 20; // each row costs its value and a separator
    ASSERT_TRUE((*conn)->runConfinedSelect("u1", sql, budget, sink));
    EXPECT_EQ(budget.replyBytesLeft, 5u);
    EXPECT_FALSE((*conn)->runConfinedSelect("u1", sql, budget, sink));

    budget = RequestBudget::of(limits);
    budget.deadline = std::chrono::steady_clock::now() - std::chrono::milliseconds(1);
    auto late = (*conn)->runConfinedSelect("u1", "SELECT COUNT(*) FROM STK_INFO", budget, sink);
    ASSERT_FALSE(late);
    EXPECT_NE(late.error().message.find("time limit"), std::string::npos);
}

TEST_F(TempDatabase, TemporaryFilesOfALargeSortAreCappedPerConnection)
{
    ASSERT_TRUE(db.exec("BEGIN"));
    for (int i = 0; i < 20000; ++i)
        ASSERT_TRUE(db.exec("INSERT INTO STK_INFO VALUES ('" + std::to_string(100000 + i) + "', '" +
                            std::string(80, static_cast<char>('a' + i % 26)) + std::to_string(i) + "', 11)"));
    ASSERT_TRUE(db.exec("COMMIT"));
    // A small page cache makes the sort of about 2 MB spill to temporary files.
    const std::string sort = "SELECT a.STK_CD, a.STK_NM FROM STK_INFO a ORDER BY a.STK_NM DESC";
    auto capped = Connection::open(path, 256 * 1024);
    ASSERT_TRUE(capped);
    ASSERT_TRUE((*capped)->db().exec("PRAGMA cache_size = -64"));
    SelectResult sink;
    auto refused = (*capped)->runConfinedSelect("u1", sort, Limits{}, sink);
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("temporary storage"), std::string::npos)
        << refused.error().message;
    // The connection goes on, and a connection with room for the sort runs it.
    EXPECT_TRUE((*capped)->runConfinedSelect("u1", "SELECT COUNT(*) FROM STK_INFO", Limits{}, sink));
    auto roomy = Connection::open(path, 64 * 1024 * 1024);
    ASSERT_TRUE(roomy);
    ASSERT_TRUE((*roomy)->db().exec("PRAGMA cache_size = -64"));
    SelectResult all;
    auto sorted = (*roomy)->runConfinedSelect("u1", sort, Limits{}, all);
    ASSERT_TRUE(sorted) << sorted.error().message;
    EXPECT_EQ(*sorted, 20000u);
    EXPECT_EQ(all.rows.front()[0], "109983"); // 80 times 'z' and then "9983" sorts first
}

TEST_F(TempDatabase, KeptStatementsServeOnlyTheirUserAndNeverStaleRows)
{
    ASSERT_TRUE(db.exec("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('1332', '日本水産', 11)"));
    auto conn = Connection::open(path);
    ASSERT_TRUE(conn);
    Limits limits;
    const std::string sql = "SELECT * FROM STK_INFO ORDER BY STK_CD";
    auto run = [&](const std::string& user) {
        SelectResult result;
        auto rows = (*conn)->runConfinedSelect(user, sql, limits, result);
        EXPECT_TRUE(rows) << (rows ? "" : rows.error().message);
        return result;
    };
    EXPECT_EQ(run("u1").rows.size(), 2u);
    EXPECT_EQ(run("u1").rows.size(), 2u);
    EXPECT_EQ((*conn)->compiledCount(), 1u); // the second run used the kept statement
    run("u2");
    EXPECT_EQ((*conn)->compiledCount(), 2u); // another user's request compiles its own

    // Data written by another connection since: the kept statement holds no old snapshot.
    ASSERT_TRUE(db.exec("UPDATE STK_INFO SET STK_NM = 'ニッスイ' WHERE STK_CD = '1332'"));
    EXPECT_EQ(run("u1").rows.at(1).at(1), "ニッスイ");
    // A schema change since: "*" is expanded anew.
    ASSERT_TRUE(db.exec("ALTER TABLE STK_INFO ADD COLUMN EXTRA TEXT DEFAULT 'x'"));
    auto wider = run("u1");
    EXPECT_EQ(wider.columns, 4);
    ASSERT_EQ(wider.rows.size(), 2u);
    EXPECT_EQ(wider.rows[0], (std::vector<std::string>{"1301", "極洋", "11", "x"}));
    // The table gone: a refusal, not the rows it had.
    const std::string daily = "SELECT STK_CD FROM STK_DAILY_TSE_2007";
    SelectResult none;
    ASSERT_TRUE((*conn)->runConfinedSelect("u1", daily, limits, none));
    ASSERT_TRUE(db.exec("DROP TABLE STK_DAILY_TSE_2007"));
    EXPECT_FALSE((*conn)->runConfinedSelect("u1", daily, limits, none));
    ASSERT_TRUE(createDailyTable(db, "STK_DAILY_TSE_", 2007));
    EXPECT_TRUE((*conn)->runConfinedSelect("u1", daily, limits, none));
}

TEST_F(TempDatabase, KeptStatementsStayConfinedAndWithinTheLimits)
{
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(db.exec("INSERT INTO STK_INFO VALUES ('" + std::to_string(1300 + i) + "', 'a', 11)"));
    auto conn = Connection::open(path);
    ASSERT_TRUE(conn);
    Limits limits;
    SelectResult sink;
    // A refused text is never kept: asked again it is refused again.
    for (int i = 0; i < 2; ++i)
        EXPECT_FALSE((*conn)->runConfinedSelect("u1", "SELECT USR_ID FROM USR_INFO", limits, sink));
    // The row limit applies to a kept statement as to a new one.
    const std::string sql = "SELECT STK_CD FROM STK_INFO";
    ASSERT_TRUE((*conn)->runConfinedSelect("u1", sql, limits, sink));
    limits.maxRows = 3;
    EXPECT_FALSE((*conn)->runConfinedSelect("u1", sql, limits, sink));
    // Stopped part-way, it starts again from the first row next time.
    limits.maxRows = 100;
    SelectResult all;
    ASSERT_TRUE((*conn)->runConfinedSelect("u1", sql, limits, all));
    EXPECT_EQ(all.rows.size(), 5u);
    // A very long text is compiled anew each time rather than kept.
    const std::uint64_t compiled = (*conn)->compiledCount();
    const std::string padded = sql + std::string(StatementCache::kMaxKeptBytes, ' ');
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE((*conn)->runConfinedSelect("u1", padded, limits, sink));
    EXPECT_EQ((*conn)->compiledCount(), compiled + 2);
    // More texts than the cache holds: the oldest goes, every answer stays right.
    for (std::size_t i = 0; i <= StatementCache::kSize; ++i) {
        SelectResult result;
        ASSERT_TRUE((*conn)->runConfinedSelect("u1",
                                               "SELECT STK_CD FROM STK_INFO WHERE STK_CD >= '" +
                                                   std::to_string(1300 + i % 5) + "' LIMIT " +
                                                   std::to_string(i + 1),
                                               limits, result));
        EXPECT_EQ(result.rows.size(), std::min<std::size_t>(i + 1, 5 - i % 5)) << i;
    }
}

TEST(NearbyAddress, LoopbackAndPrivateNetworksOnly)
{
    for (const char* near :
         {"127.0.0.1", "127.5.6.7", "10.1.2.3", "172.16.0.1", "172.31.255.254", "192.168.1.10", "169.254.3.4",
          "::1", "fd12:3456::1", "fe80::1", "::ffff:127.0.0.1", "::ffff:192.168.0.2"})
        EXPECT_TRUE(isNearbyAddress(near)) << near;
    for (const char* far : {"8.8.8.8", "172.15.0.1", "172.32.0.1", "192.169.0.1", "11.0.0.1", "2001:db8::1",
                            "::ffff:8.8.8.8", "not an address", ""})
        EXPECT_FALSE(isNearbyAddress(far)) << far;
}

TEST_F(TempDatabase, NearbyPeersGetStoredBlocksOfTheSameReply)
{
    ASSERT_TRUE(addUser(db, NewUser{"demo", "demo1234", "デモ", "demo@example.com"}, HashCost::Min));
    ASSERT_TRUE(db.exec("INSERT INTO STK_UPD VALUES (1, '2006/05/15'), (2, '2006/05/12')"));
    ServerConfig config;
    config.hashCost = HashCost::Min;
    config.log = [](std::string_view) {};
    auto service = BatchService::open(path, config);
    ASSERT_TRUE(service) << service.error().message;
    const std::string login =
        zlibCompress(
            wire::buildRequestText({"Query",
                                    "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE "
                                    "a.USR_STATUS <> 1 AND a.USR_ID = 'demo' AND a.PASS_WORD = 'demo1234'",
                                    "SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG"}),
            ZlibLevel::Fastest)
            .value();
    const BatchReply far = (*service)->handle(login, "");
    const BatchReply near = (*service)->handle(login, "", true);
    // The user row and the two dates; 4-byte length, zlib header, then the first block's BTYPE.
    const std::string text = "\x1E\x83\x66\x83\x82\x1F"
                             "demo@example.com\x1F"
                             "0#3/1\x1D"
                             "\x1E"
                             "2006/05/15\x1E"
                             "2006/05/12#1/2\x04";
    EXPECT_EQ(zlibDecompress(far.body).value(), text);
    EXPECT_EQ(zlibDecompress(near.body).value(), text);
    EXPECT_NE(far.body.at(6) & 0x06, 0);
    EXPECT_EQ(near.body.at(6) & 0x06, 0);
    EXPECT_FALSE(near.setCookie.empty());
}

// Names are converted to CP932 once per worker thread and then remembered: concurrent screenings
// of thousands of distinct names (some longer than any remembered text) must each get iconv's exact
// bytes, and a name without a CP932 form fails its own statement every time, never the others'.
TEST_F(TempDatabase, ConcurrentScreeningsOfManyDistinctNamesGetExactTextsAndAnUnsendableNameFailsAlone)
{
    ASSERT_TRUE(addUser(db, NewUser{"demo", "demo1234", "デモ", "demo@example.com"}, HashCost::Min));
    ASSERT_TRUE(db.exec("INSERT INTO STK_UPD VALUES (1, '2006/05/15'), (2, '2006/05/12')"));
    const std::vector<std::string> kanji = {"極", "洋", "日", "本", "水", "産", "銘", "柄", "東", "証"};
    auto insert = db.prepare("INSERT INTO STK_INFO VALUES (?, ?, ?)");
    ASSERT_TRUE(insert);
    for (int i = 0; i < 3000; ++i) {
        std::string name = kanji[static_cast<std::size_t>(i % 10)] + std::to_string(i) + "株式会社";
        for (int k = 0; k < i % 60; ++k) // up to 180 bytes more
            name += "ア";
        insert->bind(1, std::to_string(10000 + i))
            .bind(2, name)
            .bind(3, static_cast<std::int64_t>(11 + i % 2));
        ASSERT_TRUE(insert->run());
        insert->reset();
    }
    ASSERT_TRUE(db.exec("INSERT INTO STK_INFO VALUES ('99999', '株\xF0\x9F\x98\x80', 11)"));
    ServerConfig config;
    config.hashCost = HashCost::Min;
    config.replyCacheBytes = 0; // every reply worked out
    config.limits.maxRequestsPerUser = 8;
    config.log = [](std::string_view) {};
    auto service = BatchService::open(path, config);
    ASSERT_TRUE(service) << service.error().message;
    const BatchReply login = (*service)->handle(
        zlibCompress(
            wire::buildRequestText({"Query", "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a "
                                             "WHERE a.USR_STATUS <> 1 AND a.USR_ID = 'demo' AND "
                                             "a.PASS_WORD = 'demo1234'"}),
            ZlibLevel::Fastest)
            .value(),
        "");
    const std::string cookie = login.setCookie.substr(0, login.setCookie.find(';'));
    ASSERT_FALSE(cookie.empty());

    auto screening = [](int market, bool withUnsendable) {
        return "SELECT a.STK_CD, a.STK_NM, a.STK_NM || '・' || a.STK_CD, a.MKT_CD * 1.25 FROM STK_INFO a "
               "WHERE a.MKT_CD = " +
               std::to_string(market) + (withUnsendable ? "" : " AND a.STK_CD <> '99999'") +
               " ORDER BY a.STK_CD";
    };
    std::vector<std::vector<std::string>> expected[2];
    for (int m = 0; m < 2; ++m) {
        auto stmt = db.prepare(screening(11 + m, false));
        ASSERT_TRUE(stmt);
        while (*stmt->step())
            expected[m].push_back({stmt->text(0), stmt->text(1), stmt->text(2),
                                   valueText(sqlite3_column_double(stmt->handle(), 3))});
        ASSERT_EQ(expected[m].size(), 1500u);
    }
    std::atomic<int> wrong{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 5; ++t)
        clients.emplace_back([&, t] {
            const bool hostile = t == 4;
            const int market = hostile ? 11 : 11 + t % 2;
            const std::string body =
                zlibCompress(
                    wire::buildRequestText({"Query", utf8ToCp932(screening(market, hostile)).value()}),
                    ZlibLevel::Fastest)
                    .value();
            for (int round = 0; round < 6; ++round) {
                const std::string text = zlibDecompress((*service)->handle(body, cookie).body).value();
                if (hostile) {
                    wrong += text != "-99\x04";
                    continue;
                }
                auto reply = wire::parseReplyText(text, 1);
                if (!reply || !reply->ok || reply->sections.size() != 1) {
                    ++wrong;
                    continue;
                }
                const auto& table = *reply->sections[0].tbl;
                const auto& rows = expected[market - 11];
                for (std::size_t r = 0; r < rows.size(); ++r)
                    for (std::size_t c = 0; c < 4; ++c)
                        wrong += table.text(static_cast<int>(c) + 1, static_cast<int>(r) + 1) != rows[r][c];
            }
        });
    for (auto& c : clients)
        c.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST_F(TempDatabase, DayOrderStoresEachDayTogetherAndKeepsEveryRowKeyAndIndex)
{
    // Three stocks of four days each, written stock by stock as an import does.
    for (const char* code : {"7203", "1301", "9984"})
        for (int day = 4; day <= 7; ++day)
            ASSERT_TRUE(db.exec(
                std::string("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, E_PRICE, RSI) VALUES ('") +
                code + "', '2006/01/0" + std::to_string(day) + "', " + std::to_string(day * 100) +
                ".5, NULL)"));
    auto before = isInDayOrder(db, "STK_DAILY_TSE_2006");
    ASSERT_TRUE(before);
    EXPECT_FALSE(*before);                                // the last day's rows have row ids 4, 8 and 12
    EXPECT_TRUE(*isInDayOrder(db, "STK_DAILY_TSE_2007")); // empty

    std::vector<std::string> seen;
    auto rewritten = putDailyTablesInDayOrder(db, [&](const std::string& t) { seen.push_back(t); });
    ASSERT_TRUE(rewritten) << rewritten.error().message;
    EXPECT_EQ(*rewritten, 1);
    EXPECT_EQ(seen, (std::vector<std::string>{"STK_DAILY_TSE_2006"}));
    EXPECT_TRUE(*isInDayOrder(db, "STK_DAILY_TSE_2006"));
    // Row ids now run day by day, stock code within a day.
    EXPECT_EQ(column0("SELECT STK_CD || ' ' || STK_DATE FROM STK_DAILY_TSE_2006 ORDER BY rowid LIMIT 4"),
              (std::vector<std::string>{"1301 2006/01/04", "7203 2006/01/04", "9984 2006/01/04",
                                        "1301 2006/01/05"}));
    EXPECT_EQ(column0("SELECT COUNT(*) || ' ' || SUM(E_PRICE) || ' ' || COUNT(RSI) FROM STK_DAILY_TSE_2006"),
              (std::vector<std::string>{"12 6606.0 0"})); // 3 x (400.5 + 500.5 + 600.5 + 700.5) = 3 x 2202
    // The key still refuses a duplicate, the date index is there under its name.
    EXPECT_FALSE(db.exec("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE) VALUES ('1301', '2006/01/04')"));
    EXPECT_EQ(column0("SELECT name FROM pragma_index_info('STK_DAILY_TSE_2006_DATE')"),
              (std::vector<std::string>{"STK_DATE"}));
    EXPECT_EQ(column0("SELECT name FROM sqlite_master WHERE name LIKE '%_OLD'").size(), 0u);
    // Done once: nothing to do the second time.
    EXPECT_EQ(*putDailyTablesInDayOrder(db, {}), 0);
}

TEST(AccountRules, NewPasswordsAndAddressesFollowTheAccountWindowRules)
{
    EXPECT_TRUE(isAcceptablePassword("abcd"));
    EXPECT_TRUE(isAcceptablePassword("A1b2C3d4E5"));
    EXPECT_FALSE(isAcceptablePassword("abc"));
    EXPECT_FALSE(isAcceptablePassword("abcdefghijk"));
    EXPECT_FALSE(isAcceptablePassword("ab-cd"));
    EXPECT_FALSE(isAcceptablePassword("ab'cd"));
    EXPECT_TRUE(isAcceptableMail("a.b-c_d@example.co.jp"));
    EXPECT_FALSE(isAcceptableMail("a@b@c"));
    EXPECT_FALSE(isAcceptableMail("ab.example.com"));
    EXPECT_FALSE(isAcceptableMail("a b@example.com"));
    EXPECT_FALSE(isAcceptableMail("a'@example.com"));
    EXPECT_FALSE(isAcceptableMail(std::string(45, 'a') + "@x.com")); // 51 characters
}

TEST_F(TempDatabase, AddUserTakesOnlyIdsAndPasswordsTheLoginWindowCanType)
{
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"demo", "password1234"},      // 12 characters: the password field takes 10
        {"demo", "abc"},               // fewer than 4
        {"demo", "pass-123"},          // a symbol
        {"demo", "ｐａｓｓ1234"},      // full-width letters
        {"abcdefghijklm", "pass1234"}, // 13 characters: the ID field takes 12
        {"de mo", "pass1234"},         // a blank
        {"", "pass1234"},
    };
    for (const auto& [id, password] : refused) {
        const Status st = addUser(db, NewUser{id, password, "名前", "a@example.com"}, HashCost::Min);
        EXPECT_FALSE(st) << id << " / " << password;
    }
    EXPECT_TRUE(column0("SELECT USR_ID FROM USR_INFO").empty());
    EXPECT_TRUE(addUser(db, NewUser{"abcdefghijkl", "A1b2C3d4E5", "名前", "a@example.com"}, HashCost::Min));
    EXPECT_TRUE(addUser(db, NewUser{"o'brien", "abcd", "名前", "b@example.com"}, HashCost::Min));
    EXPECT_EQ(column0("SELECT USR_ID FROM USR_INFO ORDER BY 1"),
              (std::vector<std::string>{"abcdefghijkl", "o'brien"}));
}

TEST_F(TempDatabase, SessionExpiryPushNeverWaitsForAnotherWriter)
{
    ServerConfig config;
    config.hashCost = HashCost::Min;
    AccountStore accounts(config);
    ASSERT_TRUE(addUser(db, NewUser{"demo", "demo1234", "デモ", "demo@example.com"}, HashCost::Min));
    const std::int64_t start = 1'700'000'000;
    auto outcome = accounts.login(db, LoginStatement{"demo", "demo1234"}, "127.0.0.1", start);
    ASSERT_TRUE(outcome) << outcome.error().message;
    ASSERT_EQ(outcome->verdict, LoginVerdict::Accepted);
    auto expiry = [&] { return column0("SELECT EXPIRES_AT FROM SESSION_INFO").at(0); };
    const std::string first = expiry();

    // An import or a login holds the write lock. The push is due, but waiting for the lock would hold
    // up the screening that asked: it is put off instead, and the busy handler is never consulted.
    auto writer = Database::open(path, false);
    ASSERT_TRUE(writer);
    ASSERT_TRUE(writer->exec("BEGIN IMMEDIATE"));
    int busyCalls = 0;
    sqlite3_busy_handler(
        db.handle(),
        [](void* calls, int) {
            ++*static_cast<int*>(calls);
            return 0;
        },
        &busyCalls);
    auto user = accounts.sessionUser(db, outcome->token, start + 600);
    ASSERT_TRUE(user) << user.error().message;
    EXPECT_EQ(user->value_or(""), "demo");
    EXPECT_EQ(busyCalls, 0);
    EXPECT_EQ(expiry(), first);

    // The lock gone, a later request pushes the expiry, and the connection waits for writers again.
    ASSERT_TRUE(writer->exec("COMMIT"));
    ASSERT_TRUE(accounts.sessionUser(db, outcome->token, start + 660));
    EXPECT_EQ(expiry(), std::to_string(start + 660 + config.sessionLifetime.count()));
    ASSERT_TRUE(writer->exec("BEGIN IMMEDIATE"));
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_TRUE(writer->exec("COMMIT"));
    });
    EXPECT_TRUE(db.exec("UPDATE SESSION_INFO SET EXPIRES_AT = EXPIRES_AT + 1"));
    release.join();
}
