#include "app/AppSetup.h"
#include "app/ShellTestSupport.h"
#include "app/main_frm.h"
#include "conditions/ConditionFiles.h"
#include "conditions/jouken_editor.h"
#include "workbench/common_unit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace vorteq;

namespace {

int no(std::string_view key)
{
    const auto found = findJoukenField(key);
    if (!found)
        qFatal("unknown key");
    return *found;
}

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Records which page of the editor is in front each time a message box is shown.
class TabWatchingDialog : public ScriptedMessageDialog {
public:
    explicit TabWatchingDialog(const QTabWidget* tabs) : m_tabs(tabs) {}
    MsgResult show(const QString& text, MsgKind kind, MsgButtons buttons) override
    {
        pagesAtMessage << m_tabs->currentWidget()->objectName();
        return ScriptedMessageDialog::show(text, kind, buttons);
    }
    QStringList pagesAtMessage;

private:
    const QTabWidget* m_tabs;
};

// Every field of the record as the editor shows it, one text per field: what a user can see.
QStringList controlStates(const JoukenEditor& editor)
{
    QStringList states;
    for (const auto& f : kJoukenFields) {
        QString state;
        switch (f.kind) {
        case FieldKind::Number:
            state = qobject_cast<QLineEdit*>(editor.control(f.no))->text();
            break;
        case FieldKind::Choice:
            state = qobject_cast<QComboBox*>(editor.control(f.no))->currentText();
            break;
        case FieldKind::Switch:
            state = qobject_cast<QCheckBox*>(editor.control(f.no))->isChecked() ? QStringLiteral("on")
                                                                                : QStringLiteral("off");
            break;
        case FieldKind::ConditionUse:
            state = QStringLiteral("or=%1 and=%2")
                        .arg(qobject_cast<QCheckBox*>(editor.control(f.no, 0))->isChecked())
                        .arg(qobject_cast<QCheckBox*>(editor.control(f.no, 1))->isChecked());
            break;
        case FieldKind::TradePrice:
            for (int i = 0; i < 4; ++i)
                if (qobject_cast<QRadioButton*>(editor.control(f.no, i))->isChecked())
                    state = QString::number(i);
            break;
        case FieldKind::Unbound:
            break;
        }
        states << qs(f.key) + QStringLiteral("=") + state;
    }
    return states;
}

// A record with a value other than the default in every field.
TJouken everythingChanged()
{
    TJouken record;
    bool andGroup = false;
    for (const auto& f : kJoukenFields) {
        std::string& value = record[f.no];
        switch (f.kind) {
        case FieldKind::Number:
            value = std::to_string(f.no % 97 + 1);
            break;
        case FieldKind::Choice:
            value = std::to_string(
                f.items.size() - 1 == std::stoul(std::string(f.defaultValue)) ? 0 : f.items.size() - 1);
            break;
        case FieldKind::Switch:
            value = "1";
            break;
        case FieldKind::ConditionUse:
            value = andGroup ? "2" : "1";
            andGroup = !andGroup;
            break;
        case FieldKind::TradePrice:
            value = "3";
            break;
        case FieldKind::Unbound:
            value = "unbound";
            break;
        }
    }
    return record;
}

} // namespace

class JoukenEditorTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void everyFieldHasItsNamedControl();
    void nothingIsCutOffOnAnyTab();
    void defaultsAreTheDefaultColumn();
    void orAndBoxesExcludeEachOther();
    void untickingAllKeepsEveryValue();
    void editorToRecordToEditorRestoresEveryControl();
    void choicesAndButtonsGiveTheirPositions();
    void useValuesTickTheirBox();
    void anUnknownTradePriceKeepsTheSelection();
    void typingStopsAtTheLengthLimit();
    void checkReportsOnTheFailingFieldsTab();
    void sellVolumeRatioBShowsItsTabFirst();
    void checkReadsTheControlsOnly();
    void registerAndDeleteNeedAStockAndAYes();
    void selectingAStockLoadsItsSet();
    void selectingARowWithoutCodeOnlyResetsTheResults();
    void aDamagedChoiceShowsTheFirstItemAndSaysSo();
    void anEmptyFileKeepsTheEditor();
    void aValueWithACommaIsNotRegistered();
    void anUnreadableSetIsReported();
    void aLineThatIsNotShiftJisIsSkippedAndNamed();

