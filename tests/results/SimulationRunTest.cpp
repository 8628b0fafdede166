// The back-test from F5 to the result views, against the real statement server in process: the
// period and the price query over the yearly tables, the failures that keep the views of the last
// good run, the closing message, the daily table's labels and trade column, the summary and the two
// exports. Prices are made up day by day so that every expected figure can be worked out by hand.
#include "accounts/LoginBatch.h"
#include "analysis/TStkAnalisys.h"
#include "app/FeaturePanels.h"
#include "app/ShellTestSupport.h"
#include "app/main_frm.h"
#include "common/DateText.h"
#include "common/Encoding.h"
#include "common/NumberText.h"
#include "conditions/ConditionFiles.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "results/ResultRows.h"
#include "results/batch_frm.h"
#include "results/chart_view.h"
#include "results/daily_data_view.h"
#include "results/forward_frm.h"
#include "results/result_view.h"
#include "results/statistics_view.h"
#include "results/trade_result_view.h"
#include "simulation/RunPlan.h"
#include "simulation/SimulationTestSupport.h"
#include "simulation/StockBacktest.h"
#include "simulation/TradeSimulation.h"
#include "support/TestServer.h"
#include "widgets/StringGrid.h"
#include "workbench/common_unit.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <string>
#include <vector>

using namespace vorteq;

namespace {

// One trading day: open and close; the high and the low are the larger and the smaller of them.
struct Bar {
    std::string date;
    int open;
    int close;
};

// Every weekday from first to last, inclusive.
std::vector<std::string> weekdays(Date first, Date last)
{
    std::vector<std::string> out;
    for (Date d = first; d <= last; d = addDays(d, 1))
        if (const int w = dayOfWeek(d); w != 0 && w != 6)
            out.push_back(formatDate(d));
    return out;
}

std::vector<Bar> flatBars(Date first, Date last, int price = 1000)
{
    std::vector<Bar> bars;
    for (const std::string& d : weekdays(first, last))
        bars.push_back({d, price, price});
    return bars;
}

// Writes the bars of one stock into the Tokyo daily tables of their years.
void insertBars(test::TestServer& server, const std::string& code, const std::vector<Bar>& bars)
{
    for (const Bar& b : bars) {
        const int high = std::max(b.open, b.close);
        const int low = std::min(b.open, b.close);
        server.execSql("INSERT INTO STK_DAILY_TSE_" + b.date.substr(0, 4) +
                       " (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM) VALUES ('" + code +
                       "', '" + b.date + "', " + std::to_string(b.open) + ", " + std::to_string(high) + ", " +
                       std::to_string(low) + ", " + std::to_string(b.close) + ", 1000)");
    }
}

std::vector<Bar> concat(std::vector<Bar> a, const std::vector<Bar>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A buy day closes 10 % above its open, a sell day 10 % below; the rules below buy at +5 % and sell
// at -5 % (the day's change from open to close).
Bar buyDay(const std::string& date)
{
    return {date, 1000, 1100};
}
Bar sellDay(const std::string& date)
{
    return {date, 1000, 900};
}
Bar flatDay(const std::string& date)
{
    return {date, 1000, 1000};
}

// The editor's defaults with a buy on a day that closes 5 % or more above its open and a sell on
// a day that closes 5 % or more below it.
TJouken dayChangeRules()
{
    return vorteq::testing::openToCloseRules();
}

// The stocks of the tests, all in the first section of Tokyo (market 11) but 9984 (second section).
//   1301  every weekday of 2005 and 2006, prices moving a little: the period and query examples
//   7203  flat to 2006/02/28, then a March of buy and sell days: labels and the trade column
//   1332  flat to 2006/05/31, then exactly two trades in June; a bad price on 2006/07/03
//   1334  flat in spring 2006: a run without trades
//   9984  only 2006/01/04 to 2006/02/10: every day before a start in mid-February
void seedMarket(test::TestServer& server)
{
    server.addUser("demo", "demo1234", "デモ", "demo@example.com");
    server.execSql("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('7203', 'トヨタ自動車', 11), "
                   "('1332', '日本水産', 11), ('1334', 'マルハ食品', 11), ('9984', 'ソフトバンク', 12)");

    std::vector<Bar> moving;
    int k = 0;
    for (const std::string& d : weekdays({2005, 1, 4}, {2006, 12, 29})) {
        const int open = 1000 + (k % 7) * 3;
        moving.push_back({d, open, open + (k % 5) - 2});
        ++k;
    }
    insertBars(server, "1301", moving);

    insertBars(server, "7203",
               concat(flatBars({2006, 1, 4}, {2006, 2, 28}),
                      {flatDay("2006/03/01"), buyDay("2006/03/02"), buyDay("2006/03/03"),
                       buyDay("2006/03/06"), flatDay("2006/03/07"), buyDay("2006/03/08"),
                       sellDay("2006/03/09"), buyDay("2006/03/10"), buyDay("2006/03/13")}));

    insertBars(server, "1332",
               concat(flatBars({2006, 3, 13}, {2006, 5, 31}), {buyDay("2006/06/01"),
                                                               {"2006/06/02", 1100, 1100},
                                                               {"2006/06/05", 1200, 1080},
                                                               {"2006/06/06", 1210, 1210},
                                                               {"2006/06/07", 1210, 1210}}));
    server.execSql("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, "
                   "STK_VLM) VALUES ('1332', '2006/07/03', 'abc', 1210, 1210, 1210, 1000)");

    insertBars(server, "1334", flatBars({2006, 4, 3}, {2006, 6, 30}));
    insertBars(server, "9984", flatBars({2006, 1, 4}, {2006, 2, 10}));
}

QStringList texts(std::initializer_list<const char*> utf8)
{
    QStringList out;
    for (const char* t : utf8)
        out << QString::fromUtf8(t);
    return out;
}

// The bytes an export of these lines writes: CP932, each line ended by CR LF.
QByteArray exportBytes(std::initializer_list<const char*> lines)
{
    std::string text;
    for (const char* line : lines)
        text += std::string(line) + "\r\n";
    const auto cp932 = utf8ToCp932(text);
    if (!cp932)
        qFatal("expected export text without a CP932 form");
    return QByteArray::fromStdString(*cp932);
}

} // namespace

class SimulationRunTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabsShowEveryFieldCaptionAndTitle();
    void threeMonthsReadTwoYearlyTables();
    void oneMonthInOneTable();
    void noTableBefore2005IsRead();
    void wholeHistoryAndChosenStart();
    void f5AndTheButtonRunTheBackTest();
    void f5WithoutAStockDoesNothing();
    void labelsFollowRunsOfSignals();
    void tradesAppearOnTheDayTheyAreExecuted();
    void twoTradesFillTheSummaryAndTheExport();
    void f5AndTheCommandLinesFlowGiveTheSameRun();
    void runWithoutTradesShowsZeroAndAHundred();
    void everyDayBeforeTheStartShowsAnEmptyTable();
    void signalsWithoutMoneyForOneUnitAreExplained();
    void weekendBaseDateIsRefusedBeforeAsking();
    void failuresKeepTheViewsOfTheLastGoodRun();
    void selectingAnotherStockResetsTheViews();
    void exportsAfterAResetAndOverAnOldFile();
    void chartAndFiguresFollowTheRunAndTheGrids();
    void batchOverTheMarketMatchesSingleRunsAndOpensTheSortedRow();
    void cancelledBatchShowsAConsistentPartialTable();
    void screeningCheckComparesTheListWithItsMarket();
    void batchOfRegisteredStocksRunsEachWithItsOwnSet();

private:
    void login();
    void select(const char* code, const char* name, const char* market = "11",
                const char* marketName = "東証1部");
    void setPeriod(const QDate& base, int term);
    void run() { m_window->act_sim->trigger(); }
    void runTwoTrades();
    QStringList viewState() const;
    QString edit(const char* name) const;
    StringGrid& daily() const { return *m_views->daily().sg_sim_stk; }
    StringGrid& trades() const { return *m_views->trade().sg_sim_result; }
    QStringList column(const StringGrid& grid, int col) const;
    std::vector<std::string> priceDates() const;
    const std::vector<ScriptedMessageDialog::Shown>& shown() const { return m_ui->messages->shown(); }
    std::size_t requests() const { return m_server->logLines().size(); }

