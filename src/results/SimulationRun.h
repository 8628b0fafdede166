#pragma once

#include <QObject>

#include <chrono>

namespace vorteq {

class Workbench;

// The back-test of the selected stock from the button "ｼﾐｭﾚｰｼｮﾝの実行 F5" or the F5 key, on the
// main window's statement client and analysis object: the editor's number check, the conditions
// into `jouken`, the period and the price query, the request, the analysis with the simulation,
// the result views and the closing message. A run that stops on the way leaves the views of the
// last good run.
class SimulationRun : public QObject {
    Q_OBJECT
public:
    explicit SimulationRun(Workbench& window);

    // Creates the run for the window and registers it on the window's simulate hook.
    static SimulationRun* install(Workbench& window);

    // The whole run. Without a selected stock it does nothing at all.
    void sbtn_sim_startClick();

    // Where the time of the last complete run went: the request (the exchange with the server),
    // the analysis (indicators and simulation) and the fill of the views, up to the closing message.
    struct PhaseTimes {
        std::chrono::nanoseconds request{};
        std::chrono::nanoseconds analysis{};
        std::chrono::nanoseconds fill{};
    };
    const PhaseTimes& lastPhaseTimes() const { return m_times; }

private:
    Workbench& m_window;
    PhaseTimes m_times;
};

} // namespace vorteq
