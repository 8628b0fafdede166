#include "accounts/LoginBatch.h"
#include "app/ShellTestSupport.h"
#include "app/main_frm.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "screening/screening_panel.h"
#include "support/TestServer.h"
#include "widgets/DateEdit.h"
#include "widgets/StringGrid.h"
#include "workbench/common_unit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>
#include <string>
#include <vector>

using namespace vorteq;

namespace {

// A small market on 2006/05/15. Moving-average deviation (MA_05 - MA_25) / MA_25:
// 1301 (290 - 285) / 285 = 0.0175; 1332 (520 - 500) / 500 = 0.04; 1334 (1150 - 1120) / 1120 = 0.0268;
// 7203 below zero. 1333 has no close, 9984 is in the second section, 8001 and 8002 in Osaka.
void seedMarket(test::TestServer& server)
{
    server.addUser("demo", "demo1234", "デモ", "demo@example.com");
    server.execSql("INSERT INTO STK_INFO VALUES ('1301', '極洋', 11), ('1332', '日本水産', 11), "
                   "('1333', 'マルハ', 11), ('1334', 'マルハ食品', 11), ('7203', 'トヨタ自動車', 11), "
                   "('9984', 'ソフトバンク', 12), ('8001', '伊藤忠,商事', 21), ('8002', '丸紅', 21)");
    server.execSql("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, "
                   "STK_VLM, PT_RANGE, MA_05, MA_25, RSI) VALUES "
                   "('1301', '2006/05/15', 295, 301.5, 294, 300, 123400, 1.69, 290, 285, 0.1), "
                   "('1332', '2006/05/15', 505, 510, 495, 500, 88000, -0.99, 520, 500, 55.25), "
                   "('1333', '2006/05/15', 0, 0, 0, 0, 0, NULL, 210, 205, NULL), "
                   "('1334', '2006/05/15', 1190, 1210, 1180, 1200, 5000, 0.84, 1150, 1120, 70), "
                   "('7203', '2006/05/15', 6010, 6050, 5980, 6000, 1000000, -0.17, 5990, 6100, 40), "
                   "('9984', '2006/05/15', 3000, 3100, 2990, 3050, 2000000, 1.67, 3000, 2900, 60), "
                   "('1301', '2006/05/16', 301, 305, 300, 304, 3000, 1, 291, 286, 50)");
    server.execSql("INSERT INTO STK_DAILY_DSE_2006 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, "
                   "STK_VLM) VALUES ('8001', '2006/05/15', 1000, 1010, 990, 1005, 7000), "
                   "('8002', '2006/05/15', 100, 110, 90, 105, 5000)");
}

QByteArray repeated(char c, int n)
{
    return QByteArray(n, c);
}

} // namespace

class ScreeningPanelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void startsWithTheInitialControls();
    void widenAndNarrowKeepTheNormalWidth();
    void searchFillsTheListAndSelectsTheFirstRow();
    void tickedConditionsReachTheServer();
    void noRowsAfterManyEmptiesTheList();
    void tickedEmptyFieldBringsItsTabForward();
    void untickedFieldWithLettersIsIgnored();
    void quoteInTheNameFieldIsSearchedNotBroken();
    void missingDailyTableIsAnSqlError();
    void emptyScreeningLeavesNoTarget();
    void baseDatesWithoutPricesSayWhy();
    void datesTypedWholeAreTakenWhole();
    void titleClickSortsWhatIsShownNotTheExport();
    void registeredTargetUsesTheIndex();
    void resetKeepsTargetAndMarket();
    void rowSelectionByMouseAndKeyboard();
    void exportWritesHeaderAndRows();
    void cancelledExportWritesNothing();

