#include "CliTestSupport.h"
#include "common/TextFile.h"
#include "screening/ScreeningConditions.h"
#include "screening/ScreeningQuery.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::test;

namespace {

// The list export's header line, from the stock list's column titles.
const std::string kHeader =
    "銘柄コード,銘柄名称,上場市場,日付,始値,高値,安値,終値,出来高,株価当日比,株価前日比,高値ｶｲﾘ率,安値ｶｲﾘ率,"
    "出来高前日比,連続騰落日数,移動平均線5日,移動平均線15日,移動平均線25日,移動平均線50日,ｽﾄｷｬｽﾃｨｸｽ%K,"
    "ｽﾄｷｬｽﾃｨｸｽ%D,ｽﾄｷｬｽﾃｨｸｽ%SD,RSI,U-OSI,ﾗﾘｰｳｨﾘｱﾑｽﾞ%R,RCI,CCI,Aﾚｼｵ,Bﾚｼｵ,ﾊﾟﾗﾎﾞﾘｯｸ,ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ,"
    "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+2σ,ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-2σ,ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+1σ,ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-1σ,ﾎﾞﾘｭｰﾑﾚｼｵA,ﾎﾞﾘｭｰﾑﾚｼｵB,"
    "和光ﾎﾞﾘｭｰﾑﾚｼｵ,+DI,-DI,ADX,MACD,ｼｸﾞﾅﾙ,ｻｲｺﾛｼﾞｶﾙﾗｲﾝ,値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ,";

// The seeded rows as the list shows them: 45 cells, empty where the database holds NULL.
const std::string kRow1301 =
    "1301,極洋,東証一部,2006/05/15,295,301.5,294,300,123400,1.69,,,,,,290,,285,,,,,31," +
    std::string(22, ',');
const std::string kRow1332 =
    "1332,日本水産,東証一部,2006/05/15,505,510,495,500,88000,-0.99,,,,,,520,,500,,,,,55.25," +
    std::string(22, ',');
const std::string kRow7203 =
    "7203,トヨタ自動車,東証一部,2006/05/15,6010,6050,5980,6000,1000000,-0.17,,,,,,5990,,6100,,,,,"
    "29.5," +
    std::string(22, ',');

std::size_t conditionIndex(std::string_view checkBox)
{
    const auto& table = screeningConditions();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].checkBox == checkBox)
            return i;
    ADD_FAILURE() << checkBox;
    return 0;
}

void tick(ScreeningCriteria& c, std::string_view checkBox, std::string number, std::vector<int> choices)
{
    ConditionState& s = c.conditions[conditionIndex(checkBox)];
    s.use = true;
    s.number = std::move(number);
    for (std::size_t i = 0; i < choices.size(); ++i)
        s.choices[i] = choices[i];
}

std::string firstLine(const std::string& text)
{
    return text.substr(0, text.find('\n'));
}

class CliScreen : public ::testing::Test {
protected:
    void SetUp() override { seedCliMarket(server); }
    CliRun screen(std::vector<std::string> args)
    {
        args.insert(args.begin(), "screen");
        return runCli(withServer(server, std::move(args)));
    }
    TestServer server;
};

} // namespace

TEST_F(CliScreen, SendsTheStatementTheClientsBuilderMakes)
{
    const CliRun run = screen({"--market", "11", "--date", "2006/05/15", "--code", "13", "--rsi", ">=,30",
                               "--ma-ma-kairi", "5d,25d,3,以下", "--renzoku", "3,以上,下落", "--stk",
                               "%D,20,<=", "--macd", "MACDが0以上", "--print-sql"});
    ASSERT_EQ(run.status, 0) << run.err;

    // What the screening tabs hold for the same search, as the panel copies them out.
    ScreeningCriteria c;
    c.marketPosition = 0;
    c.baseDate = Date{2006, 5, 15};
    c.stockCode = "13";
    tick(c, "cbx_use_rsi", "30", {0});
    tick(c, "cbx_use_ma_ma_kairi", "3", {0, 2, 1});
    tick(c, "cbx_use_renzoku", "3", {0, 1});
    tick(c, "cbx_use_stk", "20", {1, 1});
    tick(c, "cbx_use_macd", "", {2});
    const auto expected = buildScreeningSql(c);
    ASSERT_TRUE(expected.ok());
    EXPECT_EQ(firstLine(run.err), *expected);
    // The deviation of two averages: 3 percent as the fraction 0.03, kept on the positive side.
    EXPECT_NE(run.err.find("AND (c.MA_05 - c.MA_25) / c.MA_25 <= 0.03 AND c.MA_05 >= c.MA_25 "),
              std::string::npos);
}

