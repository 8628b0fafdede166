#pragma once

#include "sweep/WalkForward.h"

#include <QDialog>

#include <atomic>
#include <future>
#include <memory>
#include <thread>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;
class QTimer;

namespace vorteq {

class Workbench;
class SweepChart;
class EquityCurve;

// The parameter sweep window, from the menu "パラメータ最適化": one or two numeric fields of the
// editor's conditions over a range each, on the selected stock, the stocks of the list or a whole
// market, ranked by one figure; optionally rolled forward over the period (walk-forward). The prices
// are fetched through the main window's statement client; the cells are computed on every core in
// the background, with progress and a cancel button. Clicking a cell puts its values into the
// editor (the conditions are registered only when the user registers them).
class SweepWindow : public QDialog {
    Q_OBJECT
public:
    explicit SweepWindow(Workbench& window);
    ~SweepWindow() override;

    // Adds the menu entry to the main window; the window is created when first asked for.
    static void install(Workbench& window);
    static SweepWindow* of(const Workbench& window);

    // The whole run behind "実行": checks, prices, the background work. Returns at once; the
    // results are shown when the work ends (running() turns false).
    void btn_sweep_startClick();
    void btn_sweep_cancelClick();
    bool running() const { return m_worker.joinable(); }
    // Puts the cell's values into the editor's fields.
    void loadCellIntoEditor(int cell);

    QComboBox* cbx_sweep_field1 = nullptr;
    QLineEdit* edt_sweep_from1 = nullptr;
    QLineEdit* edt_sweep_to1 = nullptr;
    QLineEdit* edt_sweep_step1 = nullptr;
    QCheckBox* cb_sweep_field2 = nullptr;
    QComboBox* cbx_sweep_field2 = nullptr;
    QLineEdit* edt_sweep_from2 = nullptr;
    QLineEdit* edt_sweep_to2 = nullptr;
    QLineEdit* edt_sweep_step2 = nullptr;
    QRadioButton* rb_sweep_stock = nullptr;
    QRadioButton* rb_sweep_list = nullptr;
    QRadioButton* rb_sweep_market = nullptr;
    QComboBox* cbx_sweep_metric = nullptr;
    QDateEdit* dtp_sweep_from = nullptr;
    QDateEdit* dtp_sweep_to = nullptr;
    QCheckBox* cb_sweep_walk = nullptr;
    QSpinBox* edt_sweep_in = nullptr;
    QSpinBox* edt_sweep_out = nullptr;
    QPushButton* btn_sweep_start = nullptr;
    QPushButton* btn_sweep_cancel = nullptr;
    QProgressBar* pb_sweep = nullptr;
    QLabel* lbl_sweep_status = nullptr;
    QTabWidget* pc_sweep = nullptr;
    SweepChart* sweep_chart = nullptr;
    QLabel* lbl_sweep_best = nullptr;
    QLabel* lbl_sweep_hover = nullptr;
    EquityCurve* sweep_equity = nullptr;
    QTableWidget* sg_sweep_windows = nullptr;
    QLabel* lbl_sweep_walk = nullptr;

private:
    struct Outcome {
        Result<std::vector<std::vector<CellFigures>>> sweep{std::vector<std::vector<CellFigures>>{}};
        std::optional<Result<WalkForwardResult>> walk;
    };

    QWidget* buildSettings();
    QWidget* buildResults();
    void setRunning(bool on);
    void pollWorker();
    void showSweep(const std::vector<std::vector<CellFigures>>& figures);
    void showWalk(const WalkForwardResult& result);
    // The stocks of the chosen target: codes and their market; empty with a message shown.
    std::optional<std::pair<std::vector<std::string>, std::string>> targetStocks();

    Workbench& m_window;
    SweepGrid m_grid;
    SweepMetric m_metric = SweepMetric::NetReturn;
    std::vector<SweepStock> m_stocks;
    std::atomic<bool> m_cancel{false};
    std::atomic<long long> m_done{0};
    std::atomic<long long> m_total{0};
    std::thread m_worker;
    std::promise<Outcome> m_promise;
    std::future<Outcome> m_future;
    QTimer* m_poll = nullptr;
};

} // namespace vorteq
