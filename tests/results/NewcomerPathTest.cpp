// A newcomer's first back-test, the way the demo is used: the real server over demo-style market
// data, the login window with the demo user, F3 on the first market, a click on a stock, a few
// ticked conditions, F5, the results read off the two tabs, and both tabs exported.
// With VORTEQ_SCREENSHOT_DIR set, the window is saved there on each result tab.
#include "accounts/login_frm.h"
#include "analysis/TStkAnalisys.h"
#include "app/AppSetup.h"
#include "app/FeaturePanels.h"
#include "app/ShellTestSupport.h"
#include "app/main_frm.h"
#include "app/run_login.h"
#include "common/Csv.h"
#include "common/Encoding.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "results/daily_data_view.h"
#include "results/result_view.h"
#include "results/trade_result_view.h"
#include "screening/screening_panel.h"
#include "server/import/DemoMarket.h"
#include "server/import/Importer.h"
#include "server/storage/Database.h"
#include "support/TestServer.h"
#include "widgets/DateEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StringGrid.h"
#include "workbench/common_unit.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace vorteq;

namespace {

constexpr std::size_t kStocks = 6; // demo stocks of the first Tokyo section in the test market

// The first stocks of the demo market's first Tokyo section over 2005 and 2006, imported the way
// the demo's set-up imports them (the indicator columns computed, the update dates set).
void importDemoMarket(test::TestServer& server)
{
    server::DemoOptions options;
    options.seed = 1;
    options.first = {2005, 1, 4};
    options.last = {2006, 12, 29};
    auto market = std::make_shared<server::DemoMarket>(options);
    std::vector<server::StockSource> sources;
    for (std::size_t i = 0; i < market->instruments().size() && sources.size() < kStocks; ++i) {
        if (market->instruments()[i].market != 11)
            continue;
        sources.push_back([market, i]() -> Result<server::StockBatch> {
            server::StockBatch batch;
            batch.stocks.push_back(market->series(i));
            return batch;
        });
    }
    auto db = server::Database::open(server.dbPath(), false);
    if (!db)
        qFatal("%s", db.error().message.c_str());
    server::ImportOptions importOptions;
    importOptions.workers = 1;
    const auto summary = server::importStocks(*db, std::move(sources), importOptions);
    if (!summary || summary->imported != static_cast<int>(kStocks))
        qFatal("the demo market could not be imported");
}

} // namespace

class NewcomerPathTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void firstBackTestFromLoginToExport();
    void theTargetIsTheStockOnScreen();
    void anExpiredSessionOffersTheLoginAndKeepsTheWindow();

private:
    void saveScreenshot(const QString& name);
    // Answers the modal windows that come up while `action` runs: a message box is saved as a
    // picture (when pictures are asked for) and closed, the login window logs the demo user in.
    // Returns how many login windows were answered.
    int answeringModals(const std::function<void()>& action);
    QString screenshotDir() const;

    std::unique_ptr<test::TestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
    std::unique_ptr<Tfrm_main> m_window;
};

void NewcomerPathTest::initTestCase()
{
    setupApplication();
    m_server = std::make_unique<test::TestServer>();
    importDemoMarket(*m_server);
    m_server->addUser("demo", "demo1234", "デモ ユーザー", "demo@example.com");
    m_base = std::make_unique<QTemporaryDir>();
    QVERIFY(m_base->isValid());
    m_ui = std::make_unique<test::ScriptedUi>();
    test::resetSession(m_base->path(), std::string());
    clearSessionCookie();
}

void NewcomerPathTest::cleanupTestCase()
{
    m_window.reset();
    m_ui.reset();
}

QString NewcomerPathTest::screenshotDir() const
{
    return QString::fromLocal8Bit(qgetenv("VORTEQ_SCREENSHOT_DIR"));
}

void NewcomerPathTest::saveScreenshot(const QString& name)
{
    const QString dir = screenshotDir();
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QApplication::processEvents();
    QVERIFY(m_window->grab().save(QDir(dir).filePath(name)));
}