private:
    template <class T> T* find(const char* name) const
    {
        T* widget = m_window->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qWarning("no control %s", name);
        return widget;
    }
    QString text(const char* name) const { return find<QLineEdit>(name)->text(); }
    QString usrData(const QString& file) const { return m_base->filePath(QStringLiteral("UsrData/") + file); }
    void select(const char* code) const
    {
        m_window->notifyStockRowSelected(TStkList{code, "トヨタ自動車", "11", "東証一部"});
    }
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const auto& shown : m_ui->messages->shown())
            texts << shown.text;
        return texts;
    }

    std::unique_ptr<QTemporaryDir> m_base;
    std::unique_ptr<test::ScriptedUi> m_ui;
    std::unique_ptr<Tfrm_main> m_window;
    JoukenEditor* m_editor = nullptr;
    int m_resets = 0;
};

void JoukenEditorTest::initTestCase()
{
    setupApplication();
}

void JoukenEditorTest::init()
{
    m_base = std::make_unique<QTemporaryDir>();
    QVERIFY(m_base->isValid());
    m_ui = std::make_unique<test::ScriptedUi>();
    test::resetSession(m_base->path(), "http://127.0.0.1:9/ORQ/servlet/ApsServlet/");
    session().login_ok = true;
    session().stk_upd_date = "2006/05/15";
    work() = WorkState{};
    jouken = TJouken();
    m_window = std::make_unique<Tfrm_main>();
    m_editor = JoukenEditor::install(*m_window);
    m_resets = 0;
    m_window->hooks().resetResultViews = [this] { ++m_resets; };
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_resets = 0;
    m_ui->messages->clear();
}

void JoukenEditorTest::cleanup()
{
    m_ui->messages->answer(MsgResult::Yes);
    m_window->close();
    m_window.reset();
    m_ui.reset();
    m_base.reset();
}

void JoukenEditorTest::everyFieldHasItsNamedControl()
{
    QCOMPARE(JoukenEditor::of(*m_window), m_editor);
    for (const auto& f : kJoukenFields) {
        for (std::size_t i = 0; i < f.controls.size(); ++i) {
            if (f.controls[i].empty())
                continue;
            const auto found = m_window->findChildren<QWidget*>(qs(f.controls[i]));
            QVERIFY2(found.size() == 1, f.controls[i].data());
            QCOMPARE(found.front(), m_editor->control(f.no, static_cast<int>(i)));
        }
    }
    QCOMPARE(m_editor->findChildren<QCheckBox*>().size(), 115);
    QCOMPARE(find<QCheckBox>("cb_rsi_and_s")->text(), QString());
    QCOMPARE(find<QCheckBox>("cb_rsi_s")->text(), QStringLiteral("RSIが"));
    QCOMPARE(find<QComboBox>("cbx_volin_s")->itemText(3), QStringLiteral("-1σ以下"));
    QVERIFY(!find<QComboBox>("cbx_volin_s")->isEditable());
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_jouken);
}

void JoukenEditorTest::nothingIsCutOffOnAnyTab()
{
    QCOMPARE(m_window->size(), QSize(1119, 741));
    for (int i = 0; i < m_editor->pc_jouken->count(); ++i) {
        m_editor->pc_jouken->setCurrentIndex(i);
        QApplication::processEvents();
        const QString page = m_editor->pc_jouken->currentWidget()->objectName();
        QVERIFY2(test::squeezedWidgets(*m_window).isEmpty(),
                 qPrintable(page + QStringLiteral(": ") +
                            test::squeezedWidgets(*m_window).join(QStringLiteral("; "))));
        QVERIFY2(test::overlappingSiblings(*m_window).isEmpty(),
                 qPrintable(page + QStringLiteral(": ") +
                            test::overlappingSiblings(*m_window).join(QStringLiteral("; "))));
        QVERIFY2(test::unnamedControls(*m_window).isEmpty(),
                 qPrintable(page + QStringLiteral(": ") +
                            test::unnamedControls(*m_window).join(QStringLiteral("; "))));
    }
}

