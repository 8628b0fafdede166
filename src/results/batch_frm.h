#pragma once

#include "results/BatchBacktest.h"

#include <QWidget>

#include <memory>
#include <thread>
#include <vector>

class QAction;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace vorteq {

class Workbench;

// The window "一括シミュレーション": the back-test of the simulation panel's period over many stocks
// (the stock list, the stocks with a registered set, or the whole chosen market), with the editor's
// condition set or each stock's registered one. The runs go on worker threads, each with its own
// statement client and analysis object, while the window shows the count and can cancel. The result
// is one sortable line per stock with the summary under it; a double-click opens the stock's full
// run in the simulation tabs; "CSV出力" writes the table.
class BatchSimulationWindow : public QWidget {
    Q_OBJECT
public:
    explicit BatchSimulationWindow(Workbench& window);
    // Cancels a batch under way and waits for its workers.
    ~BatchSimulationWindow() override;

    // Creates the window (hidden) and the main window's menu entry that shows it.
    static BatchSimulationWindow* install(Workbench& window);
    static BatchSimulationWindow* of(const Workbench& window);

    enum class Target { StockList = 0, Registered, Market };
    enum class ConditionChoice { Editor = 0, Registered };

    // "実行": gathers the stocks and the conditions, then starts the workers. Returns at once.
    void btn_batch_startClick();
    // "中止": the workers take no further stock; the table shows what they finished.
    void btn_batch_cancelClick();
    void btn_batch_csvClick();
    // Opens the stock of a table row in the simulation tabs: selects it, puts the batch's
    // conditions and period on the panel and runs the back-test.
    void openRow(int tableRow);

    bool running() const { return m_thread.joinable(); }
    const std::vector<BatchRow>& rows() const { return m_rows; }
    bool wasCancelled() const { return m_cancelled; }

    QComboBox* cbx_batch_tgt = nullptr;
    QComboBox* cbx_batch_cdt = nullptr;
    QPushButton* btn_batch_start = nullptr;
    QPushButton* btn_batch_cancel = nullptr;
    QPushButton* btn_batch_csv = nullptr;
    QProgressBar* pb_batch = nullptr;
    QLabel* lbl_batch_status = nullptr;
    QTableWidget* tbl_batch = nullptr;
    QTableWidget* tbl_batch_summary = nullptr;

signals:
    // The table is filled after a batch ended, completed or cancelled.
    void batchFinished();

private:
    // The stocks of the chosen target; an error when they cannot be listed.
    Result<std::vector<BatchStock>> targetStocks();
    Result<std::vector<BatchStock>> marketStocks(const std::vector<std::string>& marketCodes);
    void progressed(int done, int total);
    void finished(std::vector<BatchRow> rows);
    void fillTables();
    void setRunning(bool running);

    Workbench& m_window;
    std::unique_ptr<BatchRunner> m_runner;
    std::thread m_thread;
    BatchSetup m_setup;
    TJouken m_editorJouken; // the editor's set when all stocks run with it
    bool m_perStock = false;
    std::vector<BatchRow> m_rows;
    BatchSummary m_summary;
    bool m_cancelled = false;
};

} // namespace vorteq
