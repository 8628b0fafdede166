// Back-tests of many stocks at once against the real statement server: every stock's line is what
// a single back-test of that stock gives, whatever the number of workers; a cancelled batch keeps
// the stocks it finished and says which it left out; the summary's arithmetic by hand.
#include "CliTestSupport.h"
#include "analysis/TStkAnalisys.h"
#include "cli/Session.h"
#include "common/NumberText.h"
#include "results/BatchBacktest.h"
#include "results/ResultRows.h"
#include "simulation/TradeSimulation.h"

#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

using namespace vorteq;
using namespace vorteq::test;

namespace {

// Stocks 2001..2005 of market 11: the real series of 2005 and 2006 scaled, so every stock trades
// differently. 1332 has a single day of prices, 9999 none at all.
void seedStocks(TestServer& server)
{
    std::string info = "INSERT INTO STK_INFO VALUES ('9999', '無取引', 11)";
    for (int s = 1; s <= 5; ++s) {
        const std::string code = std::to_string(2000 + s);
        info += ", ('" + code + "', '銘柄" + code + "', 11)";
        std::map<std::string, std::string> values;
        int day = 0;
        for (const PriceDay& d : googDays()) {
            const std::string year = d.date.substr(0, 4);
            if (year != "2005" && year != "2006")
                continue;
            // A different wobble per stock keeps the signals apart.
            const double f = s * (1.0 + 0.03 * ((day++ * s) % 7));
            const auto scaled = [&](const std::string& p) { return std::to_string(std::stod(p) * f); };
            std::string& v = values["STK_DAILY_TSE_" + year];
            v += (v.empty() ? "('" : ", ('") + code + "', '" + d.date + "', " + scaled(d.open) + ", " +
                 scaled(d.high) + ", " + scaled(d.low) + ", " + scaled(d.close) + ", " + d.volume + ")";
        }
        for (const auto& [table, v] : values)
            server.execSql("INSERT INTO " + table +
                           " (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM) VALUES " + v);
    }
    server.execSql(info);
}

TJouken rsiConditions()
{
    TJouken record = TJouken::defaults();
    record.set("UseBuyRSI", "1");
    record.set("UseSellRSI", "1");
    record.set("UseBuySTK", "1");
    record.set("UseSellSTK", "1");
    return record;
}

class BatchRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        seedCliMarket(server);
        seedStocks(server);
        io.environment["VORTEQ_PASSWORD"] = "demo1234";
        auto opened = cli::Session::open({server.url(), "demo"}, io);
        ASSERT_TRUE(opened) << opened.error().message;
        session.emplace(std::move(*opened));
        setup.endDate = "2006/12/29";
        setup.period = SimPeriod::OneYear;
        for (const char* code : {"2001", "2002", "1332", "2003", "9999", "2004", "2005"})
            setup.stocks.push_back({code, std::string("銘柄") + code, "11", "東証一部"});
        setup.conditions = [](const BatchStock&) -> Result<TJouken> { return rsiConditions(); };
        const std::string url = server.url();
        setup.makeStatements = [url] { return std::make_unique<THttpStatements>(url); };
    }

    TestServer server;
    CapturingIo io;
    std::optional<cli::Session> session;
    BatchSetup setup;
};

std::vector<std::string> allTexts(const BatchRow& row)
{
    std::vector<std::string> texts = batchRowTexts(row);
    for (const SummaryText& t : summaryTexts(row.result))
        texts.push_back(std::string(t.edit) + "=" + t.text);
    for (const std::string& line : tradeListCsvLines(row.result))
        texts.push_back(line);
    return texts;
}

} // namespace