void JoukenEditorTest::defaultsAreTheDefaultColumn()
{
    m_editor->jouken_to_editor(everythingChanged());
    QTest::mouseClick(m_editor->sbtn_jouken_clear, Qt::LeftButton);

    TJouken record;
    record.set("KbnBuyjouken", "kept buy");
    record.set("KbnSelljouken", "kept sell");
    m_editor->editor_to_jouken(record);
    TJouken expected = TJouken::defaults();
    expected.set("KbnBuyjouken", "kept buy");
    expected.set("KbnSelljouken", "kept sell");
    QCOMPARE(record.value("AmtTesuryo"), std::string());
    for (const auto& f : kJoukenFields)
        QVERIFY2(record[f.no] == expected[f.no], f.key.data());

    // What the user sees, written out by hand.
    QCOMPARE(text("edt_com_amt"), QStringLiteral("1000000"));
    QCOMPARE(find<QComboBox>("cbx_com_tani")->currentText(), QStringLiteral("1株"));
    QCOMPARE(find<QComboBox>("cbx_com_naiyo")->currentText(), QStringLiteral("両方"));
    QCOMPARE(find<QComboBox>("cbx_com_rieki")->currentText(), QStringLiteral("すぐに反対の売買を行う"));
    QVERIFY(find<QRadioButton>("rb_com_sine")->isChecked());
    QCOMPARE(text("edt_rsi1"), QStringLiteral("9"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("25"));
    QCOMPARE(find<QComboBox>("cbx_rsi")->currentText(), QStringLiteral("以下"));
    QCOMPARE(text("edt_rsi2_s"), QStringLiteral("75"));
    QCOMPARE(find<QComboBox>("cbx_rsi_s")->currentText(), QStringLiteral("以上"));
    QCOMPARE(find<QComboBox>("cbx_stk_c1")->currentText(), QStringLiteral("%D"));
    QCOMPARE(text("edt_stk_c"), QStringLiteral("25"));
    QCOMPARE(find<QComboBox>("cbx_stk_c2")->currentText(), QStringLiteral("以下"));
    QCOMPARE(find<QComboBox>("cbx_stk_c1_s")->currentText(), QStringLiteral("%D"));
    QCOMPARE(text("edt_stk_c_s"), QStringLiteral("75"));
    QCOMPARE(find<QComboBox>("cbx_stk_c2_s")->currentText(), QStringLiteral("以上"));
    QCOMPARE(text("edt_parabo_af"), QStringLiteral("0.02"));
    QCOMPARE(text("edt_parabo_lim"), QStringLiteral("2.0"));
    QCOMPARE(find<QComboBox>("cbx_pseqchange")->currentText(), QStringLiteral("下落"));
    QCOMPARE(find<QComboBox>("cbx_volin")->currentText(), QStringLiteral("-2σ以下"));
    for (QCheckBox* box : m_editor->findChildren<QCheckBox*>())
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
}

void JoukenEditorTest::orAndBoxesExcludeEachOther()
{
    auto* orBox = find<QCheckBox>("cb_rsi");
    auto* andBox = find<QCheckBox>("cb_rsi_and");
    m_editor->pc_jouken->setCurrentWidget(m_editor->ts_buy_cond);
    QApplication::processEvents();
    QTest::mouseClick(andBox, Qt::LeftButton);
    QVERIFY(andBox->isChecked());
    QTest::mouseClick(orBox, Qt::LeftButton);
    QVERIFY(orBox->isChecked());
    QVERIFY(!andBox->isChecked());
    QTest::mouseClick(andBox, Qt::LeftButton);
    QVERIFY(andBox->isChecked());
    QVERIFY(!orBox->isChecked());
    // Unticking never ticks the partner.
    QTest::mouseClick(andBox, Qt::LeftButton);
    QVERIFY(!andBox->isChecked());
    QVERIFY(!orBox->isChecked());

    // Every row, both ways, by program changes.
    for (const auto& f : kJoukenFields) {
        if (f.kind != FieldKind::ConditionUse)
            continue;
        auto* rowOr = qobject_cast<QCheckBox*>(m_editor->control(f.no, 0));
        auto* rowAnd = qobject_cast<QCheckBox*>(m_editor->control(f.no, 1));
        rowOr->setChecked(true);
        rowAnd->setChecked(true);
        QVERIFY2(!rowOr->isChecked() && rowAnd->isChecked(), f.key.data());
        rowOr->setChecked(true);
        QVERIFY2(rowOr->isChecked() && !rowAnd->isChecked(), f.key.data());
        rowOr->setChecked(false);
        QVERIFY2(!rowOr->isChecked() && !rowAnd->isChecked(), f.key.data());
    }
    // A ticked box of one row leaves the other rows alone.
    find<QCheckBox>("cb_rsi_s")->setChecked(true);
    find<QCheckBox>("cb_rsi_and")->setChecked(true);
    QVERIFY(find<QCheckBox>("cb_rsi_s")->isChecked());
}

void JoukenEditorTest::untickingAllKeepsEveryValue()
{
    const TJouken changed = everythingChanged();
    m_editor->jouken_to_editor(changed);
    int ticked = 0;
    for (QCheckBox* box : m_editor->findChildren<QCheckBox*>())
        ticked += box->isChecked() ? 1 : 0;
    QCOMPARE(ticked, 59); // 56 conditions, each in one group, and the three common switches

    QTest::mouseClick(m_editor->sbtn_jouken_check, Qt::LeftButton);
    for (QCheckBox* box : m_editor->findChildren<QCheckBox*>())
        QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
    TJouken after;
    m_editor->editor_to_jouken(after);
    for (const auto& f : kJoukenFields) {
        if (f.kind == FieldKind::Unbound)
            continue;
        const std::string expected =
            f.kind == FieldKind::Switch || f.kind == FieldKind::ConditionUse ? "0" : changed[f.no];
        QVERIFY2(after[f.no] == expected, f.key.data());
    }
    QVERIFY(find<QRadioButton>("rb_com_taka")->isChecked());
}

void JoukenEditorTest::editorToRecordToEditorRestoresEveryControl()
{
    const TJouken changed = everythingChanged();
    QVERIFY(m_editor->jouken_to_editor(changed).empty());
    const QStringList shown = controlStates(*m_editor);
    TJouken copied;
    copied.set("KbnBuyjouken", "unbound");
    copied.set("KbnSelljouken", "unbound");
    m_editor->editor_to_jouken(copied);
    QVERIFY(copied == changed);

    m_editor->set_jouken_defaults();
    QVERIFY(controlStates(*m_editor) != shown);
    m_editor->jouken_to_editor(copied);
    QCOMPARE(controlStates(*m_editor), shown);
    // The stochastics threshold and the sell rows of the two stochastics conditions among them.
    QCOMPARE(text("edt_stk_c"), QString::number(no("AmtBuySTCC") % 97 + 1));
    QCOMPARE(text("edt_stk_c_s"), QString::number(no("AmtSellSTCC") % 97 + 1));
    QCOMPARE(find<QComboBox>("cbx_stk_c1_s")->currentText(), QStringLiteral("%SD"));
    QVERIFY(find<QCheckBox>("cb_stk_b_s")->isChecked() != find<QCheckBox>("cb_stk_b_and_s")->isChecked());
    QVERIFY(find<QRadioButton>("rb_com_taka")->isChecked());
}

void JoukenEditorTest::choicesAndButtonsGiveTheirPositions()
{
    find<QComboBox>("cbx_com_tani")->setCurrentIndex(0);
    QCOMPARE(find<QComboBox>("cbx_com_tani")->currentText(), QStringLiteral("1000株"));
    find<QRadioButton>("rb_com_yasu")->setChecked(true);
    find<QCheckBox>("cb_rsi_and")->setChecked(true);
    find<QLineEdit>("edt_rsi2_s")->setText(QStringLiteral(" +5"));
    find<QCheckBox>("cb_com_son")->setChecked(true);
    TJouken record;
    m_editor->editor_to_jouken(record);
    QCOMPARE(record.value("KbnTani"), std::string("0"));
    QCOMPARE(record.value("UseTradePrice"), std::string("4"));
    QCOMPARE(record.value("UseBuyRSI"), std::string("2"));
    QCOMPARE(record.value("UseSellRSI"), std::string("0"));
    QCOMPARE(record.value("AmtSellRSI2"), std::string(" +5"));
    QCOMPARE(record.value("UseSongiri"), std::string("1"));
    QCOMPARE(record.value("UseRikaku"), std::string("0"));
    find<QCheckBox>("cb_rsi")->setChecked(true);
    m_editor->editor_to_jouken(record);
    QCOMPARE(record.value("UseBuyRSI"), std::string("1"));
    // The global record is what the one-argument form fills.
    m_editor->editor_to_jouken();
    QCOMPARE(jouken.value("KbnTani"), std::string("0"));
}

void JoukenEditorTest::useValuesTickTheirBox()
{
    auto* orBox = find<QCheckBox>("cb_rsi_s");
    auto* andBox = find<QCheckBox>("cb_rsi_and_s");
    TJouken record = TJouken::defaults();
    orBox->setChecked(true);
    record.set("UseSellRSI", "2");
    m_editor->jouken_to_editor(record);
    QVERIFY(andBox->isChecked());
    QVERIFY(!orBox->isChecked());
    record.set("UseSellRSI", "1");
    m_editor->jouken_to_editor(record);
    QVERIFY(orBox->isChecked());
    QVERIFY(!andBox->isChecked());
    for (const char* other : {"0", "", "3", "x"}) {
        andBox->setChecked(true);
        record.set("UseSellRSI", other);
        m_editor->jouken_to_editor(record);
        QVERIFY2(!orBox->isChecked() && !andBox->isChecked(), other);
    }
    record.set("UseTesuryo", "2");
    m_editor->jouken_to_editor(record);
    QVERIFY(!find<QCheckBox>("cb_com_tesuu")->isChecked());
}

void JoukenEditorTest::anUnknownTradePriceKeepsTheSelection()
{
    find<QRadioButton>("rb_com_taka")->setChecked(true);
    TJouken record = TJouken::defaults();
    for (const char* value : {"", "0", "5", "12", "x"}) {
        record.set("UseTradePrice", value);
        m_editor->jouken_to_editor(record);
        QVERIFY2(find<QRadioButton>("rb_com_taka")->isChecked(), value);
    }
    record.set("UseTradePrice", "2");
    m_editor->jouken_to_editor(record);
    QVERIFY(find<QRadioButton>("rb_com_owari")->isChecked());
    QVERIFY(!find<QRadioButton>("rb_com_taka")->isChecked());
}

void JoukenEditorTest::typingStopsAtTheLengthLimit()
{
    struct Case {
        const char* name;
        const char* typed;
        const char* kept;
    };
    const Case cases[] = {
        {"edt_rsi1", "123", "12"},
        {"edt_rsi2", "-1234", "-123"},
        {"edt_P_mva_per2", "12345", "1234"},
        {"edt_P_mva_per2_s", "1234", "123"},
        {"edt_com_tesuu", "1234", "123"},
        {"edt_parabo_af", "0.25", "0.2"},
        {"edt_com_amt", "123456789012", "123456789012"},
    };
    for (const Case& c : cases) {
        auto* edit = find<QLineEdit>(c.name);
        edit->clear();
        QTest::keyClicks(edit, QString::fromLatin1(c.typed));
        QCOMPARE(edit->text(), QString::fromLatin1(c.kept));
    }
    // A longer text the program sets stays whole; typing cannot lengthen it, deleting shortens it.
    auto* factor = find<QLineEdit>("edt_parabo_af");
    m_editor->set_jouken_defaults();
    QCOMPARE(factor->text(), QStringLiteral("0.02"));
    factor->setCursorPosition(4);
    QTest::keyClicks(factor, QStringLiteral("5"));
    QCOMPARE(factor->text(), QStringLiteral("0.02"));
    QTest::keyClick(factor, Qt::Key_Backspace);
    QCOMPARE(factor->text(), QStringLiteral("0.0"));
    QTest::keyClicks(factor, QStringLiteral("5"));
    QCOMPARE(factor->text(), QStringLiteral("0.0"));
    TJouken record;
    record.set("AmtDayWIL_VI", "12345");
    m_editor->jouken_to_editor(record);
    QCOMPARE(text("edt_wil_vi"), QStringLiteral("12345"));
}

void JoukenEditorTest::checkReportsOnTheFailingFieldsTab()
{
    QVERIFY(m_editor->ValidateSimInput());
    QVERIFY(m_ui->messages->shown().empty());

    // On the results tab and the buy page, with several faults: the empty capital comes first.
    m_window->pc_stk_sim->setCurrentWidget(m_window->ts_stk_chart);
    m_editor->pc_jouken->setCurrentWidget(m_editor->ts_buy_cond);
    find<QLineEdit>("edt_com_amt")->clear();
    find<QCheckBox>("cb_rsi_and")->setChecked(true);
    find<QLineEdit>("edt_rsi2")->clear();
    find<QLineEdit>("edt_dpo1")->setText(QStringLiteral("21"));
    QVERIFY(!m_editor->ValidateSimInput());
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。")});
    QCOMPARE(m_ui->messages->last().kind, MsgKind::Confirmation);
    QCOMPARE(m_window->pc_stk_sim->currentWidget(), m_window->ts_stk_jouken);
    QCOMPARE(m_editor->pc_jouken->currentWidget(), m_editor->ts_common);
    QCOMPARE(m_window->focusWidget(), find<QLineEdit>("edt_com_amt"));

    find<QLineEdit>("edt_com_amt")->setText(QStringLiteral("1e6"));
    QVERIFY(!m_editor->ValidateSimInput());
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。"));
    QCOMPARE(m_editor->pc_jouken->currentWidget(), m_editor->ts_buy_cond);
    QCOMPARE(m_window->focusWidget(), find<QLineEdit>("edt_rsi2"));

    find<QLineEdit>("edt_rsi2")->setText(QStringLiteral("30"));
    QVERIFY(!m_editor->ValidateSimInput());
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("DPOの数値は偶数の必要があります。"));
    QCOMPARE(m_editor->pc_jouken->currentWidget(), m_editor->ts_culc_cond);
    QCOMPARE(m_window->focusWidget(), find<QLineEdit>("edt_dpo1"));

    find<QLineEdit>("edt_dpo1")->setText(QStringLiteral("0"));
    QVERIFY(!m_editor->ValidateSimInput());
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("DPOの数値は1以上にしてください。"));

    find<QLineEdit>("edt_dpo1")->setText(QStringLiteral("20"));
    find<QLineEdit>("edt_com_amt")->setText(QStringLiteral("0"));
    QVERIFY(!m_editor->ValidateSimInput());
    QCOMPARE(m_ui->messages->last().text,
             QStringLiteral("初期投資金額の数値は0より大きくする必要があります。"));

    find<QLineEdit>("edt_com_amt")->setText(QStringLiteral("1000000"));
    m_ui->messages->clear();
    QVERIFY(m_editor->ValidateSimInput());
    QVERIFY(m_ui->messages->shown().empty());
}