private:
    void login();
    std::size_t requests() const { return m_server->logLines().size(); }
    template <class T> T* control(const char* name)
    {
        auto* w = m_window->findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    void search() { m_window->act_serchExecute(); }
    const std::vector<ScriptedMessageDialog::Shown>& shown() const { return m_ui->messages->shown(); }

    std::unique_ptr<test::TestServer> m_server;
    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
    std::unique_ptr<Tfrm_main> m_window;
    ScreeningPanel* m_panel = nullptr;
    std::vector<TStkList> m_selected;
};

void ScreeningPanelTest::initTestCase()
{
    m_server = std::make_unique<test::TestServer>();
    seedMarket(*m_server);
}

void ScreeningPanelTest::login()
{
    clearSessionCookie();
    THttpStatements http(m_server->url());
    http.Add("Query");
    http.Add(loginUserStatement("demo", "demo1234"));
    http.Add(updateDatesStatement());
    const auto executed = http.Execute();
    QVERIFY(executed && *executed);
    QCOMPARE(http.Item(1).RowCount, 1);
}

void ScreeningPanelTest::init()
{
    m_base = std::make_unique<QTemporaryDir>();
    QVERIFY(m_base->isValid());
    m_ui = std::make_unique<test::ScriptedUi>();
    test::resetSession(m_base->path(), m_server->url());
    session().login_ok = true;
    session().stk_upd_date = "2006/05/15";
    login();
    m_window = std::make_unique<Tfrm_main>();
    m_panel = ScreeningPanel::install(*m_window);
    m_selected.clear();
    m_window->hooks().stockSelected.push_back([this](const TStkList& row) { m_selected.push_back(row); });
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void ScreeningPanelTest::cleanup()
{
    m_window.reset();
    m_ui.reset();
    m_base.reset();
}

void ScreeningPanelTest::startsWithTheInitialControls()
{
    QCOMPARE(m_panel->pc_stk_serch->currentWidget(), m_panel->ts_stk_usual);
    QCOMPARE(m_panel->pc_stk_serch->tabText(0), QStringLiteral("検索条件"));
    QCOMPARE(m_panel->pc_stk_serch->tabText(1), QStringLiteral("追加条件A"));
    QCOMPARE(m_panel->pc_stk_serch->tabText(2), QStringLiteral("追加条件B"));
    // The window's remembered choices stand on the first tab.
    QVERIFY(m_panel->ts_stk_usual->isAncestorOf(m_window->cbx_stk_tgt));
    QVERIFY(m_panel->ts_stk_usual->isAncestorOf(m_window->cbx_mkt_cd));
    QVERIFY(m_window->cbx_mkt_cd->isVisible());
    QCOMPARE(m_panel->sb_stk_cd->text(), QStringLiteral(" 0件のデータ"));
    QCOMPARE(m_panel->dtp_kdate->date(), QDate(2006, 5, 15));

    StringGrid* grid = control<StringGrid>("sg_stk_cd");
    QCOMPARE(grid->colCount(), 45);
    QCOMPARE(grid->rowCount(), 2);
    QCOMPARE(grid->cell(0, 0), QStringLiteral("銘柄コード"));
    QCOMPARE(grid->cell(24, 0), QStringLiteral("ﾗﾘｰｳｨﾘｱﾑｽﾞ%R"));
    QCOMPARE(grid->cell(44, 0), QStringLiteral("値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ"));

    QCOMPARE(control<QCheckBox>("cbx_use_ma_ma_kairi")->text(),
             QStringLiteral("移動平均線と移動平均線のｶｲﾘ率"));
    QCOMPARE(control<QLineEdit>("edt_use_mpsy")->maxLength(), 3);
    QCOMPARE(control<QLineEdit>("edt_prange")->maxLength(), 3);
    QCOMPARE(control<QComboBox>("cb_use_ma_ma2")->currentText(), QStringLiteral("15日"));
    QCOMPARE(control<QComboBox>("cb_use_ma_ma_kairi2")->currentText(), QStringLiteral("15日"));
    QCOMPARE(control<QComboBox>("cb_use_ma_ma_kairi1")->currentText(), QStringLiteral("5日"));
    auto* voli = control<QComboBox>("cb_use_voli");
    QCOMPARE(voli->count(), 4);
    QCOMPARE(voli->itemText(1), QStringLiteral("株価が-2σ以下"));
    QVERIFY(!voli->isEditable());
    QCOMPARE(control<QComboBox>("cb_use_stk1")->itemText(2), QStringLiteral("%SD"));
    QVERIFY(m_panel->ts_stk_additional->isAncestorOf(control<QCheckBox>("cbx_use_renzoku")));
    QVERIFY(m_panel->ts_technical->isAncestorOf(control<QComboBox>("cb_use_macd")));
}

void ScreeningPanelTest::widenAndNarrowKeepTheNormalWidth()
{
    // The wide condition tabs scroll instead of forcing the panel wider than its 345 pixels.
    QCOMPARE(m_window->leftPanelWidth(), 345);
    m_window->stbn_stk_size->click();
    QCOMPARE(m_window->leftPanelWidth(), m_window->width() - 20);
    m_window->stbn_stk_size->click();
    QCOMPARE(m_window->leftPanelWidth(), 345);
}

void ScreeningPanelTest::searchFillsTheListAndSelectsTheFirstRow()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QTest::keyClick(m_panel->edt_stk_nm, Qt::Key_F3);

    QVERIFY(shown().empty());
    StringGrid* grid = m_panel->sg_stk_cd;
    QCOMPARE(grid->rowCount(), 5);
    QCOMPARE(m_panel->sb_stk_cd->text(), QStringLiteral(" 4件のデータ"));
    const QStringList codes = {grid->cell(0, 1), grid->cell(0, 2), grid->cell(0, 3), grid->cell(0, 4)};
    QCOMPARE(codes, (QStringList{QStringLiteral("1301"), QStringLiteral("1332"), QStringLiteral("1334"),
                                 QStringLiteral("7203")}));
    QCOMPARE(grid->cell(1, 1), QStringLiteral("極洋"));
    QCOMPARE(grid->cell(2, 1), QStringLiteral("東証一部"));
    QCOMPARE(grid->cell(3, 1), QStringLiteral("2006/05/15"));
    QCOMPARE(grid->cell(5, 1), QStringLiteral("301.5"));
    QCOMPARE(grid->cell(8, 1), QStringLiteral("123400"));
    QCOMPARE(grid->cell(22, 2), QStringLiteral("55.25"));
    QCOMPARE(grid->cell(45, 1), QStringLiteral("11"));
    QCOMPARE(grid->currentRow(), 1);

    QCOMPARE(m_selected.size(), std::size_t{1});
    QCOMPARE(m_selected[0].stkCd, std::string("1301"));
    QCOMPARE(m_selected[0].stkNm, std::string("極洋"));
    QCOMPARE(m_selected[0].mktCd, std::string("11"));
    QCOMPARE(m_selected[0].mktNm, std::string("東証一部"));
}

