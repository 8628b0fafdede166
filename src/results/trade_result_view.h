#pragma once

#include "results/ResultRows.h"

#include <QWidget>

#include <array>
#include <string_view>

class QGroupBox;
class QLineEdit;
class QToolButton;

namespace vorteq {

class StringGrid;

// The tab "売買結果": the button "CSV出力", the groups "ｼﾐｭﾚｰｼｮﾝ結果" and "期間株価情報" with the
// 28 read-only summary fields, and the trade list sg_sim_result (newest trade first).
class TradeResultView : public QWidget {
    Q_OBJECT
public:
    explicit TradeResultView(QWidget* parent = nullptr);

    // Shows the result's summary texts and its trades.
    void showResult(const TUserResult& result);
    // Every summary field to "－" and one blank row under the trade list's titles.
    void reset();
    // Writes the trade list as it is shown (titles, then every row) to a file the user picks.
    void sbtn_save_rstdataClick();

    // The summary field of an edit name (edt_rst_init, edt_term_sdate, ...), or nullptr.
    QLineEdit* summaryEdit(std::string_view name) const;
    const GridRows& rows() const { return m_rows; }

    QToolButton* sbtn_save_rstdata = nullptr;
    QGroupBox* gb_rst = nullptr;  // "ｼﾐｭﾚｰｼｮﾝ結果"
    QGroupBox* gb_term = nullptr; // "期間株価情報"
    StringGrid* sg_sim_result = nullptr;

private:
    QGroupBox* buildGroup(std::string_view group, int itemsPerRow);

    std::array<QLineEdit*, kSummaryFields.size()> m_edits{}; // in kSummaryFields order
    GridRows m_rows;                                         // what the trade list shows
};

} // namespace vorteq
