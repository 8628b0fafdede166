#include "accounts/LoginBatch.h"
#include "app/FeaturePanels.h"
#include "app/Screenshots.h"
#include "app/main_frm.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "results/batch_frm.h"
#include "results/chart_view.h"
#include "results/forward_frm.h"
#include "results/result_view.h"
#include "results/statistics_view.h"
#include "simulation/RunPlan.h"
#include "widgets/MessageDialog.h"
#include "workbench/orq_common.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QEventLoop>
#include <QPixmap>
#include <QProgressBar>
#include <QStringList>
#include <QTabWidget>
#include <QTableWidget>

#include <cstdio>
#include <memory>

namespace vorteq {

namespace {

// Two moving averages crossing, or the Bollinger bands and the parabolic agreeing: a condition set
// whose chart shows every kind of overlay without a trade every week.
TJouken screenshotConditions()
{
    TJouken j = TJouken::defaults();
    for (const auto& [key, value] :
         std::initializer_list<std::pair<const char*, const char*>>{{"UseBuyCloss", "1"},
                                                                    {"KbnBuyCloss", "0"},
                                                                    {"UseSellCloss", "1"},
                                                                    {"KbnSellCloss", "1"},
                                                                    {"UseBuyVolin", "2"},
                                                                    {"UseSellVolin", "2"},
                                                                    {"UseBuyParab", "2"},
                                                                    {"UseSellParab", "2"},
                                                                    {"KbnTani", "1"},
                                                                    {"KbnTrade", "2"},
                                                                    {"UseTesuryo", "1"},
                                                                    {"KbnTesuryo", "1"},
                                                                    {"AmtTesuryo", "0.1"}})
        j.set(key, value);
    return j;
}

// The batch window over the whole chosen market: while it runs, and its table when done.
bool takeBatchScreenshots(Tfrm_main& window, const QDir& dir)
{
    BatchSimulationWindow* batch = BatchSimulationWindow::of(window);
    if (!batch)
        return false;
    batch->cbx_batch_tgt->setCurrentIndex(static_cast<int>(BatchSimulationWindow::Target::Market));
    batch->show();
    bool ok = true;
    bool runningShot = false;
    QEventLoop loop;
    QObject::connect(batch, &BatchSimulationWindow::batchFinished, &loop, &QEventLoop::quit);
    QObject::connect(batch->pb_batch, &QProgressBar::valueChanged, &loop, [&](int value) {
        if (runningShot || value < batch->pb_batch->maximum() / 3)
            return;
        runningShot = true;
        ok = saveScreenshot(*batch, dir, QStringLiteral("batch_running.png")) && ok;
    });
    batch->btn_batch_startClick();
    if (!batch->running()) {
        std::fprintf(stderr, "the batch did not start\n");
        return false;
    }
    loop.exec();
    ok = saveScreenshot(*batch, dir, QStringLiteral("batch_done.png")) && ok;
    batch->tbl_batch->sortItems(5, Qt::DescendingOrder); // by net return, best first
    ok = saveScreenshot(*batch, dir, QStringLiteral("batch_sorted.png")) && ok;
    batch->hide();
    return ok;
}

// A screening a hundred days before the base date, then its check against the market.
bool takeForwardScreenshot(Tfrm_main& window, const QDir& dir)
{
    auto* date = window.findChild<QDateEdit*>(QStringLiteral("dtp_kdate"));
    ForwardCheckWindow* check = ForwardCheckWindow::of(window);
    if (!date || !check)
        return false;
    QDate day = window.dtp_stk_sdate->date().addDays(-100);
    while (day.dayOfWeek() > 5) // a weekday, which has prices
        day = day.addDays(-1);
    date->setDate(day);
    window.act_serch->trigger();
    if (!check->check()) {
        std::fprintf(stderr, "the screening check showed nothing\n");
        return false;
    }
    check->show();
    const bool ok = saveScreenshot(*check, dir, QStringLiteral("forward_check.png"));
    check->hide();
    return ok;
}

} // namespace

int takeRunScreenshots(const QString& folder, const std::string& serverUrl, const QString& run)
{
    const QStringList parts = run.split(QLatin1Char(','));
    if (parts.size() != 6) {
        std::fprintf(stderr, "--screenshot-run CODE,NAME,MARKET,MARKETNAME,yyyy/mm/dd,PERIOD\n");
        return 64;
    }
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", folder.toLocal8Bit().constData());
        return 1;
    }
    SessionState& s = session();
    s.base_dir = QDir(dir.absoluteFilePath(QStringLiteral("base"))).absolutePath().toStdString();
    s.server_url = serverUrl;
    auto previousDialog = setMessageDialog(std::make_shared<ScriptedMessageDialog>());

