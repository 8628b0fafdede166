#include "results/daily_data_view.h"

#include "results/result_view.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"

#include <QHeaderView>
#include <QToolButton>
#include <QVBoxLayout>

namespace vorteq {

namespace {

constexpr int kColumns = static_cast<int>(kDailyColumns.size());

} // namespace

DailyDataView::DailyDataView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnl_term_data"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(exportBar(this, "pnl_term_data_bar", "sbtn_save_termdata",
                                QStringLiteral("期間データをCSV形式で出力します"), sbtn_save_termdata));
    connect(sbtn_save_termdata, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_save_termdataClick(); }); });

    sg_sim_stk = new StringGrid(this);
    sg_sim_stk->setObjectName(QStringLiteral("sg_sim_stk"));
    sg_sim_stk->setColCount(kColumns);
    sg_sim_stk->setDefaultColWidth(kDailyColumnWidth);
    QStringList titles;
    for (const DailyColumn& c : kDailyColumns)
        titles << qs(c.title);
    sg_sim_stk->setTitles(titles);
    sg_sim_stk->setRowCount(2);
    QHeaderView* header = sg_sim_stk->horizontalHeader();
    for (int c = 0; c < kColumns; ++c) {
        const DailyColumn& column = kDailyColumns[static_cast<std::size_t>(c)];
        // Prices and indicators are numbers; the label, the trades and the date are read as words.
        if (column.cell == DailyCell::Field && column.field != DayField::StkDate)
            alignColumnRight(*sg_sim_stk, c);
        // A title longer than the default width widens its own column instead of being cut off.
        if (const int need = header->sectionSizeHint(c); need > kDailyColumnWidth)
            header->resizeSection(c, need);
    }
    // The date stays in view at the left edge while the indicator columns are read.
    for (int c = 0; c < kColumns; ++c)
        if (kDailyColumns[static_cast<std::size_t>(c)].field == DayField::StkDate &&
            kDailyColumns[static_cast<std::size_t>(c)].cell == DailyCell::Field)
            sg_sim_stk->setFrozenColumn(c);
    layout->addWidget(sg_sim_stk, 1);
}

void DailyDataView::showRows(GridRows rows)
{
    m_rows = std::move(rows);
    fillGrid(*sg_sim_stk, m_rows);
}

void DailyDataView::reset()
{
    showRows({});
}

void DailyDataView::sbtn_save_termdataClick()
{
    saveExportLines([this] {
        const auto titles = dailyColumnTitles();
        return gridCsvLines(titles, m_rows);
    });
}

} // namespace vorteq