void ScreeningPanelTest::tickedConditionsReachTheServer()
{
    // 5 against 25 days, at most 3 percent: 1301 and 1334.
    control<QCheckBox>("cbx_use_ma_ma_kairi")->setChecked(true);
    control<QComboBox>("cb_use_ma_ma_kairi2")->setCurrentIndex(2);
    control<QLineEdit>("edt_use_ma_ma_kairi")->setText(QStringLiteral("3"));
    control<QComboBox>("cb_use_ma_ma_kairi3")->setCurrentIndex(1);
    m_window->sbtn_get_stk_info->click();
    QVERIFY(shown().empty());
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 3);
    QCOMPARE(m_panel->sg_stk_cd->cell(0, 1), QStringLiteral("1301"));
    QCOMPARE(m_panel->sg_stk_cd->cell(0, 2), QStringLiteral("1334"));

    // And RSI at least 50: only 1334 is left.
    control<QCheckBox>("cbx_use_rsi")->setChecked(true);
    control<QLineEdit>("edt_use_rsi")->setText(QStringLiteral("50"));
    search();
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 2);
    QCOMPARE(m_panel->sg_stk_cd->cell(0, 1), QStringLiteral("1334"));
    QCOMPARE(m_panel->sb_stk_cd->text(), QStringLiteral(" 1件のデータ"));
}

