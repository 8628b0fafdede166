#include "screening/screening_panel.h"

#include "common/Csv.h"
#include "gateway/THttpStatements.h"
#include "screening/ScreeningCriteria.h"
#include "screening/ScreeningQuery.h"
#include "screening/StockListColumns.h"
#include "screening/TradingDay.h"
#include "series/MarketTable.h"
#include "widgets/DateEdit.h"
#include "widgets/FileSaveDialog.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"
#include "widgets/grid_common.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"
#include "workbench/common_unit.h"
#include "workbench/orq_common.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QEvent>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include <utility>

namespace vorteq {

namespace {

const QString kStatusSuffix = QStringLiteral("件のデータ");

// The list's columns from "始値" on hold prices and indicator values: numbers, shown right-aligned.
constexpr int kFirstNumberColumn = 4;
constexpr int kNameColumn = 1;
// A typical stock name, demo suffix included: the name column is made this wide.
const QString kTypicalName = QStringLiteral("日本ハウジング工業（サンプル）");

template <class T> T* named(T* widget, std::string_view name)
{
    widget->setObjectName(qs(name));
    return widget;
}

QDate toQDate(const Date& date)
{
    return QDate(date.year, date.month, date.day);
}

// Notes each mouse press on the list, so that the click which follows a press that moved the cursor
// does not report the same row a second time.
class PressWatcher : public QObject {
public:
    explicit PressWatcher(QObject* parent) : QObject(parent) {}
    bool rowReportedSincePress = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)
            rowReportedSincePress = false;
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

ScreeningPanel::ScreeningPanel(Workbench& window, THttpStatements& statements)
    : QWidget(nullptr), m_window(window), m_statements(statements)
{
    setObjectName(QStringLiteral("pnl_screening"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);

    m_conditions.resize(kScreeningConditionCount);
    pc_stk_serch = named(new QTabWidget(this), "pc_stk_serch");
    pc_stk_serch->setDocumentMode(true);
    ts_stk_usual = buildUsualTab();
    ts_stk_additional = buildConditionTab(ScreeningTab::Additional, 2);
    ts_technical = buildConditionTab(ScreeningTab::Technical, 4);
    pc_stk_serch->addTab(ts_stk_usual, QStringLiteral("検索条件"));
    pc_stk_serch->addTab(ts_stk_additional, QStringLiteral("追加条件A"));
    pc_stk_serch->addTab(ts_technical, QStringLiteral("追加条件B"));
    pc_stk_serch->setCurrentWidget(ts_stk_usual);
    layout->addWidget(pc_stk_serch);

    sg_stk_cd = named(new StringGrid(this), "sg_stk_cd");
    sg_stk_cd->setColCount(kStockListVisibleColumns);
    sg_stk_cd->setDefaultColWidth(75);
    sg_stk_cd->setDefaultRowHeight(18);
    QStringList titles;
    for (int c = 0; c < kStockListVisibleColumns; ++c)
        titles << qs(kStockListColumns[static_cast<std::size_t>(c)].header);
    sg_stk_cd->setTitles(titles);
    sg_stk_cd->setRowCount(2);
    for (int c = kFirstNumberColumn; c < kStockListVisibleColumns; ++c)
        sg_stk_cd->model().setColumnAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    sg_stk_cd->setColumnWidth(kNameColumn, sg_stk_cd->fontMetrics().horizontalAdvance(kTypicalName) + 12);
    // A title click sorts what is shown; the rows as the server sent them stay for the export.
    sg_stk_cd->setSortableByTitle(true);
    layout->addWidget(sg_stk_cd, 1);

    auto* watcher = new PressWatcher(sg_stk_cd);
    sg_stk_cd->viewport()->installEventFilter(watcher);
    // The target follows the row under the cursor, whether a mouse button (either one) or the keyboard
    // moved it; a click on the row that is already current selects it again.
    connect(sg_stk_cd, &StringGrid::currentRowChanged, this, [this, watcher](int row) {
        // A sort moves the cursor's row on the screen, not to another stock.
        if (m_filling || row < 1 || row == m_reportedRow)
            return;
        watcher->rowReportedSincePress = true;
        runAction([this] { sg_stk_cdClick(); });
    });
    connect(sg_stk_cd, &StringGrid::cellClicked, this, [this, watcher](int, int) {
        if (std::exchange(watcher->rowReportedSincePress, false))
            return;
        runAction([this] { sg_stk_cdClick(); });
    });

    sb_stk_cd = named(new QLabel(this), "sb_stk_cd");
    sb_stk_cd->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setStatusCount(0);
    layout->addWidget(sb_stk_cd);
}

ScreeningPanel* ScreeningPanel::install(Workbench& window)
{
    auto* panel = new ScreeningPanel(window, window.http_statements());
    window.installScreeningPanel(panel);
    QPointer<ScreeningPanel> guarded(panel);
    Workbench::Hooks& hooks = window.hooks();
    hooks.search = [guarded] {
        if (guarded)
            guarded->sbtn_get_stk_infoClick();
    };
    hooks.searchReset = [guarded] {
        if (guarded)
            guarded->search_reset();
    };
    hooks.exportStockList = [guarded] {
        if (guarded)
            guarded->sbtn_save_stkClick();
    };
    return panel;
}

QWidget* ScreeningPanel::buildUsualTab()
{
    auto* page = named(new QWidget(this), "ts_stk_usual");
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);

    // The window keeps these two choices in its settings file; they stand on this tab.
    cbx_stk_tgt = m_window.cbx_stk_tgt;
    cbx_mkt_cd = m_window.cbx_mkt_cd;
    edt_stk_cd = named(new QLineEdit(page), "edt_stk_cd");
    edt_stk_nm = named(new QLineEdit(page), "edt_stk_nm");
    dtp_kdate = named(new DateEdit(page), "dtp_kdate");
    dtp_kdate->setDate(QDate::currentDate());

    const std::pair<const char*, QWidget*> rows[] = {
        {"検索対象", cbx_stk_tgt}, {"銘柄コード", edt_stk_cd}, {"銘柄名称", edt_stk_nm},
        {"市場名称", cbx_mkt_cd},  {"基準日", dtp_kdate},
    };
    int r = 0;
    for (const auto& [caption, control] : rows) {
        grid->addWidget(new QLabel(QString::fromUtf8(caption), page), r, 0);
        grid->addWidget(control, r, 1);
        control->show();
        ++r;
    }
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(r, 1);
    return page;
}

QWidget* ScreeningPanel::buildConditionTab(ScreeningTab tab, int columns)
{
    const char* name = tab == ScreeningTab::Additional ? "ts_stk_additional" : "ts_technical";
    auto* page = named(new QWidget(this), name);
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    // The rows are wider than the panel at its normal width: they scroll until the panel is widened.
    auto* scroll = new QScrollArea(page);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    auto* content = new QWidget(scroll);
    auto* grid = new QGridLayout(content);
    grid->setContentsMargins(6, 6, 6, 6);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(4);
    int rows = 0;
    const auto& table = screeningConditions();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].tab != tab)
            continue;
        grid->addWidget(buildConditionRow(content, i), table[i].gridRow, table[i].gridColumn, Qt::AlignLeft);
        rows = std::max(rows, table[i].gridRow + 1);
    }
    grid->setRowStretch(rows, 1);
    grid->setColumnStretch(columns, 1);
    scroll->setWidget(content);
    pageLayout->addWidget(scroll);
    return page;
}

