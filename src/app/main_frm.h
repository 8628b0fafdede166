#pragma once

#include "common/Result.h"
#include "widgets/DateEdit.h"
#include "workbench/common_unit.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QSplitter;
class QStackedLayout;
class QTabWidget;
class QToolButton;

namespace vorteq {

class THttpStatements;
class TStkAnalisys;

// The main window: the page "株式分析" with the screening area on the left, a splitter, and on the right
// the simulation bar, the period fields, the simulation panel and the tabs "条件詳細", "売買結果" and
// "期間データ". The features fill the four hosts and register the hooks; the window owns the statement
// client they share.
class Tfrm_main : public QMainWindow {
    Q_OBJECT
public:
    // What the features plug in. Every hook may stay empty.
    struct Hooks {
        std::function<void()> search;           // F3 and "銘柄の検索 F3"
        std::function<void()> simulate;         // F5 and "ｼﾐｭﾚｰｼｮﾝの実行 F5"
        std::function<void()> searchReset;      // search_reset: when shown and "検索条件のクリア"
        std::function<void()> joukenDefaults;   // set_jouken_defaults: when shown, after the search reset
        std::function<void()> resetResultViews; // ResetResultViews: when shown, last
        std::function<void()> exportStockList;  // "CSV出力" of the stock list
        // A confirmed close, after the settings were written and before the analysis object is released.
        std::function<void()> closing;
        // A row of the stock list was selected (the screening panel reports it); run in registration order.
        std::vector<std::function<void(const TStkList&)>> stockSelected;
    };

    inline static constexpr int kWindowWidth = 1119;
    inline static constexpr int kWindowHeight = 741;
    inline static constexpr int kLeftPanelWidth = 345;
    // The smallest window in which no caption, field or tab is cut off.
    inline static constexpr int kMinimumWidth = 1000;
    inline static constexpr int kMinimumHeight = 660;

    // FormCreate: builds the window from the session as the login left it.
    explicit Tfrm_main(QWidget* parent = nullptr);
    ~Tfrm_main() override;

    Hooks& hooks() { return m_hooks; }
    // The screening panel calls this when a row of the stock list is selected.
    void notifyStockRowSelected(const TStkList& row);
    // No stock is selected any more (a screening found nothing): the session's stock and the
    // simulation panel's fields are emptied, so F5 has nothing to run.
    void clearSelectedStock();

    // The statement client of the main window, shared by every feature and by the account window.
    THttpStatements& http_statements() { return *m_http_statements; }
    // The analysis object of the simulation runs; released by a confirmed close (nullptr after it).
    TStkAnalisys* cur_analisys() { return m_cur_analisys.get(); }

    // The screening area below the button bar of the left panel. Before installing, put cbx_stk_tgt and
    // cbx_mkt_cd into the panel's "検索条件" tab: the window keeps their choices in sys_form.ini.
    void installScreeningPanel(QWidget* panel);
    void installJoukenEditor(QWidget* editor);  // tab "条件詳細"
    void installTradeResultView(QWidget* view); // tab "売買結果"
    void installDailyDataView(QWidget* view);   // tab "期間データ"

    // The width of the left panel as the splitter shows it.
    int leftPanelWidth() const;

    // Handlers, callable directly by tests and by the features.
    void FormShow();
    bool FormClose(); // true when the window may close
    void act_endExecute();
    void act_serchExecute();
    void act_simExecute();
    void stbn_stk_clearClick();
    void sbtn_save_stkClick();
    void stbn_stk_sizeClick();
    void sbtn_sim_sizeClick();
    void mi_helpClick();
    // The server no longer knows the session: say so and offer the login window; the window keeps
    // its lists, conditions and tabs, and after the login the user goes on where he was.
    void sessionExpired(const Error& error);

    // Controls the features use.
    QWidget* pnl_left = nullptr;
    QWidget* pnl_right = nullptr;
    QSplitter* spl_main = nullptr;
    QTabWidget* pc_main = nullptr;    // the page "株式分析"
    QTabWidget* pc_stk_sim = nullptr; // "条件詳細", "売買結果", "期間データ"
    QWidget* ts_stk_jouken = nullptr;
    QWidget* ts_stk_chart = nullptr;
    QWidget* ts_stk_daily = nullptr;
    QToolButton* sbtn_get_stk_info = nullptr;
    QToolButton* stbn_stk_clear = nullptr;
    QToolButton* stbn_stk_size = nullptr;
    QToolButton* sbtn_save_stk = nullptr;
    QToolButton* sbtn_sim_start = nullptr;
    QToolButton* sbtn_sim_size = nullptr;
    QComboBox* cbx_stk_tgt = nullptr;
    QComboBox* cbx_mkt_cd = nullptr;
    QLabel* lbl_stk_date = nullptr;
    QLabel* lbl_fx_date = nullptr;
    DateEdit* dtp_stk_sdate = nullptr;
    QComboBox* cbx_stk_term = nullptr;
    // The first day of the chosen period ("期間指定"), shown beside the base date with that choice only.
    QLabel* lbl_stk_fdate = nullptr;
    DateEdit* dtp_stk_fdate = nullptr;
    QLineEdit* edt_sim_stk = nullptr;
    QLineEdit* edt_sim_mkt = nullptr;
    QLineEdit* edt_sim_cdt = nullptr;
    QLineEdit* edt_sim_pst = nullptr;
    QAction* act_end = nullptr;
    QAction* act_serch = nullptr;
    QAction* act_sim = nullptr;
    QAction* mi_help = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Keeps Ctrl+E ("終了(&E)") working while a text field has the focus.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenu();
    QWidget* buildLeftPanel();
    QWidget* buildRightPanel();
    QWidget* buildSimulationFields();
    void setLeftPanelWidth(int width);
    void showUpdateDates();
    // The column widths of every grid of the window, from and to SysData/grid_widths.ini.
    void restoreColumnWidths();
    Status saveColumnWidths();
    void installInto(QWidget* host, QWidget* panel);
    static void callHook(const std::function<void()>& hook);

    Hooks m_hooks;
    std::unique_ptr<THttpStatements> m_http_statements;
    std::unique_ptr<TStkAnalisys> m_cur_analisys;
    QWidget* m_screeningHost = nullptr;
    QWidget* m_screeningPlaceholder = nullptr;
};

} // namespace vorteq
