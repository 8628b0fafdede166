#include "CliTestSupport.h"
#include "analysis/TStkAnalisys.h"
#include "common/Csv.h"
#include "common/TextFile.h"
#include "conditions/ConditionFiles.h"
#include "results/ChartData.h"
#include "results/EquityStatistics.h"
#include "results/ResultRows.h"
#include "simulation/RunPlan.h"
#include "simulation/TradeSimulation.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::test;

namespace {

// Whether this build's vorteq-cli has the client's chart painter (the sanitizer build leaves the
// widgets out).
constexpr bool kChartsBuilt = VORTEQ_CLI_CHARTS;

// One year ending 2006/12/29: the period starts a year earlier, the prices are read from 80 days
// before that (2005/12/29 - 80 days = 2005/10/10).
constexpr const char* kEnd = "2006/12/29";
constexpr const char* kStart = "2005/12/29";
constexpr const char* kLeadIn = "2005/10/10";

// Buy when RSI is at most 25 or %K crosses above %D, sell when RSI is at least 75 or %K falls
// below %D; everything else at its default.
TJouken tradingConditions()
{
    TJouken record = TJouken::defaults();
    record.set("UseBuyRSI", "1");
    record.set("UseSellRSI", "1");
    record.set("UseBuySTK", "1");
    record.set("UseSellSTK", "1");
    return record;
}

void writeConditionFile(const std::filesystem::path& file, const TJouken& record)
{
    const std::vector<std::string> pairs = jouken_write_list(record);
    std::vector<std::string> lines;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
        lines.push_back(pairs[i] + "," + pairs[i + 1] + ",");
    ASSERT_TRUE(writeTextLinesAtomic(file, lines).ok());
}

struct Exports {
    std::vector<std::string> daily, trades, summary, statistics;
    int tradeCount = 0;
};

// The client's run done here without the server: the series' days from the lead-in to the end,
// newest first in the price query's columns, through Analyze with the simulation, and the result
// rows and export lines of the client's views.
Exports clientExports(const TJouken& conditions)
{
    std::vector<const PriceDay*> days;
    for (const PriceDay& d : googDays())
        if (d.date >= kLeadIn && d.date <= kEnd)
            days.insert(days.begin(), &d);
    const int n = static_cast<int>(days.size());
    Ptbl table = makePtbl(8, n + 1);
    for (int r = 1; r <= n; ++r) {
        const PriceDay& d = *days[static_cast<std::size_t>(r - 1)];
        const std::string cells[] = {kSeriesCode, d.date, d.open, d.high, d.low, d.close, d.volume};
        for (int c = 1; c <= 7; ++c)
            table->set(c, r, cells[c - 1]);
    }
    TStkAnalisys analysis;
    installSimulation(analysis);
    const Status done = analysis.Analyze(table, n, conditions, kStart, kEnd, true);
    EXPECT_TRUE(done.ok()) << (done.ok() ? "" : done.error().message);
    TStkData stock;
    EXPECT_TRUE(analysis.GetStkData(0, stock));
    const EquitySeries series = buildChartData(stock, kStart, conditions).series;
    return {dailyTableCsvLines(stock, kStart), tradeListCsvLines(stock.UserResult),
            summaryCsvLines(stock.UserResult), statisticsCsvLines(computeStatistics(series), series),
            stock.UserResult.TradeCount};
}

// What the client's export writes for these lines.
std::string exportFileBytes(const std::vector<std::string>& lines)
{
    TempDir dir;
    EXPECT_TRUE(writeCsvFile(dir.path() / "export.csv", lines).ok());
    return readBytes(dir.path() / "export.csv").value();
}

std::string joinedLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

class CliBacktest : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedCliMarket(server);
        seedSeries(server);
    }
    CliRun backtest(std::vector<std::string> args)
    {
        args.insert(args.begin(), "backtest");
        return runCli(withServer(server, std::move(args)));
    }
    std::vector<std::string> seriesRun(const std::filesystem::path& conditions)
    {
        return {"--code", kSeriesCode, "--market", "11",           "--date",
                kEnd,     "--period",  "1y",       "--conditions", conditions.string()};
    }
    TestServer server;
    TempDir dir;
};

} // namespace

