#include "results/trade_result_view.h"

#include "results/result_view.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace vorteq {

namespace {

constexpr int kColumns = static_cast<int>(kTradeColumnTitles.size());
// The trade list's date and kind are words; the return and the amounts are numbers.
constexpr int kFirstNumberColumn = kTradeReturnColumn;

bool isDateField(std::string_view edit)
{
    return edit.ends_with("date");
}

} // namespace

TradeResultView::TradeResultView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnl_trade_result"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(4);
    layout->addWidget(exportBar(this, "pnl_trade_result_bar", "sbtn_save_rstdata",
                                QStringLiteral("売買結果をCSVファイル形式で出力します"), sbtn_save_rstdata));
    connect(sbtn_save_rstdata, &QToolButton::clicked, this,
            [this] { runAction([this] { sbtn_save_rstdataClick(); }); });

    // Three items a row: the totals, the long side and the short side of each measure side by side.
    gb_rst = buildGroup(kResultGroup, 3);
    gb_rst->setObjectName(QStringLiteral("gb_rst"));
    gb_term = buildGroup(kTermGroup, 3);
    gb_term->setObjectName(QStringLiteral("gb_term"));
    layout->addWidget(gb_rst);
    layout->addWidget(gb_term);

    sg_sim_result = new StringGrid(this);
    sg_sim_result->setObjectName(QStringLiteral("sg_sim_result"));
    sg_sim_result->setColCount(kColumns);
    sg_sim_result->setDefaultColWidth(kTradeColumnWidth);
    sg_sim_result->setSelectionBehavior(QAbstractItemView::SelectRows);
    QStringList titles;
    for (const std::string_view title : kTradeColumnTitles)
        titles << qs(title);
    sg_sim_result->setTitles(titles);
    sg_sim_result->setRowCount(2);
    QHeaderView* header = sg_sim_result->horizontalHeader();
    for (int c = 0; c < kColumns; ++c) {
        if (c >= kFirstNumberColumn)
            alignColumnRight(*sg_sim_result, c);
        if (const int need = header->sectionSizeHint(c); need > kTradeColumnWidth)
            header->resizeSection(c, need);
    }
    layout->addWidget(sg_sim_result, 1);
    reset();
}

QGroupBox* TradeResultView::buildGroup(std::string_view group, int itemsPerRow)
{
    auto* box = new QGroupBox(qs(group), this);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(3);
    // The columns of edits share the width; a date is never cut.
    const int dateWidth = QFontMetrics(font()).horizontalAdvance(QStringLiteral("0000/00/00")) + 12;

    int item = 0;
    for (std::size_t i = 0; i < kSummaryFields.size();) {
        const SummaryField& first = kSummaryFields[i];
        if (first.group != group) {
            ++i;
            continue;
        }
        // One caption with one edit, or two (a count and a rate, a date and a price).
        std::size_t end = i + 1;
        while (end < kSummaryFields.size() && kSummaryFields[end].group == group &&
               kSummaryFields[end].caption == first.caption)
            ++end;
        const int row = item / itemsPerRow;
        const int column = (item % itemsPerRow) * 3;
        QString labelName = qs(first.edit);
        labelName.replace(0, 4, QStringLiteral("lbl_"));
        auto* caption = new QLabel(qs(first.caption), box);
        caption->setObjectName(labelName);
        caption->setSizePolicy(QSizePolicy::Fixed,
                               QSizePolicy::Preferred); // the edits give way, not the text
        grid->addWidget(caption, row, column);
        const bool pair = end - i > 1;
        for (std::size_t k = i; k < end; ++k) {
            auto* edit = new QLineEdit(box);
            edit->setObjectName(qs(kSummaryFields[k].edit));
            edit->setReadOnly(true);
            edit->setFocusPolicy(Qt::ClickFocus);
            edit->setAlignment(isDateField(kSummaryFields[k].edit) ? Qt::AlignLeft | Qt::AlignVCenter
                                                                   : Qt::AlignRight | Qt::AlignVCenter);
            if (isDateField(kSummaryFields[k].edit))
                edit->setMinimumWidth(dateWidth);
            m_edits[k] = edit;
            const int offset = static_cast<int>(k - i);
            grid->addWidget(edit, row, column + 1 + offset, 1, pair ? 1 : 2);
        }
        ++item;
        i = end;
    }
    for (int c = 0; c < itemsPerRow; ++c) {
        grid->setColumnStretch(c * 3 + 1, 1);
        grid->setColumnStretch(c * 3 + 2, 1);
    }
    return box;
}

QLineEdit* TradeResultView::summaryEdit(std::string_view name) const
{
    for (std::size_t i = 0; i < kSummaryFields.size(); ++i)
        if (kSummaryFields[i].edit == name)
            return m_edits[i];
    return nullptr;
}

void TradeResultView::showResult(const TUserResult& result)
{
    const std::vector<SummaryText> texts = summaryTexts(result);
    for (std::size_t i = 0; i < texts.size() && i < m_edits.size(); ++i) {
        m_edits[i]->setText(QString::fromStdString(texts[i].text));
        m_edits[i]->setCursorPosition(0);
    }

    m_rows = tradeRows(result);
    fillGrid(*sg_sim_result, m_rows);
}

void TradeResultView::reset()
{
    for (QLineEdit* edit : m_edits)
        edit->setText(qs(kNoValue));
    m_rows.clear();
    fillGrid(*sg_sim_result, m_rows);
}

void TradeResultView::sbtn_save_rstdataClick()
{
    saveExportLines([this] { return gridCsvLines(kTradeColumnTitles, m_rows); });
}

} // namespace vorteq
