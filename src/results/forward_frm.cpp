#include "results/forward_frm.h"

#include "common/Csv.h"
#include "results/result_view.h"
#include "screening/StockListColumns.h"
#include "widgets/MessageDialog.h"
#include "widgets/StringGrid.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"

#include <QAction>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vorteq {

namespace {

// The stock list's date column ("日付") and its code and name columns.
constexpr int kCodeColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kDateColumn = 3;

// Figures from `firstFigure` on are right-aligned.
void fillTable(QTableWidget& table, const std::vector<std::vector<std::string>>& rows,
               std::size_t firstFigure)
{
    table.clear();
    if (rows.empty())
        return;
    table.setColumnCount(static_cast<int>(rows.front().size()));
    table.setRowCount(static_cast<int>(rows.size()) - 1);
    QStringList titles;
    for (const std::string& title : rows.front())
        titles << QString::fromStdString(title);
    table.setHorizontalHeaderLabels(titles);
    for (std::size_t r = 1; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(rows[r][c]));
            item->setFlags(item->flags() & ~Qt::ItemIsEditable);
            if (c >= firstFigure)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table.setItem(static_cast<int>(r) - 1, static_cast<int>(c), item);
        }
    table.resizeColumnsToContents();
}

QTableWidget* plainTable(QWidget* parent, const char* name)
{
    auto* table = new QTableWidget(parent);
    table->setObjectName(QString::fromLatin1(name));
    table->verticalHeader()->setVisible(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    return table;
}

} // namespace

ForwardCheckWindow::ForwardCheckWindow(Workbench& window)
    : QWidget(&window.host(), Qt::Window), m_window(window)
{
    setObjectName(QStringLiteral("frm_forward"));
    setWindowTitle(QStringLiteral("検索結果の検証"));
    resize(1000, 560);
    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    lbl_forward = new QLabel(this);
    lbl_forward->setObjectName(QStringLiteral("lbl_forward"));
    lbl_forward->setWordWrap(true);
    btn_forward_csv = new QPushButton(QStringLiteral("CSV出力"), this);
    btn_forward_csv->setObjectName(QStringLiteral("btn_forward_csv"));
    bar->addWidget(lbl_forward, 1);
    bar->addWidget(btn_forward_csv);
    layout->addLayout(bar);
    tbl_forward_summary = plainTable(this, "tbl_forward_summary");
    tbl_forward_summary->setFixedHeight(tbl_forward_summary->fontMetrics().height() * 10);
    layout->addWidget(tbl_forward_summary);
    tbl_forward_stocks = plainTable(this, "tbl_forward_stocks");
    tbl_forward_stocks->setSortingEnabled(false);
    layout->addWidget(tbl_forward_stocks, 1);
    connect(btn_forward_csv, &QPushButton::clicked, this, [this] { btn_forward_csvClick(); });
}

ForwardCheckWindow* ForwardCheckWindow::install(Workbench& window)
{
    auto* check = new ForwardCheckWindow(window);
    auto* action = new QAction(QStringLiteral("検索結果の検証(&V)"), &window.host());
    action->setObjectName(QStringLiteral("act_forward"));
    QObject::connect(action, &QAction::triggered, check, [check] {
        if (!check->check())
            return;
        check->show();
        check->raise();
        check->activateWindow();
    });
    window.addMenuAction(action);
    return check;
}

ForwardCheckWindow* ForwardCheckWindow::of(const Workbench& window)
{
    return window.host().findChild<ForwardCheckWindow*>(QStringLiteral("frm_forward"));
}

bool ForwardCheckWindow::check()
{
    const auto* list = m_window.host().findChild<StringGrid*>(QStringLiteral("sg_stk_cd"));
    std::vector<std::string> codes;
    std::vector<std::string> names;
    std::string baseDate;
    std::string marketCode;
    if (list)
        for (int r = 1; r < list->rowCount(); ++r) {
            if (list->cell(kCodeColumn, r).isEmpty())
                continue;
            codes.push_back(list->cell(kCodeColumn, r).toStdString());
            names.push_back(list->cell(kNameColumn, r).toStdString());
            if (baseDate.empty()) {
                baseDate = list->cell(kDateColumn, r).toStdString();
                marketCode = list->cell(kStockListMarketCodeColumn, r).toStdString();
            }
        }
    if (codes.empty()) {
        msg_show(QStringLiteral("銘柄一覧がありません。先に銘柄を検索してください。"));
        return false;
    }
    auto returns =
        fetchForwardReturns(m_window.http_statements(), marketCode, baseDate, codes, kForwardHorizons);
    if (!returns) {
        showError(returns.error());
        return false;
    }
    if (returns->entryDate.empty()) {
        msg_show(QStringLiteral("基準日 %1 の翌営業日以降の株価がないため、検証できません。")
                     .arg(QString::fromStdString(baseDate)));
        return false;
    }
    m_returns = std::move(*returns);
    m_names = std::move(names);
    lbl_forward->setText(
        QStringLiteral("基準日 %1 の検索結果 %2 銘柄: %3 の始値で買い、各日数後の終値までの騰落率。"
                       "株価のない銘柄は除いています。")
            .arg(QString::fromStdString(baseDate))
            .arg(codes.size())
            .arg(QString::fromStdString(m_returns.entryDate)));
    fillTable(*tbl_forward_summary, forwardSummaryRows(m_returns), 2);
    auto stocks = forwardStockRows(m_returns);
    stocks.front().insert(stocks.front().begin() + 1, "銘柄名称");
    for (std::size_t i = 1; i < stocks.size(); ++i)
        stocks[i].insert(stocks[i].begin() + 1, m_names[i - 1]);
    fillTable(*tbl_forward_stocks, stocks, 2);
    return true;
}

void ForwardCheckWindow::btn_forward_csvClick()
{
    if (m_returns.horizons.empty())
        return;
    saveExportLines([this] {
        std::vector<std::string> lines;
        for (const auto& row : forwardSummaryRows(m_returns))
            lines.push_back(csvLine(row));
        lines.emplace_back();
        for (const auto& row : forwardStockRows(m_returns))
            lines.push_back(csvLine(row));
        return lines;
    });
}

} // namespace vorteq
