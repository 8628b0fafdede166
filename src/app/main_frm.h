#pragma once

#include "common/Result.h"
#include "widgets/DateEdit.h"
#include "workbench/Workbench.h"
#include "workbench/common_unit.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QLabel;
class QSplitter;
class QTabWidget;
class QToolButton;

namespace vorteq {

class THttpStatements;
class TStkAnalisys;

// The main window: the page "株式分析" with the screening area on the left, a splitter, and on the right
// the simulation bar, the period fields, the simulation panel and the tabs "条件詳細", "売買結果" and
// "期間データ". The features fill the four hosts and register the hooks of the workbench; the window owns
// the statement client and the analysis object they share.
class Tfrm_main : public QMainWindow, public Workbench {
    Q_OBJECT
public:
    inline static constexpr int kWindowWidth = 1119;
    inline static constexpr int kWindowHeight = 741;
    inline static constexpr int kLeftPanelWidth = 345;
    // The smallest window in which no caption, field or tab is cut off.
    inline static constexpr int kMinimumWidth = 1000;
    inline static constexpr int kMinimumHeight = 660;

    // FormCreate: builds the window from the session as the login left it.
    explicit Tfrm_main(QWidget* parent = nullptr);
    ~Tfrm_main() override;

    // The statement client of the main window, shared by every feature and by the account window.
    THttpStatements& http_statements() override { return *m_http_statements; }
    // Released by a confirmed close (nullptr after it).
    TStkAnalisys* cur_analisys() override { return m_cur_analisys.get(); }

    // The screening area below the button bar of the left panel; the window keeps the choices of
    // cbx_stk_tgt and cbx_mkt_cd in sys_form.ini.
    void installScreeningPanel(QWidget* panel) override;
    void installJoukenEditor(QWidget* editor) override;
    void installTradeResultView(QWidget* view) override;
    void installDailyDataView(QWidget* view) override;
    void addMenuAction(QAction* action) override;

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

    // Controls of the window itself; those the features use are the workbench's.
    QWidget* pnl_left = nullptr;
    QWidget* pnl_right = nullptr;
    QSplitter* spl_main = nullptr;
    QTabWidget* pc_main = nullptr; // the page "株式分析"
    QToolButton* sbtn_get_stk_info = nullptr;
    QToolButton* stbn_stk_clear = nullptr;
    QToolButton* stbn_stk_size = nullptr;
    QToolButton* sbtn_save_stk = nullptr;
    QToolButton* sbtn_sim_start = nullptr;
    QToolButton* sbtn_sim_size = nullptr;
    QLabel* lbl_stk_date = nullptr;
    QLabel* lbl_fx_date = nullptr;
    QLabel* lbl_stk_fdate = nullptr; // beside dtp_stk_fdate, with the chosen period only
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

    std::unique_ptr<THttpStatements> m_http_statements;
    std::unique_ptr<TStkAnalisys> m_cur_analisys;
    QWidget* m_screeningHost = nullptr;
    QWidget* m_screeningPlaceholder = nullptr;
};

} // namespace vorteq