TEST_F(CliBacktest, ExportFilesAreTheClientsByteForByte)
{
    writeConditionFile(dir.path() / "set.dat", tradingConditions());
    auto args = seriesRun(dir.path() / "set.dat");
    args.insert(args.end(), {"--out", (dir.path() / "out").string()});
    const CliRun run = backtest(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");

    const Exports expected = clientExports(tradingConditions());
    ASSERT_GE(expected.tradeCount, 2) << "the conditions should trade in this year";
    EXPECT_EQ(readBytes(dir.path() / "out" / "daily.csv").value(), exportFileBytes(expected.daily));
    EXPECT_EQ(readBytes(dir.path() / "out" / "trades.csv").value(), exportFileBytes(expected.trades));
    EXPECT_EQ(readBytes(dir.path() / "out" / "summary.csv").value(), exportFileBytes(expected.summary));
}

TEST_F(CliBacktest, ChartAndFiguresBesideTheUnchangedExports)
{
    writeConditionFile(dir.path() / "set.dat", tradingConditions());
    auto args = seriesRun(dir.path() / "set.dat");
    args.insert(args.end(),
                {"--out", (dir.path() / "out").string(), "--stats", (dir.path() / "figures.csv").string()});
    if (kChartsBuilt)
        args.insert(args.end(), {"--chart", (dir.path() / "chart.png").string()});
    const CliRun run = backtest(args);
    ASSERT_EQ(run.status, 0) << run.err;

    const Exports expected = clientExports(tradingConditions());
    EXPECT_EQ(readBytes(dir.path() / "out" / "daily.csv").value(), exportFileBytes(expected.daily));
    EXPECT_EQ(readBytes(dir.path() / "out" / "trades.csv").value(), exportFileBytes(expected.trades));
    EXPECT_EQ(readBytes(dir.path() / "out" / "summary.csv").value(), exportFileBytes(expected.summary));
    // The client's figures export, byte for byte.
    EXPECT_EQ(readBytes(dir.path() / "figures.csv").value(), exportFileBytes(expected.statistics));
    if (kChartsBuilt) {
        const std::string png = readBytes(dir.path() / "chart.png").value();
        EXPECT_EQ(png.substr(0, 4), "\x89PNG");
        EXPECT_GT(png.size(), 20000u);
    }

    auto json = seriesRun(dir.path() / "set.dat");
    json.insert(json.end(), {"--only", "summary", "--stats", (dir.path() / "figures.json").string()});
    if (kChartsBuilt)
        json.insert(json.end(), {"--chart", (dir.path() / "chart.svg").string()});
    ASSERT_EQ(backtest(json).status, 0);
    if (kChartsBuilt) {
        EXPECT_NE(readBytes(dir.path() / "chart.svg").value().find("<svg"), std::string::npos);
    }
    const std::string figures = readBytes(dir.path() / "figures.json").value();
    EXPECT_NE(figures.find("\"item\": \"プロフィットファクター\""), std::string::npos);
    // One entry per simulated day: as many as the daily table's rows.
    std::size_t days = 0;
    for (std::size_t at = figures.find("\"date\""); at != std::string::npos;
         at = figures.find("\"date\"", at + 1))
        ++days;
    EXPECT_EQ(days, expected.daily.size() - 1);
}

TEST_F(CliBacktest, ABuildWithoutTheChartPainterRefusesAChartAndWritesNothing)
{
    if (kChartsBuilt)
        GTEST_SKIP() << "this build draws charts";
    writeConditionFile(dir.path() / "set.dat", tradingConditions());
    auto args = seriesRun(dir.path() / "set.dat");
    args.insert(args.end(),
                {"--out", (dir.path() / "out").string(), "--chart", (dir.path() / "chart.png").string()});
    const CliRun run = backtest(args);
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find("チャートを書けません"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "chart.png"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "out" / "daily.csv"));
}

TEST_F(CliBacktest, StandardOutputHoldsTheThreeExportsAnEmptyLineApart)
{
    writeConditionFile(dir.path() / "set.dat", tradingConditions());
    const CliRun run = backtest(seriesRun(dir.path() / "set.dat"));
    ASSERT_EQ(run.status, 0) << run.err;
    const Exports expected = clientExports(tradingConditions());
    EXPECT_EQ(run.out, exportFileBytes(expected.daily) + "\r\n" + exportFileBytes(expected.trades) + "\r\n" +
                           exportFileBytes(expected.summary));
    EXPECT_EQ(run.err, "日立のｼﾐｭﾚｰｼｮﾝを実行しました。\n\n期間 2005/12/29～2006/12/29\n");

    auto only = seriesRun(dir.path() / "set.dat");
    only.insert(only.end(), {"--only", "trades", "--utf8"});
    const CliRun trades = backtest(only);
    ASSERT_EQ(trades.status, 0) << trades.err;
    EXPECT_EQ(trades.out, joinedLines(expected.trades));
}

