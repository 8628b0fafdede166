#include "app/AppSetup.h"
#include "app/FeaturePanels.h"
#include "app/ShellTestSupport.h"
#include "app/main_frm.h"
#include "common/DateText.h"
#include "widgets/DateEdit.h"
#include "widgets/StringGrid.h"
#include "workbench/common_unit.h"

#include <QAction>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <stdexcept>
#include <vector>

using namespace vorteq;

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void nothingIsCutOffAtTheNormalSize();
    void createsTheShellFromTheSession();
    void firstStartShowsTheFirstItems();
    void remembersTargetAndMarketAcrossRuns();
    void settingsNamingNoItemFallBack();
    void showingRunsTheResetsInOrder();
    void answeringNoKeepsTheWindowUsable();
    void closeCreatesMissingSysData();
    void unwritableSettingsAreReportedAndTheWindowCloses();
    void widthTogglesFollowTheirOwnCaptions();
    void keysAndButtonsReachTheFeatureHooks();
    void stockSelectionReachesEveryListener();
    void aFailingFeatureLeavesTheWindowUsable();
    void panelsGoIntoTheirHosts();
    void ctrlEAsksToEndFromATextField();
    void atItsMinimumSizeNothingIsCutOffAndGrowthGoesToTheLists();
    void columnWidthsAreRememberedInTheirOwnFile();

private:
    QString settingsPath() const { return m_base->filePath(QStringLiteral("SysData/sys_form.ini")); }
    void writeSettings(const QByteArray& bytes)
    {
        QVERIFY(QDir(m_base->path()).mkpath(QStringLiteral("SysData")));
        QVERIFY(test::writeFileBytes(settingsPath(), bytes));
    }
    std::unique_ptr<Tfrm_main> shownWindow()
    {
        auto window = std::make_unique<Tfrm_main>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qWarning("main window not exposed");
        return window;
    }
    // Closes the window with the given answer to the exit question; true when it closed.
    bool closeAnswering(Tfrm_main& window, MsgResult answer)
    {
        m_ui->messages->answer(answer);
        return window.close();
    }

    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
};

void MainWindowTest::initTestCase()
{
    setupApplication(); // the program's own font and locale, so that the layout is measured as users see it
}

void MainWindowTest::init()
{
    m_base = std::make_unique<QTemporaryDir>();
    QVERIFY(m_base->isValid());
    m_ui = std::make_unique<test::ScriptedUi>();
    // No request leaves the window in these tests: the address only has to be well formed.
    test::resetSession(m_base->path(), "http://127.0.0.1:9/ORQ/servlet/ApsServlet/");
    session().login_ok = true;
    session().stk_upd_date = "2006/05/15";
    session().fx_upd_date = "2006/05/12";
}

void MainWindowTest::cleanup()
{
    m_ui.reset();
    m_base.reset();
}

void MainWindowTest::nothingIsCutOffAtTheNormalSize()
{
    auto window = shownWindow();
    QCOMPARE(window->size(), QSize(1119, 741));
    QVERIFY2(test::squeezedWidgets(*window).isEmpty(),
             qPrintable(test::squeezedWidgets(*window).join(QStringLiteral("; "))));
    QVERIFY2(test::overlappingSiblings(*window).isEmpty(),
             qPrintable(test::overlappingSiblings(*window).join(QStringLiteral("; "))));
    QVERIFY2(test::unnamedControls(*window).isEmpty(),
             qPrintable(test::unnamedControls(*window).join(QStringLiteral("; "))));
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
}

