// vorteq-cli sweep, merge and walkforward against the real statement server.
#include "CliTestSupport.h"
#include "common/TextFile.h"
#include "conditions/ConditionFiles.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::test;

namespace {

class CliSweep : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedCliMarket(server);
        seedSeries(server);
        TJouken record = TJouken::defaults();
        record.set("UseBuyRSI", "1");
        record.set("KbnBuyRSI", "1");
        record.set("UseSellRSI", "1");
        record.set("KbnSellRSI", "0");
        record.set("KbnTani", "3");
        // Registered as the client registers a set; its file is the sweep's base conditions.
        const ConditionSetId id{"1301", "11"};
        EXPECT_TRUE(registerConditionSet(dir.path(), id, record).ok());
        conditions = conditionFilePath(dir.path(), id).string();
    }
    CliRun run(std::string command, std::vector<std::string> args)
    {
        args.insert(args.begin(), std::move(command));
        return runCli(withServer(server, std::move(args)));
    }
    std::vector<std::string> sweepArgs(std::vector<std::string> more) const
    {
        std::vector<std::string> args{
            "--market",          "11",           "--all",    "--from", "2006/01/04",          "--to",
            "2006/05/15",        "--conditions", conditions, "--vary", "AmtBuyRSI2=20:40:10", "--vary2",
            "AmtBuyRSI1=7:11:2", "--jobs",       "2"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    TestServer server;
    TempDir dir;
    std::string conditions;
};

} // namespace

TEST_F(CliSweep, OneRowPerCellRankedByTheMetric)
{
    const CliRun sweep = run("sweep", sweepArgs({"--utf8", "--metric", "sharpe"}));
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    const auto lines = splitLines(sweep.out);
    ASSERT_EQ(lines.size(), 10u) << sweep.out;
    EXPECT_EQ(lines[0], "AmtBuyRSI2,AmtBuyRSI1,銘柄数,純利益率(%),プロフィットファクター,最大ドローダウン(%),"
                        "シャープレシオ,取引回数,順位,");
    EXPECT_EQ(lines[1].substr(0, 7), "20,7,4,") << "four stocks of market 11 ran";
    EXPECT_NE(sweep.err.find("4 銘柄 x 9 セル"), std::string::npos) << sweep.err;
    // Per stock: four stocks times nine cells and the title.
    const CliRun perStock = run("sweep", sweepArgs({"--utf8", "--per-stock"}));
    ASSERT_EQ(perStock.status, 0) << perStock.err;
    EXPECT_EQ(splitLines(perStock.out).size(), 37u);
    // The default output is CP932, as every export.
    const CliRun cp = run("sweep", sweepArgs({}));
    ASSERT_EQ(cp.status, 0);
    EXPECT_EQ(cp.out.substr(0, cp932("AmtBuyRSI2,AmtBuyRSI1,銘柄数,").size()),
              cp932("AmtBuyRSI2,AmtBuyRSI1,銘柄数,"));
}

TEST_F(CliSweep, ShardsMergedEqualTheWholeRunByteForByte)
{
    for (const bool perStock : {false, true}) {
        std::vector<std::string> extra{"--metric", "pf"};
        if (perStock)
            extra.emplace_back("--per-stock");
        const CliRun whole = run("sweep", sweepArgs(extra));
        ASSERT_EQ(whole.status, 0) << whole.err;
        for (const int n : {1, 3, 7}) {
            const auto shardDir = dir.path() / ("n" + std::to_string(n) + (perStock ? "s" : ""));
            std::filesystem::create_directories(shardDir);
            for (int k = 1; k <= n; ++k) {
                std::vector<std::string> args = extra;
                args.insert(args.end(), {"--shard", std::to_string(k) + "/" + std::to_string(n), "--out",
                                         (shardDir / ("part-" + std::to_string(k) + ".csv")).string()});
                const CliRun shard = run("sweep", sweepArgs(args));
                ASSERT_EQ(shard.status, 0) << shard.err;
            }
            const CliRun merged = runCli({"merge", "--dir", shardDir.string()});
            ASSERT_EQ(merged.status, 0) << merged.err;
            EXPECT_EQ(merged.out, whole.out) << "N = " << n << (perStock ? " per stock" : "");
        }
    }
}