TEST_F(BatchRun, EveryLineIsTheSingleBacktestOfItsStockWhateverTheWorkers)
{
    // Each stock alone, on the session's own client and a fresh analysis object.
    std::vector<std::vector<std::string>> single;
    for (const BatchStock& stock : setup.stocks) {
        TStkAnalisys analysis;
        installSimulation(analysis);
        const auto plan = planSimulation(setup.endDate, setup.period, stock.code, stock.marketCode);
        ASSERT_TRUE(plan);
        BacktestTimes times;
        const auto run = backtestStock(session->statements(), analysis, rsiConditions(), *plan, times);
        if (!run) {
            single.push_back({stock.code, run.error().message});
            continue;
        }
        const int tradePrice = parseInt32(rsiConditions().value("UseTradePrice")).value_or(0);
        single.push_back(allTexts(batchRowOf(stock, *run, plan->start, plan->end, tradePrice)));
    }
    for (const int jobs : {1, 3}) {
        BatchRunner runner(jobs);
        std::set<std::thread::id> threads;
        std::mutex m;
        const auto rows = runBatchBacktest(setup, runner, [&](int, int, int) {
            const std::lock_guard lock(m);
            threads.insert(std::this_thread::get_id());
        });
        ASSERT_EQ(rows.size(), setup.stocks.size());
        EXPECT_LE(threads.size(), static_cast<std::size_t>(jobs));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(setup.stocks[i].code + " with " + std::to_string(jobs) + " jobs");
            if (rows[i].state == BatchRowState::Failed)
                EXPECT_EQ((std::vector<std::string>{rows[i].stock.code, rows[i].error.message}), single[i]);
            else
                EXPECT_EQ(allTexts(rows[i]), single[i]);
        }
        // The stock without prices fails with the single run's message; the others ran and traded.
        EXPECT_EQ(rows[4].state, BatchRowState::Failed);
        EXPECT_EQ(rows[4].error.message, kNoPriceData);
        EXPECT_EQ(rows[0].state, BatchRowState::Done);
        EXPECT_GT(rows[0].trades, 0) << rows[0].result.ShortOfUnitDate << " " << rows[0].result.TotalNum;
        EXPECT_NE(allTexts(rows[0]), allTexts(rows[1]));
    }
}

TEST_F(BatchRun, CancelledBatchKeepsWhatItFinishedAndMarksTheRest)
{
    BatchRunner runner(2);
    const auto rows = runBatchBacktest(setup, runner, [&](int, int done, int) {
        if (done == 2)
            runner.cancel();
    });
    ASSERT_EQ(rows.size(), setup.stocks.size());
    int finished = 0;
    for (const BatchRow& row : rows) {
        if (row.state == BatchRowState::NotRun) {
            EXPECT_EQ(batchRowTexts(row).back(), "未実行");
            EXPECT_TRUE(row.days.empty());
        } else {
            ++finished;
            EXPECT_FALSE(row.start.empty() && row.state == BatchRowState::Done);
        }
    }
    // Both workers may finish the item in hand after the second one: two or three, never all.
    EXPECT_GE(finished, 2);
    EXPECT_LE(finished, 3);
    // Items go out in list order: everything finished lies before everything left out.
    const auto firstLeft = std::find_if(rows.begin(), rows.end(),
                                        [](const BatchRow& r) { return r.state == BatchRowState::NotRun; });
    EXPECT_TRUE(std::all_of(firstLeft, rows.end(),
                            [](const BatchRow& r) { return r.state == BatchRowState::NotRun; }));

    const BatchSummary summary = summarizeBatch(rows);
    EXPECT_EQ(summary.notRun, static_cast<int>(rows.size()) - finished);
    const auto lines = batchCsvLines(rows, summary, true);
    EXPECT_EQ(lines.back(), "中断されました: " + std::to_string(finished) + "/7銘柄を実行,");
}

TEST_F(BatchRun, UnreachableServerStopsTheBatchAtTheFirstStock)
{
    // Port 1 on loopback: nothing listens there.
    setup.makeStatements = [] {
        return std::make_unique<THttpStatements>("http://127.0.0.1:1/ORQ/servlet/ApsServlet/");
    };
    BatchRunner runner(1);
    const auto rows = runBatchBacktest(setup, runner);
    EXPECT_EQ(rows[0].state, BatchRowState::Failed);
    EXPECT_EQ(rows[0].error.code, ErrorCode::Transport);
    EXPECT_TRUE(runner.cancelled());
    for (std::size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i].state, BatchRowState::NotRun);
}

TEST_F(BatchRun, ConditionsThatFailAreThatStocksLineOnly)
{
    setup.conditions = [](const BatchStock& stock) -> Result<TJouken> {
        if (stock.code == "2002")
            return makeError(ErrorCode::Validation, "売買条件が登録されていません。");
        return rsiConditions();
    };
    BatchRunner runner(2);
    const auto rows = runBatchBacktest(setup, runner);
    EXPECT_EQ(rows[1].state, BatchRowState::Failed);
    EXPECT_EQ(batchRowTexts(rows[1]).back(), "売買条件が登録されていません。");
    EXPECT_EQ(rows[0].state, BatchRowState::Done);
    EXPECT_EQ(rows[6].state, BatchRowState::Done);
    EXPECT_FALSE(runner.cancelled());
}

