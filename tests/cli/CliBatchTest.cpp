#include "CliTestSupport.h"
#include "common/TextFile.h"
#include "conditions/ConditionFiles.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::test;

namespace {

const std::string kHeader =
    "銘柄コード,銘柄名称,初期投資金額,最終評価額,最終利回り,取引回数,勝ち回数,勝率,平均ﾘﾀｰﾝ,"
    "ﾄｰﾀﾙﾊﾟﾌｫｰﾏﾝｽ,期間騰落率,結果,";

class CliBatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedCliMarket(server);
        seedSeries(server);
        TJouken record = TJouken::defaults();
        record.set("UseBuyRSI", "1");
        record.set("UseSellRSI", "1");
        conditions = record;
    }
    CliRun batch(std::vector<std::string> args)
    {
        args.insert(args.begin(), "batch");
        return runCli(withServer(server, std::move(args)));
    }
    std::string writeConditions()
    {
        const std::vector<std::string> pairs = jouken_write_list(conditions);
        std::vector<std::string> lines;
        for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
            lines.push_back(pairs[i] + "," + pairs[i + 1] + ",");
        const auto file = dir.path() / "set.dat";
        EXPECT_TRUE(writeTextLinesAtomic(file, lines).ok());
        return file.string();
    }
    TestServer server;
    TempDir dir;
    TJouken conditions;
};

// The cells of one CSV line (no quoted cells in these lines).
std::vector<std::string> cells(const std::string& line)
{
    std::vector<std::string> out;
    std::string cell;
    for (char c : line) {
        if (c == ',') {
            out.push_back(cell);
            cell.clear();
        } else {
            cell += c;
        }
    }
    return out;
}

} // namespace

TEST_F(CliBatch, OneLinePerScreenedStockThenTheTotals)
{
    const CliRun run = batch({"--market", "11", "--date", "2006/05/15", "--period", "3m", "--conditions",
                              writeConditions(), "--utf8"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    EXPECT_EQ(lines[0], kHeader);
    // The stocks in code order; the three with a single day of prices cannot trade.
    for (const auto& [line, code] : {std::pair{1, "1301"}, {2, "1332"}, {4, "7203"}}) {
        const auto row = cells(lines[static_cast<std::size_t>(line)]);
        ASSERT_EQ(row.size(), 12u);
        EXPECT_EQ(row[0], code);
        EXPECT_EQ(row[2], "1000000");
        EXPECT_EQ(row[3], "1000000");
        EXPECT_EQ(row[4], "0 %");
        EXPECT_EQ(row[5], "0 回");
        EXPECT_EQ(row[11], "OK");
    }
    const auto series = cells(lines[3]);
    ASSERT_EQ(series.size(), 12u);
    EXPECT_EQ(series[0], kSeriesCode);
    EXPECT_EQ(series[1], "日立");
    EXPECT_EQ(series[11], "OK");

    // Totals: four stocks of 1,000,000 yen each.
    const auto totals = cells(lines[5]);
    ASSERT_EQ(totals.size(), 12u);
    EXPECT_EQ(totals[0], "合計");
    EXPECT_EQ(totals[1], "4銘柄");
    EXPECT_EQ(totals[2], "4000000");
    EXPECT_EQ(totals[5], series[5]); // only the series traded
    EXPECT_EQ(totals[11], "OK");
}

TEST_F(CliBatch, StocksWithoutTheirOwnSetAreListedAsFailedAndTheStatusSaysSo)
{
    ASSERT_TRUE(registerConditionSet(dir.path(), {kSeriesCode, "11"}, conditions).ok());
    const CliRun run = batch({"--market", "11", "--date", "2006/05/15", "--period", "3m", "--base-dir",
                              dir.path().string(), "--utf8"});
    EXPECT_EQ(run.status, 2);
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 6u) << run.out;
    EXPECT_EQ(cells(lines[1])[11].rfind("売買条件が登録されていません。", 0), 0u) << lines[1];
    EXPECT_EQ(cells(lines[3])[11], "OK");
    const auto totals = cells(lines[5]);
    EXPECT_EQ(totals[1], "1銘柄");
    EXPECT_EQ(totals[2], "1000000");
    EXPECT_EQ(totals[11], "失敗 3銘柄");
}

TEST_F(CliBatch, RegisteredTargetRunsTheIndexedStocksWithTheirOwnSets)
{
    ASSERT_TRUE(registerConditionSet(dir.path(), {kSeriesCode, "11"}, conditions).ok());
    const CliRun run = batch({"--market", "11", "--date", "2006/05/15", "--period", "3m", "--registered",
                              "--base-dir", dir.path().string(), "--utf8"});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 3u) << run.out;
    EXPECT_EQ(cells(lines[1])[0], kSeriesCode);
    EXPECT_EQ(cells(lines[2])[1], "1銘柄");
}