    std::unique_ptr<test::TestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
    std::unique_ptr<Tfrm_main> m_window;
    JoukenEditor* m_editor = nullptr;
    ResultViews* m_views = nullptr;
};

void SimulationRunTest::initTestCase()
{
    m_server = std::make_unique<test::TestServer>();
    seedMarket(*m_server);
}

void SimulationRunTest::login()
{
    clearSessionCookie();
    THttpStatements http(m_server->url());
    http.Add("Query");
    http.Add(loginUserStatement("demo", "demo1234"));
    const auto executed = http.Execute();
    QVERIFY(executed && *executed);
    QCOMPARE(http.Item(1).RowCount, 1);
}

void SimulationRunTest::init()
{
    m_base = std::make_unique<QTemporaryDir>();
    QVERIFY(m_base->isValid());
    m_ui = std::make_unique<test::ScriptedUi>();
    test::resetSession(m_base->path(), m_server->url());
    session().login_ok = true;
    session().stk_upd_date = "2006/12/29";
    work() = WorkState{};
    jouken = TJouken::defaults();
    login();
    m_window = std::make_unique<Tfrm_main>();
    installFeaturePanels(*m_window);
    m_editor = JoukenEditor::of(*m_window);
    m_views = ResultViews::of(*m_window);
    QVERIFY(m_editor && m_views);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void SimulationRunTest::cleanup()
{
    m_window.reset();
    m_ui.reset();
    m_base.reset();
}

void SimulationRunTest::select(const char* code, const char* name, const char* market, const char* marketName)
{
    m_window->notifyStockRowSelected(TStkList{code, name, market, marketName});
}

void SimulationRunTest::setPeriod(const QDate& base, int term)
{
    m_window->dtp_stk_sdate->setDate(base);
    m_window->cbx_stk_term->setCurrentIndex(term);
}

QString SimulationRunTest::edit(const char* name) const
{
    QLineEdit* e = m_views->trade().summaryEdit(name);
    if (!e)
        qFatal("no summary field %s", name);
    return e->text();
}

QStringList SimulationRunTest::column(const StringGrid& grid, int col) const
{
    QStringList cells;
    for (int r = 1; r < grid.rowCount(); ++r)
        cells << grid.cell(col, r);
    return cells;
}

// Everything the result views show: both grids cell by cell, the summary fields and the position.
QStringList SimulationRunTest::viewState() const
{
    QStringList state;
    for (const StringGrid* grid : {&daily(), &trades()}) {
        state << QString::number(grid->rowCount());
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int c = 0; c < grid->colCount(); ++c)
                state << grid->cell(c, r);
    }
    for (const SummaryField& f : kSummaryFields)
        state << m_views->trade().summaryEdit(f.edit)->text();
    state << m_window->edt_sim_pst->text();
    return state;
}

// The dates of the price table the last run kept, newest first.
std::vector<std::string> SimulationRunTest::priceDates() const
{
    std::vector<std::string> dates;
    const WorkState& w = work();
    for (int r = 1; r <= w.stk_tbl_rows; ++r)
        dates.push_back(w.stk_tbl->cell(2, r));
    return dates;
}

