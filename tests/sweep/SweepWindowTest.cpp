// The parameter sweep window against the real statement server in process: a two-field sweep of
// the selected stock from the menu to the heat map, the hover text and the click that puts a cell
// into the editor without registering it; a one-field line over two stocks of the list; a
// walk-forward with its chained account; cancelling. With VORTEQ_SHOT_DIR set, each state is saved
// as a picture there.
#include "accounts/LoginBatch.h"
#include "app/FeaturePanels.h"
#include "app/ShellTestSupport.h"
#include "app/main_frm.h"
#include "common/DateText.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "support/TestServer.h"
#include "sweep/sweep_frm.h"
#include "sweep/sweep_view.h"
#include "workbench/common_unit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace vorteq;

namespace {

// Two stocks with every weekday of 2005 and 2006: a wave and a slow climb, so RSI rules trade.
void seedMarket(test::TestServer& server)
{
    server.addUser("demo", "demo1234", "デモ", "demo@example.com");
    server.execSql("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('7203', 'トヨタ自動車', 11)");
    int k = 0;
    for (Date d{2005, 1, 4}; d <= Date{2006, 12, 29}; d = addDays(d, 1)) {
        if (const int w = dayOfWeek(d); w == 0 || w == 6)
            continue;
        for (const auto& [code, close] :
             {std::pair{std::string("1301"),
                        1000 + static_cast<int>(120 * std::sin(k / 9.0) + 40 * std::sin(k / 2.3))},
              std::pair{std::string("7203"), 2000 + k * 2 + static_cast<int>(90 * std::sin(k / 6.0))}}) {
            const int open = close - 5 + (k % 11);
            server.execSql("INSERT INTO STK_DAILY_TSE_" + std::to_string(d.year) +
                           " (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM) VALUES ('" +
                           code + "', '" + formatDate(d) + "', " + std::to_string(open) + ", " +
                           std::to_string(std::max(open, close) + 7) + ", " +
                           std::to_string(std::min(open, close) - 7) + ", " + std::to_string(close) + ", " +
                           std::to_string(1000 + (k % 13) * 100) + ")");
        }
        ++k;
    }
}

} // namespace

class SweepWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void heatMapOfTwoFieldsAndTheClickIntoTheEditor();
    void lineOfOneFieldOverTheListedStocks();
    void walkForwardShowsTheChainedAccount();
    void refusesBadRangesWithAMessage();
    void cancelStopsTheRunAndSaysSo();

private:
    SweepWindow* open();
    void setField(QComboBox* box, const char* key);
    void waitDone(SweepWindow* w);
    void shot(QWidget* w, const char* name);

    std::unique_ptr<test::TestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
    std::unique_ptr<Tfrm_main> m_window;
    JoukenEditor* m_editor = nullptr;
};

void SweepWindowTest::initTestCase()
{
    m_server = std::make_unique<test::TestServer>();
    seedMarket(*m_server);
}

void SweepWindowTest::init()
{
    m_base = std::make_unique<QTemporaryDir>();
    m_ui = std::make_unique<test::ScriptedUi>();
    test::resetSession(m_base->path(), m_server->url());
    session().login_ok = true;
    session().stk_upd_date = "2006/12/29";
    work() = WorkState{};
    jouken = TJouken::defaults();
    clearSessionCookie();
    THttpStatements http(m_server->url());
    http.Add("Query");
    http.Add(loginUserStatement("demo", "demo1234"));
    const auto executed = http.Execute();
    QVERIFY(executed && *executed);
    m_window = std::make_unique<Tfrm_main>();
    installFeaturePanels(*m_window);
    m_editor = JoukenEditor::of(*m_window);
    QVERIFY(m_editor);
    m_window->dtp_stk_sdate->setDate(QDate(2006, 12, 29));
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    // RSI on both sides in the Or groups.
    qobject_cast<QCheckBox*>(m_editor->control(fieldNo("UseBuyRSI"), 0))->setChecked(true);
    qobject_cast<QCheckBox*>(m_editor->control(fieldNo("UseSellRSI"), 0))->setChecked(true);
    m_window->notifyStockRowSelected(TStkList{"1301", "極洋", "11", "東証1部"});
}

void SweepWindowTest::cleanup()
{
    m_window.reset();
    m_ui.reset();
    m_base.reset();
}

