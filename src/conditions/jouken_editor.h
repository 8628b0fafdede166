#pragma once

#include "conditions/TJouken.h"

#include <QWidget>

#include <array>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLineEdit;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace vorteq {

class Workbench;
struct TStkList;
struct ValidationFailure;
struct ConditionDef;
enum class Side;

// The tab "条件詳細": the button bar and the tabs "共通条件", "買い条件", "売り条件" and "計算条件".
// Every control is bound to one field of the condition record through the key table, and the
// buy and sell rows are built from the condition catalogue. The editor also registers, deletes and
// loads the selected stock's condition set.
class JoukenEditor : public QWidget {
    Q_OBJECT
public:
    explicit JoukenEditor(QWidget* parent = nullptr);

    // Builds the editor into the window's tab "条件詳細": defaults when the window is shown, and a
    // listener for the selection of a stock row.
    static JoukenEditor* install(Workbench& window);
    // The editor installed in a window, or nullptr.
    static JoukenEditor* of(const Workbench& window);

    // Every control to the default of its field.
    void set_jouken_defaults();
    // Unticks the 112 condition boxes and the three common boxes; nothing else changes.
    void clear_jouken_checks();
    // Copies the controls into a record; the two unbound fields keep their values.
    void editor_to_jouken(TJouken& target) const;
    void editor_to_jouken() const { editor_to_jouken(jouken); }
    // Shows a record in the controls. A Kbn field that names no item of its list shows the list's
    // first item; those fields are returned, in field order.
    std::vector<int> jouken_to_editor(const TJouken& source);
    std::vector<int> jouken_to_editor() { return jouken_to_editor(jouken); }
    // The Or/And exclusion of one row: a box that is now ticked unticks its partner.
    static void uncheck_partner(QCheckBox* clicked, QCheckBox* partner);

    // The number check before a simulation, on the controls only. The first failure shows its
    // message, brings its tab forward and focuses its field; false then.
    bool ValidateSimInput();

    void sbtn_jouken_clearClick() { set_jouken_defaults(); }
    void sbtn_jouken_checkClick() { clear_jouken_checks(); }
    // Registers the editor's conditions for the selected stock, after the question.
    void sbtn_jouken_addClick();
    // Deletes the selected stock's condition set, after the question.
    void sbtn_jouken_delClick();
    // A row of the stock list was selected: remembers the stock, loads its set when there is one and
    // fills the simulation panel.
    void sg_stk_cdClick(const TStkList& row);

    // The control bound to a field: its edit, list or common check box, a condition's Or box
    // (which = 0) or And box (which = 1), a trade-price radio button (which = 0..3).
    QWidget* control(int field, int which = 0) const;
    // The tab page of a tab name (ts_common, ts_buy_cond, ts_sell_cond, ts_culc_cond).
    QWidget* tabPage(std::string_view name) const;

    QToolButton* sbtn_jouken_clear = nullptr;
    QToolButton* sbtn_jouken_check = nullptr;
    QToolButton* sbtn_jouken_add = nullptr;
    QToolButton* sbtn_jouken_del = nullptr;
    QTabWidget* pc_jouken = nullptr;
    QWidget* ts_common = nullptr;
    QWidget* ts_buy_cond = nullptr;
    QWidget* ts_sell_cond = nullptr;
    QWidget* ts_culc_cond = nullptr;

private:
    // The controls of one field; which ones are set depends on the field's kind.
    struct Bound {
        QLineEdit* edit = nullptr;
        QComboBox* list = nullptr;
        QCheckBox* box = nullptr;    // common switch, or a condition's Or box
        QCheckBox* andBox = nullptr; // a condition's And box
        std::array<QRadioButton*, 4> radios{};
    };

    QWidget* buildButtonBar();
    QWidget* buildCommonTab();
    QWidget* buildConditionTab(Side side);
    void addConditionRow(QGridLayout* grid, int gridRow, int gridColumn, const ConditionDef& c, Side side);
    QWidget* buildCalcTab();
    QLineEdit* makeEdit(QWidget* parent, int field);
    QComboBox* makeList(QWidget* parent, int field);
    QCheckBox* makeSwitch(QWidget* parent, int field, const QString& caption);
    void checkEveryFieldIsBound() const;

    void showFailure(const ValidationFailure& failure);
    void showTab(std::string_view name);
    void setStatus(const QString& status);

    std::array<Bound, kJoukenFieldCount> m_bound{};
    Workbench* m_window = nullptr;
};

} // namespace vorteq