// Three stocks worked out by hand: returns 10, -20 and 40 percent, the portfolio holding a third of
// the money in each.
TEST(BatchSummary, MeanMedianShareAndEqualWeightPortfolioByHand)
{
    const auto row = [](int trades, long double ret, std::vector<std::int32_t> days,
                        std::vector<float> growth) {
        BatchRow r;
        r.state = BatchRowState::Done;
        r.trades = trades;
        r.netReturnPct = ret;
        r.days = std::move(days);
        r.growth = std::move(growth);
        return r;
    };
    std::vector<BatchRow> rows{
        row(2, 10, {20060104, 20060105, 20060106}, {1.0f, 1.2f, 1.1f}),
        row(4, -20, {20060104, 20060105, 20060106}, {1.0f, 0.7f, 0.8f}),
        // Starts a day late and has no last day: 1 before it, its last value after it.
        row(0, 40, {20060105}, {1.4f}),
    };
    rows.push_back(BatchRow{});
    rows.back().state = BatchRowState::Failed;
    rows.push_back(BatchRow{}); // left out by a cancel
    const BatchSummary s = summarizeBatch(rows);
    EXPECT_EQ(s.done, 3);
    EXPECT_EQ(s.failed, 1);
    EXPECT_EQ(s.notRun, 1);
    EXPECT_EQ(s.totalTrades, 6);
    ASSERT_TRUE(s.columns[0].mean && s.columns[0].median);
    EXPECT_NEAR(static_cast<double>(*s.columns[0].mean), 2.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(*s.columns[0].median), 2.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(*s.columns[2].mean), 10.0, 1e-12);
    EXPECT_NEAR(static_cast<double>(*s.columns[2].median), 10.0, 1e-12);
    EXPECT_FALSE(s.columns[1].mean); // no win rate anywhere
    EXPECT_NEAR(static_cast<double>(*s.profitableSharePct), 200.0 / 3, 1e-9);
    // Day 1: (1 + 1 + 1) / 3 = 1; day 2: (1.2 + 0.7 + 1.4) / 3 = 1.1; day 3: (1.1 + 0.8 + 1.4) / 3 = 1.1.
    EXPECT_NEAR(static_cast<double>(*s.portfolioReturnPct), 10.0, 1e-5);
    EXPECT_NEAR(static_cast<double>(*s.portfolioMaxDrawdownPct), 0.0, 1e-5);
    // An even count's median is the mean of the middle two.
    rows.push_back(row(1, 0, {20060104}, {0.5f}));
    const BatchSummary t = summarizeBatch(rows);
    EXPECT_NEAR(static_cast<double>(*t.columns[2].median), 5.0, 1e-12);
    // Day 1 now (1 + 1 + 1 + 0.5) / 4 = 0.875, then (1.2 + 0.7 + 1.4 + 0.5) / 4 = 0.95, then 0.95.
    EXPECT_NEAR(static_cast<double>(*t.portfolioReturnPct), -5.0, 1e-5);
    EXPECT_NEAR(static_cast<double>(*t.portfolioMaxDrawdownPct), -12.5, 1e-5);
}

TEST(BatchRunnerContract, EveryItemOnceAndAFailingJobEndsTheRun)
{
    for (const int jobs : {1, 2, 8}) {
        BatchRunner runner(jobs);
        std::vector<std::atomic<int>> seen(50);
        std::atomic<int> workers{0};
        const int done = runner.run(50, [&] {
            ++workers;
            return [&](int i) { ++seen[static_cast<std::size_t>(i)]; };
        });
        EXPECT_EQ(done, 50);
        EXPECT_LE(workers.load(), jobs);
        for (const auto& n : seen)
            EXPECT_EQ(n.load(), 1);
    }
    EXPECT_EQ(BatchRunner(4).run(0, [] { return [](int) {}; }), 0);
    BatchRunner failing(2);
    EXPECT_THROW(failing.run(100,
                             [] {
                                 return [](int i) {
                                     if (i == 7)
                                         throw std::runtime_error("broken");
                                 };
                             }),
                 std::runtime_error);
    EXPECT_TRUE(failing.cancelled());
    EXPECT_GE(defaultBatchJobs(), 1);
}

// The server runs two requests of a user at once and refuses a third: many workers must queue
// their requests rather than lose stocks to refusals.
TEST_F(BatchRun, ManyWorkersNeverExceedTheRequestsTheServerTakesFromOneUser)
{
    const std::vector<BatchStock> once = setup.stocks;
    for (int i = 0; i < 5; ++i)
        setup.stocks.insert(setup.stocks.end(), once.begin(), once.end());
    BatchRunner runner(8);
    const auto rows = runBatchBacktest(setup, runner);
    for (const BatchRow& row : rows) {
        if (row.stock.code == "9999")
            EXPECT_EQ(row.error.message, kNoPriceData);
        else
            EXPECT_EQ(row.state, BatchRowState::Done) << row.stock.code << ": " << row.error.message;
    }
}