SweepWindow* SweepWindowTest::open()
{
    QAction* action = m_window->findChild<QAction*>(QStringLiteral("mi_sweep"));
    if (!action)
        qFatal("no menu entry mi_sweep");
    action->trigger();
    SweepWindow* w = SweepWindow::of(*m_window);
    if (!w)
        qFatal("the sweep window did not open");
    if (!QTest::qWaitForWindowExposed(w))
        qFatal("the sweep window is not shown");
    w->dtp_sweep_from->setDate(QDate(2006, 1, 4));
    w->dtp_sweep_to->setDate(QDate(2006, 12, 29));
    return w;
}

void SweepWindowTest::setField(QComboBox* box, const char* key)
{
    const int index = box->findData(*lookupJoukenField(key));
    QVERIFY(index >= 0);
    box->setCurrentIndex(index);
}

void SweepWindowTest::waitDone(SweepWindow* w)
{
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 60000);
    QCOMPARE(w->pb_sweep->value(), 1000);
}

void SweepWindowTest::shot(QWidget* w, const char* name)
{
    const QByteArray dir = qgetenv("VORTEQ_SHOT_DIR");
    if (!dir.isEmpty())
        w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + QString::fromLatin1(name) +
                       QStringLiteral(".png"));
}

void SweepWindowTest::heatMapOfTwoFieldsAndTheClickIntoTheEditor()
{
    SweepWindow* w = open();
    setField(w->cbx_sweep_field1, "AmtBuyRSI2");
    w->edt_sweep_from1->setText(QStringLiteral("10"));
    w->edt_sweep_to1->setText(QStringLiteral("45"));
    w->edt_sweep_step1->setText(QStringLiteral("5"));
    w->cb_sweep_field2->setChecked(true);
    setField(w->cbx_sweep_field2, "AmtBuyRSI1");
    w->edt_sweep_from2->setText(QStringLiteral("5"));
    w->edt_sweep_to2->setText(QStringLiteral("14"));
    w->edt_sweep_step2->setText(QStringLiteral("1"));
    QTest::mouseClick(w->btn_sweep_start, Qt::LeftButton);
    waitDone(w);
    QVERIFY2(m_ui->messages->shown().empty(), "no message for a good sweep");
    const SweepChart::Data& data = w->sweep_chart->data();
    QCOMPARE(data.figures.size(), std::size_t(8 * 10));
    QVERIFY(data.best >= 0);
    QVERIFY(w->lbl_sweep_best->text().contains(QStringLiteral("頑健性")));

    // Hovering names the cell: 8 values along the bottom, 10 up the side; cell 13 is (1, 3).
    const QPointF centre = w->sweep_chart->cellCentre(13);
    QCOMPARE(w->sweep_chart->cellAt(centre), 13);
    QMouseEvent move(QEvent::MouseMove, centre, w->sweep_chart->mapToGlobal(centre), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w->sweep_chart, &move);
    QTRY_VERIFY(w->lbl_sweep_hover->text().startsWith(
        QStringLiteral("AmtBuyRSI2 = 15, AmtBuyRSI1 = 8: 純利益率(%)")));
    shot(w, "sweep_heatmap");

    // The click fills the editor's two fields; nothing is registered or run.
    const TJouken before = jouken;
    QTest::mouseClick(w->sweep_chart, Qt::LeftButton, {}, centre.toPoint());
    QCOMPARE(qobject_cast<QLineEdit*>(m_editor->control(fieldNo("AmtBuyRSI2")))->text(),
             QStringLiteral("15"));
    QCOMPARE(qobject_cast<QLineEdit*>(m_editor->control(fieldNo("AmtBuyRSI1")))->text(), QStringLiteral("8"));
    QVERIFY(jouken == before);
    QVERIFY(!QFile::exists(m_base->path() + QStringLiteral("/UsrData/130111.dat")));
    QVERIFY(w->lbl_sweep_status->text().contains(QStringLiteral("登録はまだです")));
}

void SweepWindowTest::lineOfOneFieldOverTheListedStocks()
{
    SweepWindow* w = open();
    setField(w->cbx_sweep_field1, "AmtSellRSI2");
    w->edt_sweep_from1->setText(QStringLiteral("55"));
    w->edt_sweep_to1->setText(QStringLiteral("90"));
    w->edt_sweep_step1->setText(QStringLiteral("2.5"));
    w->rb_sweep_market->setChecked(true);
    w->cbx_sweep_metric->setCurrentIndex(3); // Sharpe
    QTest::mouseClick(w->btn_sweep_start, Qt::LeftButton);
    waitDone(w);
    QCOMPARE(w->sweep_chart->data().figures.size(), std::size_t(15));
    QCOMPARE(w->sweep_chart->data().values.size(), std::size_t(1));
    QVERIFY(w->lbl_sweep_status->text().startsWith(QStringLiteral("2 銘柄 × 15 セル")));
    QVERIFY(w->sweep_chart->cellText(1).startsWith(QStringLiteral("AmtSellRSI2 = 57.5: シャープレシオ")));
    shot(w, "sweep_line");
}