void MainWindowTest::createsTheShellFromTheSession()
{
    work().this_year.clear();
    Tfrm_main window;
    QCOMPARE(window.windowTitle(), QStringLiteral("VORTEQ"));
    QCOMPARE(window.size(), QSize(1119, 741));
    QCOMPARE(window.lbl_stk_date->text(), QStringLiteral("株価更新日 2006/05/15"));
    QCOMPARE(window.lbl_fx_date->text(), QStringLiteral("為替更新日 2006/05/12"));
    QCOMPARE(QString::fromStdString(work().this_year), QString::number(QDate::currentDate().year()));
    QCOMPARE(window.pc_main->tabText(0), QStringLiteral("株式分析"));
    QCOMPARE(window.pc_stk_sim->tabText(0), QStringLiteral("条件詳細"));
    QCOMPARE(window.pc_stk_sim->tabText(1), QStringLiteral("売買結果"));
    QCOMPARE(window.pc_stk_sim->tabText(2), QStringLiteral("期間データ"));
    QCOMPARE(window.ts_stk_chart->objectName(), QStringLiteral("ts_stk_chart"));
    QCOMPARE(window.ts_stk_daily->objectName(), QStringLiteral("ts_stk_daily"));
    QCOMPARE(window.act_end->shortcut(), QKeySequence(QStringLiteral("Ctrl+E")));
    QCOMPARE(window.act_serch->shortcut(), QKeySequence(Qt::Key_F3));
    QCOMPARE(window.act_sim->shortcut(), QKeySequence(Qt::Key_F5));
    // The six short periods keep their places; the long ones and the chosen period follow.
    const QStringList terms{QStringLiteral("1ヶ月"),  QStringLiteral("3ヶ月"),   QStringLiteral("6ヶ月"),
                            QStringLiteral("1年間"),  QStringLiteral("YTD"),     QStringLiteral("MTD"),
                            QStringLiteral("3年間"),  QStringLiteral("5年間"),   QStringLiteral("10年間"),
                            QStringLiteral("全期間"), QStringLiteral("期間指定")};
    QCOMPARE(window.cbx_stk_term->count(), terms.size());
    for (int i = 0; i < terms.size(); ++i)
        QCOMPARE(window.cbx_stk_term->itemText(i), terms[i]);
    QCOMPARE(window.dtp_stk_sdate->date(), QDate(2006, 5, 15));
    // The start field is there only for the chosen period.
    QVERIFY(window.dtp_stk_fdate->isHidden());
    window.cbx_stk_term->setCurrentIndex(10);
    QVERIFY(!window.dtp_stk_fdate->isHidden());
    QVERIFY(!window.lbl_stk_fdate->isHidden());
    QCOMPARE(window.dtp_stk_fdate->date(), QDate(2005, 5, 15));
    window.cbx_stk_term->setCurrentIndex(9);
    QVERIFY(window.dtp_stk_fdate->isHidden());

    // Before the exchange-rate date is known the label ends in its blank.
    session().fx_upd_date.clear();
    Tfrm_main early;
    QCOMPARE(early.lbl_fx_date->text(), QStringLiteral("為替更新日 "));
}

void MainWindowTest::firstStartShowsTheFirstItems()
{
    auto window = shownWindow();
    QCOMPARE(window->cbx_stk_tgt->currentText(), QStringLiteral("全銘柄"));
    QCOMPARE(window->cbx_mkt_cd->currentText(), QStringLiteral("東証一部"));
    QVERIFY(m_ui->messages->shown().empty());
    QVERIFY(!QFile::exists(settingsPath())); // showing reads, it never writes
}

void MainWindowTest::remembersTargetAndMarketAcrossRuns()
{
    writeSettings("1\r\n7\r\n");
    {
        auto window = shownWindow();
        QCOMPARE(window->cbx_stk_tgt->currentText(), QStringLiteral("売買条件登録銘柄"));
        QCOMPARE(window->cbx_mkt_cd->currentText(), QStringLiteral("外国為替"));
        QVERIFY(closeAnswering(*window, MsgResult::Yes));
        QCOMPARE(m_ui->messages->last().text, QStringLiteral("VORTEQを終了します。よろしいですか？"));
        QVERIFY(m_ui->messages->last().kind == MsgKind::Confirmation);
        QVERIFY(m_ui->messages->last().buttons == MsgButtons::YesNo);
    }
    QCOMPARE(test::fileBytes(settingsPath()), QByteArray("1\r\n7\r\n"));

    // The next run starts where the last one ended.
    auto window = shownWindow();
    window->cbx_stk_tgt->setCurrentIndex(0);
    window->cbx_mkt_cd->setCurrentIndex(4); // "JASDAQ"
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
    QCOMPARE(test::fileBytes(settingsPath()), QByteArray("0\r\n4\r\n"));
}

void MainWindowTest::settingsNamingNoItemFallBack()
{
    writeSettings("7\r\n11\r\n"); // the markets end with position 10, "グロース"
    auto window = shownWindow();
    QCOMPARE(window->cbx_stk_tgt->currentIndex(), 0);
    QCOMPARE(window->cbx_mkt_cd->currentIndex(), 0);
    QVERIFY(m_ui->messages->shown().empty());
    QCOMPARE(window->cbx_mkt_cd->count(), 11);
    QCOMPARE(window->cbx_mkt_cd->itemText(8), QStringLiteral("プライム"));
    QCOMPARE(window->cbx_mkt_cd->itemText(10), QStringLiteral("グロース"));
}

