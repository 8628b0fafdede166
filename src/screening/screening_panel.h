#pragma once

#include "widgets/DateEdit.h"

#include <QWidget>

#include <cstddef>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QScrollArea;
class QTabWidget;

namespace vorteq {

class StringGrid;
class THttpStatements;
class TSqlSet;
class Workbench;
struct ScreeningCriteria;
enum class ScreeningTab;

// The screening area of the main window's left panel, below its button bar: the three tabs of search
// conditions, the stock list and its status bar. It copies the tabs into ScreeningCriteria, lets the
// core build the statement, sends it through the window's statement client and shows the rows.
class ScreeningPanel : public QWidget {
    Q_OBJECT
public:
    // Builds the panel around the window's target and market choices and the given statement client.
    ScreeningPanel(Workbench& window, THttpStatements& statements);

    // Creates the panel with the window's own statement client, puts it into the left panel and
    // registers the search, reset and export hooks (F3, the buttons).
    static ScreeningPanel* install(Workbench& window);

    // The screening run: number check, restriction, statement, request, list.
    void sbtn_get_stk_infoClick();
    // Puts the condition tabs, the code and name fields and the base date into their initial state;
    // the target and market choices are kept.
    void search_reset();
    void stbn_stk_clearClick() { search_reset(); }
    // Writes the list (header and every row, the 45 visible columns) through the file-save dialog.
    void sbtn_save_stkClick();
    // Reports the list's current row to the window as the selected stock.
    void sg_stk_cdClick();

    // Shows a screening result: the rows, or the emptied list with the no-data message and, on its
    // second line, the reason when one is known.
    void fillStockList(const TSqlSet& result, const QString& emptyReason = {});

    // What the tabs hold now.
    ScreeningCriteria criteria() const;

    QTabWidget* pc_stk_serch = nullptr;
    QWidget* ts_stk_usual = nullptr;
    QWidget* ts_stk_additional = nullptr;
    QWidget* ts_technical = nullptr;
    QComboBox* cbx_stk_tgt = nullptr; // owned by the window, which remembers the choice
    QLineEdit* edt_stk_cd = nullptr;
    QLineEdit* edt_stk_nm = nullptr;
    QComboBox* cbx_mkt_cd = nullptr; // owned by the window, which remembers the choice
    DateEdit* dtp_kdate = nullptr;
    StringGrid* sg_stk_cd = nullptr;
    QLabel* sb_stk_cd = nullptr;

private:
    // The widgets of one condition row.
    struct ConditionWidgets {
        QCheckBox* use = nullptr;
        QLineEdit* number = nullptr;
        std::vector<QComboBox*> choices; // in screen order
    };

    QWidget* buildUsualTab();
    QWidget* buildConditionTab(ScreeningTab tab, int columns);
    QWidget* buildConditionRow(QWidget* parent, std::size_t index);
    QWidget* tabPage(ScreeningTab tab) const;
    void setStatusCount(int rows);
    bool runSearch();
    // Why a screening found nothing: the base date is a holiday, or nothing met the conditions.
    QString emptyResultReason(const ScreeningCriteria& c);

    Workbench& m_window;
    THttpStatements& m_statements;
    std::vector<ConditionWidgets> m_conditions;
    bool m_filling = false; // row changes while the list fills are not selections
    int m_reportedRow = 0;  // the row (as written) last reported as the selected stock
};

} // namespace vorteq
