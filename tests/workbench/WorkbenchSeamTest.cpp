// The panels work against the workbench alone: installed into a small stand-in window instead of the main
// window, they put themselves into its hosts and menu, answer its hooks and fill its simulation fields.

#include "app/ShellTestSupport.h"
#include "conditions/ConditionFiles.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "results/batch_frm.h"
#include "results/forward_frm.h"
#include "results/result_view.h"
#include "screening/screening_panel.h"
#include "sweep/sweep_frm.h"
#include "widgets/DateEdit.h"
#include "workbench/Workbench.h"
#include "workbench/common_unit.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

using namespace vorteq;

namespace {

// A window with only what the workbench promises: its fields, its hosts and a list of menu entries.
// No request leaves it: the statement client points at a closed loopback port.
class StandInBench : public Workbench {
public:
    StandInBench() : Workbench(m_window), m_statements("http://127.0.0.1:9/ORQ/servlet/ApsServlet/")
    {
        cbx_stk_tgt = new QComboBox(&m_window);
        cbx_stk_tgt->addItems({QStringLiteral("全銘柄"), QStringLiteral("売買条件登録銘柄")});
        cbx_mkt_cd = new QComboBox(&m_window);
        cbx_mkt_cd->addItem(QStringLiteral("東証1部"));
        dtp_stk_sdate = new DateEdit(&m_window);
        dtp_stk_fdate = new DateEdit(&m_window);
        cbx_stk_term = new QComboBox(&m_window);
        cbx_stk_term->addItem(QStringLiteral("1ヶ月"));
        for (QLineEdit** field : {&edt_sim_stk, &edt_sim_mkt, &edt_sim_cdt, &edt_sim_pst})
            *field = new QLineEdit(&m_window);
        pc_stk_sim = new QTabWidget(&m_window);
        for (QWidget** host : {&ts_stk_jouken, &ts_stk_chart, &ts_stk_daily}) {
            *host = new QWidget(pc_stk_sim);
            new QVBoxLayout(*host);
            pc_stk_sim->addTab(*host, QString());
        }
        m_screening = new QWidget(&m_window);
        new QVBoxLayout(m_screening);
    }

    THttpStatements& http_statements() override { return m_statements; }
    TStkAnalisys* cur_analisys() override { return nullptr; }
    void installScreeningPanel(QWidget* panel) override { put(m_screening, panel); }
    void installJoukenEditor(QWidget* editor) override { put(ts_stk_jouken, editor); }
    void installTradeResultView(QWidget* view) override { put(ts_stk_chart, view); }
    void installDailyDataView(QWidget* view) override { put(ts_stk_daily, view); }
    void addMenuAction(QAction* action) override { menu << action->objectName(); }

    QStringList menu;

private:
    static void put(QWidget* host, QWidget* panel)
    {
        panel->setParent(host);
        host->layout()->addWidget(panel);
    }

    QWidget m_window;
    THttpStatements m_statements;
    QWidget* m_screening = nullptr;
};

class WorkbenchSeamTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        test::resetSession(m_dir.path(), "http://127.0.0.1:9/ORQ/servlet/ApsServlet/");
        work() = WorkState{};
    }

    // Every panel and feature window installs into the stand-in: hosts, hooks and menu entries.
    void panelsInstallIntoTheWorkbench()
    {
        test::ScriptedUi ui;
        StandInBench bench;
        ScreeningPanel::install(bench);
        JoukenEditor::install(bench);
        ResultViews::install(bench);
        BatchSimulationWindow::install(bench);
        ForwardCheckWindow::install(bench);
        SweepWindow::install(bench);

        QVERIFY(JoukenEditor::of(bench));
        QVERIFY(ResultViews::of(bench));
        QVERIFY(BatchSimulationWindow::of(bench));
        QVERIFY(ForwardCheckWindow::of(bench));
        QCOMPARE(bench.menu, QStringList({QStringLiteral("act_batch"), QStringLiteral("act_forward"),
                                          QStringLiteral("mi_sweep")}));
        QVERIFY(bench.hooks().search && bench.hooks().searchReset && bench.hooks().exportStockList);
        QVERIFY(bench.hooks().joukenDefaults && bench.hooks().resetResultViews);
        // The two remembered choices stand on the screening panel's tab now.
        QVERIFY(bench.host().findChild<ScreeningPanel*>()->isAncestorOf(bench.cbx_stk_tgt));
        QVERIFY(ui.messages->shown().empty());
    }

    // A stock row selected through the workbench reaches the editor, which fills the simulation fields;
    // a screening that finds nothing empties them again.
    void selectionFillsAndClearsTheSimulationFields()
    {
        test::ScriptedUi ui;
        StandInBench bench;
        JoukenEditor::install(bench);
        int resets = 0;
        bench.hooks().resetResultViews = [&] { ++resets; };

        bench.notifyStockRowSelected(TStkList{"8035", "秋津商事", "11", "東証1部"});
        QCOMPARE(resets, 1);
        QCOMPARE(work().stk_list.stkCd, std::string("8035"));
        QCOMPARE(bench.edt_sim_stk->text(), QStringLiteral("秋津商事"));
        QCOMPARE(bench.edt_sim_mkt->text(), QStringLiteral("東証1部"));
        QCOMPARE(bench.edt_sim_cdt->text(), QStringLiteral("未登録"));
        QCOMPARE(bench.edt_sim_pst->text(), QStringLiteral("N/A"));

        bench.clearSelectedStock();
        QVERIFY(work().stk_list.stkCd.empty());
        for (const QLineEdit* field :
             {bench.edt_sim_stk, bench.edt_sim_mkt, bench.edt_sim_cdt, bench.edt_sim_pst})
            QVERIFY(field->text().isEmpty());
    }

    // Registering through the editor writes the set under the session's folder and marks the field.
    void registeringMarksTheConditionField()
    {
        test::ScriptedUi ui;
        StandInBench bench;
        JoukenEditor* editor = JoukenEditor::install(bench);
        bench.notifyStockRowSelected(TStkList{"8035", "秋津商事", "11", "東証1部"});
        ui.messages->answer(MsgResult::Yes); // the question
        ui.messages->answer(MsgResult::Ok);  // the confirmation
        editor->sbtn_jouken_addClick();
        QCOMPARE(bench.edt_sim_cdt->text(), QStringLiteral("設定済"));
        const auto index = readConditionIndex(session().base_dir);
        QVERIFY(index);
        QCOMPARE(index->size(), std::size_t{1});
    }

private:
    QTemporaryDir m_dir;
};

} // namespace

QTEST_MAIN(WorkbenchSeamTest)
#include "WorkbenchSeamTest.moc"
