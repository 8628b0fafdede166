#include "results/result_view.h"

#include "common/Csv.h"
#include "results/chart_view.h"
#include "results/daily_data_view.h"
#include "results/statistics_view.h"
#include "results/trade_result_view.h"
#include "series/TStkData.h"
#include "widgets/FileSaveDialog.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"
#include "widgets/grid_common.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"

#include <QFile>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QToolButton>

#include <algorithm>
#include <filesystem>

namespace vorteq {

namespace {

// The daily table's column of the date.
const int kDailyDateColumn = [] {
    for (std::size_t c = 0; c < kDailyColumns.size(); ++c)
        if (kDailyColumns[c].cell == DailyCell::Field && kDailyColumns[c].field == DayField::StkDate)
            return static_cast<int>(c);
    return 0;
}();

// Draws a cell's text against the right edge.
class RightAlignedDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
    }
};

} // namespace

ResultViews::ResultViews(Workbench& window, TradeResultView& trade, DailyDataView& daily)
    : QObject(&window.host()), m_window(window), m_trade(trade), m_daily(daily)
{
    setObjectName(QStringLiteral("result_views"));
}

ResultViews* ResultViews::install(Workbench& window)
{
    auto* trade = new TradeResultView(window.ts_stk_chart);
    auto* daily = new DailyDataView(window.ts_stk_daily);
    window.installTradeResultView(trade);
    window.installDailyDataView(daily);
    auto* views = new ResultViews(window, *trade, *daily);
    views->installChartTabs();
    QPointer<ResultViews> guarded(views);
    window.hooks().resetResultViews = [guarded] {
        if (guarded)
            guarded->ResetResultViews();
    };
    return views;
}

ResultViews* ResultViews::of(const Workbench& window)
{
    return window.host().findChild<ResultViews*>(QStringLiteral("result_views"), Qt::FindDirectChildrenOnly);
}

void ResultViews::ShowDailyTable(const TStkData& stock, std::string_view start)
{
    GridRows rows = dailyRows(stock, start);
    m_window.edt_sim_pst->setText(QString::fromStdString(positionText(rows)));
    m_daily.showRows(std::move(rows));
}

void ResultViews::ShowResult(const TStkData& stock)
{
    m_trade.showResult(stock.UserResult);
}

void ResultViews::installChartTabs()
{
    QTabWidget& tabs = *m_window.pc_stk_sim;
    m_chart = new ChartView(&tabs);
    m_chart->setObjectName(QStringLiteral("ts_stk_graph"));
    tabs.addTab(m_chart, QStringLiteral("チャート"));
    m_statistics = new StatisticsView(&tabs);
    m_statistics->setObjectName(QStringLiteral("ts_stk_statistics"));
    tabs.addTab(m_statistics, qs(kStatisticsGroup));

    // A click on a trade or a day centres the chart there; a double click also shows the chart.
    const auto follow = [this](StringGrid& grid, int dateColumn) {
        connect(&grid, &StringGrid::cellClicked, this,
                [this, &grid, dateColumn](int, int row) { centreChartOn(grid.cell(dateColumn, row)); });
        connect(&grid, &QAbstractItemView::doubleClicked, this,
                [this, &grid, dateColumn](const QModelIndex& index) {
                    if (centreChartOn(grid.cell(dateColumn, index.row() + 1)))
                        m_window.pc_stk_sim->setCurrentWidget(m_chart);
                });
    };
    follow(*m_trade.sg_sim_result, 0);
    follow(*m_daily.sg_sim_stk, kDailyDateColumn);
}

bool ResultViews::centreChartOn(const QString& date)
{
    return !date.isEmpty() && m_chart->centreOn(date.toStdString());
}

void ResultViews::ShowChart(const TStkData& stock, std::string_view start, const TJouken& conditions,
                            std::string title)
{
    ChartData chart = buildChartData(stock, start, conditions, std::move(title));
    m_statistics->showStatistics(computeStatistics(chart.series), chart.series);
    m_chart->showChart(std::move(chart));
}

void ResultViews::ResetResultViews()
{
    m_trade.reset();
    m_daily.reset();
    m_chart->reset();
    m_statistics->reset();
}

void saveExportLines(const std::function<std::vector<std::string>()>& lines)
{
    const std::optional<QString> path = fileSaveDialog().askSavePath(exportSaveRequest());
    if (!path)
        return;
    const Status written =
        writeCsvFile(std::filesystem::path(QFile::encodeName(*path).toStdString()), lines());
    if (!written) {
        showError(written.error());
        return;
    }
    msg_show(QStringLiteral("データをファイルに出力しました。"));
}

void fillGrid(StringGrid& grid, const GridRows& rows)
{
    const int columns = grid.colCount();
    StringGridModel& model = grid.model();
    model.beginUpdate();
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const auto& row = rows[r];
        const int cells = std::min(columns, static_cast<int>(row.size()));
        for (int c = 0; c < cells; ++c)
            model.setCell(c, static_cast<int>(r) + 1,
                          QString::fromStdString(row[static_cast<std::size_t>(c)]));
    }
    grid.setRowCount(rows.empty() ? 2 : static_cast<int>(rows.size()) + 1);
    if (rows.empty())
        clear_grid_cells(grid, 0, columns - 1, 1, 1);
    model.endUpdate();
}

void alignColumnRight(StringGrid& grid, int column)
{
    static constexpr const char* kDelegateName = "right_aligned";
    auto* delegate = grid.findChild<RightAlignedDelegate*>(QString::fromLatin1(kDelegateName));
    if (!delegate) {
        delegate = new RightAlignedDelegate(&grid);
        delegate->setObjectName(QString::fromLatin1(kDelegateName));
    }
    grid.setItemDelegateForColumn(column, delegate);
}

QWidget* exportBar(QWidget* parent, const char* barName, const char* buttonName, const QString& hint,
                   QToolButton*& button)
{
    auto* bar = new QWidget(parent);
    bar->setObjectName(QString::fromLatin1(barName));
    auto* layout = new QHBoxLayout(bar);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(buttonName));
    button->setText(QStringLiteral("CSV出力"));
    button->setToolTip(hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    QFont font = button->font();
    font.setBold(true);
    button->setFont(font);
    layout->addWidget(button);
    layout->addStretch(1);
    return bar;
}

} // namespace vorteq