TEST_F(CliBacktest, SummaryExportListsEveryFieldWithItsSuffix)
{
    writeConditionFile(dir.path() / "set.dat", TJouken::defaults()); // nothing switched on: no trade
    auto args = seriesRun(dir.path() / "set.dat");
    args.insert(args.end(), {"--only", "summary", "--utf8"});
    const CliRun run = backtest(args);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 29u);
    EXPECT_EQ(lines[0], "区分,項目,値,");
    EXPECT_EQ(lines[1], "ｼﾐｭﾚｰｼｮﾝ結果,初期投資金額,1000000,");
    EXPECT_EQ(lines[2], "ｼﾐｭﾚｰｼｮﾝ結果,最終評価額,1000000,");
    EXPECT_EQ(lines[3], "ｼﾐｭﾚｰｼｮﾝ結果,最終利回り,0 %,");
    EXPECT_EQ(lines[4], "ｼﾐｭﾚｰｼｮﾝ結果,ﾄｰﾀﾙﾊﾟﾌｫｰﾏﾝｽ,100,");
    EXPECT_EQ(lines[7], "ｼﾐｭﾚｰｼｮﾝ結果,取引回数,0 回,");
    // The period's first and last closes, from the series file: 420.15 on 2005/12/29, 460.48 on
    // 2006/12/29.
    EXPECT_EQ(lines[19], "期間株価情報,期間始値,2005/12/29,");
    EXPECT_EQ(lines[20], "期間株価情報,期間始値,420.15,");
    EXPECT_EQ(lines[21], "期間株価情報,期間終値,2006/12/29,");
    EXPECT_EQ(lines[22], "期間株価情報,期間終値,460.48,");
}

TEST_F(CliBacktest, LoadedValuesCountAsTheEditorShowsThem)
{
    // A trading unit that names no item is shown as the first item, 1000 shares; keys the file
    // lacks keep the editor's defaults.
    TJouken damaged = tradingConditions();
    damaged.set("KbnTani", "9");
    writeConditionFile(dir.path() / "damaged.dat", damaged);
    TJouken shown = tradingConditions();
    shown.set("KbnTani", "0");

    auto args = seriesRun(dir.path() / "damaged.dat");
    args.insert(args.end(), {"--only", "trades", "--utf8"});
    const CliRun run = backtest(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, joinedLines(clientExports(shown).trades));
    EXPECT_NE(run.out, joinedLines(clientExports(tradingConditions()).trades));

    ASSERT_TRUE(writeTextLinesAtomic(dir.path() / "short.dat",
                                     {"UseBuyRSI,1,", "UseSellRSI,1,", "UseBuySTK,1,", "UseSellSTK,1,"})
                    .ok());
    auto shortArgs = seriesRun(dir.path() / "short.dat");
    shortArgs.insert(shortArgs.end(), {"--only", "trades", "--utf8"});
    const CliRun fromShort = backtest(shortArgs);
    ASSERT_EQ(fromShort.status, 0) << fromShort.err;
    EXPECT_EQ(fromShort.out, joinedLines(clientExports(tradingConditions()).trades));
}

TEST_F(CliBacktest, RegisteredSetOfTheStockComesFromTheBaseFolder)
{
    ASSERT_TRUE(registerConditionSet(dir.path(), {kSeriesCode, "11"}, tradingConditions()).ok());
    const CliRun run = backtest({"--code", kSeriesCode, "--market", "東証一部", "--date", kEnd, "--period",
                                 "1y", "--base-dir", dir.path().string(), "--only", "trades", "--utf8"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, joinedLines(clientExports(tradingConditions()).trades));

    const CliRun none = backtest({"--code", "1301", "--market", "11", "--base-dir", dir.path().string()});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.err.rfind("vorteq-cli: 売買条件が登録されていません。", 0), 0u) << none.err;
}

