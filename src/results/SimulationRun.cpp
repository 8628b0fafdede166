#include "results/SimulationRun.h"

#include "analysis/TStkAnalisys.h"
#include "common/DateText.h"
#include "conditions/JoukenValidation.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "results/ChartData.h"
#include "results/daily_data_view.h"
#include "results/result_view.h"
#include "screening/TradingDay.h"
#include "simulation/RunPlan.h"
#include "simulation/StockBacktest.h"
#include "widgets/DateEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"
#include "widgets/grid_common.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"
#include "workbench/common_unit.h"
#include "workbench/orq_common.h"

#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QPointer>
#include <QTabWidget>

namespace vorteq {

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

SimulationRun::SimulationRun(Workbench& window) : QObject(&window.host()), m_window(window)
{
    setObjectName(QStringLiteral("simulation_run"));
}

SimulationRun* SimulationRun::install(Workbench& window)
{
    auto* run = new SimulationRun(window);
    QPointer<SimulationRun> guarded(run);
    window.hooks().simulate = [guarded] {
        if (guarded)
            guarded->sbtn_sim_startClick();
    };
    return run;
}

void SimulationRun::sbtn_sim_startClick()
{
    WorkState& shared = work();
    const TStkList stock = shared.stk_list;
    if (stock.stkCd.empty())
        return;
    TStkAnalisys* analysis = m_window.cur_analisys();
    ResultViews* views = ResultViews::of(m_window);
    if (!analysis || !views)
        return; // the window is closing

    // The editor's numbers first: the first failure has shown its message and focused its field.
    if (JoukenEditor* editor = JoukenEditor::of(m_window)) {
        if (!editor->ValidateSimInput())
            return;
        editor->editor_to_jouken();
    } else if (const auto failed = validateJouken(jouken)) {
        msg_show(qs(failed->message));
        return;
    }

    const std::string end =
        m_window.dtp_stk_sdate->date().toString(QStringLiteral("yyyy/MM/dd")).toStdString();
    // A base date the calendar says has no prices is not asked for.
    if (const auto endDate = parseDate(end)) {
        if (const auto reason = noPricesReason(*endDate, parseDate(session().stk_upd_date))) {
            msg_no_data(qs(*reason));
            return;
        }
    }
    const std::optional<SimPeriod> period = simPeriodAt(m_window.cbx_stk_term->currentIndex());
    const std::string chosenStart =
        period == SimPeriod::Chosen
            ? m_window.dtp_stk_fdate->date().toString(QStringLiteral("yyyy/MM/dd")).toStdString()
            : std::string();
    const Result<SimulationPlan> plan = planSimulation(end, period, stock.stkCd, stock.mktCd, chosenStart);
    if (!plan) {
        showError(plan.error());
        return;
    }

    THttpStatements& http = m_window.http_statements();
    BacktestTimes spent;
    const Result<TStkData> run = backtestStock(http, *analysis, jouken, *plan, spent);
    const auto analysedAt = Clock::now();
    PhaseTimes times;
    times.request = spent.request;
    times.analysis = spent.analysis;
    // The price table stays with the session until the next run or selection replaces it.
    if (spent.stop == BacktestStop::None || spent.stop == BacktestStop::Analysis ||
        spent.stop == BacktestStop::NoSeries) {
        const TSqlSet& prices = http.Item(1);
        shared.stk_tbl = prices.Tbl;
        shared.stk_tbl_rows = prices.RowCount;
        shared.stk_tbl_cols = prices.ColCount;
    }
    switch (spent.stop) {
    case BacktestStop::None:
        break;
    case BacktestStop::QueryRefused:
        msg_sql_error();
        return;
    case BacktestStop::NoPrices:
        msg_no_data(qs("期間 " + plan->start + "～" + plan->end + " に " + stock.stkNm +
                       " の株価データがありません。"));
        return;
    case BacktestStop::NoSeries:
        msg_no_data();
        return;
    case BacktestStop::Exchange:
    case BacktestStop::Analysis:
        showError(run.error());
        return;
    }
    const TStkData& result = *run;

    StringGrid& daily = *views->daily().sg_sim_stk;
    clear_grid_cells(daily, 0, daily.colCount() - 1, 1, daily.rowCount() - 1);
    views->ShowDailyTable(result, plan->start);
    views->ShowResult(result);
    views->ShowChart(result, plan->start, jouken,
                     chartTitle(stock.stkCd, stock.stkNm, plan->start, plan->end));
    times.fill = Clock::now() - analysedAt;
    m_times = times;

    showMessage(qs(simulationClosingText(stock.stkNm, plan->start, plan->end) +
                   simulationOutcomeNotes(result, plan->start)),
                MsgKind::Information, MsgButtons::Ok);
    m_window.pc_stk_sim->setCurrentWidget(m_window.ts_stk_chart);
}

} // namespace vorteq