TEST_F(CliSweep, MergeNamesTheFileThatDoesNotFit)
{
    const auto a = (dir.path() / "a.csv").string();
    const auto b = (dir.path() / "b.csv").string();
    ASSERT_EQ(run("sweep", sweepArgs({"--shard", "1/2", "--out", a})).status, 0);
    ASSERT_EQ(run("sweep", sweepArgs({"--shard", "1/2", "--out", b, "--metric", "trades"})).status, 0);
    const CliRun twice = runCli({"merge", "--files", a + "," + b});
    EXPECT_NE(twice.status, 0);
    EXPECT_NE(twice.err.find(b), std::string::npos) << twice.err;
    // Another metric is another result; the same stocks named by code instead of --all are not.
    const auto c = (dir.path() / "c.csv").string();
    ASSERT_EQ(run("sweep", sweepArgs({"--shard", "2/2", "--out", c, "--metric", "trades"})).status, 0);
    const CliRun mixed = runCli({"merge", "--files", a + "," + c});
    EXPECT_NE(mixed.err.find("別の掃引"), std::string::npos) << mixed.err;
    std::vector<std::string> byCode = sweepArgs({"--shard", "2/2", "--out", c});
    byCode[2] = "--code";
    byCode.insert(byCode.begin() + 3, "7203,6501,1332,1301");
    ASSERT_EQ(run("sweep", byCode).status, 0);
    const CliRun sameStocks = runCli({"merge", "--files", a + "," + c, "--utf8"});
    ASSERT_EQ(sameStocks.status, 0) << sameStocks.err;
    EXPECT_EQ(sameStocks.out, run("sweep", sweepArgs({"--utf8"})).out);
    const CliRun missing = runCli({"merge", "--files", a});
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("2/2 のファイルがありません"), std::string::npos) << missing.err;
    const CliRun none = runCli({"merge", "--files", (dir.path() / "nothing.csv").string()});
    EXPECT_NE(none.status, 0);
    EXPECT_NE(none.err.find("読めません"), std::string::npos) << none.err;
}

TEST_F(CliSweep, WalkForwardWritesOneRowPerWindowAndTheEfficiency)
{
    const CliRun wf =
        run("walkforward", {"--market", "11", "--code", kSeriesCode, "--from", "2005/04/01", "--to",
                            "2006/05/15", "--conditions", conditions, "--vary", "AmtBuyRSI2=20:40:10",
                            "--in-months", "6", "--out-months", "2", "--utf8"});
    ASSERT_EQ(wf.status, 0) << wf.err;
    const auto lines = splitLines(wf.out);
    // 2005/10/01 .. 2006/05/15 in two-month steps: four windows, an empty line and six figures.
    ASSERT_EQ(lines.size(), 1u + 4u + 1u + 6u) << wf.out;
    EXPECT_EQ(lines[1].substr(0, 44), "2005/04/01,2005/09/30,2005/10/01,2005/11/30,");
    EXPECT_EQ(lines[4].substr(0, 44), "2005/10/01,2006/03/31,2006/04/01,2006/05/15,");
    EXPECT_EQ(lines[8].substr(0, std::string("ウォークフォワード効率,").size()), "ウォークフォワード効率,");
}

TEST_F(CliSweep, RefusesBadRequestsBeforeAskingTheServer)
{
    const auto refused = [&](std::string command, std::vector<std::string> args, const std::string& text) {
        const CliRun r = run(std::move(command), std::move(args));
        EXPECT_NE(r.status, 0) << text;
        EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
    };
    refused("sweep", {"--market", "11", "--all", "--vary", "AmtTousi=1:2"}, "掃引できません");
    refused("sweep", {"--market", "11", "--all", "--code", "1301", "--vary", "AmtBuyRSI2=1:2"}, "どれか1つ");
    refused("sweep", {"--market", "11", "--code", "1301", "--vary", "AmtBuyRSI2=1:2", "--shard", "4/3"},
            "--shard");
    refused("sweep", {"--market", "11", "--code", "1301", "--vary", "AmtBuyRSI2=1:2", "--jobs", "0"},
            "--jobs");
    refused("sweep", {"--market", "11", "--code", "1301", "--vary", "AmtBuyRSI2=1:2", "--metric", "luck"},
            "--metric");
    refused("sweep", {"--market", "11", "--code", "1301';--", "--vary", "AmtBuyRSI2=1:2"}, "銘柄コード");
    refused("sweep", {"--market", "11", "--code", "1301", "--vary", "AmtBuyRSI1=0:0"}, "AmtBuyRSI1 = 0");
    refused("sweep",
            {"--market", "11", "--code", "1301", "--from", "2006/05/01", "--to", "2006/04/01", "--vary",
             "AmtBuyRSI2=1:2"},
            "--to");
    refused("walkforward",
            {"--market", "11", "--code", "6501", "--from", "2006/01/04", "--to", "2006/05/15", "--vary",
             "AmtBuyRSI2=1:2"},
            "アウトオブサンプルの期間がありません");
    const CliRun merge = runCli({"merge"});
    EXPECT_NE(merge.status, 0);
}