TEST_F(CliBacktest, EditorRulesRejectASetWithTheEditorsMessages)
{
    struct Case {
        std::vector<std::pair<const char*, const char*>> values;
        std::string expected;
    };
    const Case cases[] = {
        {{{"AmtTousi", ""}}, "ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。 (AmtTousi)"},
        {{{"AmtTousi", "100万"}}, "数値が正しく入力されていません。 (AmtTousi)"},
        {{{"UseBuyCCI", "2"}, {"AmtBuyCCI", ""}}, "ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。 (AmtBuyCCI)"},
        {{{"AmtBuyRSI1", "51"}}, "RSIの数値の上限は50です。 (AmtBuyRSI1)"},
        {{{"AmtBuyRSI1", "5.5"}}, "数値が正しく入力されていません。 (AmtBuyRSI1)"},
        {{{"AmtDayDPO", "21"}}, "DPOの数値は偶数の必要があります。 (AmtDayDPO)"},
        {{{"AmtBuyMACD1", "12"}, {"AmtBuyMACD2", "12"}},
         "MACDﾛﾝｸﾞの数値はMACDｼｮｰﾄより大きくする必要があります。 (AmtBuyMACD2)"},
    };
    for (const Case& c : cases) {
        TJouken record = tradingConditions();
        for (const auto& [key, value] : c.values)
            record.set(key, value);
        writeConditionFile(dir.path() / "bad.dat", record);
        const CliRun run = backtest(seriesRun(dir.path() / "bad.dat"));
        EXPECT_EQ(run.status, 2) << c.expected;
        EXPECT_EQ(run.err, "vorteq-cli: " + c.expected + "\n");
        EXPECT_EQ(run.out, "");
    }
    // The set is checked before the login: nothing reached the server.
    EXPECT_TRUE(server.logLines().empty());
}

TEST_F(CliBacktest, MissingPricesAndMissingTablesAreDataFailures)
{
    writeConditionFile(dir.path() / "set.dat", tradingConditions());
    const CliRun none = backtest({"--code", "9999", "--market", "11", "--date", kEnd, "--conditions",
                                  (dir.path() / "set.dat").string()});
    EXPECT_EQ(none.status, 3);
    EXPECT_EQ(none.err, "vorteq-cli: データがありませんでした。\n");

    const CliRun noTable = backtest({"--code", kSeriesCode, "--market", "11", "--date", "2004/12/20",
                                     "--conditions", (dir.path() / "set.dat").string()});
    EXPECT_EQ(noTable.status, 3);
    EXPECT_EQ(noTable.err, "vorteq-cli: SQL ERROR (サーバーが文を実行できませんでした)\n");
}

TEST_F(CliBacktest, MisuseOfTheOptionsExitsWith64)
{
    EXPECT_EQ(backtest({"--code", kSeriesCode, "--market", "11", "--period", "2y"}).status, 64);
    EXPECT_EQ(backtest({"--market", "11"}).status, 64);
    EXPECT_EQ(backtest({"--code", kSeriesCode, "--market", "11", "--conditions", "a.dat", "--base-dir", "."})
                  .status,
              64);
    EXPECT_EQ(backtest({"--code", kSeriesCode, "--market", "11", "--only", "chart"}).status, 64);
    EXPECT_EQ(backtest({"--code", kSeriesCode, "--market", "11", "--chart", "chart.jpg"}).status, 64);
    EXPECT_EQ(backtest({"--code", kSeriesCode, "--market", "11", "--stats", "figures.txt"}).status, 64);
}

TEST_F(CliBacktest, UnreadableConditionFileOrOutputFolderIsReported)
{
    const CliRun missing = backtest(seriesRun(dir.path() / "absent.dat"));
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.err.rfind("vorteq-cli: 売買条件ファイルを読めません: ", 0), 0u) << missing.err;

    writeConditionFile(dir.path() / "set.dat", tradingConditions());
    ASSERT_TRUE(writeTextLinesAtomic(dir.path() / "file", {"x"}).ok());
    auto args = seriesRun(dir.path() / "set.dat");
    args.insert(args.end(), {"--out", (dir.path() / "file" / "sub").string()});
    EXPECT_EQ(backtest(args).status, 74);
}

TEST(CliBacktestWithoutServer, ServerThatIsDownGivesExitThree)
{
    unsigned short port = 0;
    {
        TestServer gone;
        port = gone.port();
    }
    const std::string where = "127.0.0.1:" + std::to_string(port);
    const CliRun run =
        runCli({"backtest", "--code", "6501", "--market", "11", "--server", where, "--user", "demo"});
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("vorteq-cli: サーバーに接続できません (" + where + ")\n"), std::string::npos)
        << run.err;
}

TEST(CliClosingText, KeepsTheMessageBoxLineBreaksInTheCoreText)
{
    // The run's closing message for X over 2006/02/15 to 2006/05/15: two LF CR pairs before the period.
    EXPECT_EQ(simulationClosingText("X", "2006/02/15", "2006/05/15"),
              "Xのｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2006/02/15～2006/05/15");
}