void SimulationRunTest::tabsShowEveryFieldCaptionAndTitle()
{
    // The views start reset: every summary field "－", each grid one blank row under its titles.
    for (const SummaryField& f : kSummaryFields) {
        QLineEdit* e = m_views->trade().summaryEdit(f.edit);
        QVERIFY2(e, f.edit.data());
        QCOMPARE(e->text(), QStringLiteral("－"));
        QVERIFY(e->isReadOnly());
        QVERIFY(m_window->ts_stk_chart->isAncestorOf(e));
    }
    QCOMPARE(m_views->trade().gb_rst->title(), QStringLiteral("ｼﾐｭﾚｰｼｮﾝ結果"));
    QCOMPARE(m_views->trade().gb_term->title(), QStringLiteral("期間株価情報"));
    QVERIFY(m_views->trade().gb_rst->isAncestorOf(m_views->trade().summaryEdit("edt_rst_sell_ave")));
    QVERIFY(m_views->trade().gb_term->isAncestorOf(m_views->trade().summaryEdit("edt_term_hlrtn")));
    const auto caption = [this](const char* name) {
        auto* label = m_window->findChild<QLabel*>(QString::fromLatin1(name));
        return label ? label->text() : QStringLiteral("(none)");
    };
    QCOMPARE(caption("lbl_rst_init"), QStringLiteral("初期投資金額"));
    QCOMPARE(caption("lbl_rst_total_winnum"), QStringLiteral("ﾄｰﾀﾙ勝率"));
    QCOMPARE(caption("lbl_rst_sell_ave"), QStringLiteral("空売り平均ﾘﾀｰﾝ"));
    QCOMPARE(caption("lbl_term_sdate"), QStringLiteral("期間始値"));
    QCOMPARE(caption("lbl_term_sertn"), QStringLiteral("騰落率"));
    QCOMPARE(caption("lbl_term_hlrtn"), QStringLiteral("騰落率"));

    StringGrid& d = daily();
    QCOMPARE(d.colCount(), 49);
    QCOMPARE(d.rowCount(), 2);
    QCOMPARE(d.cell(0, 0), QStringLiteral("ﾎﾟｼﾞｼｮﾝ"));
    QCOMPARE(d.cell(1, 0), QStringLiteral("取引内容"));
    QCOMPARE(d.cell(27, 0), QStringLiteral("ﾗﾘｰｳｨﾘｱﾑｽﾞ%R"));
    QCOMPARE(d.cell(35, 0), QStringLiteral("ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+2σ"));
    QCOMPARE(d.cell(48, 0), QStringLiteral("値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ"));
    QCOMPARE(d.horizontalHeader()->defaultSectionSize(), 90);
    StringGrid& t = trades();
    QCOMPARE(t.colCount(), 9);
    QCOMPARE(t.rowCount(), 2);
    QCOMPARE(t.cell(0, 0), QStringLiteral("取引日"));
    QCOMPARE(t.cell(2, 0), QStringLiteral("取引利回り"));
    QCOMPARE(t.cell(8, 0), QStringLiteral("合計金額"));
    QCOMPARE(t.horizontalHeader()->defaultSectionSize(), 80);
    QCOMPARE(t.selectionBehavior(), QAbstractItemView::SelectRows);
    // Columns keep their default width unless the title needs more; no title is cut off.
    for (StringGrid* grid : {&d, &t}) {
        QHeaderView* header = grid->horizontalHeader();
        for (int c = 0; c < grid->colCount(); ++c) {
            QVERIFY(header->sectionSize(c) >= header->defaultSectionSize());
            QVERIFY2(header->sectionSize(c) >= header->sectionSizeHint(c), qPrintable(grid->cell(c, 0)));
        }
    }
    QCOMPARE(d.horizontalHeader()->sectionSize(2), 90);
    QCOMPARE(t.horizontalHeader()->sectionSize(0), 80);

    QCOMPARE(m_views->daily().sbtn_save_termdata->text(), QStringLiteral("CSV出力"));
    QCOMPARE(m_views->daily().sbtn_save_termdata->toolTip(),
             QStringLiteral("期間データをCSV形式で出力します"));
    QCOMPARE(m_views->trade().sbtn_save_rstdata->text(), QStringLiteral("CSV出力"));
    QCOMPARE(m_views->trade().sbtn_save_rstdata->toolTip(),
             QStringLiteral("売買結果をCSVファイル形式で出力します"));
    for (QWidget* tab : {m_window->ts_stk_chart, m_window->ts_stk_daily}) {
        m_window->pc_stk_sim->setCurrentWidget(tab);
        QVERIFY(tab->isVisible());
        QCOMPARE(test::unnamedControls(*tab), QStringList());
        QCOMPARE(test::squeezedWidgets(*tab), QStringList());
        QCOMPARE(test::overlappingSiblings(*tab), QStringList());
    }
}

void SimulationRunTest::threeMonthsReadTwoYearlyTables()
{
    select("1301", "極洋");
    setPeriod(QDate(2006, 5, 15), 1); // "3ヶ月": 2006/02/15, lead-in 2005/11/27 (a Sunday)
    run();

    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown().back().kind, MsgKind::Information);
    QCOMPARE(shown().back().buttons, MsgButtons::Ok);
    QCOMPARE(shown().back().text,
             QStringLiteral("極洋のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2006/02/15～2006/05/15"));

    // The days from the lead-in to the base date came from the 2005 and the 2006 tables, newest first.
    const auto dates = priceDates();
    QCOMPARE(dates, [] {
        auto expected = weekdays({2005, 11, 28}, {2006, 5, 15});
        std::reverse(expected.begin(), expected.end());
        return expected;
    }());
    const std::string& sql = m_window->http_statements().Item(1).SqlText;
    QVERIFY(sql.find("FROM STK_DAILY_TSE_2006 a ") != std::string::npos);
    QVERIFY(sql.find("UNION ALL SELECT b.STK_CD") != std::string::npos);
    QVERIFY(sql.find("FROM STK_DAILY_TSE_2005 b ") != std::string::npos);
    QVERIFY(sql.ends_with("ORDER BY 2 DESC"));

    // The table shows the simulated days only: 2006/05/15 down to 2006/02/15.
    const QStringList shownDates = column(daily(), 2);
    QCOMPARE(shownDates.front(), QStringLiteral("2006/05/15"));
    QCOMPARE(shownDates.back(), QStringLiteral("2006/02/15"));
    QCOMPARE(shownDates.size(), static_cast<qsizetype>(weekdays({2006, 2, 15}, {2006, 5, 15}).size()));
    QCOMPARE(edit("edt_term_sdate"), QStringLiteral("2006/02/15"));
    QCOMPARE(edit("edt_term_edate"), QStringLiteral("2006/05/15"));
}

void SimulationRunTest::oneMonthInOneTable()
{
    select("1301", "極洋");
    setPeriod(QDate(2006, 12, 20), 0); // "1ヶ月": 2006/11/20, lead-in 2006/09/01
    run();

    QCOMPARE(shown().back().text,
             QStringLiteral("極洋のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2006/11/20～2006/12/20"));
    const auto dates = priceDates();
    QCOMPARE(dates.front(), std::string("2006/12/20"));
    QCOMPARE(dates.back(), std::string("2006/09/01"));
    const std::string& sql = m_window->http_statements().Item(1).SqlText;
    QVERIFY(sql.find("UNION") == std::string::npos);
    QVERIFY(sql.ends_with("ORDER BY a.STK_DATE DESC"));
    QCOMPARE(column(daily(), 2).back(), QStringLiteral("2006/11/20"));
}

void SimulationRunTest::noTableBefore2005IsRead()
{
    // The lead-in reaches back to 2004/10/13, but there is no 2004 table to ask: asking would fail.
    select("1301", "極洋");
    setPeriod(QDate(2005, 2, 1), 0);
    run();

    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown().back().text,
             QStringLiteral("極洋のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2005/01/01～2005/02/01"));
    const auto dates = priceDates();
    QCOMPARE(dates.front(), std::string("2005/02/01"));
    QCOMPARE(dates.back(), std::string("2005/01/04"));
    const std::string& sql = m_window->http_statements().Item(1).SqlText;
    QVERIFY(sql.find("STK_DAILY_TSE_2004") == std::string::npos);
    QVERIFY(sql.find("UNION") == std::string::npos);
}