QWidget* ScreeningPanel::buildConditionRow(QWidget* parent, std::size_t index)
{
    const ScreeningCondition& condition = screeningConditions()[index];
    ConditionWidgets& widgets = m_conditions[index];
    auto* cell = new QWidget(parent);
    auto* row = new QHBoxLayout(cell);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(3);
    widgets.use = named(new QCheckBox(qs(condition.caption), cell), condition.checkBox);
    row->addWidget(widgets.use);
    for (std::size_t i = 0; i < condition.controlCount; ++i) {
        const ConditionControl& control = condition.controls[i];
        if (control.kind == InputKind::Number) {
            widgets.number = named(new QLineEdit(cell), control.name);
            widgets.number->setMaxLength(kConditionFieldMaxLength);
            widgets.number->setFixedWidth(
                widgets.number->fontMetrics().horizontalAdvance(QStringLiteral("-000")) + 16);
            row->addWidget(widgets.number);
            if (!control.unit.empty())
                row->addWidget(new QLabel(qs(control.unit), cell));
        } else {
            auto* combo = named(new QComboBox(cell), control.name);
            combo->setEditable(false);
            for (std::string_view item : control.items)
                combo->addItem(qs(item));
            combo->setCurrentIndex(control.initial);
            widgets.choices.push_back(combo);
            row->addWidget(combo);
        }
    }
    return cell;
}

