// One screening of a 4,000-stock market, from the F3 action to the filled and painted list, on the
// offscreen platform against the real server in process. The time is split into
//   request: the HTTP exchange (the server's query and reply included),
//   parse:   the client's side of the exchange (request compression, reply inflation, parsing, CP932),
//   fill:    the list (cells, row count, selection, status, repaint of the visible part).
// Run: build-release/bench/bench_screening
#include "accounts/LoginBatch.h"
#include "app/main_frm.h"
#include "common/NumberText.h"
#include "gateway/HttpTransport.h"
#include "gateway/THttpStatements.h"
#include "screening/screening_panel.h"
#include "support/TestServer.h"
#include "widgets/MessageDialog.h"
#include "widgets/StringGrid.h"
#include "workbench/orq_common.h"

#include <QAction>
#include <QApplication>
#include <QLabel>

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>

using namespace vorteq;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStocks = 4000;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Times every POST of the wrapped transport.
class TimedTransport : public HttpTransport {
public:
    explicit TimedTransport(std::shared_ptr<HttpTransport> inner) : m_inner(std::move(inner)) {}
    Result<HttpReply> post(const std::string& url, const std::string& body,
                           const std::string& extraHeaderLine) override
    {
        const auto start = Clock::now();
        auto reply = m_inner->post(url, body, extraHeaderLine);
        seconds += secondsSince(start);
        return reply;
    }
    double seconds = 0;

private:
    std::shared_ptr<HttpTransport> m_inner;
};

// One trading day of a market of kStocks stocks with every column filled, names of mixed scripts.
// Inserted in batches: the server bounds the length of one statement.
void seedMarket(test::TestServer& server)
{
    static const char* const kNames[] = {
        "極洋",         "日本水産", "トヨタ自動車", "みずほフィナンシャルグループ",
        "ソフトバンク", "ｿﾆｰ",      "三菱ＵＦＪ",   "任天堂"};
    constexpr int kBatch = 200;
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> price(80.0, 9000.0);
    std::uniform_real_distribution<double> ratio(-30.0, 30.0);
    std::uniform_int_distribution<int> volume(1000, 9000000);
    for (int first = 0; first < kStocks; first += kBatch) {
        std::string info = "INSERT INTO STK_INFO VALUES ";
        std::string daily = "INSERT INTO STK_DAILY_TSE_2006 VALUES ";
        for (int i = first; i < first + kBatch && i < kStocks; ++i) {
            const std::string code = std::to_string(1300 + i);
            if (i > first) {
                info += ", ";
                daily += ", ";
            }
            info += "('" + code + "', '" + kNames[i % 8] + std::to_string(i % 100) + "', 11)";
            const double close = price(rng);
            daily += "('" + code + "', '2006/05/15'";
            for (int k = 0; k < 4; ++k)
                daily += ", " + std::to_string(static_cast<int>(close * (0.97 + 0.02 * k)));
            daily += ", " + std::to_string(volume(rng));
            // The 40 indicator columns: averages and bands near the close, ratios and oscillators around 0.
            for (int k = 0; k < 40; ++k) {
                const double v =
                    k % 3 == 0 ? close * (1.0 + ratio(rng) / 100.0) : ratio(rng) * (k % 3 == 1 ? 1.0 : 3.0);
                daily += ", " + formatNumber(truncate2(static_cast<long double>(v)));
            }
            daily += ")";
        }
        server.execSql(info);
        server.execSql(daily);
    }
}

struct Setup {
    std::unique_ptr<test::TestServer> server;
    std::shared_ptr<ScriptedMessageDialog> messages = std::make_shared<ScriptedMessageDialog>();
    std::shared_ptr<TimedTransport> transport;
    std::unique_ptr<THttpStatements> statements;
    std::unique_ptr<Tfrm_main> window;
    ScreeningPanel* panel = nullptr;
    double exchangeSeconds = 0;
    Clock::time_point exchangeStart;
};

std::unique_ptr<Setup> g_setup;

Setup& setup()
{
    if (!g_setup) {
        g_setup = std::make_unique<Setup>();
        Setup* p = g_setup.get();
        p->server = std::make_unique<test::TestServer>();
        p->server->addUser("bench", "bench123", "計測", "bench@example.com");
        seedMarket(*p->server);
        setMessageDialog(p->messages);

        THttpStatements login(p->server->url());
        login.Add("Query");
        login.Add(loginUserStatement("bench", "bench123"));
        login.Add(updateDatesStatement());
        if (auto done = login.Execute(); !done || !*done || login.Item(1).RowCount != 1) {
            std::fprintf(stderr, "login failed\n");
            std::abort();
        }
        session().server_url = p->server->url();
        session().stk_upd_date = "2006/05/15";
        session().login_ok = true;

        p->transport = std::make_shared<TimedTransport>(makeCurlTransport());
        p->statements = std::make_unique<THttpStatements>(p->server->url(), p->transport);
        p->window = std::make_unique<Tfrm_main>();
        p->panel = new ScreeningPanel(*p->window, *p->statements);
        p->window->installScreeningPanel(p->panel);
        ScreeningPanel* panel = p->panel;
        p->window->hooks().search = [panel] { panel->sbtn_get_stk_infoClick(); };
        p->window->hooks().searchReset = [panel] { panel->search_reset(); };
        p->window->show();
        QCoreApplication::processEvents();
        // The exchange inside Execute: the busy hook runs around it.
        setBusyHook(BusyHook{[p] { p->exchangeStart = Clock::now(); },
                             [p] { p->exchangeSeconds += secondsSince(p->exchangeStart); }});
    }
    return *g_setup;
}

void BM_ScreeningF3ToFilledList(benchmark::State& state)
{
    Setup& s = setup();
    s.transport->seconds = 0;
    s.exchangeSeconds = 0;
    double total = 0;
    for (auto _ : state) {
        s.messages->clear();
        const auto start = Clock::now();
        s.window->act_serch->trigger();
        s.panel->sg_stk_cd->viewport()->repaint();
        QCoreApplication::processEvents();
        total += secondsSince(start);
        if (!s.messages->shown().empty() || s.panel->sg_stk_cd->rowCount() != kStocks + 1) {
            state.SkipWithError("the search did not fill the list");
            break;
        }
    }
    const double n = static_cast<double>(state.iterations());
    const double request = s.transport->seconds;
    const double parse = s.exchangeSeconds - request;
    const double fill = total - s.exchangeSeconds;
    state.counters["request_ms"] = 1000.0 * request / n;
    state.counters["parse_ms"] = 1000.0 * parse / n;
    state.counters["fill_ms"] = 1000.0 * fill / n;
    state.counters["total_ms"] = 1000.0 * total / n;
    state.counters["rows"] = static_cast<double>(s.panel->sg_stk_cd->rowCount() - 1);
}
BENCHMARK(BM_ScreeningF3ToFilledList)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The list alone, refilled from the last reply.
void BM_FillStockList(benchmark::State& state)
{
    Setup& s = setup();
    s.window->act_serch->trigger();
    const TSqlSet& reply = s.statements->Item(1);
    for (auto _ : state) {
        s.panel->fillStockList(reply);
        s.panel->sg_stk_cd->viewport()->repaint();
        QCoreApplication::processEvents();
    }
    state.counters["rows"] = static_cast<double>(reply.RowCount);
}
BENCHMARK(BM_FillStockList)->Unit(benchmark::kMillisecond);

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
    setBusyHook({});
    g_setup.reset();
    return 0;
}