int NewcomerPathTest::answeringModals(const std::function<void()>& action)
{
    int logins = 0;
    QTimer responder;
    QObject::connect(&responder, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            if (!screenshotDir().isEmpty())
                box->grab().save(
                    QDir(screenshotDir()).filePath(QStringLiteral("session_expired_message.png")));
            if (QPushButton* ok = box->defaultButton())
                ok->click();
            else
                box->accept();
        } else if (auto* login = qobject_cast<Tfrm_login*>(modal)) {
            ++logins;
            // The same user logs in again: the ID is given and fixed.
            if (login->edt_usr->text() != QStringLiteral("demo") || !login->edt_usr->isReadOnly())
                qFatal("the login window does not keep the user");
            if (!screenshotDir().isEmpty())
                login->grab().save(
                    QDir(screenshotDir()).filePath(QStringLiteral("session_expired_login.png")));
            login->edt_pass->setText(QStringLiteral("demo1234"));
            login->btn_ok->click();
        }
    });
    responder.start(20);
    action();
    responder.stop();
    return logins;
}

void NewcomerPathTest::firstBackTestFromLoginToExport()
{
    // The login window with the demo user.
    QTimer::singleShot(0, [] {
        auto* login = qobject_cast<Tfrm_login*>(QApplication::activeModalWidget());
        if (!login)
            qFatal("the login window is not shown");
        login->edt_usr->setText(QStringLiteral("demo"));
        login->edt_pass->setText(QStringLiteral("demo1234"));
        login->btn_ok->click();
    });
    QVERIFY(run_login(m_server->url()));
    QCOMPARE(session().stk_upd_date, std::string("2006/12/29")); // the market's last day

    m_window = std::make_unique<Tfrm_main>();
    installFeaturePanels(*m_window);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QCOMPARE(m_window->dtp_stk_sdate->date(), QDate(2006, 12, 29));
    QCOMPARE(m_window->edt_sim_pst->text(), QString());

    // F3 lists the first section's stocks and selects the first one.
    QTest::keyClick(m_window.get(), Qt::Key_F3);
    auto* panel = m_window->findChild<ScreeningPanel*>();
    QVERIFY(panel);
    StringGrid* list = panel->sg_stk_cd;
    QCOMPARE(list->rowCount(), static_cast<int>(kStocks) + 1);
    QVERIFY(m_ui->messages->shown().empty());

    // A click on the second stock.
    const QRect second = list->visualRect(list->model().index(1, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
    const QString name = list->cell(1, 2);
    QVERIFY(name.endsWith(QStringLiteral("（サンプル）")));
    QCOMPARE(m_window->edt_sim_stk->text(), name);
    QCOMPARE(m_window->edt_sim_mkt->text(), QStringLiteral("東証一部"));
    QCOMPARE(m_window->edt_sim_cdt->text(), QStringLiteral("未登録"));
    QCOMPARE(m_window->edt_sim_pst->text(), QStringLiteral("N/A"));

    // Buy when RSI is 25 or below; sell when it is 75 or above or the close stands 5 % or more
    // above moving average B; over a year.
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_jouken);
    for (const char* box : {"cb_rsi", "cb_rsi_s", "cb_P_mva_per_s"}) {
        auto* check = m_window->findChild<QCheckBox*>(QString::fromLatin1(box));
        QVERIFY2(check, box);
        check->click();
        QVERIFY(check->isChecked());
    }
    m_window->cbx_stk_term->setCurrentIndex(3); // "1年間"

    // F5.
    QTest::keyClick(m_window.get(), Qt::Key_F5);
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    QCOMPARE(m_ui->messages->last().kind, MsgKind::Information);
    QCOMPARE(m_ui->messages->last().text,
             name + QStringLiteral("のｼﾐｭﾚｰｼｮﾝを実行しました。\n\r\n\r期間 2005/12/29～2006/12/29"));
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_chart);

    // What the user reads: trades in the list, newest first and inside the period, the summary
    // with its units, the daily table from the base date back to the start, and the position.
    ResultViews* views = ResultViews::of(*m_window);
    QVERIFY(views);
    StringGrid* trades = views->trade().sg_sim_result;
    QVERIFY2(trades->rowCount() >= 3, "the rules should trade at least twice in a year");
    for (int r = 1; r < trades->rowCount(); ++r) {
        const QString date = trades->cell(0, r);
        QVERIFY(date >= QStringLiteral("2005/12/29") && date <= QStringLiteral("2006/12/29"));
        if (r > 1)
            QVERIFY(date <= trades->cell(0, r - 1));
        QVERIFY(!trades->cell(1, r).isEmpty());
        const QString rtn = trades->cell(2, r);
        QVERIFY(rtn == QStringLiteral("－") || rtn.endsWith(QStringLiteral(" %")));
    }
    TradeResultView& result = views->trade();
    QCOMPARE(result.summaryEdit("edt_rst_init")->text(), QStringLiteral("1000000"));
    QVERIFY(result.summaryEdit("edt_rst_return")->text().endsWith(QStringLiteral(" %")));
    QVERIFY(result.summaryEdit("edt_rst_total_num")->text().endsWith(QStringLiteral(" 回")));
    QVERIFY(result.summaryEdit("edt_rst_total_num")->text() != QStringLiteral("0 回"));
    QVERIFY(result.summaryEdit("edt_rst_total_win")->text().endsWith(QStringLiteral(" %")));
    QCOMPARE(result.summaryEdit("edt_term_edate")->text(), QStringLiteral("2006/12/29"));
    QVERIFY(result.summaryEdit("edt_term_sdate")->text() >= QStringLiteral("2005/12/29"));
    StringGrid* days = views->daily().sg_sim_stk;
    QCOMPARE(days->cell(2, 1), QStringLiteral("2006/12/29"));
    QVERIFY(days->cell(2, days->rowCount() - 1) >= QStringLiteral("2005/12/29"));
    QVERIFY(days->rowCount() > 240); // a year of trading days
    const QString position = days->cell(0, 1);
    QCOMPARE(m_window->edt_sim_pst->text(), position.isEmpty() ? QStringLiteral("－") : position);
    // Every trade of the list appears in the trade column on its execution day.
    for (int r = 1; r < trades->rowCount(); ++r) {
        bool found = false;
        for (int d = 1; d < days->rowCount() && !found; ++d)
            found = days->cell(2, d) == trades->cell(0, r) && days->cell(1, d).contains(trades->cell(1, r));
        QVERIFY2(found, qPrintable(trades->cell(0, r) + QLatin1Char(' ') + trades->cell(1, r)));
    }
    saveScreenshot(QStringLiteral("result_trades.png"));
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_daily);
    saveScreenshot(QStringLiteral("result_days.png"));
    m_window->sbtn_sim_sizeClick();
    saveScreenshot(QStringLiteral("result_days_wide.png"));
    // The rows around the newest trade, then the indicator columns at the right.
    for (int d = 1; d < days->rowCount(); ++d)
        if (!days->cell(1, d).isEmpty()) {
            days->scrollTo(days->model().index(d - 1, 0), QAbstractItemView::PositionAtCenter);
            break;
        }
    saveScreenshot(QStringLiteral("result_days_trade.png"));
    days->scrollTo(days->model().index(0, 48));
    saveScreenshot(QStringLiteral("result_days_right.png"));
    // Scrolled to the right, the date column stays at the left edge, row for row.
    QTableView* frozen = days->frozenView();
    QVERIFY(frozen);
    QTRY_VERIFY(frozen->isVisible());
    QCOMPARE(frozen->geometry().left(), days->frameWidth());
    QCOMPARE(frozen->model()->headerData(2, Qt::Horizontal).toString(), QStringLiteral("日付"));
    for (int c = 0; c < days->colCount(); ++c)
        QCOMPARE(frozen->isColumnHidden(c), c != 2);
    days->verticalScrollBar()->setValue(days->verticalScrollBar()->maximum() / 2);
    QCOMPARE(frozen->verticalScrollBar()->value(), days->verticalScrollBar()->value());
    QCOMPARE(frozen->rowAt(40), days->rowAt(40));
    QVERIFY(days->rowAt(40) > 0);
    days->horizontalScrollBar()->setValue(0);
    QTRY_VERIFY(!frozen->isVisible()); // in its own place again
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_chart);
    saveScreenshot(QStringLiteral("result_trades_wide.png"));
    m_window->sbtn_sim_sizeClick();

    // Both exports. Their bytes are those the command line writes from the same run.
    TStkData stock;
    QVERIFY(m_window->cur_analisys()->GetStkData(0, stock));
    const QString tradesPath = m_base->filePath(QStringLiteral("trades.csv"));
    const QString daysPath = m_base->filePath(QStringLiteral("days.csv"));
    const QString reference = m_base->filePath(QStringLiteral("reference.csv"));
    m_ui->saves->answer(tradesPath);
    views->trade().sbtn_save_rstdata->click();
    m_ui->saves->answer(daysPath);
    views->daily().sbtn_save_termdata->click();
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{3});
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("データをファイルに出力しました。"));

    QVERIFY(writeCsvFile(reference.toStdString(), tradeListCsvLines(stock.UserResult)).ok());
    QCOMPARE(test::fileBytes(tradesPath), test::fileBytes(reference));
    QVERIFY(writeCsvFile(reference.toStdString(), dailyTableCsvLines(stock, "2005/12/29")).ok());
    QCOMPARE(test::fileBytes(daysPath), test::fileBytes(reference));

    // And what a user would check in the files: one line per grid row, CR LF, Shift-JIS titles,
    // the newest trade first.
    const QList<QByteArray> tradeLines = test::fileBytes(tradesPath).split('\n');
    QCOMPARE(tradeLines.size(), trades->rowCount() + 1);
    const auto title =
        utf8ToCp932("取引日,取引内容,取引利回り,取引価格,取引高,取引金額,手数料,投資残額,合計金額,\r");
    QVERIFY(title);
    QCOMPARE(tradeLines[0], QByteArray::fromStdString(*title));
    QVERIFY(tradeLines[1].startsWith(trades->cell(0, 1).toLatin1() + ','));
    const QList<QByteArray> dayLines = test::fileBytes(daysPath).split('\n');
    QCOMPARE(dayLines.size(), days->rowCount() + 1);
    for (int i = 0; i < days->rowCount(); ++i) {
        QVERIFY(dayLines[i].endsWith(",\r"));
        QCOMPARE(dayLines[i].count(','), 49);
    }
}