void JoukenEditorTest::sellVolumeRatioBShowsItsTabFirst()
{
    auto dialog = std::make_shared<TabWatchingDialog>(m_editor->pc_jouken);
    const auto previous = setMessageDialog(dialog);
    m_editor->pc_jouken->setCurrentWidget(m_editor->ts_common);
    find<QCheckBox>("cb_vr_b_s")->setChecked(true);
    find<QLineEdit>("edt_vr_b2_s")->clear();
    QVERIFY(!m_editor->ValidateSimInput());

    m_editor->pc_jouken->setCurrentWidget(m_editor->ts_common);
    find<QLineEdit>("edt_vr_b2_s")->setText(QStringLiteral("75"));
    find<QCheckBox>("cb_vr_b_and")->setChecked(true);
    find<QLineEdit>("edt_vr_b2")->clear();
    QVERIFY(!m_editor->ValidateSimInput());
    setMessageDialog(previous);

    QCOMPARE(dialog->pagesAtMessage,
             (QStringList{QStringLiteral("ts_sell_cond"), QStringLiteral("ts_common")}));
    QCOMPARE(m_editor->pc_jouken->currentWidget(), m_editor->ts_buy_cond);
    QCOMPARE(m_window->focusWidget(), find<QLineEdit>("edt_vr_b2"));
}