void ScreeningPanelTest::noRowsAfterManyEmptiesTheList()
{
    search();
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 5);
    QCOMPARE(m_selected.size(), std::size_t{1});

    m_panel->edt_stk_cd->setText(QStringLiteral("5"));
    search();
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown()[0].text,
             QStringLiteral("データがありませんでした。\n検索条件に当てはまる銘柄がありませんでした。"));
    QCOMPARE(shown()[0].kind, MsgKind::Confirmation);
    StringGrid* grid = m_panel->sg_stk_cd;
    QCOMPARE(grid->rowCount(), 2);
    for (int c = 0; c <= 45; ++c)
        QVERIFY2(grid->cell(c, 1).isEmpty(), qPrintable(QString::number(c)));
    QCOMPARE(grid->cell(0, 0), QStringLiteral("銘柄コード"));
    QCOMPARE(m_panel->sb_stk_cd->text(), QStringLiteral(" 0件のデータ"));
    QCOMPARE(m_selected.size(), std::size_t{1});
}

void ScreeningPanelTest::tickedEmptyFieldBringsItsTabForward()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    search();
    const QStringList before = {m_panel->sg_stk_cd->cell(0, 1), m_panel->sb_stk_cd->text()};
    const std::size_t sent = requests();

    control<QCheckBox>("cbx_use_rsi")->setChecked(true);
    search();
    QCOMPARE(requests(), sent);
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown()[0].text, QStringLiteral("検索条件の数値が入力されていません。"));
    QCOMPARE(m_panel->pc_stk_serch->currentWidget(), m_panel->ts_technical);
    QCOMPARE(m_window->focusWidget(), control<QLineEdit>("edt_use_rsi"));

    // Letters in a ticked field on the other tab: the other message, that tab, that field.
    control<QLineEdit>("edt_use_rsi")->setText(QStringLiteral("50"));
    control<QCheckBox>("cbx_use_vrange")->setChecked(true);
    control<QLineEdit>("edt_vrange")->setText(QStringLiteral("ab"));
    search();
    QCOMPARE(requests(), sent);
    QCOMPARE(shown().size(), std::size_t{2});
    QCOMPARE(shown()[1].text, QStringLiteral("検索条件には数値を入力してください。"));
    QCOMPARE(m_panel->pc_stk_serch->currentWidget(), m_panel->ts_stk_additional);
    QCOMPARE(m_window->focusWidget(), control<QLineEdit>("edt_vrange"));
    const QStringList after = {m_panel->sg_stk_cd->cell(0, 1), m_panel->sb_stk_cd->text()};
    QCOMPARE(after, before);
}

void ScreeningPanelTest::untickedFieldWithLettersIsIgnored()
{
    control<QLineEdit>("edt_use_cci")->setText(QStringLiteral("abc"));
    control<QLineEdit>("edt_prange")->setText(QStringLiteral("x"));
    search();
    QVERIFY(shown().empty());
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 5);
}

void ScreeningPanelTest::quoteInTheNameFieldIsSearchedNotBroken()
{
    m_panel->edt_stk_nm->setText(QStringLiteral("極'"));
    search();
    QCOMPARE(shown().size(), std::size_t{1});
    QVERIFY(shown()[0].text.startsWith(QStringLiteral("データがありませんでした。\n")));

    m_panel->edt_stk_nm->setText(QStringLiteral("マルハ"));
    search();
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 2); // マルハ has no close that day
    QCOMPARE(m_panel->sg_stk_cd->cell(1, 1), QStringLiteral("マルハ食品"));
}