// Screening, a click, F5; the right button, F5; the keyboard, F5; a screening that finds nothing,
// F5: the stock run is the one shown as the target each time, and none after the empty screening.
void NewcomerPathTest::theTargetIsTheStockOnScreen()
{
    QVERIFY(m_window);
    auto* panel = m_window->findChild<ScreeningPanel*>();
    QVERIFY(panel);
    StringGrid* list = panel->sg_stk_cd;
    m_ui->messages->clear();
    const auto runF5 = [this] {
        const std::size_t before = m_ui->messages->shown().size();
        QTest::keyClick(m_window.get(), Qt::Key_F5);
        return m_ui->messages->shown().size() > before ? m_ui->messages->last().text : QString();
    };
    const auto ranFor = [](const QString& closing, const QString& name) {
        return closing.startsWith(name + QStringLiteral("のｼﾐｭﾚｰｼｮﾝを実行しました。"));
    };

    QTest::keyClick(m_window.get(), Qt::Key_F3);
    QCOMPARE(list->rowCount(), static_cast<int>(kStocks) + 1);
    const QString first = list->cell(1, 1);
    QCOMPARE(m_window->edt_sim_stk->text(), first);
    QVERIFY(ranFor(runF5(), first));

    const QRect fourth = list->visualRect(list->model().index(3, 0));
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, fourth.center());
    QCOMPARE(m_window->edt_sim_stk->text(), list->cell(1, 4));
    QVERIFY(ranFor(runF5(), list->cell(1, 4)));

    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(m_window->edt_sim_stk->text(), list->cell(1, 5));
    QVERIFY(ranFor(runF5(), list->cell(1, 5)));

    // Sorted by the close, the row on top is the one a click selects.
    QHeaderView* header = list->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(7) + 5, header->height() / 2));
    m_window->stbn_stk_sizeClick(); // the whole list in view for the picture
    saveScreenshot(QStringLiteral("stock_list_sorted.png"));
    m_window->stbn_stk_sizeClick();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model().index(0, 0)).center());
    const QString cheapest = list->model().data(list->model().index(0, 1), Qt::DisplayRole).toString();
    QCOMPARE(m_window->edt_sim_stk->text(), cheapest);
    QVERIFY(ranFor(runF5(), cheapest));

    // Nothing found: no target, and F5 neither runs nor asks anything.
    panel->edt_stk_nm->setText(QStringLiteral("該当なし"));
    QTest::keyClick(m_window.get(), Qt::Key_F3);
    QCOMPARE(m_ui->messages->last().text,
             QStringLiteral("データがありませんでした。\n検索条件に当てはまる銘柄がありませんでした。"));
    QCOMPARE(m_window->edt_sim_stk->text(), QString());
    QCOMPARE(m_window->edt_sim_mkt->text(), QString());
    const std::size_t requests = m_server->logLines().size();
    QCOMPARE(runF5(), QString());
    QCOMPARE(m_server->logLines().size(), requests);

    // The next screening makes its first row the target again.
    panel->edt_stk_nm->clear();
    QTest::keyClick(m_window.get(), Qt::Key_F3);
    QCOMPARE(m_window->edt_sim_stk->text(), first);

    // The window at its smallest and enlarged: what it gains goes to the lists.
    const QSize normal = m_window->size();
    m_window->resize(m_window->minimumSize());
    saveScreenshot(QStringLiteral("main_minimum.png"));
    m_window->resize(1600, 1000);
    saveScreenshot(QStringLiteral("main_enlarged.png"));
    m_window->resize(normal);
}

