#pragma once

#include <functional>
#include <vector>

class QAction;
class QComboBox;
class QLineEdit;
class QTabWidget;
class QWidget;

namespace vorteq {

class DateEdit;
class THttpStatements;
class TStkAnalisys;
struct TStkList;

// What a feature panel sees of the main window: the statement client and the analysis object the
// features share, the hosts a panel is installed into, the hooks it registers, the selected stock and
// the controls of the simulation bar. The shell implements it; a test may implement it without the
// main window.
class Workbench {
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

    // host: the window the features' own windows and helper objects belong to.
    explicit Workbench(QWidget& host) : m_host(host) {}
    virtual ~Workbench() = default;
    Workbench(const Workbench&) = delete;
    Workbench& operator=(const Workbench&) = delete;

    QWidget& host() const { return m_host; }
    Hooks& hooks() { return m_hooks; }

    // The statement client shared by every feature.
    virtual THttpStatements& http_statements() = 0;
    // The analysis object of the simulation runs; nullptr once a confirmed close released it.
    virtual TStkAnalisys* cur_analisys() = 0;

    // The screening area of the left panel. Before installing, put cbx_stk_tgt and cbx_mkt_cd into the
    // panel: the window keeps their choices.
    virtual void installScreeningPanel(QWidget* panel) = 0;
    virtual void installJoukenEditor(QWidget* editor) = 0;  // tab "条件詳細"
    virtual void installTradeResultView(QWidget* view) = 0; // tab "売買結果"
    virtual void installDailyDataView(QWidget* view) = 0;   // tab "期間データ"
    // A feature's own window is opened from an entry of the window's menu bar.
    virtual void addMenuAction(QAction* action) = 0;

    // The screening panel calls this when a row of the stock list is selected.
    void notifyStockRowSelected(const TStkList& row);
    // No stock is selected any more (a screening found nothing): the session's stock and the
    // simulation panel's fields are emptied, so F5 has nothing to run.
    void clearSelectedStock();

    // Controls of the window the features read and fill; the window sets them when it builds them.
    QComboBox* cbx_stk_tgt = nullptr; // "検索対象", kept in sys_form.ini
    QComboBox* cbx_mkt_cd = nullptr;  // "市場名称", the position in the market table
    DateEdit* dtp_stk_sdate = nullptr;
    QComboBox* cbx_stk_term = nullptr;
    // The first day of the chosen period ("期間指定"), shown beside the base date with that choice only.
    DateEdit* dtp_stk_fdate = nullptr;
    QLineEdit* edt_sim_stk = nullptr;
    QLineEdit* edt_sim_mkt = nullptr;
    QLineEdit* edt_sim_cdt = nullptr;
    QLineEdit* edt_sim_pst = nullptr;
    QTabWidget* pc_stk_sim = nullptr; // "条件詳細", "売買結果", "期間データ" and the views' own tabs
    QWidget* ts_stk_jouken = nullptr;
    QWidget* ts_stk_chart = nullptr;
    QWidget* ts_stk_daily = nullptr;

private:
    QWidget& m_host;
    Hooks m_hooks;
};

} // namespace vorteq