void MainWindowTest::showingRunsTheResetsInOrder()
{
    writeSettings("1\r\nabc\r\n");
    std::vector<QString> calls;
    Tfrm_main window;
    // The search reset sees the restored target: the choices come back before the resets run.
    window.hooks().searchReset = [&] {
        calls.push_back(QStringLiteral("search:%1").arg(window.cbx_stk_tgt->currentIndex()));
    };
    window.hooks().joukenDefaults = [&] { calls.push_back(QStringLiteral("jouken")); };
    window.hooks().resetResultViews = [&] { calls.push_back(QStringLiteral("results")); };
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const std::vector<QString> expected{QStringLiteral("search:1"), QStringLiteral("jouken"),
                                        QStringLiteral("results")};
    QCOMPARE(calls, expected);
    QCOMPARE(window.cbx_mkt_cd->currentIndex(), 0);

    // "検索条件のクリア" runs the search reset alone and keeps the two remembered choices.
    calls.clear();
    window.stbn_stk_clear->click();
    QCOMPARE(calls, std::vector<QString>{QStringLiteral("search:1")});
    QVERIFY(closeAnswering(window, MsgResult::Yes));
}

void MainWindowTest::answeringNoKeepsTheWindowUsable()
{
    int simulations = 0;
    int closings = 0;
    auto window = shownWindow();
    window->hooks().simulate = [&] { ++simulations; };
    // A feature releasing its state at the close still finds the analysis object.
    window->hooks().closing = [&] { closings += window->cur_analisys() ? 1 : 100; };
    window->cbx_mkt_cd->setCurrentIndex(2);

    QVERIFY(!closeAnswering(*window, MsgResult::No));
    QVERIFY(window->isVisible());
    QVERIFY(!closeAnswering(*window, MsgResult::Dismissed)); // closing the question is not a Yes
    QVERIFY(window->isVisible());
    window->act_end->trigger(); // Ctrl+E asks the same question; nothing queued answers No
    QVERIFY(window->isVisible());
    QCOMPARE(m_ui->messages->unanswered(), 1);
    QVERIFY(!QFile::exists(settingsPath()));
    QCOMPARE(closings, 0);

    window->act_sim->trigger();
    QCOMPARE(simulations, 1);

    QVERIFY(window->cur_analisys());
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
    QCOMPARE(closings, 1);
    QVERIFY(!window->cur_analisys());
    QCOMPARE(test::fileBytes(settingsPath()), QByteArray("0\r\n2\r\n"));
}

void MainWindowTest::closeCreatesMissingSysData()
{
    QVERIFY(!QDir(m_base->filePath(QStringLiteral("SysData"))).exists());
    auto window = shownWindow();
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
    QCOMPARE(test::fileBytes(settingsPath()), QByteArray("0\r\n0\r\n"));
}

void MainWindowTest::unwritableSettingsAreReportedAndTheWindowCloses()
{
    // A plain file where the folder should be: the settings cannot be written.
    QVERIFY(test::writeFileBytes(m_base->filePath(QStringLiteral("SysData")), "x"));
    auto window = shownWindow();
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
    QVERIFY(!window->isVisible());
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{2});
    QVERIFY(m_ui->messages->last().kind == MsgKind::Error);
    QVERIFY(!m_ui->messages->last().text.isEmpty());
}

void MainWindowTest::widthTogglesFollowTheirOwnCaptions()
{
    auto window = shownWindow();
    QCOMPARE(window->pnl_left->width(), 345);
    QCOMPARE(window->stbn_stk_size->text(), QStringLiteral("検索画面の拡大"));
    QCOMPARE(window->sbtn_sim_size->text(), QStringLiteral("ｼﾐｭﾚｰｼｮﾝ画面の拡大"));

    window->stbn_stk_size->click();
    QCOMPARE(window->pnl_left->width(), 1119 - 20);
    QCOMPARE(window->stbn_stk_size->text(), QStringLiteral("検索画面の縮小"));

    window->sbtn_sim_size->click();
    QCOMPARE(window->pnl_left->width(), 1);
    QCOMPARE(window->sbtn_sim_size->text(), QStringLiteral("ｼﾐｭﾚｰｼｮﾝ画面の縮小"));
    QCOMPARE(window->stbn_stk_size->text(),
             QStringLiteral("検索画面の縮小")); // untouched by the other button

    window->stbn_stk_size->click();
    QCOMPARE(window->pnl_left->width(), 345);
    QCOMPARE(window->stbn_stk_size->text(), QStringLiteral("検索画面の拡大"));

    window->sbtn_sim_size->click();
    QCOMPARE(window->pnl_left->width(), 345);
    QCOMPARE(window->sbtn_sim_size->text(), QStringLiteral("ｼﾐｭﾚｰｼｮﾝ画面の拡大"));

    // The left panel keeps its width when the window grows; the right panel takes the rest.
    window->resize(1300, 800);
    QTRY_COMPARE(window->pnl_left->width(), 345);
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
}