void ScreeningPanelTest::missingDailyTableIsAnSqlError()
{
    search();
    m_server->execSql("ALTER TABLE STK_DAILY_TSE_2006 RENAME TO KEPT_TSE_2006");
    search();
    m_server->execSql("ALTER TABLE KEPT_TSE_2006 RENAME TO STK_DAILY_TSE_2006");
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown()[0].text, QStringLiteral("SQL ERROR"));
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 5);
    QCOMPARE(m_panel->sb_stk_cd->text(), QStringLiteral(" 4件のデータ"));
}

// After a screening that finds nothing, no stock of the earlier list is the target any more.
void ScreeningPanelTest::emptyScreeningLeavesNoTarget()
{
    JoukenEditor::install(*m_window); // it keeps the selected stock and fills the simulation fields
    search();
    QCOMPARE(work().stk_list.stkCd, std::string("1301"));
    QCOMPARE(m_window->edt_sim_stk->text(), QStringLiteral("極洋"));
    m_panel->edt_stk_cd->setText(QStringLiteral("5"));
    search();
    QCOMPARE(work().stk_list.stkCd, std::string());
    QCOMPARE(work().stk_list.mktCd, std::string());
    QCOMPARE(m_window->edt_sim_stk->text(), QString());
    QCOMPARE(m_panel->sg_stk_cd->currentRow(), 0);
    // The next screening makes its first row the target again.
    m_panel->edt_stk_cd->clear();
    search();
    QCOMPARE(work().stk_list.stkCd, std::string("1301"));
}

// A day the calendar rules out is refused before anything is sent; a weekday without prices in the
// market is named a holiday after the server found nothing.
void ScreeningPanelTest::baseDatesWithoutPricesSayWhy()
{
    const std::size_t before = requests();
    m_panel->dtp_kdate->setDate(QDate(2006, 5, 13));
    search();
    QCOMPARE(requests(), before);
    QCOMPARE(shown().back().text,
             QStringLiteral(
                 "データがありませんでした。\n基準日 2006/05/13 は土曜日のため株価データがありません。"));
    m_panel->dtp_kdate->setDate(QDate(2006, 5, 14));
    search();
    QVERIFY(shown().back().text.endsWith(QStringLiteral("は日曜日のため株価データがありません。")));
    QCOMPARE(requests(), before);

    m_panel->dtp_kdate->setDate(QDate(2006, 5, 12));
    search();
    QCOMPARE(shown().back().text,
             QStringLiteral(
                 "データがありませんでした。\n基準日 2006/05/12 は休場日のため株価データがありません。"));
    QCOMPARE(requests(), before + 2); // the screening and the count of the day's prices
    QCOMPARE(shown().size(), std::size_t{3});
}

void ScreeningPanelTest::datesTypedWholeAreTakenWhole()
{
    for (DateEdit* field : {m_panel->dtp_kdate, m_window->dtp_stk_sdate}) {
        // The calendar offers the days from the first data to the last update only.
        QCOMPARE(field->minimumDate(), QDate(2005, 1, 1));
        QCOMPARE(field->maximumDate(), QDate(2006, 5, 15));
        field->setFocus();
        const auto typeOver = [field](const char* keys) {
            field->selectAll();
            QTest::keyClicks(field, QString::fromLatin1(keys));
        };
        typeOver("2005/06/14");
        QCOMPARE(field->date(), QDate(2005, 6, 14)); // the year too, not just month and day
        typeOver("20060103");
        QCOMPARE(field->date(), QDate(2006, 1, 3));
        typeOver("2006/3/9");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(field->date(), QDate(2006, 3, 9));

        m_ui->messages->clear();
        typeOver("2006/05/16");
        QCOMPARE(field->date(), QDate(2006, 3, 9));
        QCOMPARE(shown().back().text,
                 QStringLiteral("2006/05/16 は最終更新日 (2006/05/15) より後の日付です。\n"
                                "日付は元のままです。"));
        typeOver("2004/12/30");
        QVERIFY(shown().back().text.startsWith(
            QStringLiteral("2004/12/30 は最初のデータ (2005/01/01) より前の日付です。")));
        typeOver("2006/02/30");
        QVERIFY(shown().back().text.startsWith(QStringLiteral("2006/02/30 はありえない日付です。")));
        typeOver("2006/0");
        QTest::keyClick(field, Qt::Key_Escape);
        QCOMPARE(field->date(), QDate(2006, 3, 9));
        QCOMPARE(field->text(), QStringLiteral("2006/03/09"));
        QCOMPARE(shown().size(), std::size_t{3});
    }
}

