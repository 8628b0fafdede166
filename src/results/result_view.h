#pragma once

#include "results/ResultRows.h"

#include <QObject>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class QToolButton;
class QWidget;

namespace vorteq {

class ChartView;
class DailyDataView;
class StatisticsView;
class StringGrid;
class TradeResultView;
class Workbench;
struct TStkData;
class TJouken;

// The result views of the main window: the tab "売買結果" (summary and trade list), the tab
// "期間データ" (daily table), the tabs "チャート" and "リスク・リターン分析" and the position field of
// the simulation panel. They show a copy of
// what the last good run computed and keep it until the next run or reset; a failed run leaves them
// as they are.
class ResultViews : public QObject {
    Q_OBJECT
public:
    ResultViews(Workbench& window, TradeResultView& trade, DailyDataView& daily);

    // Builds both tabs into the window and registers ResetResultViews on the window's reset hook
    // (the window's show and every selection of a stock row).
    static ResultViews* install(Workbench& window);
    // The views installed in a window, or nullptr.
    static ResultViews* of(const Workbench& window);

    // Fills the daily table with the days from the newest down to `start` (yyyy/mm/dd) and the
    // position field with the newest day's label ("－" when it has none).
    void ShowDailyTable(const TStkData& stock, std::string_view start);
    // Fills the summary fields and the trade list.
    void ShowResult(const TStkData& stock);
    // Fills the chart and the risk and return figures from the days on or after `start`; the
    // conditions give the overlays and the execution price of the buy-and-hold comparison.
    void ShowChart(const TStkData& stock, std::string_view start, const TJouken& conditions,
                   std::string title);
    // Every summary field to "－", both grids to one blank row under their titles, the chart empty,
    // every figure "－".
    void ResetResultViews();

    TradeResultView& trade() const { return m_trade; }
    DailyDataView& daily() const { return m_daily; }
    ChartView* chart() const { return m_chart; }
    StatisticsView* statistics() const { return m_statistics; }

private:
    void installChartTabs();
    bool centreChartOn(const QString& date);

    Workbench& m_window;
    TradeResultView& m_trade;
    DailyDataView& m_daily;
    ChartView* m_chart = nullptr;
    StatisticsView* m_statistics = nullptr;
};

// Asks for a file with the export dialog and writes the lines there (CP932, CR LF), then says so.
// A cancel writes nothing; a file that cannot be written is reported and the message is not shown.
void saveExportLines(const std::function<std::vector<std::string>()>& lines);

// Writes the rows under the grid's titles and sets its row count; no rows leaves one blank row.
void fillGrid(StringGrid& grid, const GridRows& rows);

// Shows the cells of a grid column right-aligned, as numbers are read.
void alignColumnRight(StringGrid& grid, int column);

// The bar on top of a result tab: the button "CSV出力" with its hint, on the left.
QWidget* exportBar(QWidget* parent, const char* barName, const char* buttonName, const QString& hint,
                   QToolButton*& button);

} // namespace vorteq