// The server forgets an idle session: the user is told, logs in again in the login window, and
// goes on with the same lists, conditions and tabs.
void NewcomerPathTest::anExpiredSessionOffersTheLoginAndKeepsTheWindow()
{
    QVERIFY(m_window);
    auto* panel = m_window->findChild<ScreeningPanel*>();
    StringGrid* list = panel->sg_stk_cd;
    auto* rsi = m_window->findChild<QCheckBox*>(QStringLiteral("cb_rsi"));
    QVERIFY(rsi && rsi->isChecked());
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_daily);
    const int rows = list->rowCount();
    const QString target = m_window->edt_sim_stk->text();
    m_ui->messages->clear();

    // Used now and then, the session lives on.
    m_server->advanceClock(11 * 60 * 60);
    QTest::keyClick(m_window.get(), Qt::Key_F3);
    QVERIFY(m_ui->messages->shown().empty());

    m_server->advanceClock(13 * 60 * 60);
    const int logins = answeringModals([this] { QTest::keyClick(m_window.get(), Qt::Key_F3); });
    QCOMPARE(logins, 1);
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    QCOMPARE(m_ui->messages->last().kind, MsgKind::Warning);
    QCOMPARE(m_ui->messages->last().text,
             QString::fromUtf8(kSessionExpiredMessage) +
                 QStringLiteral("\n画面の内容はそのままです。ログインし直すと続けて操作できます。"));
    QCOMPARE(list->rowCount(), rows);
    QCOMPARE(m_window->edt_sim_stk->text(), target);
    QVERIFY(rsi->isChecked());
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_daily);
    QVERIFY(session().login_ok);
    QCOMPARE(session().stk_upd_date, std::string("2006/12/29"));

    // And goes on.
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    const std::size_t requests = m_server->logLines().size();
    QTest::keyClick(m_window.get(), Qt::Key_F3);
    QCOMPARE(m_server->logLines().size(), requests + 1);
    QVERIFY(m_server->logLines().back().find("outcome=ok") != std::string::npos);
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    QCOMPARE(list->rowCount(), rows);

    // The message as the user sees it.
    if (!screenshotDir().isEmpty()) {
        auto scripted = setMessageDialog(std::make_shared<QtMessageDialog>());
        m_server->advanceClock(13 * 60 * 60);
        QCOMPARE(answeringModals([this] { QTest::keyClick(m_window.get(), Qt::Key_F3); }), 1);
        setMessageDialog(scripted);
    }
}

QTEST_MAIN(NewcomerPathTest)
#include "NewcomerPathTest.moc"
