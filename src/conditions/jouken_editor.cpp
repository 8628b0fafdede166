#include "conditions/jouken_editor.h"

#include "conditions/ConditionCatalogue.h"
#include "conditions/EditorLayout.h"
#include "conditions/ValidationTable.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "workbench/Workbench.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cassert>
#include <string>

namespace vorteq {

namespace {

template <class T> T* named(T* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}

// Controls keep the size their text needs; a page too small for them scrolls instead of cutting.
template <class T> T* fixedSize(T* widget)
{
    widget->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    return widget;
}

QLabel* label(QWidget* parent, const QString& name, std::string_view text)
{
    return fixedSize(named(new QLabel(qs(text), parent), name));
}

// The control name without its type prefix ("edt_rsi2" -> "rsi2"), for the names of its labels.
QString role(std::string_view controlName)
{
    const auto underscore = controlName.find('_');
    return qs(underscore == std::string_view::npos ? controlName : controlName.substr(underscore + 1));
}

QToolButton* barButton(QWidget* parent, const char* name, const QString& caption, const QString& hint)
{
    auto* button = named(new QToolButton(parent), QString::fromLatin1(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    return button;
}

// A tab page whose content scrolls when the panel is smaller than the content.
QWidget* scrollingPage(QWidget* content, const QString& pageName)
{
    auto* page = named(new QWidget(), pageName);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* area = named(new QScrollArea(page), QStringLiteral("sc_") + pageName.mid(3));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setWidget(content);
    layout->addWidget(area);
    return page;
}

} // namespace

JoukenEditor::JoukenEditor(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnl_jouken"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(buildButtonBar());

    pc_jouken = named(new QTabWidget(this), QStringLiteral("pc_jouken"));
    pc_jouken->setDocumentMode(true);
    ts_common = buildCommonTab();
    ts_buy_cond = buildConditionTab(Side::Buy);
    ts_sell_cond = buildConditionTab(Side::Sell);
    ts_culc_cond = buildCalcTab();
    pc_jouken->addTab(ts_common, QStringLiteral("共通条件"));
    pc_jouken->addTab(ts_buy_cond, QStringLiteral("買い条件"));
    pc_jouken->addTab(ts_sell_cond, QStringLiteral("売り条件"));
    pc_jouken->addTab(ts_culc_cond, QStringLiteral("計算条件"));
    layout->addWidget(pc_jouken, 1);

    checkEveryFieldIsBound();
    set_jouken_defaults();
}

QWidget* JoukenEditor::buildButtonBar()
{
    auto* bar = named(new QWidget(this), QStringLiteral("pnl_jouken_bar"));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    sbtn_jouken_clear = barButton(bar, "sbtn_jouken_clear", QStringLiteral("初期値に戻す"),
                                  QStringLiteral("売買条件を初期値に戻します"));
    sbtn_jouken_check = barButton(bar, "sbtn_jouken_check", QStringLiteral("ﾁｪｯｸを外す"),
                                  QStringLiteral("すべての条件のﾁｪｯｸを外します"));
    sbtn_jouken_add = barButton(bar, "sbtn_jouken_add", QStringLiteral("売買条件の登録"),
                                QStringLiteral("選択中の銘柄に売買条件を登録します"));
    sbtn_jouken_del = barButton(bar, "sbtn_jouken_del", QStringLiteral("売買条件の削除"),
                                QStringLiteral("選択中の銘柄の売買条件を削除します"));
    for (QToolButton* button : {sbtn_jouken_clear, sbtn_jouken_check, sbtn_jouken_add, sbtn_jouken_del})
        layout->addWidget(button);
    layout->addStretch(1);
    connect(sbtn_jouken_clear, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_jouken_clearClick(); }); });
    connect(sbtn_jouken_check, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_jouken_checkClick(); }); });
    connect(sbtn_jouken_add, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_jouken_addClick(); }); });
    connect(sbtn_jouken_del, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_jouken_delClick(); }); });
    return bar;
}

QLineEdit* JoukenEditor::makeEdit(QWidget* parent, int field)
{
    const JoukenFieldDef& f = kJoukenFields[field];
    auto* edit = fixedSize(named(new QLineEdit(parent), qs(f.controls[0])));
    const int maxLength = fieldMaxLength(field);
    if (maxLength > 0) {
        edit->setMaxLength(maxLength);
        connect(edit, &QLineEdit::textEdited, edit, [edit, maxLength](const QString& now) {
            if (now.size() <= maxLength)
                edit->setMaxLength(maxLength);
        });
    }
    // Room for the characters the field takes and the frame; a longer loaded text scrolls.
    const int chars = maxLength > 0 ? std::max(maxLength, 2) : 10;
    edit->setFixedWidth(QFontMetrics(edit->font()).horizontalAdvance(QString(chars, QLatin1Char('0'))) + 14);
    m_bound[static_cast<std::size_t>(field)].edit = edit;
    return edit;
}

