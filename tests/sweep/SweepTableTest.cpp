// The sweep's text: a sweep split into shards and merged must give the bytes of the whole run.
#include "sweep/SweepTable.h"

#include "SweepTestSupport.h"
#include "common/NumberText.h"

#include <gtest/gtest.h>
#include <random>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& l : lines)
        out += l + "\r\n";
    return out;
}

struct ShardFixture {
    SweepGrid grid;
    std::vector<SweepStock> stocks; // sorted by code
    std::string start, end;

    SweepTable run(const std::vector<SweepStock>& part) const
    {
        SweepRunOptions options;
        options.jobs = 2;
        auto figures = runSweep(grid, part, start, end, options);
        std::vector<std::string> codes;
        for (const auto& s : part)
            codes.push_back(s.code);
        return makeSweepTable(grid, codes, *figures);
    }
};

ShardFixture fixture()
{
    ShardFixture f;
    f.grid = *makeSweepGrid(rsiRules(), {axisOf("AmtBuyRSI2=20:40:10"), axisOf("AmtBuyRSI1=7:9:2")});
    for (int code = 2000; code < 2011; ++code)
        f.stocks.push_back(walkStock(code, 300));
    // One stock without prices: its rows carry the message and stay out of the means.
    f.stocks.push_back({"2999", makePtbl(8, 1), 0});
    const Period period = newestDays(f.stocks[0], 150);
    f.start = period.start;
    f.end = period.end;
    return f;
}

} // namespace

TEST(SweepShards, MergedShardsEqualTheWholeRunByteForByte)
{
    const ShardFixture f = fixture();
    const SweepTable whole = f.run(f.stocks);
    const std::string wholeCells = joined(sweepCellLines(whole, SweepMetric::Sharpe));
    const std::string wholeStocks = joined(sweepStockLines(whole));
    // Eleven stocks ran in every cell; the one without prices stays out of the means.
    EXPECT_EQ(wholeCells.substr(wholeCells.find("\r\n") + 2, 8), "20,7,11,") << wholeCells;
    for (const int n : {1, 3, 7}) {
        std::vector<std::string> files;
        // Given in reverse order: the merge must not depend on it.
        for (int k = n; k >= 1; --k) {
            const ShardPart shardPart{k, n};
            const ShardHeader header{shardPart, "abc", SweepMetric::Sharpe, false};
            files.push_back(joined(shardLines(header, f.run(shardOf(f.stocks, shardPart)))));
        }
        auto merged = mergeShards(files);
        ASSERT_TRUE(merged) << merged.error().message;
        EXPECT_EQ(merged->header.metric, SweepMetric::Sharpe);
        EXPECT_EQ(joined(sweepCellLines(merged->table, merged->header.metric)), wholeCells) << "N = " << n;
        EXPECT_EQ(joined(sweepStockLines(merged->table)), wholeStocks) << "N = " << n;
    }
}

TEST(SweepShards, ShardsSplitTheSortedListWithoutGapOrOverlap)
{
    const std::vector<int> items{0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    std::vector<int> seen;
    for (int k = 1; k <= 3; ++k)
        for (int i : shardOf(items, ShardPart{k, 3}))
            seen.push_back(i);
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, items);
    EXPECT_TRUE(shardOf(items, ShardPart{7, 20}).empty() == false);
    EXPECT_TRUE(shardOf(items, ShardPart{11, 20}).empty());
    for (const char* bad : {"0/3", "4/3", "3", "a/b", "1/0", "-1/3", "1/100000", "/", "1/"})
        EXPECT_FALSE(parseShard(bad)) << bad;
    EXPECT_TRUE(parseShard("3/3"));
}

TEST(SweepShards, TheCellTableMeansAndRanks)
{
    SweepTable t;
    t.keys = {"AmtBuyRSI2"};
    t.cellValues = {{"10"}, {"20"}, {"30"}};
    const auto row = [](std::string code, int cell, std::string ret, std::string error = {}) {
        SweepRow r;
        r.code = std::move(code);
        r.cell = cell;
        r.figures = {ret, "", "-5", "", "2"};
        r.error = std::move(error);
        return r;
    };
    t.rows = {row("1", 0, "10"), row("1", 1, "4"), row("1", 2, "", "失敗"),
              row("2", 0, "-2"), row("2", 1, "8"), row("2", 2, "1")};
    const auto lines = sweepCellLines(t, SweepMetric::NetReturn);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "AmtBuyRSI2,銘柄数,純利益率(%),プロフィットファクター,最大ドローダウン(%),"
                        "シャープレシオ,取引回数,順位,");
    EXPECT_EQ(lines[1], "10,2,4,,-5,,2,2,");
    EXPECT_EQ(lines[2], "20,2,6,,-5,,2,1,");
    EXPECT_EQ(lines[3], "30,1,1,,-5,,2,3,");
}

