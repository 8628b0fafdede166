#include "results/statistics_view.h"

#include "results/result_view.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"

#include <QGroupBox>
#include <QHeaderView>
#include <QToolButton>
#include <QVBoxLayout>

namespace vorteq {

namespace {

constexpr int kCaptionWidth = 190;
constexpr int kFigureWidth = 120;

} // namespace

StatisticsView::StatisticsView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnl_statistics"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(4);
    layout->addWidget(exportBar(this, "pnl_statistics_bar", "sbtn_save_statistics",
                                QStringLiteral("リスク・リターン分析と日々の評価額をCSV形式で出力します"),
                                sbtn_save_statistics));
    connect(sbtn_save_statistics, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_save_statisticsClick(); }); });

    gb_statistics = new QGroupBox(qs(kStatisticsGroup), this);
    gb_statistics->setObjectName(QStringLiteral("gb_statistics"));
    auto* inner = new QVBoxLayout(gb_statistics);
    inner->setContentsMargins(6, 4, 6, 4);
    sg_statistics = new StringGrid(gb_statistics);
    sg_statistics->setObjectName(QStringLiteral("sg_statistics"));
    sg_statistics->setColCount(4);
    sg_statistics->setDefaultColWidth(kFigureWidth);
    QStringList titles;
    for (const std::string_view title : kStatisticsColumnTitles)
        titles << qs(title);
    sg_statistics->setTitles(titles);
    sg_statistics->horizontalHeader()->resizeSection(0, kCaptionWidth);
    for (int c = 1; c < 4; ++c)
        alignColumnRight(*sg_statistics, c);
    inner->addWidget(sg_statistics);
    layout->addWidget(gb_statistics, 1);
    reset();
}

void StatisticsView::showStatistics(const EquityStatistics& statistics, const EquitySeries& series)
{
    GridRows rows;
    for (StatisticsRow& row : statisticsRows(statistics))
        rows.push_back({std::string(row.caption), std::move(row.texts[0]), std::move(row.texts[1]),
                        std::move(row.texts[2])});
    fillGrid(*sg_statistics, rows);
    m_lines = statisticsCsvLines(statistics, series);
}

void StatisticsView::reset()
{
    // The captions stay; every figure is "－".
    GridRows rows;
    for (const StatisticsRow& row : statisticsRows(EquityStatistics{}))
        rows.push_back(
            {std::string(row.caption), std::string(kNoValue), std::string(kNoValue), std::string(kNoValue)});
    fillGrid(*sg_statistics, rows);
    m_lines = gridCsvLines(kStatisticsColumnTitles, rows);
}

void StatisticsView::sbtn_save_statisticsClick()
{
    saveExportLines([this] { return m_lines; });
}

} // namespace vorteq