void JoukenEditorTest::checkReadsTheControlsOnly()
{
    jouken = everythingChanged();
    const TJouken before = jouken;
    find<QLineEdit>("edt_macd2")->setText(QStringLiteral("12"));
    QVERIFY(!m_editor->ValidateSimInput());
    QCOMPARE(m_ui->messages->last().text,
             QStringLiteral("MACDﾛﾝｸﾞの数値はMACDｼｮｰﾄより大きくする必要があります。"));
    QVERIFY(jouken == before);
    QCOMPARE(text("edt_macd2"), QStringLiteral("12"));
}

void JoukenEditorTest::registerAndDeleteNeedAStockAndAYes()
{
    // No stock: nothing is asked or written.
    QTest::mouseClick(m_editor->sbtn_jouken_add, Qt::LeftButton);
    QTest::mouseClick(m_editor->sbtn_jouken_del, Qt::LeftButton);
    QVERIFY(m_ui->messages->shown().empty());

    select("7203");
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("未登録"));
    m_ui->messages->answer(MsgResult::No);
    QTest::mouseClick(m_editor->sbtn_jouken_add, Qt::LeftButton);
    QCOMPARE(messageTexts(), QStringList{QStringLiteral("データを登録します。よろしいですか？")});
    QVERIFY(!QFile::exists(usrData(QStringLiteral("720311.dat"))));

    m_ui->messages->clear();
    find<QLineEdit>("edt_rsi2")->setText(QStringLiteral("33"));
    m_ui->messages->answer(MsgResult::Yes);
    QTest::mouseClick(m_editor->sbtn_jouken_add, Qt::LeftButton);
    QCOMPARE(messageTexts(), (QStringList{QStringLiteral("データを登録します。よろしいですか？"),
                                          QStringLiteral("データを登録しました。")}));
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("設定済"));
    QCOMPARE(jouken.value("AmtBuyRSI2"), std::string("33"));
    QCOMPARE(test::fileBytes(usrData(QStringLiteral("UsrCndCd.dat"))), QByteArray("7203,11,\r\n"));
    TJouken saved;
    QVERIFY(readConditionFile(usrData(QStringLiteral("720311.dat")).toStdString(), saved).ok());
    QCOMPARE(saved.value("AmtBuyRSI2"), std::string("33"));

    // Delete: No keeps the file; Yes removes it and keeps the editor.
    m_ui->messages->clear();
    m_ui->messages->answer(MsgResult::Dismissed);
    QTest::mouseClick(m_editor->sbtn_jouken_del, Qt::LeftButton);
    QVERIFY(QFile::exists(usrData(QStringLiteral("720311.dat"))));
    m_ui->messages->answer(MsgResult::Yes);
    QTest::mouseClick(m_editor->sbtn_jouken_del, Qt::LeftButton);
    QCOMPARE(messageTexts(), (QStringList{QStringLiteral("データを削除します。よろしいですか？"),
                                          QStringLiteral("データを削除します。よろしいですか？"),
                                          QStringLiteral("データを削除しました。")}));
    QVERIFY(!QFile::exists(usrData(QStringLiteral("720311.dat"))));
    QCOMPARE(test::fileBytes(usrData(QStringLiteral("UsrCndCd.dat"))), QByteArray(""));
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("未設定"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("33"));

    // Nothing left to delete: the question first, then the notice.
    m_ui->messages->clear();
    m_ui->messages->answer(MsgResult::Yes);
    QTest::mouseClick(m_editor->sbtn_jouken_del, Qt::LeftButton);
    QCOMPARE(messageTexts(), (QStringList{QStringLiteral("データを削除します。よろしいですか？"),
                                          QStringLiteral("売買条件が登録されていません。")}));
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("未設定"));
}