TEST(SweepShardsHostile, MergeRefusesBrokenOrMixedShards)
{
    const ShardFixture f = fixture();
    const auto shard = [&](int k, int n, std::string fingerprint = "abc") {
        const ShardPart shardPart{k, n};
        return joined(shardLines({shardPart, std::move(fingerprint), SweepMetric::NetReturn, false},
                                 f.run(shardOf(f.stocks, shardPart))));
    };
    const std::string s1 = shard(1, 2), s2 = shard(2, 2);
    const auto refused = [](const std::vector<std::string>& files) {
        auto m = mergeShards(files);
        return m ? std::string() : m.error().message;
    };
    EXPECT_NE(refused({s1}).find("2/2 のファイルがありません"), std::string::npos);
    EXPECT_NE(refused({s1, s1, s2}).find("2回"), std::string::npos);
    EXPECT_NE(refused({s1, shard(2, 2, "other")}).find("別の掃引"), std::string::npos);
    EXPECT_NE(refused({s1, shard(2, 3)}).find("別の掃引"), std::string::npos);
    EXPECT_NE(refused({}).find("ありません"), std::string::npos);
    EXPECT_NE(refused({s1, "AmtBuyRSI2,\r\n10,1,\r\n"}).find("2番目のファイル"), std::string::npos);
    EXPECT_NE(refused({s1, std::string("\0\xff\xfe", 3)}).find("シャードの出力ではありません"),
              std::string::npos);
    // Cut short inside the cell list, a row naming a cell that does not exist, a row of the wrong width.
    EXPECT_FALSE(refused({s1, s2.substr(0, s2.find("#cell,3"))}).empty());
    EXPECT_FALSE(refused({s1, s2 + "2005,99,1,1,1,1,1,,\r\n"}).empty());
    EXPECT_FALSE(refused({s1, s2 + "2005,1,1,\r\n"}).empty());
    EXPECT_FALSE(refused({s1, s2 + "2005,-1,1,1,1,1,1,,\r\n"}).empty());
    // A stock in two shards.
    EXPECT_NE(refused({s1, s2 + "2000,0,1,1,1,1,1,,\r\n"}).find("別のシャードにも"), std::string::npos);
    // Quoted cells and LF line ends read as well as the written form.
    std::string lf = s2;
    for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;)
        lf.replace(at, 2, "\n");
    EXPECT_EQ(refused({s1, lf}), "");
}

TEST(SweepShardsHostile, RandomDamageIsRefusedOrReadNeverACrash)
{
    const ShardFixture f = fixture();
    const ShardPart shardPart{1, 1};
    const std::string good = joined(
        shardLines({shardPart, "abc", SweepMetric::NetReturn, true}, f.run(shardOf(f.stocks, shardPart))));
    std::mt19937 rng(20);
    std::uniform_int_distribution<int> byte(0, 255);
    int refused = 0;
    for (int round = 0; round < 2000; ++round) {
        std::string damaged = good;
        std::uniform_int_distribution<std::size_t> at(0, damaged.size() - 1);
        for (int k = 0; k < 1 + round % 5; ++k) {
            switch (round % 3) {
            case 0:
                damaged[at(rng)] = static_cast<char>(byte(rng));
                break;
            case 1:
                damaged.erase(at(rng) % damaged.size(), 1 + static_cast<std::size_t>(byte(rng)));
                break;
            default:
                damaged.insert(at(rng) % damaged.size(), 1, ",\"\r\n#"[byte(rng) % 5]);
                break;
            }
        }
        auto merged = mergeShards({damaged});
        if (!merged) {
            ++refused;
            EXPECT_FALSE(merged.error().message.empty());
            continue;
        }
        // What is read is complete: every stock has a row for every cell.
        if (merged->table.cellValues.empty())
            EXPECT_TRUE(merged->table.rows.empty());
        else
            EXPECT_EQ(merged->table.rows.size() % merged->table.cellValues.size(), 0u);
        for (const SweepRow& row : merged->table.rows)
            for (const std::string& figure : row.figures)
                EXPECT_TRUE(figure.empty() || parseNumber(figure)) << figure;
    }
    EXPECT_GT(refused, 1000);
}