void SimulationRunTest::wholeHistoryAndChosenStart()
{
    select("1301", "極洋");
    setPeriod(QDate(2006, 5, 15), 9); // "全期間": from 2005 on
    run();
    QCOMPARE(shown().back().text,
             QStringLiteral("極洋のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2005/01/01～2006/05/15"));
    QCOMPARE(priceDates().back(), std::string("2005/01/04"));
    QCOMPARE(column(daily(), 2).back(), QStringLiteral("2005/01/04"));

    // "期間指定": the start field's day, up to the base date.
    setPeriod(QDate(2006, 5, 15), 10);
    m_window->dtp_stk_fdate->setDate(QDate(2006, 3, 1));
    run();
    QCOMPARE(shown().back().text,
             QStringLiteral("極洋のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2006/03/01～2006/05/15"));
    QCOMPARE(column(daily(), 2).back(), QStringLiteral("2006/03/01"));

    // A start after the base date is refused before anything is sent; the views keep the last run.
    const QStringList before = viewState();
    const std::size_t sent = requests();
    m_window->dtp_stk_fdate->setDate(QDate(2006, 5, 16));
    run();
    QCOMPARE(requests(), sent);
    QVERIFY(shown().back().text.contains(QStringLiteral("基準日 2006/05/15 より後です")));
    QCOMPARE(viewState(), before);
}

void SimulationRunTest::f5AndTheButtonRunTheBackTest()
{
    select("1301", "極洋");
    setPeriod(QDate(2006, 12, 20), 0);
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_daily);
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window->cbx_stk_term, Qt::Key_F5);
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_chart); // "売買結果" in front
    QCOMPARE(daily().cell(2, 1), QStringLiteral("2006/12/20"));

    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_jouken);
    m_window->sbtn_sim_start->click();
    QCOMPARE(shown().size(), std::size_t{2});
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_chart);
}

void SimulationRunTest::f5WithoutAStockDoesNothing()
{
    // The editor holds rules that differ from the record; a run would copy them over.
    m_editor->jouken_to_editor(dayChangeRules());
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_daily);
    const QStringList before = viewState();
    const std::size_t sent = requests();

    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_window->cbx_stk_term, Qt::Key_F5);
    m_window->sbtn_sim_start->click();

    QVERIFY(shown().empty());
    QCOMPARE(requests(), sent);
    QCOMPARE(jouken.value("UseBuyToujitu"), std::string("0"));
    QCOMPARE(viewState(), before);
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_daily);
}

void SimulationRunTest::labelsFollowRunsOfSignals()
{
    select("7203", "トヨタ自動車");
    m_editor->jouken_to_editor(dayChangeRules());
    setPeriod(QDate(2006, 3, 13), 5); // "MTD": from 2006/03/01
    run();

    QCOMPARE(column(daily(), 2), texts({"2006/03/13", "2006/03/10", "2006/03/09", "2006/03/08", "2006/03/07",
                                        "2006/03/06", "2006/03/03", "2006/03/02", "2006/03/01"}));
    // Three buy days from 03/02: a signal, then the zone twice. A sell day between two buy days:
    // the buy after it is a signal again.
    QCOMPARE(column(daily(), 0), texts({"買いｿﾞｰﾝ", "買いｼｸﾞﾅﾙ", "売りｼｸﾞﾅﾙ", "買いｼｸﾞﾅﾙ", "", "買いｿﾞｰﾝ",
                                        "買いｿﾞｰﾝ", "買いｼｸﾞﾅﾙ", ""}));
    QCOMPARE(m_window->edt_sim_pst->text(), QStringLiteral("買いｿﾞｰﾝ"));
}

void SimulationRunTest::tradesAppearOnTheDayTheyAreExecuted()
{
    select("7203", "トヨタ自動車");
    m_editor->jouken_to_editor(dayChangeRules());
    setPeriod(QDate(2006, 3, 13), 5);
    run();

    // Bought on 03/03 after the signal of 03/02; the sell of Thursday 03/09 closes and reverses on
    // Friday 03/10; the buy of Friday 03/10 buys back and goes long on Monday 03/13.
    QCOMPARE(column(daily(), 1), texts({"買戻し・買い", "売り・空売り", "", "", "", "", "買い", "", ""}));
    QCOMPARE(column(trades(), 0),
             texts({"2006/03/13", "2006/03/13", "2006/03/10", "2006/03/10", "2006/03/03"}));
    QCOMPARE(column(trades(), 1), texts({"買い", "買戻し", "空売り", "売り", "買い"}));
    // An opening trade has no return; closing trades at the price they opened at return 0.
    QCOMPARE(column(trades(), 2), texts({"－", "0 %", "－", "0 %", "－"}));
}

// 1332, long only, from 2006/06/01 to 06/06: one purchase and one sale.
void SimulationRunTest::runTwoTrades()
{
    select("1332", "日本水産");
    TJouken rules = dayChangeRules();
    rules.set("KbnTrade", "0"); // "買いのみ": the sell only closes
    m_editor->jouken_to_editor(rules);
    setPeriod(QDate(2006, 6, 6), 5); // from 2006/06/01
    run();
}

void SimulationRunTest::f5AndTheCommandLinesFlowGiveTheSameRun()
{
    runTwoTrades();
    TStkData client;
    QVERIFY(m_window->cur_analisys()->GetStkData(0, client));

    // The command line's backtest: its plan from the same choices, the back-test on an analysis
    // object of its own.
    TJouken rules = dayChangeRules();
    rules.set("KbnTrade", "0");
    const auto plan = planSimulation("2006/06/06", SimPeriod::MonthToDate, "1332", "11");
    QVERIFY(plan);
    TStkAnalisys analysis;
    installSimulation(analysis);
    BacktestTimes times;
    const Result<TStkData> direct = backtestStock(m_window->http_statements(), analysis, rules, *plan, times);
    QVERIFY(direct);
    QCOMPARE(times.stop, BacktestStop::None);
    QVERIFY(!client.UserResult.Trades.empty());
    QVERIFY(dailyRows(*direct, plan->start) == dailyRows(client, plan->start));
    QVERIFY(tradeRows(direct->UserResult) == tradeRows(client.UserResult));
    const auto summary = [](const TStkData& s) {
        std::vector<std::string> texts;
        for (const SummaryText& t : summaryTexts(s.UserResult))
            texts.push_back(t.text);
        return texts;
    };
    QVERIFY(summary(*direct) == summary(client));
}