// A title click orders the rows on the screen: numbers by value, the rest by text; the cursor stays
// on its stock, and the export keeps the order the server sent.
void ScreeningPanelTest::titleClickSortsWhatIsShownNotTheExport()
{
    search();
    StringGrid* grid = m_panel->sg_stk_cd;
    QCOMPARE(grid->model().data(grid->model().index(0, 7), Qt::TextAlignmentRole).value<Qt::Alignment>(),
             Qt::AlignRight | Qt::AlignVCenter);
    QVERIFY(grid->columnWidth(1) >
            grid->fontMetrics().horizontalAdvance(QStringLiteral("トヨタ自動車（サンプル）")));
    const auto shownColumn = [grid](int col) {
        QStringList texts;
        for (int r = 0; r < grid->model().rowCount(); ++r)
            texts << grid->model().data(grid->model().index(r, col), Qt::DisplayRole).toString();
        return texts;
    };
    const std::size_t selections = m_selected.size();
    QHeaderView* header = grid->horizontalHeader();
    // "出来高": 123400, 88000, 5000, 1000000 as sent; as numbers, not as text.
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(8) + 5, header->height() / 2));
    QCOMPARE(shownColumn(8), (QStringList{QStringLiteral("5000"), QStringLiteral("88000"),
                                          QStringLiteral("123400"), QStringLiteral("1000000")}));
    QCOMPARE(grid->currentRow(), 1); // still 1301, now shown third
    QCOMPARE(grid->cell(0, grid->currentRow()), QStringLiteral("1301"));
    QCOMPARE(m_selected.size(), selections); // sorting selects nothing
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(8) + 5, header->height() / 2));
    QCOMPARE(shownColumn(0), (QStringList{QStringLiteral("7203"), QStringLiteral("1301"),
                                          QStringLiteral("1332"), QStringLiteral("1334")}));
    // The first row on the screen is the one a click selects.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model().index(0, 0)).center());
    QCOMPARE(m_selected.back().stkCd, std::string("7203"));

    const QString path = m_base->filePath(QStringLiteral("sorted.csv"));
    m_ui->saves->answer(path);
    m_panel->sbtn_save_stkClick();
    const QList<QByteArray> lines = test::fileBytes(path).split('\n');
    QVERIFY(lines.size() >= 5);
    QVERIFY(lines[1].startsWith("1301,"));
    QVERIFY(lines[4].startsWith("7203,"));

    // A new screening comes in the server's order, its first row selected.
    search();
    QCOMPARE(shownColumn(0).front(), QStringLiteral("1301"));
    QCOMPARE(header->sortIndicatorSection(), -1);
}