void MainWindowTest::keysAndButtonsReachTheFeatureHooks()
{
    int searches = 0;
    int simulations = 0;
    int exports = 0;
    auto window = shownWindow();
    window->hooks().search = [&] { ++searches; };
    window->hooks().simulate = [&] { ++simulations; };
    window->hooks().exportStockList = [&] { ++exports; };
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));

    QTest::keyClick(window->cbx_stk_term, Qt::Key_F3);
    QTest::keyClick(window->cbx_stk_term, Qt::Key_F5);
    window->sbtn_get_stk_info->click();
    window->sbtn_sim_start->click();
    window->sbtn_save_stk->click();
    QCOMPARE(searches, 2);
    QCOMPARE(simulations, 2);
    QCOMPARE(exports, 1);
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
}

void MainWindowTest::stockSelectionReachesEveryListener()
{
    Tfrm_main window;
    std::vector<std::string> seen;
    window.hooks().stockSelected.push_back(
        [&](const TStkList& row) { seen.push_back("reset:" + row.stkCd); });
    window.hooks().stockSelected.push_back([&](const TStkList& row) {
        seen.push_back("load:" + row.stkCd + "/" + row.mktCd + "/" + row.mktNm);
    });
    window.notifyStockRowSelected(TStkList{"7203", "トヨタ自動車", "11", "東証一部"});
    const std::vector<std::string> expected{"reset:7203", "load:7203/11/東証一部"};
    QCOMPARE(seen, expected);
}

void MainWindowTest::aFailingFeatureLeavesTheWindowUsable()
{
    auto window = shownWindow();
    window->hooks().search = [] { throw std::runtime_error("broken"); };
    int simulations = 0;
    window->hooks().simulate = [&] { ++simulations; };
    window->act_serch->trigger();
    QVERIFY(m_ui->messages->last().kind == MsgKind::Error);
    QVERIFY(m_ui->messages->last().text.contains(QStringLiteral("broken")));
    window->act_sim->trigger();
    QCOMPARE(simulations, 1);
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
}

void MainWindowTest::panelsGoIntoTheirHosts()
{
    writeSettings("1\r\n3\r\n");
    Tfrm_main window;
    auto* screening = new QWidget;
    screening->setObjectName(QStringLiteral("pnl_screening_test"));
    auto* editor = new QWidget;
    window.installScreeningPanel(screening);
    window.installJoukenEditor(editor);
    QVERIFY(window.pnl_left->isAncestorOf(screening));
    QVERIFY(window.ts_stk_jouken->isAncestorOf(editor));

    // The remembered choices still work when the panel did not take the two lists into its layout.
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.cbx_stk_tgt->currentIndex(), 1);
    QCOMPARE(window.cbx_mkt_cd->currentIndex(), 3);
    QVERIFY(closeAnswering(window, MsgResult::Yes));
    QCOMPARE(test::fileBytes(settingsPath()), QByteArray("1\r\n3\r\n"));
}

namespace {

// A text field that claims every key combination before the window's shortcuts, as a text field
// does with Ctrl+E ("end of line") on the usual desktop platforms, which the offscreen test
// platform does not reproduce.
class GreedyLineEdit : public QLineEdit {
protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        return QLineEdit::event(event);
    }
};

} // namespace

void MainWindowTest::ctrlEAsksToEndFromATextField()
{
    auto window = shownWindow();
    auto* field = new GreedyLineEdit;
    field->setObjectName(QStringLiteral("edt_probe"));
    window->installScreeningPanel(field);
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // A text field would take Ctrl+E as "end of line"; the window's "終了(&E)" comes first.
    for (QWidget* focus : {static_cast<QWidget*>(field), static_cast<QWidget*>(window->dtp_stk_sdate)}) {
        focus->setFocus();
        QTRY_VERIFY(focus->hasFocus());
        const std::size_t before = m_ui->messages->shown().size();
        QTest::keyClick(focus, Qt::Key_E, Qt::ControlModifier); // nothing queued answers No
        QCOMPARE(m_ui->messages->shown().size(), before + 1);
        QCOMPARE(m_ui->messages->last().text, QStringLiteral("VORTEQを終了します。よろしいですか？"));
        QVERIFY(window->isVisible());
    }
    // Other keys still edit the field.
    field->setFocus();
    QTest::keyClicks(field, QStringLiteral("ab"));
    QCOMPARE(field->text(), QStringLiteral("ab"));
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
}

