// The importer against a real database and the real server: what it stores, what the client then
// reads back over HTTP, re-import, bad input, a failing stock, and the update dates.
#include "ServerTestData.h"
#include "analysis/AnalysisTestSupport.h"
#include "common/Encoding.h"
#include "gateway/THttpStatements.h"
#include "server/import/ImportCommand.h"
#include "server/import/Importer.h"
#include "support/TestServer.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::server;
using namespace vorteq::test;

namespace {

const std::string kGoog = std::string(VORTEQ_DATA_DIR) + "/goog_2004-08-19_2008-10-14.csv";

// Each precomputed column and the engine field it must hold, as the screening reads them.
const std::vector<std::pair<std::string, DayField>> kExpectedColumns = {
    {"PT_RANGE", DayField::ToujituRate},
    {"PY_RANGE", DayField::ZenjituRate},
    {"H_RANGE", DayField::UpperShadowRate},
    {"L_RANGE", DayField::LowerShadowRate},
    {"V_RANGE", DayField::VlmRate},
    {"RENZOKU", DayField::RenzokuDays},
    {"MA_05", DayField::IdoAvg1},
    {"MA_15", DayField::IdoAvg2},
    {"MA_25", DayField::IdoAvg3},
    {"MA_50", DayField::IdoAvg4},
    {"MARATIO_05", DayField::Kairi1},
    {"MARATIO_15", DayField::Kairi2},
    {"MARATIO_25", DayField::Kairi3},
    {"MARATIO_50", DayField::Kairi4},
    {"STC_K", DayField::STC_K},
    {"STC_D", DayField::STC_D},
    {"STC_SD", DayField::STC_SD},
    {"RSI", DayField::RSI},
    {"U_OSI", DayField::OSI},
    {"WIL_R", DayField::WilR},
    {"RCI", DayField::RCI},
    {"CCI", DayField::CCI},
    {"ARATIO", DayField::ARatio},
    {"BRATIO", DayField::BRatio},
    {"PAR_SAR", DayField::ParaboSAR},
    {"WIL_SAR", DayField::WilSAR},
    {"VOL_P2", DayField::VolinPlus2},
    {"VOL_M2", DayField::VolinMinus2},
    {"VOL_P1", DayField::VolinPlus1},
    {"VOL_M1", DayField::VolinMinus1},
    {"VR_A", DayField::VRA},
    {"VR_B", DayField::VRB},
    {"VR_W", DayField::VRW},
    {"DMI_P", DayField::PlusDI},
    {"DMI_M", DayField::MinusDI},
    {"DMI_ADX", DayField::ADX},
    {"MACD", DayField::MACD},
    {"MACD_S", DayField::MACSignal},
    {"SAI_A", DayField::PSY},
    {"SAI_B", DayField::MPSY},
};

std::optional<double> asDouble(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

class Importer : public ::testing::Test {
protected:
    void SetUp() override
    {
        clearSessionCookie();
        std::string tmpl = (std::filesystem::temp_directory_path() / "vorteq_import_XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override
    {
        clearSessionCookie();
        std::filesystem::remove_all(dir);
    }

    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(dir / name, std::ios::binary) << text;
        return (dir / name).string();
    }

    // Imports the files into the server's database; the messages are kept.
    ImportSummary import(const std::vector<std::string>& files, int market = 11, const std::string& code = "")
    {
        std::vector<StockSource> sources;
        for (const std::string& f : files)
            sources.push_back([f, market, code] { return readPriceFile(f, code, market); });
        return importSources(std::move(sources));
    }

    ImportSummary importSources(std::vector<StockSource> sources)
    {
        auto db = Database::open(server.dbPath(), false);
        EXPECT_TRUE(db.ok());
        ImportOptions options;
        options.workers = 2;
        options.message = [this](const std::string& line) { messages.push_back(line); };
        auto summary = importStocks(*db, std::move(sources), options);
        EXPECT_TRUE(summary.ok()) << (summary.ok() ? "" : summary.error().message);
        return summary.ok() ? *summary : ImportSummary{};
    }

    bool mentioned(const std::string& part) const
    {
        for (const std::string& m : messages)
            if (m.find(part) != std::string::npos)
                return true;
        return false;
    }

    // Everything stored about one stock, to compare two imports.
    std::vector<std::vector<std::string>> dump(const std::string& code)
    {
        auto rows = server.query("SELECT STK_CD, STK_NM, MKT_CD FROM STK_INFO WHERE STK_CD = '" + code + "'");
        for (const auto& t : server.query("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE "
                                          "'STK_DAILY_%' ORDER BY name")) {
            auto part = server.query("SELECT '" + t[0] + "', * FROM " + t[0] + " WHERE STK_CD = '" + code +
                                     "' ORDER BY STK_DATE");
            rows.insert(rows.end(), part.begin(), part.end());
        }
        return rows;
    }

    std::size_t dailyRows(const std::string& code) { return dump(code).size() - 1; }

    bool login()
    {
        server.addUser("demo", "demo1234", "デモ", "demo@example.com");
        client.Clear();
        client.Add("Query");
        client.Add(loginSql("demo", "demo1234"));
        auto r = client.Execute();
        return r.ok() && *r && client.Item(1).RowCount == 1;
    }

    TestServer server;
    THttpStatements client{server.url()};
    std::filesystem::path dir;
    std::vector<std::string> messages;
};

std::string days(int first, int count, int price = 300)
{
    std::string out = "Date,Open,High,Low,Close,Volume\n";
    for (int i = 0; i < count; ++i) {
        const int p = price + i;
        out += "2006/05/" + std::to_string(first + i) + "," + std::to_string(p) + "," +
               std::to_string(p + 5) + "," + std::to_string(p - 5) + "," + std::to_string(p + 1) + ",1000\n";
    }
    return out;
}

} // namespace

TEST_F(Importer, RealSeriesStoresTheEngineValuesAndTheServerGivesBackTheSameTexts)
{
    const ImportSummary s = import({kGoog}, 11, "9997");
    EXPECT_EQ(s.imported, 1);
    EXPECT_EQ(s.days, 1047);
    // The 2004 rows needed a table that the schema did not have.
    EXPECT_EQ(server.query("SELECT COUNT(*) FROM STK_DAILY_TSE_2004")[0][0], "94");

    // The engine on the same file, with the four averages at 5, 15, 25 and 50 days.
    const auto rows = vorteq::testing::loadCsvNewestFirst(kGoog, "9997");
    const TStkData expected = vorteq::testing::analyzeRows(
        rows,
        vorteq::testing::conditionsWith(
            {{"AmtBuyIdo", "5"}, {"AmtBuyKairi1", "15"}, {"AmtBuyCloss1", "25"}, {"AmtBuyCloss2", "50"}}));
    ASSERT_EQ(expected.DayCount, 1047);
    std::map<std::string, const TStkDailyData*> byDate;
    for (const auto& d : expected.Days)
        byDate[normaliseDateText(d.text(DayField::StkDate))] = &d;

    // Stored values, read straight from the database, equal the engine's numbers.
    std::string columns;
    for (const auto& [name, field] : kExpectedColumns)
        columns += ", " + name;
    for (int year = 2004; year <= 2008; ++year) {
        const auto stored = server.query("SELECT STK_DATE" + columns + " FROM STK_DAILY_TSE_" +
                                         std::to_string(year) + " WHERE STK_CD = '9997' ORDER BY STK_DATE");
        for (const auto& row : stored) {
            const TStkDailyData& day = *byDate.at(row[0]);
            for (std::size_t c = 0; c < kExpectedColumns.size(); ++c)
                EXPECT_EQ(asDouble(row[c + 1]), asDouble(day.text(kExpectedColumns[c].second)))
                    << row[0] << " " << kExpectedColumns[c].first;
        }
    }

    // Over HTTP, a screening-shaped SELECT gives every column as the text the client's engine shows.
    ASSERT_TRUE(login());
    const std::vector<std::pair<int, DayField>> priceColumns = {
        {4, DayField::StkDate}, {5, DayField::SPrice}, {6, DayField::HPrice},
        {7, DayField::LPrice},  {8, DayField::EPrice}, {9, DayField::StkVlm}};
    int compared = 0;
    for (int year = 2004; year <= 2008; ++year) {
        client.Clear();
        client.Add("Query");
        client.Add(
            kScreeningColumns + "STK_INFO a, MKT_INFO b, STK_DAILY_TSE_" + std::to_string(year) +
            " c WHERE a.MKT_CD = b.MKT_CD AND a.MKT_CD = 11 AND a.STK_CD = c.STK_CD AND c.E_PRICE <> 0 "
            "ORDER BY c.STK_DATE ");
        client.Add(
            "SELECT c.STK_DATE, c.MARATIO_05, c.MARATIO_15, c.MARATIO_25, c.MARATIO_50 FROM STK_DAILY_TSE_" +
            std::to_string(year) + " c WHERE c.STK_CD = '9997' ORDER BY c.STK_DATE ");
        auto r = client.Execute();
        ASSERT_TRUE(r.ok() && *r);
        const TSqlSet& screen = client.Item(1);
        ASSERT_EQ(screen.ColCount, 46);
        for (int row = 1; row <= screen.RowCount; ++row) {
            const std::string date = screen.Tbl->cell(4, row);
            const TStkDailyData& day = *byDate.at(date);
            EXPECT_EQ(screen.Tbl->cell(1, row), "9997");
            EXPECT_EQ(screen.Tbl->cell(46, row), "11");
            for (const auto& [col, field] : priceColumns)
                EXPECT_EQ(screen.Tbl->cell(col, row), normaliseDateText(day.text(field))) << date;
            // Columns 10 to 45 are the precomputed ones in the order of the list above, without
            // the four deviations.
            int col = 10;
            for (const auto& [name, field] : kExpectedColumns) {
                if (name.rfind("MARATIO", 0) == 0)
                    continue;
                EXPECT_EQ(screen.Tbl->cell(col, row), day.text(field)) << date << " " << name;
                ++col;
            }
            ++compared;
        }
        const TSqlSet& ratios = client.Item(2);
        for (int row = 1; row <= ratios.RowCount; ++row) {
            const TStkDailyData& day = *byDate.at(ratios.Tbl->cell(1, row));
            EXPECT_EQ(ratios.Tbl->cell(2, row), day.text(DayField::Kairi1));
            EXPECT_EQ(ratios.Tbl->cell(5, row), day.text(DayField::Kairi4));
        }
    }
    EXPECT_EQ(compared, 1047);
}

TEST_F(Importer, ReimportReplacesTheStockAndGivesTheSameRows)
{
    import({kGoog}, 11, "9997");
    const auto first = dump("9997");
    ASSERT_EQ(first.size(), 1048u);
    import({kGoog}, 11, "9997");
    EXPECT_EQ(dump("9997"), first);

    // A shorter series in another market family leaves nothing of the old one behind.
    import({write("9997.csv", days(15, 3))}, 91);
    EXPECT_EQ(dailyRows("9997"), 3u);
    EXPECT_EQ(server.query("SELECT COUNT(*) FROM STK_DAILY_JSA_2006 WHERE STK_CD = '9997'")[0][0], "3");
    EXPECT_EQ(server.query("SELECT MKT_CD FROM STK_INFO WHERE STK_CD = '9997'")[0][0], "91");
}

TEST_F(Importer, ABadRowIsReportedWithFileAndLineAndOnlyItsStockIsLeftOut)
{
    std::string bad = days(15, 5);
    bad.replace(bad.find("2006/05/17"), 10, "2006/05/32");
    const ImportSummary s = import({write("1301.csv", days(15, 5)), write("1332.csv", bad)});
    EXPECT_EQ(s.imported, 1);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_TRUE(mentioned("1332.csv:4: ")) << (messages.empty() ? "" : messages[0]);
    EXPECT_EQ(dailyRows("1301"), 5u);
    EXPECT_TRUE(server.query("SELECT * FROM STK_INFO WHERE STK_CD = '1332'").empty());

    // A file that cannot be read at all is counted and the rest still goes in.
    const ImportSummary t = import({(dir / "missing.csv").string(), write("1333.csv", days(15, 2))});
    EXPECT_EQ(t.failedSources, 1);
    EXPECT_EQ(t.imported, 1);
    EXPECT_TRUE(mentioned("missing.csv"));
}

TEST_F(Importer, AStockWhoseWriteFailsLeavesNothingBehindAndTheBatchGoesOn)
{
    import({write("1301.csv", days(15, 5))});
    const auto before = dump("1301");
    // A 2007 table that refuses every row: the second import of 1301 fails half-way through.
    std::string sql = "DROP TABLE STK_DAILY_TSE_2007; CREATE TABLE STK_DAILY_TSE_2007 (";
    for (const DailyColumn& c : dailyColumns())
        sql += std::string(c.name) + ", ";
    server.execSql(sql + "CHECK (E_PRICE < 0))");

    std::string spanning = days(15, 5);
    spanning += "2004-12-30,300,305,295,301,1000\n2007-01-04,300,305,295,301,1000\n";
    const std::string after = "2004/12/29,300,305,295,301,1000\n";
    const ImportSummary s = import({write("1301.csv", spanning), write("1332.csv", after)});
    EXPECT_EQ(s.imported, 1);
    EXPECT_EQ(s.skipped, 1);
    EXPECT_TRUE(mentioned("銘柄 1301: 書き込めませんでした"));
    // 1301 is exactly as before: its old rows were not deleted, no new row stayed.
    EXPECT_EQ(dump("1301"), before);
    // The 2004 table made for 1301 went with its rollback, and was made again for 1332.
    EXPECT_EQ(server.query("SELECT STK_CD, STK_DATE FROM STK_DAILY_TSE_2004"),
              (std::vector<std::vector<std::string>>{{"1332", "2004/12/29"}}));
}

TEST_F(Importer, UpdateDatesListTheStockDateFirstAndTheExchangeRateDateSecond)
{
    // Exchange rates first, and newer than the stocks: the order still follows the kind of data.
    import({write("101.csv", "2006/05/16,110.5,111,110,110.25,0\n")}, 999);
    import({write("1301.csv", days(12, 3))}, 12);
    import({write("1332.csv", days(10, 2))}, 21);
    EXPECT_EQ(server.query("SELECT UPD_DATE FROM STK_UPD ORDER BY UPD_FLG"),
              (std::vector<std::vector<std::string>>{{"2006/05/14"}, {"2006/05/16"}}));
    // The login batch reads them in that order.
    ASSERT_TRUE(login());
    client.Clear();
    client.Add("Query");
    client.Add(kUpdateDatesSql);
    auto r = client.Execute();
    ASSERT_TRUE(r.ok() && *r);
    EXPECT_EQ(client.Item(1).Tbl->cell(1, 1), "2006/05/14");
    EXPECT_EQ(client.Item(1).Tbl->cell(1, 2), "2006/05/16");
    // The rate keeps its decimals on the way back.
    EXPECT_EQ(server.query("SELECT E_PRICE FROM STK_DAILY_FX_2006")[0][0], "110.25");
}

TEST_F(Importer, CommandReadsNamesAndCodeColumnsAndRefusesBadArguments)
{
    auto cp932 = [](const std::string& utf8) { return *utf8ToCp932(utf8); };
    const std::string names = write("names.csv", cp932("コード,銘柄名\r\n1301,極洋（見本）\r\n"));
    const std::string prices = write("all.csv", "code,date,open,high,low,close,volume\n"
                                                "1301,2006-05-15,295,301,294,300,1000\n"
                                                "1332,2006-05-15,505,510,495,500,2000\n");
    std::vector<std::string> args = {"vorteq-server", "import", "--market",      "13",  "--names",
                                     names,           "--db",   server.dbPath(), prices};
    auto run = [](std::vector<std::string> a) {
        std::vector<char*> argv;
        for (std::string& s : a)
            argv.push_back(s.data());
        return runImportCommand(static_cast<int>(argv.size()), argv.data());
    };
    EXPECT_EQ(run(args), 0);
    EXPECT_EQ(
        server.query("SELECT STK_CD, STK_NM, MKT_CD FROM STK_INFO ORDER BY STK_CD"),
        (std::vector<std::vector<std::string>>{{"1301", "極洋（見本）", "13"}, {"1332", "1332", "13"}}));

    // Without a names file a re-import keeps the stored name.
    EXPECT_EQ(run({"vorteq-server", "import", "--market", "13", "--db", server.dbPath(), prices}), 0);
    EXPECT_EQ(server.query("SELECT STK_NM FROM STK_INFO WHERE STK_CD = '1301'")[0][0], "極洋（見本）");

    EXPECT_EQ(run({"vorteq-server", "import", "--market", "17", "--db", server.dbPath(), prices}), 2);
    EXPECT_EQ(run({"vorteq-server", "import", "--market", "11", "--db", (dir / "none.db").string(), prices}),
              2);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.db"));
    EXPECT_EQ(
        run({"vorteq-server", "import", "--market", "11", "--code", "0012", "--db", server.dbPath(), prices}),
        2);
    // A stock left out makes the exit status 1.
    EXPECT_EQ(run({"vorteq-server", "import", "--market", "11", "--db", server.dbPath(),
                   write("1400.csv", "2006-05-15,295,290,294,300,1000\n")}),
              1);
}