QWidget* ScreeningPanel::tabPage(ScreeningTab tab) const
{
    switch (tab) {
    case ScreeningTab::Usual:
        return ts_stk_usual;
    case ScreeningTab::Additional:
        return ts_stk_additional;
    case ScreeningTab::Technical:
        return ts_technical;
    }
    return ts_stk_usual;
}

ScreeningCriteria ScreeningPanel::criteria() const
{
    ScreeningCriteria c;
    c.target = cbx_stk_tgt->currentIndex() == 1 ? StockTarget::Registered : StockTarget::All;
    c.stockCode = edt_stk_cd->text().toStdString();
    c.stockName = edt_stk_nm->text().toStdString();
    c.marketPosition = cbx_mkt_cd->currentIndex();
    const QDate date = dtp_kdate->date();
    c.baseDate = Date{date.year(), date.month(), date.day()};
    for (std::size_t i = 0; i < m_conditions.size(); ++i) {
        const ConditionWidgets& w = m_conditions[i];
        ConditionState& state = c.conditions[i];
        state.use = w.use->isChecked();
        if (w.number)
            state.number = w.number->text().toStdString();
        for (std::size_t k = 0; k < w.choices.size() && k < state.choices.size(); ++k)
            state.choices[k] = w.choices[k]->currentIndex();
    }
    return c;
}

void ScreeningPanel::search_reset()
{
    edt_stk_cd->clear();
    edt_stk_nm->clear();
    const auto& table = screeningConditions();
    for (std::size_t i = 0; i < m_conditions.size(); ++i) {
        ConditionWidgets& w = m_conditions[i];
        w.use->setChecked(false);
        if (w.number)
            w.number->clear();
        // The two-average pairs start as 5 days against 15 days; every other list at its first item.
        std::size_t k = 0;
        for (std::size_t c = 0; c < table[i].controlCount; ++c)
            if (table[i].controls[c].kind == InputKind::Choice)
                w.choices[k++]->setCurrentIndex(table[i].controls[c].initial);
    }
    const auto updated = parseDate(session().stk_upd_date);
    const QDate date = updated ? toQDate(*updated) : QDate::currentDate();
    // Both date fields offer the days from the first data to the last update.
    for (DateEdit* field : {dtp_kdate, m_window.dtp_stk_sdate})
        if (field && updated)
            field->setOfferedRange(toQDate(kFirstDataDate), date);
    dtp_kdate->setDate(date);
    // The simulation's period and start date are reset with the screening.
    if (m_window.cbx_stk_term)
        m_window.cbx_stk_term->setCurrentIndex(0);
    if (m_window.dtp_stk_sdate)
        m_window.dtp_stk_sdate->setDate(date);
}

void ScreeningPanel::sbtn_get_stk_infoClick()
{
    runSearch();
}

bool ScreeningPanel::runSearch()
{
    const ScreeningCriteria c = criteria();
    if (const auto failure = search_check_numbers(c)) {
        msg_show(qs(failure->message));
        const ScreeningCondition& condition = screeningConditions()[failure->condition];
        pc_stk_serch->setCurrentWidget(tabPage(condition.tab));
        if (QLineEdit* field = m_conditions[failure->condition].number)
            field->setFocus(Qt::OtherFocusReason);
        return false;
    }
    std::string filter;
    if (c.target == StockTarget::Registered) {
        auto registered = search_registered_filter(session().base_dir, c.marketPosition);
        if (!registered) {
            showError(registered.error());
            return false;
        }
        if (registered->empty()) {
            msg_show(qs(kNoRegisteredStocksMessage));
            return false;
        }
        filter = std::move(*registered);
    }
    // A day the calendar says has no prices is not asked for.
    if (const auto reason = noPricesReason(c.baseDate, parseDate(session().stk_upd_date))) {
        msg_no_data(qs(*reason));
        return false;
    }
    auto sql = buildScreeningSql(c, filter);
    if (!sql) {
        msg_show(qs(sql.error().message));
        return false;
    }
    m_statements.Clear();
    m_statements.Add("Query");
    m_statements.Add(std::move(*sql));
    const Result<bool> done = m_statements.Execute();
    if (!done) {
        showError(done.error());
        return false;
    }
    if (!*done) {
        msg_sql_error();
        return false;
    }
    const TSqlSet result = m_statements.Item(1);
    fillStockList(result, result.RowCount > 0 ? QString() : emptyResultReason(c));
    return true;
}