void SimulationRunTest::twoTradesFillTheSummaryAndTheExport()
{
    runTwoTrades();
    QCOMPARE(shown().size(), std::size_t{1});

    // 06/01 signals a buy: 909 shares at the open of 06/02, 1,100 yen (999,900 yen, 100 yen left).
    // 06/05 signals a sell: 909 shares at the open of 06/06, 1,210 yen: 1,099,890 yen, 10 %.
    QCOMPARE(trades().rowCount(), 3);
    QStringList rows;
    for (int r = 1; r < trades().rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < 9; ++c)
            cells << trades().cell(c, r);
        rows << cells.join(QLatin1Char('|'));
    }
    QCOMPARE(rows, texts({"2006/06/06|売り|10 %|1210|909|1099890|0|100|1099990",
                          "2006/06/02|買い|－|1100|909|999900|0|100|1000000"}));

    QCOMPARE(edit("edt_rst_init"), QStringLiteral("1000000"));
    QCOMPARE(edit("edt_rst_final"), QStringLiteral("1099990"));
    QCOMPARE(edit("edt_rst_return"), QStringLiteral("9.99 %")); // 9.999 cut to two decimals
    QCOMPARE(edit("edt_rst_total_per"), QStringLiteral("110"));
    QCOMPARE(edit("edt_rst_buy_per"), QStringLiteral("110"));
    QCOMPARE(edit("edt_rst_sell_per"), QStringLiteral("100"));
    QCOMPARE(edit("edt_rst_total_num"), QStringLiteral("1 回"));
    QCOMPARE(edit("edt_rst_buy_num"), QStringLiteral("1 回"));
    QCOMPARE(edit("edt_rst_sell_num"), QStringLiteral("0 回"));
    QCOMPARE(edit("edt_rst_total_winnum"), QStringLiteral("1 回"));
    QCOMPARE(edit("edt_rst_total_win"), QStringLiteral("100 %"));
    QCOMPARE(edit("edt_rst_total_ave"), QStringLiteral("10 %"));
    // Closes of the first and the newest day; the high of 06/06 after the low of 06/01.
    QCOMPARE(edit("edt_term_sdate"), QStringLiteral("2006/06/01"));
    QCOMPARE(edit("edt_term_sprice"), QStringLiteral("1100"));
    QCOMPARE(edit("edt_term_edate"), QStringLiteral("2006/06/06"));
    QCOMPARE(edit("edt_term_eprice"), QStringLiteral("1210"));
    QCOMPARE(edit("edt_term_sertn"), QStringLiteral("10 %"));
    QCOMPARE(edit("edt_term_hdate"), QStringLiteral("2006/06/06"));
    QCOMPARE(edit("edt_term_hprice"), QStringLiteral("1210"));
    QCOMPARE(edit("edt_term_ldate"), QStringLiteral("2006/06/01"));
    QCOMPARE(edit("edt_term_lprice"), QStringLiteral("1000"));
    QCOMPARE(edit("edt_term_hlrtn"), QStringLiteral("21 %"));
    QCOMPARE(m_window->edt_sim_pst->text(), QStringLiteral("－")); // 06/06 has no signal

    const QString path = m_base->filePath(QStringLiteral("trades.csv"));
    m_ui->saves->answer(path);
    m_views->trade().sbtn_save_rstdata->click();
    QCOMPARE(m_ui->saves->requests().size(), std::size_t{1});
    QCOMPARE(m_ui->saves->requests().back().title, QStringLiteral("データの出力"));
    QCOMPARE(m_ui->saves->requests().back().defaultExtension, QStringLiteral("csv"));
    QCOMPARE(shown().back().text, QStringLiteral("データをファイルに出力しました。"));
    QCOMPARE(shown().back().kind, MsgKind::Confirmation);
    QCOMPARE(test::fileBytes(path),
             exportBytes({"取引日,取引内容,取引利回り,取引価格,取引高,取引金額,手数料,投資残額,合計金額,",
                          "2006/06/06,売り,10 %,1210,909,1099890,0,100,1099990,",
                          "2006/06/02,買い,－,1100,909,999900,0,100,1000000,"}));

    // The daily table's export: the titles, then the four days newest first, 49 cells each.
    const QString dailyPath = m_base->filePath(QStringLiteral("days.csv"));
    m_ui->saves->answer(dailyPath);
    m_views->daily().sbtn_save_termdata->click();
    const QList<QByteArray> lines = test::fileBytes(dailyPath).split('\n');
    QCOMPARE(lines.size(), 6); // five lines and nothing after the last line break
    QVERIFY(lines.back().isEmpty());
    for (int i = 0; i < 5; ++i) {
        QVERIFY(lines[i].endsWith(",\r"));
        QCOMPARE(lines[i].count(','), 49);
    }
    const auto newest = cp932ToUtf8(lines[1].toStdString());
    QVERIFY(newest && newest->starts_with(",売り,2006/06/06,1210,1210,1210,1210,1000,0,"));
    const auto first = cp932ToUtf8(lines[4].toStdString());
    QVERIFY(first && first->starts_with("買いｼｸﾞﾅﾙ,,2006/06/01,1000,1100,1000,1100,1000,10,"));
}

void SimulationRunTest::runWithoutTradesShowsZeroAndAHundred()
{
    select("1334", "マルハ食品");
    m_editor->jouken_to_editor(dayChangeRules());
    setPeriod(QDate(2006, 6, 30), 0);
    run();

    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(trades().rowCount(), 2);
    for (int c = 0; c < 9; ++c)
        QVERIFY(trades().cell(c, 1).isEmpty());
    QCOMPARE(edit("edt_rst_total_num"), QStringLiteral("0 回"));
    QCOMPARE(edit("edt_rst_total_winnum"), QStringLiteral("0 回"));
    QCOMPARE(edit("edt_rst_total_win"), QStringLiteral("0 %"));
    QCOMPARE(edit("edt_rst_buy_win"), QStringLiteral("0 %"));
    QCOMPARE(edit("edt_rst_sell_win"), QStringLiteral("0 %"));
    QCOMPARE(edit("edt_rst_total_per"), QStringLiteral("100"));
    QCOMPARE(edit("edt_rst_final"), QStringLiteral("1000000"));
    QCOMPARE(edit("edt_rst_return"), QStringLiteral("0 %"));
    QCOMPARE(edit("edt_term_sertn"), QStringLiteral("0 %"));
    QCOMPARE(m_window->edt_sim_pst->text(), QStringLiteral("－"));
    QCOMPARE(column(daily(), 2).back(), QStringLiteral("2006/05/30"));
}

void SimulationRunTest::everyDayBeforeTheStartShowsAnEmptyTable()
{
    // Prices up to 2006/02/10 only; the period starts 2006/02/15.
    select("9984", "ソフトバンク", "12", "東証2部");
    setPeriod(QDate(2006, 3, 15), 0);
    run();

    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown().back().kind, MsgKind::Information);
    // The closing message says why the tables are empty.
    QVERIFY2(shown().back().text.endsWith(QStringLiteral("2006/03/15\n\r期間内に取引日がありませんでした。")),
             qPrintable(shown().back().text));
    QVERIFY(work().stk_tbl_rows > 0);
    QCOMPARE(daily().rowCount(), 2);
    for (int c = 0; c < daily().colCount(); ++c)
        QVERIFY(daily().cell(c, 1).isEmpty());
    QCOMPARE(m_window->edt_sim_pst->text(), QStringLiteral("－"));
    QCOMPARE(trades().rowCount(), 2);
}