void ScreeningPanelTest::registeredTargetUsesTheIndex()
{
    m_window->cbx_stk_tgt->setCurrentIndex(1);
    const std::size_t sent = requests();
    search();
    QCOMPARE(requests(), sent);
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown()[0].text, QStringLiteral("売買条件の登録されている銘柄はありませんでした。"));

    QVERIFY(QDir(m_base->path()).mkpath(QStringLiteral("UsrData")));
    QVERIFY(test::writeFileBytes(m_base->filePath(QStringLiteral("UsrData/UsrCndCd.dat")),
                                 "7203,11,\r\n8001,21,\r\nbroken\r\n1332,11,\r\n"));
    search();
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 3);
    QCOMPARE(m_panel->sg_stk_cd->cell(0, 1), QStringLiteral("1332"));
    QCOMPARE(m_panel->sg_stk_cd->cell(0, 2), QStringLiteral("7203"));

    m_window->cbx_mkt_cd->setCurrentIndex(2);
    search();
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 2);
    QCOMPARE(m_panel->sg_stk_cd->cell(0, 1), QStringLiteral("8001"));
    QCOMPARE(m_panel->sg_stk_cd->cell(45, 1), QStringLiteral("21"));
}

void ScreeningPanelTest::resetKeepsTargetAndMarket()
{
    m_window->cbx_stk_tgt->setCurrentIndex(1);
    m_window->cbx_mkt_cd->setCurrentIndex(4);
    m_panel->edt_stk_cd->setText(QStringLiteral("13"));
    m_panel->edt_stk_nm->setText(QStringLiteral("極"));
    m_panel->dtp_kdate->setDate(QDate(2005, 1, 4));
    control<QCheckBox>("cbx_use_prange")->setChecked(true);
    control<QLineEdit>("edt_prange")->setText(QStringLiteral("5"));
    control<QComboBox>("cbx_prange")->setCurrentIndex(1);
    control<QCheckBox>("cbx_use_macd")->setChecked(true);
    control<QComboBox>("cb_use_macd")->setCurrentIndex(3);
    control<QComboBox>("cb_use_ma_ma2")->setCurrentIndex(3);
    control<QComboBox>("cb_use_ma_ma_kairi2")->setCurrentIndex(0);
    control<QLineEdit>("edt_use_mpsy")->setText(QStringLiteral("9"));
    m_window->cbx_stk_term->setCurrentIndex(3);
    m_window->dtp_stk_sdate->setDate(QDate(2005, 1, 4));

    m_window->stbn_stk_clear->click();

    QCOMPARE(m_window->cbx_stk_tgt->currentIndex(), 1);
    QCOMPARE(m_window->cbx_mkt_cd->currentIndex(), 4);
    QVERIFY(m_panel->edt_stk_cd->text().isEmpty());
    QVERIFY(m_panel->edt_stk_nm->text().isEmpty());
    QCOMPARE(m_panel->dtp_kdate->date(), QDate(2006, 5, 15));
    QCOMPARE(m_window->dtp_stk_sdate->date(), QDate(2006, 5, 15));
    QCOMPARE(m_window->cbx_stk_term->currentIndex(), 0);
    for (QCheckBox* box : m_panel->findChildren<QCheckBox*>())
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    for (QLineEdit* field : m_panel->findChildren<QLineEdit*>()) {
        if (field->objectName().startsWith(QStringLiteral("edt_")))
            QVERIFY2(field->text().isEmpty(), qPrintable(field->objectName()));
    }
    QCOMPARE(control<QComboBox>("cbx_prange")->currentIndex(), 0);
    QCOMPARE(control<QComboBox>("cb_use_macd")->currentIndex(), 0);
    QCOMPARE(control<QComboBox>("cb_use_ma_ma2")->currentText(), QStringLiteral("15日"));
    QCOMPARE(control<QComboBox>("cb_use_ma_ma_kairi2")->currentText(), QStringLiteral("15日"));
}