QString ScreeningPanel::emptyResultReason(const ScreeningCriteria& c)
{
    // Whether the market has prices that day at all tells a holiday from conditions nothing met.
    const MarketEntry* market = marketAt(c.marketPosition);
    if (!market)
        return {};
    m_statements.Clear();
    m_statements.Add("Query");
    m_statements.Add(dayPriceCountQuery(*market, c.baseDate));
    const Result<bool> done = m_statements.Execute();
    if (!done || !*done || m_statements.Item(1).RowCount < 1)
        return {}; // the screening's own answer stands without a reason
    if (m_statements.Item(1).Tbl->cell(1, 1) == "0")
        return qs(holidayReason(c.baseDate));
    return QStringLiteral("検索条件に当てはまる銘柄がありませんでした。");
}

void ScreeningPanel::fillStockList(const TSqlSet& result, const QString& emptyReason)
{
    const int rows = result.RowCount;
    WorkState& shared = work();
    shared.stk_tbl = result.Tbl;
    shared.stk_tbl_rows = result.RowCount;
    shared.stk_tbl_cols = result.ColCount;
    if (rows <= 0) {
        if (emptyReason.isEmpty())
            msg_no_data();
        else
            msg_no_data(emptyReason);
        sg_stk_cd->setRowCount(2);
        // The hidden market code is blanked too, so the empty row names no market.
        clear_grid_cells(*sg_stk_cd, 0, kStockListMarketCodeColumn, 1, 1);
        setStatusCount(0);
        // An empty list leaves no stock to simulate: F5 must not run one of the previous list.
        m_reportedRow = 0;
        m_window.clearSelectedStock();
        return;
    }
    const PtblData& tbl = *result.Tbl;
    const int cols = result.ColCount;
    StringGridModel& model = sg_stk_cd->model();
    m_filling = true;
    // A new list comes in the server's order; its first row is the one selected.
    sg_stk_cd->clearSort();
    model.beginUpdate();
    for (int r = 1; r <= rows; ++r)
        for (int c = 1; c <= cols; ++c)
            model.setCell(c - 1, r, QString::fromStdString(tbl.cell(c, r)));
    sg_stk_cd->setRowCount(rows + 1);
    model.endUpdate();
    sg_stk_cd->selectRow(1);
    m_filling = false;
    setStatusCount(rows);
    sg_stk_cdClick();
}

void ScreeningPanel::sg_stk_cdClick()
{
    const int row = sg_stk_cd->currentRow();
    if (row < 1)
        return;
    m_reportedRow = row;
    TStkList selected;
    selected.stkCd = sg_stk_cd->cell(0, row).toStdString();
    selected.stkNm = sg_stk_cd->cell(1, row).toStdString();
    selected.mktNm = sg_stk_cd->cell(2, row).toStdString();
    selected.mktCd = sg_stk_cd->cell(kStockListMarketCodeColumn, row).toStdString();
    m_window.notifyStockRowSelected(selected);
}

void ScreeningPanel::sbtn_save_stkClick()
{
    const std::optional<QString> path = fileSaveDialog().askSavePath(exportSaveRequest());
    if (!path)
        return;
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(sg_stk_cd->rowCount()));
    std::vector<std::string> cells(kStockListVisibleColumns);
    for (int r = 0; r < sg_stk_cd->rowCount(); ++r) {
        for (int c = 0; c < kStockListVisibleColumns; ++c)
            cells[static_cast<std::size_t>(c)] = sg_stk_cd->cell(c, r).toStdString();
        lines.push_back(csvLine(cells));
    }
    const Status written = writeCsvFile(std::filesystem::path(QFile::encodeName(*path).toStdString()), lines);
    if (!written) {
        showError(written.error());
        return;
    }
    msg_show(QStringLiteral("データをファイルに出力しました。"));
}

void ScreeningPanel::setStatusCount(int rows)
{
    sb_stk_cd->setText(QLatin1Char(' ') + QString::number(rows) + kStatusSuffix);
}

} // namespace vorteq