// scripts/sweep-cluster: the GNU parallel variant on this machine (the host ":") gives the file
// of the unsharded run; the Slurm variant writes an array job of N tasks and its merge.
TEST_F(CliSweep, ClusterScriptShardsAndMergesLikeOneRun)
{
    if (std::system("command -v parallel > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "GNU parallel is not installed (scripts/bootstrap-deps installs it)";
    const auto whole = dir.path() / "whole.csv";
    ASSERT_EQ(run("sweep", sweepArgs({"--out", whole.string()})).status, 0);

    const auto hosts = dir.path() / "hosts";
    ASSERT_TRUE(writeBytesAtomic(hosts, ":\n").ok());
    std::string command = "VORTEQ_PASSWORD=demo1234 " + std::string(VORTEQ_SCRIPTS_DIR) +
                          "/sweep-cluster parallel --shards 3 --dir '" + (dir.path() / "cluster").string() +
                          "' --hosts '" + hosts.string() + "' --cli '" + VORTEQ_CLI_PATH +
                          "' -- --server 127.0.0.1:" + std::to_string(server.port()) + " --user demo";
    for (const std::string& a : sweepArgs({}))
        command += " '" + a + "'";
    ASSERT_EQ(std::system((command + " > /dev/null 2>&1").c_str()), 0) << command;
    EXPECT_EQ(readBytes(dir.path() / "cluster" / "result.csv").value(), readBytes(whole).value());

    const std::string slurm =
        std::string(VORTEQ_SCRIPTS_DIR) + "/sweep-cluster slurm --dry-run --shards 7 --dir '" +
        (dir.path() / "slurm").string() + "' -- --market 11 --all --vary 'AmtBuyRSI2=10:40:5'";
    ASSERT_EQ(std::system((slurm + " > /dev/null").c_str()), 0);
    const std::string job = readBytes(dir.path() / "slurm" / "sweep.sbatch").value();
    EXPECT_NE(job.find("#SBATCH --array=1-7\n"), std::string::npos) << job;
    EXPECT_NE(job.find("--shard \"${SLURM_ARRAY_TASK_ID}/7\""), std::string::npos) << job;
    EXPECT_EQ(job.find("demo1234"), std::string::npos) << "no password in a job file";
    const std::string merge = readBytes(dir.path() / "slurm" / "merge.sbatch").value();
    EXPECT_NE(merge.find("merge --dir"), std::string::npos) << merge;
    // Options that the script sets per shard are refused.
    EXPECT_NE(
        std::system((std::string(VORTEQ_SCRIPTS_DIR) + "/sweep-cluster slurm --dry-run --shards 2 --dir '" +
                     (dir.path() / "x").string() + "' -- --shard 1/2 2> /dev/null")
                        .c_str()),
        0);
}

// A market larger than one block of stocks: the blocks fetched while the previous one computes
// give the rows a run of the same stocks alone gives.
TEST_F(CliSweep, BlocksOfAMarketGiveTheRowsOfEachStockAlone)
{
    std::string values;
    for (int code = 2000; code < 2030; ++code)
        values += std::string(values.empty() ? "" : ", ") + "('" + std::to_string(code) + "', '無配当', 11)";
    server.execSql("INSERT INTO STK_INFO VALUES " + values);
    std::vector<std::string> oneJob = sweepArgs({"--utf8", "--per-stock"});
    *(std::find(oneJob.begin(), oneJob.end(), "--jobs") + 1) = "1"; // blocks of 16 stocks
    const CliRun market = run("sweep", oneJob);
    ASSERT_EQ(market.status, 0) << market.err;
    const auto lines = splitLines(market.out);
    ASSERT_EQ(lines.size(), 1u + 34u * 9u);
    EXPECT_NE(market.err.find("16/34 銘柄"), std::string::npos) << market.err;
    std::vector<std::string> args = sweepArgs({"--utf8", "--per-stock"});
    args[2] = "--code";
    args.insert(args.begin() + 3, "1301,1332,6501,7203");
    const CliRun alone = run("sweep", args);
    ASSERT_EQ(alone.status, 0) << alone.err;
    std::string withData;
    for (const std::string& line : lines)
        if (line.rfind("20", 0) != 0)
            withData += line + "\r\n";
    EXPECT_EQ(withData, alone.out);
}
