// One back-test from the F5 action to the filled and painted result views: one demo-style stock,
// the period "1年間" (a year plus the 80-day lead-in, about 300 days), four conditions ticked, on the
// offscreen platform against the real server in process over loopback. The time is split into
//   request:  the exchange with the server (statement, query, reply, parsing),
//   analysis: the indicators and the simulation of the analysis object,
//   fill:     the daily table, the summary and the trade list,
//   paint:    the rest up to the painted window (the closing message is scripted away).
// Run: build-release/bench/bench_run
#include "accounts/LoginBatch.h"
#include "app/FeaturePanels.h"
#include "app/main_frm.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "results/SimulationRun.h"
#include "results/daily_data_view.h"
#include "results/result_view.h"
#include "results/trade_result_view.h"
#include "server/import/DemoMarket.h"
#include "server/import/Importer.h"
#include "server/storage/Database.h"
#include "support/TestServer.h"
#include "widgets/MessageDialog.h"
#include "widgets/StringGrid.h"
#include "workbench/orq_common.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace vorteq;

namespace {

using Clock = std::chrono::steady_clock;

double ms(std::chrono::nanoseconds d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "bench_run: %s\n", what);
    std::abort();
}

struct Setup {
    std::unique_ptr<test::TestServer> server;
    std::shared_ptr<ScriptedMessageDialog> messages = std::make_shared<ScriptedMessageDialog>();
    std::unique_ptr<Tfrm_main> window;
    SimulationRun* run = nullptr;
    ResultViews* views = nullptr;
};

std::unique_ptr<Setup> g_setup;

// The first stock of the demo market's first Tokyo section, 2005 and 2006, as the demo imports it.
TStkList importOneStock(test::TestServer& server)
{
    server::DemoOptions options;
    options.first = {2005, 1, 4};
    options.last = {2006, 12, 29};
    auto market = std::make_shared<server::DemoMarket>(options);
    std::size_t index = 0;
    while (index < market->instruments().size() && market->instruments()[index].market != 11)
        ++index;
    if (index == market->instruments().size())
        fail("no stock of market 11 in the demo market");
    std::vector<server::StockSource> sources{[market, index]() -> Result<server::StockBatch> {
        server::StockBatch batch;
        batch.stocks.push_back(market->series(index));
        return batch;
    }};
    auto db = server::Database::open(server.dbPath(), false);
    if (!db)
        fail("cannot open the database");
    const auto summary = server::importStocks(*db, std::move(sources), server::ImportOptions{});
    if (!summary || summary->imported != 1)
        fail("cannot import the stock");
    const server::DemoInstrument& s = market->instruments()[index];
    return TStkList{s.code, s.name, "11", "東証一部"};
}

Setup& setup()
{
    if (!g_setup) {
        g_setup = std::make_unique<Setup>();
        Setup* p = g_setup.get();
        p->server = std::make_unique<test::TestServer>();
        p->server->addUser("bench", "bench123", "計測", "bench@example.com");
        const TStkList stock = importOneStock(*p->server);
        setMessageDialog(p->messages);

        THttpStatements login(p->server->url());
        login.Add("Query");
        login.Add(loginUserStatement("bench", "bench123"));
        if (auto done = login.Execute(); !done || !*done || login.Item(1).RowCount != 1)
            fail("login failed");
        session().server_url = p->server->url();
        session().stk_upd_date = "2006/12/29";
        session().login_ok = true;

        p->window = std::make_unique<Tfrm_main>();
        installFeaturePanels(*p->window);
        p->run = p->window->findChild<SimulationRun*>();
        p->views = ResultViews::of(*p->window);
        if (!p->run || !p->views)
            fail("the run or the result views are not installed");
        p->window->show();
        QCoreApplication::processEvents();
        p->window->notifyStockRowSelected(stock);
        TJouken rules = TJouken::defaults();
        for (const char* use : {"UseBuyRSI", "UseSellRSI", "UseBuyMACD", "UseSellMACD"})
            rules.set(use, "1");
        JoukenEditor::of(*p->window)->jouken_to_editor(rules);
        p->window->dtp_stk_sdate->setDate(QDate(2006, 12, 29));
        p->window->cbx_stk_term->setCurrentIndex(3); // "1年間"
    }
    return *g_setup;
}

void BM_RunF5ToFilledViews(benchmark::State& state)
{
    Setup& s = setup();
    double request = 0, analysis = 0, fill = 0, total = 0;
    for (auto _ : state) {
        s.messages->clear();
        const auto start = Clock::now();
        s.window->act_sim->trigger();
        s.window->repaint();
        QCoreApplication::processEvents();
        total += ms(Clock::now() - start);
        if (s.messages->shown().size() != 1 || s.messages->last().kind != MsgKind::Information) {
            state.SkipWithError("the run did not complete");
            break;
        }
        const SimulationRun::PhaseTimes& t = s.run->lastPhaseTimes();
        request += ms(t.request);
        analysis += ms(t.analysis);
        fill += ms(t.fill);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["request_ms"] = request / n;
    state.counters["analysis_ms"] = analysis / n;
    state.counters["fill_ms"] = fill / n;
    state.counters["paint_ms"] = (total - request - analysis - fill) / n;
    state.counters["total_ms"] = total / n;
    state.counters["days"] = static_cast<double>(s.views->daily().sg_sim_stk->rowCount() - 1);
    state.counters["trades"] = static_cast<double>(s.views->trade().rows().size());
}
BENCHMARK(BM_RunF5ToFilledViews)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_setup.reset();
    setMessageDialog(nullptr);
    return 0;
}