void ScreeningPanelTest::rowSelectionByMouseAndKeyboard()
{
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    search();
    QCOMPARE(m_selected.size(), std::size_t{1});
    StringGrid* grid = m_panel->sg_stk_cd;
    const QRect second = grid->visualRect(grid->model().index(1, 0));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(m_selected.size(), std::size_t{2});
    QCOMPARE(m_selected.back().stkCd, std::string("1332"));
    QTest::keyClick(grid, Qt::Key_Down);
    QCOMPARE(m_selected.size(), std::size_t{3});
    QCOMPARE(m_selected.back().stkCd, std::string("1334"));
    // A click on the row already selected reports it again.
    const QRect third = grid->visualRect(grid->model().index(2, 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, third.center());
    QCOMPARE(m_selected.size(), std::size_t{4});
    QCOMPARE(m_selected.back().stkCd, std::string("1334"));
    // The right button selects the row under it as well, once.
    const QRect fourth = grid->visualRect(grid->model().index(3, 1));
    QTest::mouseClick(grid->viewport(), Qt::RightButton, {}, fourth.center());
    QCOMPARE(grid->currentRow(), 4);
    QCOMPARE(m_selected.size(), std::size_t{5});
    QCOMPARE(m_selected.back().stkCd, std::string("7203"));
}

void ScreeningPanelTest::exportWritesHeaderAndRows()
{
    m_window->cbx_mkt_cd->setCurrentIndex(2);
    search();
    QCOMPARE(m_panel->sg_stk_cd->rowCount(), 3);
    const QString path = m_base->filePath(QStringLiteral("list.csv"));
    QVERIFY(test::writeFileBytes(path, "old content that must go\r\n"));
    m_ui->saves->answer(path);
    m_window->sbtn_save_stk->click();

    QCOMPARE(m_ui->saves->requests().size(), std::size_t{1});
    const SaveFileRequest& request = m_ui->saves->requests()[0];
    QCOMPARE(request.title, QStringLiteral("データの出力"));
    QCOMPARE(request.filters,
             (QStringList{QStringLiteral("csv file (*.csv)"), QStringLiteral("text file (*.txt)"),
                          QStringLiteral("All (*.*)")}));
    QCOMPARE(request.defaultExtension, QStringLiteral("csv"));
    QCOMPARE(shown().size(), std::size_t{1});
    QCOMPARE(shown()[0].text, QStringLiteral("データをファイルに出力しました。"));

    const QByteArray bytes = test::fileBytes(path);
    const QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.size(), 4); // three lines and nothing after the last line end
    QVERIFY(lines[3].isEmpty());
    // Header: "銘柄コード" in CP932 first, 45 titles each followed by a comma.
    QVERIFY(lines[0].startsWith(QByteArray::fromHex("96c195bf8352815b8368") + ','));
    QVERIFY(lines[0].endsWith(QByteArray::fromHex("926c93ae82ab") +
                              QByteArray::fromHex("bbb2badbbcdeb6d9d7b2dd") + ",\r"));
    QCOMPARE(lines[0].count(','), 45);
    // 8001's name holds a comma and goes out quoted; empty indicator cells keep their commas.
    const QByteArray dse = QByteArray::fromHex("91e58fd888ea9594");
    QCOMPARE(lines[1], "8001,\"" + QByteArray::fromHex("88c993a19289") + ',' +
                           QByteArray::fromHex("8fa48e96") + "\"," + dse +
                           ",2006/05/15,1000,1010,990,1005,7000," + repeated(',', 36) + '\r');
    QCOMPARE(lines[2], "8002," + QByteArray::fromHex("8adb8d67") + ',' + dse +
                           ",2006/05/15,100,110,90,105,5000," + repeated(',', 36) + '\r');
}

void ScreeningPanelTest::cancelledExportWritesNothing()
{
    const QString path = m_base->filePath(QStringLiteral("none.csv"));
    m_ui->saves->answerCancel();
    m_panel->sbtn_save_stkClick();
    QVERIFY(!QFile::exists(path));
    QVERIFY(shown().empty());

    // Before any search the list exports its header and one line of 45 commas.
    m_ui->saves->answer(path);
    m_panel->sbtn_save_stkClick();
    const QList<QByteArray> lines = test::fileBytes(path).split('\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[1], repeated(',', 45) + '\r');
}

QTEST_MAIN(ScreeningPanelTest)
#include "ScreeningPanelTest.moc"
