#pragma once

#include "results/ForwardReturns.h"

#include <QWidget>

class QLabel;
class QPushButton;
class QTableWidget;

namespace vorteq {

class Workbench;

// The window "検索結果の検証": for the stocks of the list, the return from the open of the trading day
// after the screening's base date to the close 1, 5, 20 and 60 trading days later, against every
// stock of the market on that day. The list's base date and market are those of its rows.
class ForwardCheckWindow : public QWidget {
    Q_OBJECT
public:
    explicit ForwardCheckWindow(Workbench& window);

    // Creates the window (hidden) and the main window's menu entry that runs the check and shows it.
    static ForwardCheckWindow* install(Workbench& window);
    static ForwardCheckWindow* of(const Workbench& window);

    // Asks the server and fills the tables; a message when there is no list or no later day.
    bool check();
    void btn_forward_csvClick();

    const ForwardReturns& returns() const { return m_returns; }

    QLabel* lbl_forward = nullptr;
    QTableWidget* tbl_forward_summary = nullptr;
    QTableWidget* tbl_forward_stocks = nullptr;
    QPushButton* btn_forward_csv = nullptr;

private:
    Workbench& m_window;
    ForwardReturns m_returns;
    std::vector<std::string> m_names; // of the listed stocks, in list order
};

} // namespace vorteq