void SweepWindowTest::walkForwardShowsTheChainedAccount()
{
    SweepWindow* w = open();
    w->dtp_sweep_from->setDate(QDate(2005, 3, 1));
    setField(w->cbx_sweep_field1, "AmtBuyRSI2");
    w->edt_sweep_from1->setText(QStringLiteral("10"));
    w->edt_sweep_to1->setText(QStringLiteral("40"));
    w->edt_sweep_step1->setText(QStringLiteral("5"));
    w->cb_sweep_walk->setChecked(true);
    w->edt_sweep_in->setValue(6);
    w->edt_sweep_out->setValue(3);
    QTest::mouseClick(w->btn_sweep_start, Qt::LeftButton);
    waitDone(w);
    QCOMPARE(w->pc_sweep->currentIndex(), 1);
    // 2005/09/01 to 2006/12/29 in three-month steps: six windows.
    QCOMPARE(w->sg_sweep_windows->rowCount(), 6);
    QCOMPARE(w->sg_sweep_windows->item(0, 1)->text(), QStringLiteral("2005/09/01～2005/11/30"));
    QVERIFY(w->lbl_sweep_walk->text().contains(QStringLiteral("ウォークフォワード効率")));
    shot(w, "sweep_walkforward");
}

void SweepWindowTest::refusesBadRangesWithAMessage()
{
    SweepWindow* w = open();
    setField(w->cbx_sweep_field1, "AmtBuyRSI1");
    w->edt_sweep_from1->setText(QStringLiteral("0"));
    w->edt_sweep_to1->setText(QStringLiteral("3"));
    w->edt_sweep_step1->setText(QStringLiteral("1"));
    QTest::mouseClick(w->btn_sweep_start, Qt::LeftButton);
    QVERIFY(!w->running());
    QCOMPARE(m_ui->messages->shown().size(), std::size_t(1));
    QVERIFY(m_ui->messages->shown()[0].text.contains(QStringLiteral("AmtBuyRSI1 = 0")));
    w->edt_sweep_from1->setText(QStringLiteral("abc"));
    QTest::mouseClick(w->btn_sweep_start, Qt::LeftButton);
    QCOMPARE(m_ui->messages->shown().size(), std::size_t(2));
    QVERIFY(m_ui->messages->shown()[1].text.contains(QStringLiteral("数値を入力")));
}

void SweepWindowTest::cancelStopsTheRunAndSaysSo()
{
    SweepWindow* w = open();
    w->dtp_sweep_from->setDate(QDate(2005, 3, 1));
    setField(w->cbx_sweep_field1, "AmtBuyRSI2");
    w->edt_sweep_from1->setText(QStringLiteral("1"));
    w->edt_sweep_to1->setText(QStringLiteral("99"));
    w->edt_sweep_step1->setText(QStringLiteral("1"));
    w->cb_sweep_field2->setChecked(true);
    setField(w->cbx_sweep_field2, "AmtBuyRSI1");
    w->edt_sweep_from2->setText(QStringLiteral("2"));
    w->edt_sweep_to2->setText(QStringLiteral("50"));
    w->edt_sweep_step2->setText(QStringLiteral("1"));
    w->rb_sweep_market->setChecked(true);
    QTest::mouseClick(w->btn_sweep_start, Qt::LeftButton);
    QVERIFY(w->running());
    QVERIFY(w->btn_sweep_cancel->isEnabled());
    QVERIFY(!w->btn_sweep_start->isEnabled());
    QTest::qWait(300);
    shot(w, "sweep_running");
    QTest::mouseClick(w->btn_sweep_cancel, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!w->running(), 30000);
    QCOMPARE(w->lbl_sweep_status->text(), QStringLiteral("中止しました。"));
    QVERIFY(w->btn_sweep_start->isEnabled());
    QVERIFY(w->sweep_chart->data().figures.empty());
}

QTEST_MAIN(SweepWindowTest)
#include "SweepWindowTest.moc"