void JoukenEditorTest::selectingAStockLoadsItsSet()
{
    TJouken saved = TJouken::defaults();
    saved.set("AmtBuyRSI2", "40");
    saved.set("UseSellMACD", "2");
    saved.set("KbnBuyjouken", "from file");
    QVERIFY(registerConditionSet(m_base->path().toStdString(), ConditionSetId{"7203", "11"}, saved).ok());

    m_window->edt_sim_pst->setText(QStringLiteral("買い"));
    select("7203");
    QCOMPARE(m_resets, 1);
    QCOMPARE(work().stk_list.stkCd, std::string("7203"));
    QCOMPARE(work().stk_list.stkNm, std::string("トヨタ自動車"));
    QCOMPARE(work().stk_list.mktCd, std::string("11"));
    QCOMPARE(work().stk_list.mktNm, std::string("東証一部"));
    QCOMPARE(text("edt_sim_stk"), QStringLiteral("トヨタ自動車"));
    QCOMPARE(text("edt_sim_mkt"), QStringLiteral("東証一部"));
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("登録済"));
    QCOMPARE(text("edt_sim_pst"), QStringLiteral("N/A"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("40"));
    QVERIFY(find<QCheckBox>("cb_macd_and_s")->isChecked());
    QCOMPARE(jouken.value("KbnBuyjouken"), std::string("from file"));
    QCOMPARE(work().stk_tbl_rows, 194);
    QCOMPARE(work().stk_tbl->cell(1, 194), std::string("AmtDayMAC_SI"));
    QVERIFY(m_ui->messages->shown().empty());

    // Another stock without a set leaves the editor as it was.
    find<QLineEdit>("edt_rsi2")->setText(QStringLiteral("41"));
    m_window->notifyStockRowSelected(TStkList{"6758", "ソニー", "21", "大証一部"});
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("未登録"));
    QCOMPARE(text("edt_sim_stk"), QStringLiteral("ソニー"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("41"));
    QCOMPARE(work().stk_list.mktCd, std::string("21"));
}

