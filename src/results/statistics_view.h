#pragma once

#include "results/EquityStatistics.h"

#include <QWidget>

class QGroupBox;
class QToolButton;

namespace vorteq {

class StringGrid;

// The tab "リスク・リターン分析": the button "CSV出力" and the group of the same name with every
// risk and return figure of the last run for all, long and short positions.
class StatisticsView : public QWidget {
    Q_OBJECT
public:
    explicit StatisticsView(QWidget* parent = nullptr);

    void showStatistics(const EquityStatistics& statistics, const EquitySeries& series);
    // Every figure to "－".
    void reset();
    // Writes the figures and the day-by-day account to a file the user picks.
    void sbtn_save_statisticsClick();

    QToolButton* sbtn_save_statistics = nullptr;
    QGroupBox* gb_statistics = nullptr;
    StringGrid* sg_statistics = nullptr;

private:
    std::vector<std::string> m_lines; // what the export writes
};

} // namespace vorteq