void MainWindowTest::columnWidthsAreRememberedInTheirOwnFile()
{
    const auto probeGrid = [](Tfrm_main& window) {
        auto* grid = new StringGrid;
        grid->setObjectName(QStringLiteral("sg_probe"));
        grid->setColCount(3);
        window.installTradeResultView(grid);
        return grid;
    };
    {
        Tfrm_main window;
        StringGrid* grid = probeGrid(window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        grid->setColumnWidth(1, 150);
        QVERIFY(closeAnswering(window, MsgResult::Yes));
    }
    // sys_form.ini keeps its two lines; the widths have a file of their own.
    QCOMPARE(test::fileBytes(settingsPath()), QByteArray("0\r\n0\r\n"));
    const QString widths = m_base->filePath(QStringLiteral("SysData/grid_widths.ini"));
    QVERIFY(test::fileBytes(widths).contains("sg_probe,1,150,\r\n"));

    // Read back when the window is shown; lines that do not read are passed over.
    QVERIFY(test::writeFileBytes(widths, test::fileBytes(widths) + "sg_probe,2,x,\r\nsg probe,0,99,\r\n"
                                                                   "sg_probe,2,-5,\r\nsg_probe,9,80,\r\n"));
    m_ui->messages->clear(); // the exit question of the first window
    Tfrm_main window;
    StringGrid* grid = probeGrid(window);
    const int defaultWidth = grid->columnWidth(2);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(grid->columnWidth(1), 150);
    QCOMPARE(grid->columnWidth(2), defaultWidth);
    QVERIFY(m_ui->messages->shown().empty());
    QVERIFY(closeAnswering(window, MsgResult::Yes));
}

void MainWindowTest::atItsMinimumSizeNothingIsCutOffAndGrowthGoesToTheLists()
{
    auto window = std::make_unique<Tfrm_main>();
    installFeaturePanels(*window);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QSize minimum = window->minimumSize();
    QVERIFY(minimum.width() > 600 && minimum.height() > 400);
    QVERIFY(minimum.width() <= 1119 && minimum.height() <= 741);
    window->resize(400, 300); // a user dragging the corner stops at the minimum
    QTRY_COMPARE(window->size(), minimum);

    // Every tab of the right side and of the condition editor, in turn.
    QList<QTabWidget*> tabs{window->pc_stk_sim};
    for (QTabWidget* inner : window->ts_stk_jouken->findChildren<QTabWidget*>())
        tabs << inner;
    for (QTabWidget* tab : tabs) {
        for (int i = 0; i < tab->count(); ++i) {
            tab->setCurrentIndex(i);
            if (tab != window->pc_stk_sim)
                window->pc_stk_sim->setCurrentWidget(window->ts_stk_jouken);
            QApplication::processEvents();
            const QString page = tab->currentWidget()->objectName() + QStringLiteral(": ");
            QVERIFY2(test::squeezedWidgets(*window).isEmpty(),
                     qPrintable(page + test::squeezedWidgets(*window).join(QStringLiteral("; "))));
            QVERIFY2(test::overlappingSiblings(*window).isEmpty(),
                     qPrintable(page + test::overlappingSiblings(*window).join(QStringLiteral("; "))));
        }
    }

    // What the window gains goes to the lists: the stock list, and the trade list on its tab.
    window->pc_stk_sim->setCurrentWidget(window->ts_stk_chart);
    QApplication::processEvents();
    auto* stocks = window->findChild<StringGrid*>(QStringLiteral("sg_stk_cd"));
    auto* trades = window->findChild<StringGrid*>(QStringLiteral("sg_sim_result"));
    QVERIFY(stocks && trades);
    const QSize stocksBefore = stocks->size();
    const QSize tradesBefore = trades->size();
    const int buttonHeight = window->sbtn_sim_start->height();
    window->resize(minimum + QSize(400, 300));
    QTRY_COMPARE(window->size(), minimum + QSize(400, 300));
    QApplication::processEvents();
    QVERIFY2(stocks->height() >= stocksBefore.height() + 280, qPrintable(QString::number(stocks->height())));
    QVERIFY2(trades->height() >= tradesBefore.height() + 280, qPrintable(QString::number(trades->height())));
    QVERIFY(trades->width() >= tradesBefore.width() + 380);
    QCOMPARE(window->pnl_left->width(), 345);
    QCOMPARE(window->sbtn_sim_start->height(), buttonHeight);
    QVERIFY(closeAnswering(*window, MsgResult::Yes));
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