TEST_F(CliBatch, SharedConditionFileIsCheckedOnceBeforeAnythingIsSent)
{
    conditions.set("AmtDayCCI", "26");
    const CliRun run = batch({"--market", "11", "--conditions", writeConditions()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "vorteq-cli: CCIの数値の上限は25です。 (AmtDayCCI)\n");
    EXPECT_TRUE(server.logLines().empty());
}

TEST_F(CliBatch, TimingOptionReportsRequestsAndAnalysis)
{
    const CliRun run =
        batch({"--market", "11", "--date", "2006/05/15", "--conditions", writeConditions(), "--timing"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err.rfind("時間 (ms): 合計 ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find("(4銘柄, 1銘柄あたり 取得 "), std::string::npos) << run.err;
}

// Workers change the time a batch takes, never its lines; the figures and the summary come with --stats.
TEST_F(CliBatch, JobsLeaveTheLinesAsTheyAreAndStatsAddTheFiguresAndSummary)
{
    const std::string file = writeConditions();
    const auto run = [&](const std::string& jobs, bool stats) {
        std::vector<std::string> args{"--market",     "11", "--date", "2006/05/15", "--period", "1y",
                                      "--conditions", file, "--utf8", "--jobs",     jobs};
        if (stats)
            args.push_back("--stats");
        return batch(args);
    };
    for (const bool stats : {false, true}) {
        const CliRun one = run("1", stats);
        ASSERT_EQ(one.status, 0) << one.err;
        EXPECT_TRUE(one.err.empty()) << one.err; // no progress unless asked for off a terminal
        for (const char* jobs : {"2", "4"})
            EXPECT_EQ(run(jobs, stats).out, one.out) << jobs << " jobs";
    }
    const std::vector<std::string> lines = splitLines(run("2", true).out);
    ASSERT_EQ(lines.size(), 1u + 4u + 6u) << run("2", true).out; // titles, four stocks, six summary lines
    EXPECT_EQ(lines[0], "銘柄コード,銘柄名称,市場,取引回数,勝率(%),純損益率(%),プロフィットファクター,"
                        "最大ドローダウン率(%),バイ・アンド・ホールド騰落率(%),エクスポージャー(%),結果,");
    const auto series = cells(lines[3]);
    EXPECT_EQ(series[0], kSeriesCode);
    EXPECT_EQ(series[2], "東証一部");
    EXPECT_EQ(series[10], "OK");
    EXPECT_EQ(cells(lines[5])[0], "平均");
    EXPECT_EQ(cells(lines[6])[0], "中央値");
    EXPECT_EQ(cells(lines[8])[0], "取引回数合計");
    EXPECT_EQ(cells(lines[8])[3], series[3]); // only the series has prices enough to trade
    EXPECT_EQ(cells(lines[9])[0], "均等配分ポートフォリオ損益率(%)");
    // Nothing failed: no line for failed or left-out stocks.
    EXPECT_EQ(cells(lines[10])[0], "均等配分ポートフォリオ最大ドローダウン率(%)");
}

TEST_F(CliBatch, ProgressOnStandardErrorWhenAskedFor)
{
    const CliRun run = batch({"--market", "11", "--date", "2006/05/15", "--conditions", writeConditions(),
                              "--progress", "--jobs", "2"});
    ASSERT_EQ(run.status, 0) << run.err;
    // Four stocks: a line at every tenth is a line per stock.
    EXPECT_EQ(run.err, "一括シミュレーション 1/4 銘柄\n一括シミュレーション 2/4 銘柄\n"
                       "一括シミュレーション 3/4 銘柄\n一括シミュレーション 4/4 銘柄\n");
}

TEST_F(CliBatch, LongAndChosenPeriodsAndTheirMisuse)
{
    const std::string file = writeConditions();
    const auto base = [&](std::vector<std::string> more) {
        std::vector<std::string> args{"--market",     "11", "--date", "2006/12/29",
                                      "--conditions", file, "--utf8"};
        args.insert(args.end(), more.begin(), more.end());
        return batch(args);
    };
    // From 2005 on: three years, all and a chosen start on 2005/01/01 give the same lines.
    const CliRun all = base({"--period", "all"});
    ASSERT_EQ(all.status, 0) << all.err;
    EXPECT_EQ(base({"--period", "3y"}).out, all.out);
    EXPECT_EQ(base({"--from", "2005/01/01"}).out, all.out);
    EXPECT_NE(base({"--period", "1y"}).out, all.out);

    EXPECT_EQ(base({"--period", "2y"}).status, 64);
    EXPECT_EQ(base({"--period", "1y", "--from", "2006/01/04"}).status, 64);
    EXPECT_EQ(base({"--from", "2006/13/01"}).status, 64);
    EXPECT_EQ(base({"--jobs", "0"}).status, 64);
    const CliRun late = base({"--from", "2007/01/04"});
    EXPECT_EQ(late.status, 2);
    EXPECT_NE(late.err.find("基準日 2006/12/29 より後です"), std::string::npos) << late.err;
}