    THttpStatements login(serverUrl);
    login.Add("Query");
    login.Add(loginUserStatement("demo", "demo1234"));
    const auto executed = login.Execute();
    if (!executed || !*executed || login.Item(1).RowCount != 1) {
        std::fprintf(stderr, "the demo login failed at %s\n", serverUrl.c_str());
        return 1;
    }
    s.usr_info = TUSRInfo{"デモ ユーザー", "demo", "demo1234", "demo@example.com", "0"};
    s.stk_upd_date = parts[4].toStdString();
    s.login_ok = true;

    bool ok = true;
    {
        Tfrm_main window;
        installFeaturePanels(window);
        window.show();
        window.notifyStockRowSelected(TStkList{parts[0].toStdString(), parts[1].toStdString(),
                                               parts[2].toStdString(), parts[3].toStdString()});
        if (JoukenEditor* editor = JoukenEditor::of(window))
            editor->jouken_to_editor(screenshotConditions());
        window.dtp_stk_sdate->setDate(QDate::fromString(parts[4], QStringLiteral("yyyy/MM/dd")));
        window.cbx_stk_term->setCurrentIndex(parts[5].toInt());
        window.act_sim->trigger();
        ResultViews* views = ResultViews::of(window);
        if (!views || views->chart()->data().series.days.empty()) {
            std::fprintf(stderr, "the back-test showed nothing\n");
            return 1;
        }
        window.sbtn_sim_sizeClick(); // the result area widened, as one reads a chart
        const std::pair<QWidget*, QString> tabs[] = {
            {window.ts_stk_chart, QStringLiteral("run_trades.png")},
            {window.ts_stk_daily, QStringLiteral("run_daily.png")},
            {views->chart(), QStringLiteral("run_chart.png")},
            {views->statistics(), QStringLiteral("run_statistics.png")},
        };
        for (const auto& [tab, name] : tabs) {
            window.pc_stk_sim->setCurrentWidget(tab);
            ok = saveScreenshot(window, dir, name) && ok;
        }
        // A trade centred, as a click on its row does, with the crosshair on its day.
        const auto& markers = views->chart()->data().markers;
        if (!markers.empty()) {
            const auto& days = views->chart()->data().series.days;
            views->chart()->centreOn(days[static_cast<std::size_t>(markers[markers.size() / 2].day)].date);
            window.pc_stk_sim->setCurrentWidget(views->chart());
            ok = saveScreenshot(window, dir, QStringLiteral("run_chart_centred.png")) && ok;
        }
        // The chosen period shows its start field beside the base date.
        const int period = window.cbx_stk_term->currentIndex();
        window.pc_stk_sim->setCurrentWidget(window.ts_stk_chart);
        window.cbx_stk_term->setCurrentIndex(listPositionOf(SimPeriod::Chosen));
        ok = saveScreenshot(window, dir, QStringLiteral("run_chosen_period.png")) && ok;
        window.cbx_stk_term->setCurrentIndex(period);
        ok = takeBatchScreenshots(window, dir) && ok;
        ok = takeForwardScreenshot(window, dir) && ok;
        window.hide();
    }
    setMessageDialog(previousDialog);
    return ok ? 0 : 1;
}

} // namespace vorteq