void JoukenEditorTest::selectingARowWithoutCodeOnlyResetsTheResults()
{
    select("7203");
    find<QLineEdit>("edt_rsi2")->setText(QStringLiteral("41"));
    m_resets = 0;
    m_window->notifyStockRowSelected(TStkList{"", "名前だけ", "12", "東証二部"});
    QCOMPARE(m_resets, 1);
    QCOMPARE(work().stk_list.stkCd, std::string("7203"));
    QCOMPARE(text("edt_sim_stk"), QStringLiteral("トヨタ自動車"));
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("未登録"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("41"));
}

void JoukenEditorTest::aDamagedChoiceShowsTheFirstItemAndSaysSo()
{
    QVERIFY(QDir(m_base->path()).mkpath(QStringLiteral("UsrData")));
    QVERIFY(test::writeFileBytes(usrData(QStringLiteral("720311.dat")),
                                 "KbnBuyRSI,7,\r\nKbnTani,x,\r\nKbnSellVorin,2,\r\nAmtBuyRSI2,44,\r\n"));
    jouken = TJouken::defaults();
    select("7203");
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("登録済"));
    QCOMPARE(find<QComboBox>("cbx_rsi")->currentIndex(), 0);
    QCOMPARE(find<QComboBox>("cbx_com_tani")->currentText(), QStringLiteral("1000株"));
    QCOMPARE(find<QComboBox>("cbx_volin_s")->currentText(), QStringLiteral("+1σ以上"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("44"));
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    const QString message = m_ui->messages->last().text;
    QVERIFY2(message.contains(QStringLiteral("KbnTani")) && message.contains(QStringLiteral("KbnBuyRSI")),
             qPrintable(message));
    QVERIFY(!message.contains(QStringLiteral("KbnSellVorin")));
    QCOMPARE(m_ui->messages->last().kind, MsgKind::Warning);
}