QComboBox* JoukenEditor::makeList(QWidget* parent, int field)
{
    const JoukenFieldDef& f = kJoukenFields[field];
    auto* list = fixedSize(named(new QComboBox(parent), qs(f.controls[0])));
    list->setEditable(false);
    for (std::string_view item : f.items)
        list->addItem(qs(item));
    m_bound[static_cast<std::size_t>(field)].list = list;
    return list;
}

QCheckBox* JoukenEditor::makeSwitch(QWidget* parent, int field, const QString& caption)
{
    auto* box = fixedSize(named(new QCheckBox(caption, parent), qs(kJoukenFields[field].controls[0])));
    m_bound[static_cast<std::size_t>(field)].box = box;
    return box;
}

QWidget* JoukenEditor::buildCommonTab()
{
    auto* content = named(new QWidget(), QStringLiteral("pnl_common"));
    auto* layout = new QVBoxLayout(content);

    auto* basic = named(new QGroupBox(QStringLiteral("基本条件"), content), QStringLiteral("gb_com_basic"));
    auto* grid = new QGridLayout(basic);
    auto* amount = new QHBoxLayout();
    amount->addWidget(makeEdit(basic, fieldNo("AmtTousi")));
    amount->addWidget(label(basic, QStringLiteral("lbl_com_amt_yen"), "円"));
    amount->addStretch(1);
    grid->addWidget(label(basic, QStringLiteral("lbl_com_amt"), "初期投資金額"), 0, 0);
    grid->addLayout(amount, 0, 1);
    grid->addWidget(label(basic, QStringLiteral("lbl_com_tani"), "売買単位株式数"), 1, 0);
    grid->addWidget(makeList(basic, fieldNo("KbnTani")), 1, 1, Qt::AlignLeft);
    grid->addWidget(label(basic, QStringLiteral("lbl_com_naiyo"), "実行取引内容"), 2, 0);
    grid->addWidget(makeList(basic, fieldNo("KbnTrade")), 2, 1, Qt::AlignLeft);
    auto* commission = new QHBoxLayout();
    commission->addWidget(makeEdit(basic, fieldNo("AmtTesuryo")));
    commission->addWidget(makeList(basic, fieldNo("KbnTesuryo")));
    commission->addStretch(1);
    grid->addWidget(makeSwitch(basic, fieldNo("UseTesuryo"), QStringLiteral("取引手数料")), 3, 0);
    grid->addLayout(commission, 3, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(basic);

    auto* exits =
        named(new QGroupBox(QStringLiteral("利確・損切り条件"), content), QStringLiteral("gb_com_exit"));
    auto* exitGrid = new QGridLayout(exits);
    struct ExitRow {
        const char* use;
        const char* caption;
        const char* amount;
        const char* percentName;
        const char* percentText;
        const char* afterName;
        const char* afterText;
        const char* choice;
    };
    const ExitRow rows[] = {
        {"UseRikaku", "利益確定する", "AmtRikaku", "lbl_com_rieki", "％以上の利益", "lbl_com_rieki_after",
         "利益確定した場合", "KbnRikaku"},
        {"UseSongiri", "損切りする", "AmtSongiri", "lbl_com_son", "％以上の損失", "lbl_com_son_after",
         "損切りした場合", "KbnSongiri"},
    };
    for (int r = 0; r < 2; ++r) {
        const ExitRow& row = rows[r];
        exitGrid->addWidget(makeSwitch(exits, *findJoukenField(row.use), QString::fromUtf8(row.caption)), r,
                            0);
        exitGrid->addWidget(makeEdit(exits, *findJoukenField(row.amount)), r, 1);
        exitGrid->addWidget(label(exits, QString::fromLatin1(row.percentName), row.percentText), r, 2);
        QLabel* after = label(exits, QString::fromLatin1(row.afterName), row.afterText);
        after->setContentsMargins(12, 0, 0, 0); // set apart from the percentage before it
        exitGrid->addWidget(after, r, 3);
        exitGrid->addWidget(makeList(exits, *findJoukenField(row.choice)), r, 4);
    }
    exitGrid->setColumnStretch(5, 1);
    layout->addWidget(exits);

    auto* price =
        named(new QGroupBox(QStringLiteral("売買時の取引価格"), content), QStringLiteral("gb_com_price"));
    auto* priceRow = new QHBoxLayout(price);
    const int tradePrice = fieldNo("UseTradePrice");
    Bound& bound = m_bound[static_cast<std::size_t>(tradePrice)];
    for (std::size_t i = 0; i < bound.radios.size(); ++i) {
        bound.radios[i] = fixedSize(named(new QRadioButton(qs(kTradePriceItems[i]), price),
                                          qs(kJoukenFields[tradePrice].controls[i])));
        priceRow->addWidget(bound.radios[i]);
        priceRow->addSpacing(12);
    }
    bound.radios[0]->setChecked(true);
    priceRow->addStretch(1);
    layout->addWidget(price);
    layout->addStretch(1);
    return scrollingPage(content, QStringLiteral("ts_common"));
}

QWidget* JoukenEditor::buildConditionTab(Side side)
{
    const bool sell = side == Side::Sell;
    const QString suffix = sell ? QStringLiteral("_s") : QString();
    auto* content =
        named(new QWidget(), sell ? QStringLiteral("pnl_sell_cond") : QStringLiteral("pnl_buy_cond"));
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(3);
    // Each column of rows takes four grid columns: And box, Or box with caption, inputs, a gap.
    for (int column = 0; column < 2; ++column) {
        const QString where = column == 0 ? QStringLiteral("left") : QStringLiteral("right");
        grid->addWidget(label(content, QStringLiteral("lbl_and_") + where + suffix, "And"), 0, column * 4);
        grid->addWidget(label(content, QStringLiteral("lbl_or_") + where + suffix, "Or"), 0, column * 4 + 1);
    }
    for (const ConditionDef* c : conditionsInEditorOrder())
        addConditionRow(grid, c->slot.row, c->slot.column * 4, *c, side);
    grid->setColumnMinimumWidth(3, 10);
    grid->setColumnStretch(7, 1);
    grid->setRowStretch(15, 1);
    return scrollingPage(content, sell ? QStringLiteral("ts_sell_cond") : QStringLiteral("ts_buy_cond"));
}

void JoukenEditor::addConditionRow(QGridLayout* grid, int gridRow, int gridColumn, const ConditionDef& c,
                                   Side side)
{
    QWidget* parent = grid->parentWidget();
    const ConditionKeys& keys = c.keys(side);
    auto* andBox = fixedSize(named(new QCheckBox(parent), qs(andBoxName(c, side))));
    auto* orBox = fixedSize(named(new QCheckBox(qs(c.caption), parent), qs(orBoxName(c, side))));
    Bound& use = m_bound[static_cast<std::size_t>(keys.use)];
    use.box = orBox;
    use.andBox = andBox;
    // Clicks and program changes alike keep at most one box of the row ticked.
    connect(orBox, &QCheckBox::toggled, this, [orBox, andBox] { uncheck_partner(orBox, andBox); });
    connect(andBox, &QCheckBox::toggled, this, [andBox, orBox] { uncheck_partner(andBox, orBox); });
    grid->addWidget(andBox, gridRow, gridColumn, Qt::AlignHCenter);
    grid->addWidget(orBox, gridRow, gridColumn + 1);

    auto* inputs = new QHBoxLayout();
    inputs->setSpacing(3);
    if (keys.lineChoice >= 0) {
        inputs->addWidget(makeList(parent, keys.lineChoice));
        inputs->addWidget(
            label(parent, QStringLiteral("lbl_") + role(lineChoiceName(c, side)), c.lineChoiceLabel));
    }
    if (keys.threshold >= 0) {
        inputs->addWidget(makeEdit(parent, keys.threshold));
        if (!c.editLabel.empty())
            inputs->addWidget(label(parent, QStringLiteral("lbl_") + role(editName(c, side)), c.editLabel));
    }
    inputs->addWidget(makeList(parent, keys.choice));
    inputs->addStretch(1);
    grid->addLayout(inputs, gridRow, gridColumn + 2);
}

QWidget* JoukenEditor::buildCalcTab()
{
    auto* content = named(new QWidget(), QStringLiteral("pnl_culc_cond"));
    auto* layout = new QVBoxLayout(content);
    auto* group =
        named(new QGroupBox(QStringLiteral("テクニカル指標の計算条件"), content), QStringLiteral("gb_culc"));
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(
        label(group, QStringLiteral("lbl_culc_note"),
              "※初期値として一般的な数値が入力されています。必要に応じて変更してください。"));
    auto* columns = new QHBoxLayout();
    QGridLayout* grids[2] = {new QGridLayout(), new QGridLayout()};
    QHBoxLayout* rowInputs = nullptr;
    std::vector<QHBoxLayout*> rows;
    int lastColumn = -1;
    int lastRow = -1;
    for (const CalcTabField& place : calcTabFields()) {
        const std::string_view editControl = kJoukenFields[place.field].controls[0];
        const QString name = role(editControl);
        QGridLayout* grid = grids[place.column];
        if (place.column != lastColumn || place.row != lastRow) {
            grid->addWidget(label(group, QStringLiteral("lbl_") + name, place.heading), place.row, 0);
            rowInputs = new QHBoxLayout();
            rowInputs->setSpacing(3);
            grid->addLayout(rowInputs, place.row, 1);
            rows.push_back(rowInputs);
            lastColumn = place.column;
            lastRow = place.row;
        } else {
            rowInputs->addSpacing(8);
        }
        if (!place.label.empty())
            rowInputs->addWidget(
                label(group, QStringLiteral("lbl_") + name + QStringLiteral("_cap"), place.label));
        rowInputs->addWidget(makeEdit(group, place.field));
        if (kJoukenFields[place.field].role == NumberRole::Period)
            rowInputs->addWidget(label(group, QStringLiteral("lbl_") + name + QStringLiteral("_day"), "日"));
    }
    for (QHBoxLayout* inputs : rows)
        inputs->addStretch(1);
    for (QGridLayout* grid : grids) {
        grid->setVerticalSpacing(3);
        grid->setHorizontalSpacing(8);
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(grid->rowCount(), 1);
        columns->addLayout(grid);
        columns->addSpacing(16);
    }
    columns->addStretch(1);
    groupLayout->addLayout(columns);
    layout->addWidget(group);
    layout->addStretch(1);
    return scrollingPage(content, QStringLiteral("ts_culc_cond"));
}

void JoukenEditor::checkEveryFieldIsBound() const
{
    for (const auto& f : kJoukenFields) {
        const Bound& b = m_bound[static_cast<std::size_t>(f.no)];
        bool bound = true;
        switch (f.kind) {
        case FieldKind::Number:
            bound = b.edit != nullptr;
            break;
        case FieldKind::Choice:
            bound = b.list != nullptr && b.list->count() == static_cast<int>(f.items.size());
            break;
        case FieldKind::Switch:
            bound = b.box != nullptr;
            break;
        case FieldKind::ConditionUse:
            bound = b.box != nullptr && b.andBox != nullptr;
            break;
        case FieldKind::TradePrice:
            for (const QRadioButton* radio : b.radios)
                bound = bound && radio != nullptr;
            break;
        case FieldKind::Unbound:
            break;
        }
        assert(bound && "a field of the condition record has no control on the editor");
        (void)bound;
    }
}

JoukenEditor* JoukenEditor::install(Workbench& window)
{
    auto* editor = new JoukenEditor(window.ts_stk_jouken);
    editor->m_window = &window;
    window.installJoukenEditor(editor);
    QPointer<JoukenEditor> guarded(editor);
    window.hooks().joukenDefaults = [guarded] {
        if (guarded)
            guarded->set_jouken_defaults();
    };
    window.hooks().stockSelected.push_back([guarded](const TStkList& row) {
        if (guarded)
            guarded->sg_stk_cdClick(row);
    });
    return editor;
}

JoukenEditor* JoukenEditor::of(const Workbench& window)
{
    return window.ts_stk_jouken ? window.ts_stk_jouken->findChild<JoukenEditor*>() : nullptr;
}

QWidget* JoukenEditor::control(int field, int which) const
{
    const Bound& b = m_bound[static_cast<std::size_t>(field)];
    switch (kJoukenFields[field].kind) {
    case FieldKind::Number:
        return b.edit;
    case FieldKind::Choice:
        return b.list;
    case FieldKind::Switch:
        return b.box;
    case FieldKind::ConditionUse:
        return which == 0 ? static_cast<QWidget*>(b.box) : b.andBox;
    case FieldKind::TradePrice:
        return b.radios[static_cast<std::size_t>(which)];
    case FieldKind::Unbound:
        break;
    }
    return nullptr;
}

QWidget* JoukenEditor::tabPage(std::string_view name) const
{
    for (QWidget* page : {ts_common, ts_buy_cond, ts_sell_cond, ts_culc_cond})
        if (page->objectName() == qs(name))
            return page;
    return nullptr;
}

void JoukenEditor::uncheck_partner(QCheckBox* clicked, QCheckBox* partner)
{
    if (clicked->isChecked())
        partner->setChecked(false);
}

} // namespace vorteq