TEST_F(CliScreen, ListsInTheListExportFormatInCp932)
{
    const CliRun run = screen({"--market", "11", "--date", "2006/05/15", "--rsi", "<=,31"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, cp932(kHeader + "\r\n" + kRow1301 + "\r\n" + kRow7203 + "\r\n"));
    // The stock and market names as Shift-JIS bytes: 極洋 8BC9 976D, 東証一部 938C 8FD8 88EA 9594.
    EXPECT_NE(run.out.find("1301,\x8b\xc9\x97\x6d,\x93\x8c\x8f\xd8\x88\xea\x95\x94,2006/05/15,"),
              std::string::npos);
}

TEST_F(CliScreen, Utf8OptionWritesTheSameLinesInUtf8)
{
    const CliRun run = screen({"--market", "11", "--date", "2006/05/15", "--rsi", "<=,31", "--utf8"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kHeader + "\r\n" + kRow1301 + "\r\n" + kRow7203 + "\r\n");
}

TEST_F(CliScreen, BaseDateDefaultsToTheServersUpdateDate)
{
    const CliRun run = screen({"--market", "東証一部", "--utf8"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kHeader + "\r\n" + kRow1301 + "\r\n" + kRow1332 + "\r\n" + kRow7203 + "\r\n");
}

TEST_F(CliScreen, MarketByNameChoosesItsCode)
{
    const CliRun run = screen({"--market", "東証二部", "--utf8", "--print-sql"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("AND a.MKT_CD = 12 "), std::string::npos);
    EXPECT_NE(run.out.find("\r\n9984,ソフトバンク,東証二部,"), std::string::npos);
}

TEST_F(CliScreen, NoHitsWritesTheHeaderAndSaysSo)
{
    const CliRun run = screen({"--market", "11", "--date", "2006/05/16", "--utf8"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, kHeader + "\r\n");
    EXPECT_EQ(run.err, "vorteq-cli: データがありませんでした。\n");
}

TEST_F(CliScreen, RegisteredStocksComeFromTheIndexOfTheBaseFolder)
{
    TempDir base;
    ASSERT_TRUE(
        writeTextLinesAtomic(base.path() / "UsrData" / "UsrCndCd.dat", {"1332,11,", "9984,12,"}).ok());
    const CliRun run = screen({"--market", "11", "--date", "2006/05/15", "--registered", "--base-dir",
                               base.path().string(), "--utf8", "--print-sql"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("WHERE a.MKT_CD = b.MKT_CD AND a.STK_CD = '1332'AND a.MKT_CD = 11 "),
              std::string::npos);
    EXPECT_EQ(run.out, kHeader + "\r\n" + kRow1332 + "\r\n");
}

TEST_F(CliScreen, RegisteredWithoutAStockOfTheMarketSendsNothing)
{
    TempDir base;
    ASSERT_TRUE(writeTextLinesAtomic(base.path() / "UsrData" / "UsrCndCd.dat", {"9984,12,"}).ok());
    for (const TempDir* dir : {&base}) {
        const CliRun run = screen({"--market", "11", "--registered", "--base-dir", dir->path().string()});
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err, "vorteq-cli: 売買条件の登録されている銘柄はありませんでした。\n");
    }
    TempDir empty; // no index file at all
    EXPECT_EQ(screen({"--market", "11", "--registered", "--base-dir", empty.path().string()}).status, 2);
    EXPECT_TRUE(server.logLines().empty());
}

TEST_F(CliScreen, ConditionNumbersAreCheckedBeforeAnythingIsSent)
{
    const CliRun missing = screen({"--market", "11", "--prange", "0", "--rsi", ">="});
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err, "vorteq-cli: --rsi: 検索条件の数値が入力されていません。\n");

    const CliRun letters = screen({"--market", "11", "--vra", "abc,以下"});
    EXPECT_EQ(letters.status, 2);
    EXPECT_EQ(letters.err, "vorteq-cli: --vra: 検索条件には数値を入力してください。\n");
    EXPECT_TRUE(server.logLines().empty());
}

TEST_F(CliScreen, YearWithoutADailyTableIsAServerFailure)
{
    const CliRun run = screen({"--market", "11", "--date", "1999/01/04"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err, "vorteq-cli: SQL ERROR (サーバーが文を実行できませんでした)\n");
    EXPECT_EQ(run.out, "");
}

TEST_F(CliScreen, QuoteInANamePrefixStaysInsideItsLiteral)
{
    const CliRun run = screen({"--market", "11", "--name", "極' OR 'a'='a", "--utf8"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kHeader + "\r\n");
}

TEST_F(CliScreen, TableFormatAlignsColumnsForTheTerminal)
{
    const CliRun run =
        screen({"--market", "11", "--date", "2006/05/15", "--code", "13", "--format", "table", "--utf8"});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].rfind("銘柄コード  銘柄名称  上場市場  日付        ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].find_first_not_of('-'), std::string::npos);
    EXPECT_EQ(lines[2].rfind("      1301  極洋      東証一部  2006/05/15", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("      1332  日本水産  東証一部  2006/05/15", 0), 0u) << lines[3];
}

TEST_F(CliScreen, OutputThatCannotBeWrittenIsStatus74)
{
    CapturingIo io;
    io.environment["VORTEQ_PASSWORD"] = "demo1234";
    io.failWrites = true;
    const CliRun run = runCli(withServer(server, {"screen", "--market", "11", "--date", "2006/05/15"}), io);
    EXPECT_EQ(run.status, 74);
    EXPECT_EQ(run.err, "vorteq-cli: 標準出力に書き込めません。\n");
}
