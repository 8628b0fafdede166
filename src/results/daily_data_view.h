#pragma once

#include "results/ResultRows.h"

#include <QWidget>

class QToolButton;

namespace vorteq {

class StringGrid;

// The tab "期間データ": the button "CSV出力" and the daily table sg_sim_stk, one row per simulated
// day (newest first) with its signal label, the trades executed that day, prices and indicators.
class DailyDataView : public QWidget {
    Q_OBJECT
public:
    explicit DailyDataView(QWidget* parent = nullptr);

    // Shows the rows under the titles; no rows shows one blank row.
    void showRows(GridRows rows);
    // One blank row under the titles.
    void reset();
    // Writes the table as it is shown (titles, then every row) to a file the user picks.
    void sbtn_save_termdataClick();

    const GridRows& rows() const { return m_rows; }

    QToolButton* sbtn_save_termdata = nullptr;
    StringGrid* sg_sim_stk = nullptr;

private:
    GridRows m_rows; // what the table shows, for the export
};

} // namespace vorteq