// The rules signal, but one unit costs more than the capital: no trade, and the closing
// message says so with the first signal day that could not be followed.
void SimulationRunTest::signalsWithoutMoneyForOneUnitAreExplained()
{
    select("7203", "トヨタ自動車");
    TJouken rules = dayChangeRules();
    rules.set("AmtTousi", "1"); // one yen
    m_editor->jouken_to_editor(rules);
    setPeriod(QDate(2006, 3, 13), 5);
    run();
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown().back().text,
             QStringLiteral("トヨタ自動車のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2006/03/01～2006/03/13\n\r"
                            "売買シグナルが出ましたが、資金が1単位の金額に足りないため取引できませんでした "
                            "(最初の日 2006/03/02)。"));
    QCOMPARE(edit("edt_rst_total_num"), QStringLiteral("0 回"));

    // With the capital of the defaults the same run trades and says nothing more.
    m_editor->jouken_to_editor(dayChangeRules());
    run();
    QCOMPARE(shown().back().text, QStringLiteral("トヨタ自動車のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r"
                                                 "期間 2006/03/01～2006/03/13"));
}

// A Saturday has no prices: the run says so without asking the server.
void SimulationRunTest::weekendBaseDateIsRefusedBeforeAsking()
{
    select("1301", "極洋");
    setPeriod(QDate(2006, 3, 11), 0);
    const std::size_t sent = requests();
    run();
    QCOMPARE(requests(), sent);
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown().back().text,
             QStringLiteral(
                 "データがありませんでした。\n基準日 2006/03/11 は土曜日のため株価データがありません。"));
}

void SimulationRunTest::failuresKeepTheViewsOfTheLastGoodRun()
{
    select("1332", "日本水産");
    TJouken rules = dayChangeRules();
    rules.set("KbnTrade", "0");
    m_editor->jouken_to_editor(rules);
    setPeriod(QDate(2006, 6, 6), 5);
    run();
    QCOMPARE(trades().rowCount(), 3);
    const QStringList good = viewState();
    const auto goodPrices = work().stk_tbl;
    // The analysis object still holds the good run's stock and period.
    const auto heldRun = [this] {
        TStkData held;
        return m_window->cur_analisys()->GetStkData(0, held) ? held.StkCd + " " + held.TermStart
                                                             : std::string();
    };
    QCOMPARE(heldRun(), std::string("1332 2006/06/01"));
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_daily);
    m_ui->messages->clear();

    // No rows: the stock has no prices in 2005.
    setPeriod(QDate(2005, 6, 30), 0);
    run();
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown().back().text,
             QStringLiteral("データがありませんでした。\n"
                            "期間 2005/05/30～2005/06/30 に 日本水産 の株価データがありません。"));
    QCOMPARE(viewState(), good);
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_daily);
    QCOMPARE(heldRun(), std::string("1332 2006/06/01"));
    QCOMPARE(work().stk_tbl, goodPrices);

    // The server refuses the statement: the year's table is missing.
    setPeriod(QDate(2006, 6, 30), 0);
    m_server->execSql("ALTER TABLE STK_DAILY_TSE_2006 RENAME TO KEPT_TSE_2006");
    run();
    m_server->execSql("ALTER TABLE KEPT_TSE_2006 RENAME TO STK_DAILY_TSE_2006");
    QCOMPARE(shown().back().text, QStringLiteral("SQL ERROR"));
    QCOMPARE(viewState(), good);
    QCOMPARE(heldRun(), std::string("1332 2006/06/01"));

    // The engine refuses a price that is not a number (2006/07/03): its message in an error box.
    setPeriod(QDate(2006, 7, 31), 0);
    run();
    QCOMPARE(shown().back().kind, MsgKind::Error);
    QVERIFY2(shown().back().text.contains(QStringLiteral("abc")), qPrintable(shown().back().text));
    QCOMPARE(viewState(), good);

    // The number check stops the run before anything is sent.
    const std::size_t sent = requests();
    setPeriod(QDate(2006, 6, 6), 5);
    auto* capital = m_window->findChild<QLineEdit*>(QStringLiteral("edt_com_amt"));
    QVERIFY(capital);
    capital->clear();
    run();
    QCOMPARE(requests(), sent);
    QCOMPARE(shown().back().kind, MsgKind::Confirmation);
    QCOMPARE(viewState(), good);
    QCOMPARE(shown().size(), std::size_t{4});

    // The export still writes the trades the list shows.
    const QString path = m_base->filePath(QStringLiteral("kept.csv"));
    m_ui->saves->answer(path);
    m_views->trade().sbtn_save_rstdataClick();
    QCOMPARE(test::fileBytes(path).count('\n'), 3);

    // A good run after the failures fills the views again.
    capital->setText(QStringLiteral("1000000"));
    run();
    QCOMPARE(shown().back().kind, MsgKind::Information);
    QCOMPARE(viewState(), good);
}

void SimulationRunTest::selectingAnotherStockResetsTheViews()
{
    select("1332", "日本水産");
    m_editor->jouken_to_editor(dayChangeRules());
    setPeriod(QDate(2006, 6, 6), 5);
    run();
    QVERIFY(trades().rowCount() > 2);
    QCOMPARE(edit("edt_rst_init"), QStringLiteral("1000000"));

    select("1334", "マルハ食品");
    for (const SummaryField& f : kSummaryFields)
        QCOMPARE(m_views->trade().summaryEdit(f.edit)->text(), QStringLiteral("－"));
    for (StringGrid* grid : {&daily(), &trades()}) {
        QCOMPARE(grid->rowCount(), 2);
        for (int c = 0; c < grid->colCount(); ++c)
            QVERIFY(grid->cell(c, 1).isEmpty());
    }
    QCOMPARE(daily().cell(0, 0), QStringLiteral("ﾎﾟｼﾞｼｮﾝ"));
    QCOMPARE(m_window->edt_sim_pst->text(), QStringLiteral("N/A"));
    QCOMPARE(m_window->edt_sim_stk->text(), QStringLiteral("マルハ食品"));
}

void SimulationRunTest::exportsAfterAResetAndOverAnOldFile()
{
    // After a reset each export writes the titles and one empty row.
    const QString path = m_base->filePath(QStringLiteral("out.csv"));
    QVERIFY(test::writeFileBytes(path, QByteArray("an older, longer file\r\nwith two lines\r\n")));
    m_ui->saves->answer(path);
    m_views->trade().sbtn_save_rstdataClick();
    QCOMPARE(test::fileBytes(path),
             exportBytes({"取引日,取引内容,取引利回り,取引価格,取引高,取引金額,手数料,投資残額,合計金額,",
                          ",,,,,,,,,"}));

    m_ui->saves->answer(path);
    m_views->daily().sbtn_save_termdataClick();
    const QList<QByteArray> lines = test::fileBytes(path).split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1], QByteArray(49, ',') + '\r');

    // A cancelled dialog writes nothing and says nothing.
    const std::size_t messages = shown().size();
    m_ui->saves->answerCancel();
    QFile::remove(path);
    m_views->daily().sbtn_save_termdataClick();
    QVERIFY(!QFile::exists(path));
    QCOMPARE(shown().size(), messages);

    // A folder that cannot be made (a file stands in its place): the error is shown, the success
    // message is not.
    QVERIFY(test::writeFileBytes(m_base->filePath(QStringLiteral("afile")), QByteArray("x")));
    m_ui->saves->answer(m_base->filePath(QStringLiteral("afile/out.csv")));
    m_views->trade().sbtn_save_rstdataClick();
    QCOMPARE(shown().size(), messages + 1);
    QCOMPARE(shown().back().kind, MsgKind::Error);
}