void JoukenEditorTest::anEmptyFileKeepsTheEditor()
{
    QVERIFY(QDir(m_base->path()).mkpath(QStringLiteral("UsrData")));
    QVERIFY(test::writeFileBytes(usrData(QStringLiteral("720311.dat")), ""));
    jouken = TJouken::defaults();
    jouken.set("AmtBuyRSI2", "20");
    find<QLineEdit>("edt_rsi2")->setText(QStringLiteral("41"));
    select("7203");
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("登録済"));
    // The unchanged record is shown again.
    QCOMPARE(text("edt_rsi2"), QStringLiteral("20"));
    QVERIFY(m_ui->messages->shown().empty());
}

void JoukenEditorTest::aValueWithACommaIsNotRegistered()
{
    select("7203");
    find<QLineEdit>("edt_com_amt")->setText(QStringLiteral("1,000,000"));
    m_editor->pc_jouken->setCurrentWidget(m_editor->ts_culc_cond);
    m_ui->messages->answer(MsgResult::Yes);
    QTest::mouseClick(m_editor->sbtn_jouken_add, Qt::LeftButton);
    QCOMPARE(m_ui->messages->last().text, QStringLiteral("カンマ(,)を含む数値は登録できません。"));
    QCOMPARE(m_editor->pc_jouken->currentWidget(), m_editor->ts_common);
    QCOMPARE(m_window->focusWidget(), find<QLineEdit>("edt_com_amt"));
    QVERIFY(!QDir(usrData(QString())).exists());
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("未登録"));
}

void JoukenEditorTest::anUnreadableSetIsReported()
{
    QVERIFY(QDir(m_base->path()).mkpath(QStringLiteral("UsrData/720311.dat")));
    find<QLineEdit>("edt_rsi2")->setText(QStringLiteral("41"));
    select("7203");
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    QCOMPARE(m_ui->messages->last().kind, MsgKind::Error);
    QCOMPARE(text("edt_sim_cdt"), QString());
    QCOMPARE(text("edt_sim_stk"), QStringLiteral("トヨタ自動車"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("41"));
}

// A condition file edited elsewhere: line 2 holds a byte that no Shift-JIS text has, line 3 an empty
// RCI period. The other lines load, the skipped one is named, and the run takes the default period.
void JoukenEditorTest::aLineThatIsNotShiftJisIsSkippedAndNamed()
{
    QVERIFY(QDir(m_base->path()).mkpath(QStringLiteral("UsrData")));
    QVERIFY(test::writeFileBytes(
        usrData(QStringLiteral("720311.dat")),
        "AmtBuyRSI2,44,\r\nAmtBuyRSI1,\x82\xFF,\r\nAmtBuyRCI1,,\r\nAmtSellRSI2,61,\r\n"));
    jouken = TJouken::defaults();
    select("7203");
    QCOMPARE(text("edt_sim_cdt"), QStringLiteral("登録済"));
    QCOMPARE(text("edt_rsi2"), QStringLiteral("44"));
    QCOMPARE(text("edt_rsi2_s"), QStringLiteral("61"));
    QCOMPARE(text("edt_rsi1"), QStringLiteral("9")); // the skipped line left the default
    QCOMPARE(text("edt_rci1"), QString());
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
    QCOMPARE(m_ui->messages->last().kind, MsgKind::Warning);
    const QString message = m_ui->messages->last().text;
    QVERIFY2(message.startsWith(QStringLiteral("売買条件ファイルの 2 行目は")), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("720311.dat")));

    // An empty RCI period is the engine's default: the check lets the run go on.
    QVERIFY(m_editor->ValidateSimInput());
    QCOMPARE(m_ui->messages->shown().size(), std::size_t{1});
}

QTEST_MAIN(JoukenEditorTest)
#include "JoukenEditorTest.moc"