void SimulationRunTest::chartAndFiguresFollowTheRunAndTheGrids()
{
    QStringList tabs;
    for (int i = 0; i < m_window->pc_stk_sim->count(); ++i)
        tabs << m_window->pc_stk_sim->tabText(i);
    QCOMPARE(tabs, texts({"条件詳細", "売買結果", "期間データ", "チャート", "リスク・リターン分析"}));
    ChartView& chart = *m_views->chart();
    StringGrid& figures = *m_views->statistics()->sg_statistics;
    QCOMPARE(figures.cell(1, 1), QStringLiteral("－"));

    // One long from 06/02 to 06/06, +99,990 yen.
    runTwoTrades();
    QCOMPARE(shown().size(), std::size_t{1});

    // The chart holds the daily table's days, oldest first, and one marker per trade.
    const auto& days = chart.data().series.days;
    QCOMPARE(static_cast<int>(days.size()), daily().rowCount() - 1);
    for (int r = 1; r < daily().rowCount(); ++r)
        QCOMPARE(QString::fromStdString(days[days.size() - static_cast<std::size_t>(r)].date),
                 daily().cell(2, r));
    QCOMPARE(chart.data().markers.size(), std::size_t{2});
    QCOMPARE(figures.cell(0, 1), QStringLiteral("取引回数"));
    QCOMPARE(figures.cell(1, 1), QStringLiteral("1 回"));
    QCOMPARE(figures.cell(1, 2), QStringLiteral("99990"));

    // A click on a trade or a day puts that day under the crosshair; a double click also shows the chart.
    QTest::mouseClick(trades().viewport(), Qt::LeftButton, {},
                      trades().visualRect(trades().model().index(1, 0)).center());
    QCOMPARE(chart.canvas().crosshairDay(), 1); // 06/02; 06/01 is the first day shown
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_daily);
    QTest::qWait(50); // the table is laid out once its tab shows
    const QPoint newest = daily().visualRect(daily().model().index(0, 0)).center();
    QTest::mouseClick(daily().viewport(), Qt::LeftButton, {}, newest);
    QCOMPARE(chart.canvas().crosshairDay(), static_cast<int>(days.size()) - 1);
    QTest::mouseDClick(daily().viewport(), Qt::LeftButton, {}, newest);
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), static_cast<QWidget*>(&chart));

    // The figures' export: the table, an empty line, then the account day by day.
    const QString path = m_base->filePath(QStringLiteral("figures.csv"));
    m_ui->saves->answer(path);
    m_views->statistics()->sbtn_save_statistics->click();
    QCOMPARE(shown().back().text, QStringLiteral("データをファイルに出力しました。"));
    const QByteArray bytes = test::fileBytes(path);
    QVERIFY(bytes.startsWith(exportBytes({"項目,全取引,買い,空売り,", "取引回数,1 回,1 回,0 回,"})));
    QVERIFY(bytes.contains(exportBytes({"", "日付,評価額,バイ・アンド・ホールド,ドローダウン(%),"})));
    // Bought and held from 06/01's open of 1000: 1000 shares worth 1210 each at the last close.
    QVERIFY(bytes.contains(QByteArrayLiteral("\r\n2006/06/06,1099990,1210000,")));

    // Another stock empties the chart and puts "－" back.
    select("1301", "極洋");
    QVERIFY(chart.data().series.days.empty());
    QCOMPARE(figures.cell(1, 1), QStringLiteral("－"));
}

// The window "一括シミュレーション" over the chosen market (market 11: four stocks) with the editor's
// set: each line is what the stock's single run shows, the table sorts, and a double-click on a
// sorted line opens that stock's run in the simulation tabs.
void SimulationRunTest::batchOverTheMarketMatchesSingleRunsAndOpensTheSortedRow()
{
    m_editor->jouken_to_editor(dayChangeRules());
    setPeriod(QDate(2006, 12, 29), 3); // "1年間"
    BatchSimulationWindow* batch = BatchSimulationWindow::of(*m_window);
    QVERIFY(batch);
    batch->cbx_batch_tgt->setCurrentIndex(static_cast<int>(BatchSimulationWindow::Target::Market));
    QSignalSpy done(batch, &BatchSimulationWindow::batchFinished);
    batch->btn_batch_start->click();
    QVERIFY(batch->running());
    QVERIFY(!batch->btn_batch_start->isEnabled());
    QVERIFY(batch->btn_batch_cancel->isEnabled());
    QVERIFY(done.wait(30000));
    QVERIFY(shown().empty());

    const auto& rows = batch->rows();
    QCOMPARE(rows.size(), std::size_t{4});
    QCOMPARE(batch->pb_batch->value(), 4);
    QCOMPARE(batch->pb_batch->maximum(), 4);
    QCOMPARE(batch->tbl_batch->rowCount(), 4);
    QVERIFY(batch->tbl_batch_summary->rowCount() >= 6);
    QCOMPARE(batch->tbl_batch_summary->item(0, 0)->text(), QStringLiteral("平均"));
    QVERIFY(!batch->wasCancelled());
    // 1332 holds a day whose open is not a number: its line says so, the others ran.
    for (const BatchRow& row : rows)
        QCOMPARE(row.state == BatchRowState::Failed, row.stock.code == "1332");

    // Each line against the stock's own run through F5.
    for (const BatchRow& row : rows) {
        if (row.state != BatchRowState::Done)
            continue;
        select(row.stock.code.c_str(), row.stock.name.c_str());
        run();
        QCOMPARE(edit("edt_rst_total_num"),
                 QString::fromStdString(formatNumber(row.result.TotalNum)) + QStringLiteral(" 回"));
        QCOMPARE(edit("edt_rst_final"), QString::fromStdString(formatNumber(row.result.FinalAmt)));
    }

    // Codes sorted downwards: the first line is 7203, and a double-click opens it.
    batch->tbl_batch->sortItems(0, Qt::DescendingOrder);
    QCOMPARE(batch->tbl_batch->item(0, 0)->text(), QStringLiteral("7203"));
    const std::size_t before = shown().size();
    batch->openRow(0);
    QCOMPARE(shown().size(), before + 1);
    QVERIFY(shown().back().text.startsWith(QStringLiteral("トヨタ自動車のｼﾐｭﾚｰｼｮﾝを実行しました。")));
    QCOMPARE(QString::fromStdString(work().stk_list.stkCd), QStringLiteral("7203"));
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_chart);

    // The export: the titles, the four stocks and the summary, in CP932.
    const QString file = m_base->filePath(QStringLiteral("batch.csv"));
    m_ui->saves->answer(file);
    batch->btn_batch_csv->click();
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const auto text = cp932ToUtf8(written.readAll().toStdString());
    QVERIFY(text);
    QVERIFY(text->starts_with("銘柄コード,銘柄名称,市場,取引回数,"));
    QVERIFY(text->find("\r\n1301,") != std::string::npos);
    QVERIFY(text->find("\r\n平均,") != std::string::npos);
}

void SimulationRunTest::cancelledBatchShowsAConsistentPartialTable()
{
    setPeriod(QDate(2006, 12, 29), 3);
    BatchSimulationWindow* batch = BatchSimulationWindow::of(*m_window);
    batch->cbx_batch_tgt->setCurrentIndex(static_cast<int>(BatchSimulationWindow::Target::Market));
    QSignalSpy done(batch, &BatchSimulationWindow::batchFinished);
    batch->btn_batch_start->click();
    batch->btn_batch_cancel->click();
    QVERIFY(done.wait(30000));
    QVERIFY(batch->wasCancelled());
    int left = 0;
    for (int r = 0; r < batch->tbl_batch->rowCount(); ++r)
        left += batch->tbl_batch->item(r, 10)->text() == QStringLiteral("未実行") ? 1 : 0;
    int notRun = 0;
    for (const BatchRow& row : batch->rows())
        notRun += row.state == BatchRowState::NotRun ? 1 : 0;
    QCOMPARE(left, notRun);
    QCOMPARE(batch->pb_batch->value(), 4 - notRun);
    QVERIFY(batch->lbl_batch_status->text().contains(QStringLiteral("中断されました")));
    QVERIFY(batch->btn_batch_start->isEnabled());
    QVERIFY(!batch->btn_batch_cancel->isEnabled());

    // A new batch after the cancel runs every stock.
    batch->btn_batch_start->click();
    QVERIFY(done.wait(30000));
    QVERIFY(!batch->wasCancelled());
    for (const BatchRow& row : batch->rows())
        QVERIFY(row.state != BatchRowState::NotRun);
}

// "検索結果の検証" after a screening on a past day: the list's rows, their market and base date.
void SimulationRunTest::screeningCheckComparesTheListWithItsMarket()
{
    ForwardCheckWindow* check = ForwardCheckWindow::of(*m_window);
    QVERIFY(check);
    // Nothing screened yet: a message, no request.
    const std::size_t sent = requests();
    QVERIFY(!check->check());
    QCOMPARE(requests(), sent);
    QCOMPARE(shown().back().text, QStringLiteral("銘柄一覧がありません。先に銘柄を検索してください。"));

    auto* date = m_window->findChild<QDateEdit*>(QStringLiteral("dtp_kdate"));
    QVERIFY(date);
    date->setDate(QDate(2006, 6, 1));
    m_window->act_serch->trigger();
    const auto* list = m_window->findChild<StringGrid*>(QStringLiteral("sg_stk_cd"));
    QVERIFY(list && list->rowCount() > 2);
    QVERIFY(check->check());

    std::vector<std::string> codes;
    for (int r = 1; r < list->rowCount(); ++r)
        codes.push_back(list->cell(0, r).toStdString());
    const auto expected =
        fetchForwardReturns(m_window->http_statements(), "11", "2006/06/01", codes, kForwardHorizons);
    QVERIFY(expected);
    QCOMPARE(check->returns().entryDate, std::string("2006/06/02"));
    QCOMPARE(forwardSummaryRows(check->returns()), forwardSummaryRows(*expected));
    QCOMPARE(forwardStockRows(check->returns()), forwardStockRows(*expected));
    QCOMPARE(check->tbl_forward_summary->rowCount(), 4);
    QCOMPARE(check->tbl_forward_stocks->rowCount(), static_cast<int>(codes.size()));
    QCOMPARE(check->tbl_forward_stocks->item(0, 1)->text(), list->cell(1, 1));

    // A base date with no later day says so.
    date->setDate(QDate(2006, 12, 29));
    m_window->act_serch->trigger();
    QVERIFY(!check->check());
    QVERIFY(shown().back().text.contains(QStringLiteral("翌営業日以降の株価がない")));
}

// The registered stocks, each with its own set: 7203's set trades, 1301's set is the defaults.
void SimulationRunTest::batchOfRegisteredStocksRunsEachWithItsOwnSet()
{
    const std::filesystem::path base = session().base_dir;
    QVERIFY(registerConditionSet(base, {"7203", "11"}, dayChangeRules()).ok());
    QVERIFY(registerConditionSet(base, {"1301", "11"}, TJouken::defaults()).ok());
    setPeriod(QDate(2006, 12, 29), 3);
    BatchSimulationWindow* batch = BatchSimulationWindow::of(*m_window);
    batch->cbx_batch_tgt->setCurrentIndex(static_cast<int>(BatchSimulationWindow::Target::Registered));
    batch->cbx_batch_cdt->setCurrentIndex(
        static_cast<int>(BatchSimulationWindow::ConditionChoice::Registered));
    QSignalSpy done(batch, &BatchSimulationWindow::batchFinished);
    batch->btn_batch_start->click();
    QVERIFY(done.wait(30000));
    const auto& rows = batch->rows();
    QCOMPARE(rows.size(), std::size_t{2});
    QCOMPARE(rows[0].stock.code, std::string("7203")); // index order
    QCOMPARE(rows[0].stock.name, std::string("トヨタ自動車"));
    QCOMPARE(rows[1].stock.code, std::string("1301"));
    QCOMPARE(rows[0].state, BatchRowState::Done);
    QCOMPARE(rows[1].state, BatchRowState::Done);
    QVERIFY(rows[0].trades > 0);
    QCOMPARE(rows[1].trades, 0);

    // A double-click opens 7203 with its own set in the editor.
    batch->tbl_batch->sortItems(0, Qt::AscendingOrder);
    batch->openRow(1);
    QCOMPARE(QString::fromStdString(work().stk_list.stkCd), QStringLiteral("7203"));
    QCOMPARE(edit("edt_rst_total_num"),
             QString::fromStdString(formatNumber(rows[0].result.TotalNum)) + QStringLiteral(" 回"));
}

QTEST_MAIN(SimulationRunTest)
#include "SimulationRunTest.moc"
