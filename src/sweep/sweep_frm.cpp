#include "sweep/sweep_frm.h"

#include "common/DateText.h"
#include "common/NumberText.h"
#include "conditions/ConditionCatalogue.h"
#include "conditions/EditorLayout.h"
#include "conditions/jouken_editor.h"
#include "gateway/THttpStatements.h"
#include "screening/ScreeningQuery.h"
#include "screening/StockListColumns.h"
#include "series/MarketTable.h"
#include "simulation/RunPlan.h"
#include "sweep/SweepTable.h"
#include "sweep/sweep_view.h"
#include "widgets/DateEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"
#include "workbench/common_unit.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <array>

namespace vorteq {
namespace {

template <class W> W* named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// How the editor names a field the sweep may vary.
QString fieldCaption(int field)
{
    const std::string key(kJoukenFields[static_cast<std::size_t>(field)].key);
    for (const ConditionDef& c : kConditions) {
        if (c.buy.threshold == field)
            return qs("買い ") + qs(c.caption) + qs(" (") + qs(key) + qs(")");
        if (c.sell.threshold == field)
            return qs("売り ") + qs(c.caption) + qs(" (") + qs(key) + qs(")");
    }
    std::string_view heading;
    for (const CalcTabField& f : calcTabFields()) {
        if (!f.heading.empty())
            heading = f.heading;
        if (f.field == field)
            return qs("期間・係数 ") + qs(heading) + (f.label.empty() ? QString() : qs(" ") + qs(f.label)) +
                   qs(" (") + qs(key) + qs(")");
    }
    if (key == "AmtRikaku")
        return qs("利益確定 ％ (AmtRikaku)");
    if (key == "AmtSongiri")
        return qs("損切り ％ (AmtSongiri)");
    return qs(key);
}

QComboBox* fieldChoice(QWidget* parent, const char* name)
{
    auto* box = named(new QComboBox(parent), name);
    for (int f = 0; f < kJoukenFieldCount; ++f)
        if (sweepFieldKind(f))
            box->addItem(fieldCaption(f), f);
    return box;
}

QLineEdit* numberEdit(QWidget* parent, const char* name, const QString& text)
{
    auto* edit = named(new QLineEdit(text, parent), name);
    edit->setMaximumWidth(70);
    return edit;
}

QString figureQText(std::optional<long double> v)
{
    const std::string t = figureText(v);
    return t.empty() ? qs("－") : qs(t);
}

} // namespace

SweepWindow::SweepWindow(Workbench& window) : QDialog(&window.host(), Qt::Window), m_window(window)
{
    setObjectName(QStringLiteral("frm_sweep"));
    setWindowTitle(QStringLiteral("パラメータ最適化"));
    auto* layout = new QVBoxLayout(this);
    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(buildSettings());
    split->addWidget(buildResults());
    split->setStretchFactor(1, 1);
    layout->addWidget(split);
    m_poll = new QTimer(this);
    m_poll->setInterval(100);
    connect(m_poll, &QTimer::timeout, this, [this] { pollWorker(); });
    resize(1080, 640);
}

SweepWindow::~SweepWindow()
{
    m_cancel = true;
    if (m_worker.joinable())
        m_worker.join();
}

void SweepWindow::install(Workbench& window)
{
    auto* action = named(new QAction(QStringLiteral("パラメータ最適化(&P)"), &window.host()), "mi_sweep");
    QObject::connect(action, &QAction::triggered, &window.host(), [&window] {
        SweepWindow* sweep = of(window);
        if (!sweep)
            sweep = new SweepWindow(window);
        sweep->show();
        sweep->raise();
        sweep->activateWindow();
    });
    window.addMenuAction(action);
}

SweepWindow* SweepWindow::of(const Workbench& window)
{
    return window.host().findChild<SweepWindow*>(QStringLiteral("frm_sweep"), Qt::FindDirectChildrenOnly);
}

QWidget* SweepWindow::buildSettings()
{
    auto* panel = named(new QWidget(this), "pnl_sweep_settings");
    auto* column = new QVBoxLayout(panel);

    auto* fields = new QGroupBox(QStringLiteral("掃引する項目 (開始・終了・刻み)"), panel);
    auto* grid = new QGridLayout(fields);
    // One field: its choice on a row, then from, to and step below it.
    const auto fieldRows = [&](int row, const char* choice, std::array<QLineEdit**, 3> edits,
                               std::array<const char*, 3> names, std::array<const char*, 3> texts) {
        QComboBox* box = fieldChoice(fields, choice);
        grid->addWidget(box, row, 0, 1, 3);
        for (int i = 0; i < 3; ++i) {
            *edits[static_cast<std::size_t>(i)] =
                numberEdit(fields, names[static_cast<std::size_t>(i)],
                           QString::fromLatin1(texts[static_cast<std::size_t>(i)]));
            grid->addWidget(*edits[static_cast<std::size_t>(i)], row + 1, i);
        }
        return box;
    };
    cbx_sweep_field1 = fieldRows(0, "cbx_sweep_field1", {&edt_sweep_from1, &edt_sweep_to1, &edt_sweep_step1},
                                 {"edt_sweep_from1", "edt_sweep_to1", "edt_sweep_step1"}, {"10", "40", "5"});
    cb_sweep_field2 = named(new QCheckBox(QStringLiteral("2つ目の項目"), fields), "cb_sweep_field2");
    grid->addWidget(cb_sweep_field2, 2, 0, 1, 3);
    cbx_sweep_field2 = fieldRows(3, "cbx_sweep_field2", {&edt_sweep_from2, &edt_sweep_to2, &edt_sweep_step2},
                                 {"edt_sweep_from2", "edt_sweep_to2", "edt_sweep_step2"}, {"60", "90", "5"});
    const auto second = [this](bool on) {
        for (QWidget* w : std::initializer_list<QWidget*>{cbx_sweep_field2, edt_sweep_from2, edt_sweep_to2,
                                                          edt_sweep_step2})
            w->setEnabled(on);
    };
    connect(cb_sweep_field2, &QCheckBox::toggled, this, second);
    second(false);
    column->addWidget(fields);

    auto* target = new QGroupBox(QStringLiteral("対象"), panel);
    auto* targetRows = new QVBoxLayout(target);
    rb_sweep_stock = named(new QRadioButton(QStringLiteral("選択中の銘柄"), target), "rb_sweep_stock");
    rb_sweep_list = named(new QRadioButton(QStringLiteral("一覧の銘柄"), target), "rb_sweep_list");
    rb_sweep_market = named(new QRadioButton(QStringLiteral("市場の全銘柄"), target), "rb_sweep_market");
    rb_sweep_stock->setChecked(true);
    targetRows->addWidget(rb_sweep_stock);
    targetRows->addWidget(rb_sweep_list);
    targetRows->addWidget(rb_sweep_market);
    column->addWidget(target);

    auto* form = new QFormLayout;
    cbx_sweep_metric = named(new QComboBox(panel), "cbx_sweep_metric");
    for (std::string_view caption : kSweepMetricCaptions)
        cbx_sweep_metric->addItem(qs(caption));
    form->addRow(QStringLiteral("順位の指標"), cbx_sweep_metric);
    const QDate base = m_window.dtp_stk_sdate ? m_window.dtp_stk_sdate->date() : QDate::currentDate();
    dtp_sweep_from = named(new QDateEdit(base.addYears(-1), panel), "dtp_sweep_from");
    dtp_sweep_to = named(new QDateEdit(base, panel), "dtp_sweep_to");
    for (QDateEdit* d : {dtp_sweep_from, dtp_sweep_to}) {
        d->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
        d->setCalendarPopup(true);
    }
    form->addRow(QStringLiteral("期間の開始"), dtp_sweep_from);
    form->addRow(QStringLiteral("期間の終了"), dtp_sweep_to);
    column->addLayout(form);

    auto* walk = new QGroupBox(QStringLiteral("ウォークフォワード"), panel);
    auto* walkForm = new QFormLayout(walk);
    cb_sweep_walk = named(new QCheckBox(QStringLiteral("期間を窓に分けて検証する"), walk), "cb_sweep_walk");
    walkForm->addRow(cb_sweep_walk);
    edt_sweep_in = named(new QSpinBox(walk), "edt_sweep_in");
    edt_sweep_in->setRange(1, 240);
    edt_sweep_in->setValue(12);
    edt_sweep_in->setSuffix(QStringLiteral(" ヶ月"));
    edt_sweep_out = named(new QSpinBox(walk), "edt_sweep_out");
    edt_sweep_out->setRange(1, 240);
    edt_sweep_out->setValue(3);
    edt_sweep_out->setSuffix(QStringLiteral(" ヶ月"));
    walkForm->addRow(QStringLiteral("インサンプル"), edt_sweep_in);
    walkForm->addRow(QStringLiteral("アウトオブサンプル"), edt_sweep_out);
    column->addWidget(walk);

    auto* buttons = new QHBoxLayout;
    btn_sweep_start = named(new QPushButton(QStringLiteral("実行"), panel), "btn_sweep_start");
    btn_sweep_cancel = named(new QPushButton(QStringLiteral("中止"), panel), "btn_sweep_cancel");
    btn_sweep_cancel->setEnabled(false);
    connect(btn_sweep_start, &QPushButton::clicked, this, [this] { btn_sweep_startClick(); });
    connect(btn_sweep_cancel, &QPushButton::clicked, this, [this] { btn_sweep_cancelClick(); });
    buttons->addWidget(btn_sweep_start);
    buttons->addWidget(btn_sweep_cancel);
    column->addLayout(buttons);
    pb_sweep = named(new QProgressBar(panel), "pb_sweep");
    pb_sweep->setRange(0, 1000);
    pb_sweep->setValue(0);
    column->addWidget(pb_sweep);
    lbl_sweep_status = named(new QLabel(panel), "lbl_sweep_status");
    lbl_sweep_status->setWordWrap(true);
    column->addWidget(lbl_sweep_status);
    column->addStretch(1);
    return panel;
}

QWidget* SweepWindow::buildResults()
{
    pc_sweep = named(new QTabWidget(this), "pc_sweep");
    auto* sweepTab = named(new QWidget(pc_sweep), "ts_sweep_cells");
    auto* sweepColumn = new QVBoxLayout(sweepTab);
    sweep_chart = new SweepChart(sweepTab);
    sweepColumn->addWidget(sweep_chart, 1);
    lbl_sweep_hover =
        named(new QLabel(QStringLiteral(
                             "セルにマウスを合わせると値を表示し、クリックすると条件詳細に読み込みます。"),
                         sweepTab),
              "lbl_sweep_hover");
    sweepColumn->addWidget(lbl_sweep_hover);
    lbl_sweep_best = named(new QLabel(sweepTab), "lbl_sweep_best");
    lbl_sweep_best->setWordWrap(true);
    sweepColumn->addWidget(lbl_sweep_best);
    connect(sweep_chart, &SweepChart::cellHovered, this, [this](int cell, const QString& text) {
        if (cell >= 0)
            lbl_sweep_hover->setText(text);
    });
    connect(sweep_chart, &SweepChart::cellClicked, this, [this](int cell) { loadCellIntoEditor(cell); });
    pc_sweep->addTab(sweepTab, QStringLiteral("掃引結果"));

    auto* walkTab = named(new QWidget(pc_sweep), "ts_sweep_walk");
    auto* walkColumn = new QVBoxLayout(walkTab);
    sweep_equity = new EquityCurve(walkTab);
    walkColumn->addWidget(sweep_equity, 1);
    lbl_sweep_walk = named(new QLabel(walkTab), "lbl_sweep_walk");
    lbl_sweep_walk->setWordWrap(true);
    walkColumn->addWidget(lbl_sweep_walk);
    sg_sweep_windows = named(new QTableWidget(walkTab), "sg_sweep_windows");
    sg_sweep_windows->verticalHeader()->setVisible(false);
    sg_sweep_windows->setEditTriggers(QAbstractItemView::NoEditTriggers);
    walkColumn->addWidget(sg_sweep_windows, 1);
    pc_sweep->addTab(walkTab, QStringLiteral("ウォークフォワード"));
    return pc_sweep;
}

std::optional<std::pair<std::vector<std::string>, std::string>> SweepWindow::targetStocks()
{
    std::vector<std::string> codes;
    if (rb_sweep_stock->isChecked()) {
        const TStkList& stock = work().stk_list;
        if (stock.stkCd.empty()) {
            msg_show(QStringLiteral("銘柄が選択されていません。銘柄一覧から銘柄を選んでください。"));
            return std::nullopt;
        }
        return std::pair{std::vector<std::string>{stock.stkCd}, stock.mktCd};
    }
    const int market = m_window.cbx_mkt_cd ? std::max(0, m_window.cbx_mkt_cd->currentIndex()) : 0;
    std::string marketCode(kMarketTable[static_cast<std::size_t>(market)].code);
    if (rb_sweep_list->isChecked()) {
        auto* grid = m_window.host().findChild<StringGrid*>(QStringLiteral("sg_stk_cd"));
        for (int r = 1; grid && r < grid->rowCount(); ++r) {
            const std::string code = grid->cell(0, r).toStdString();
            if (code.empty())
                continue;
            codes.push_back(code);
            marketCode = grid->cell(kStockListMarketCodeColumn, r).toStdString();
        }
        if (codes.empty()) {
            msg_show(QStringLiteral("銘柄一覧に銘柄がありません。先に銘柄を検索してください。"));
            return std::nullopt;
        }
        return std::pair{codes, marketCode};
    }
    THttpStatements& http = m_window.http_statements();
    http.Clear();
    http.Add("Query");
    http.Add(marketCodesQuery(marketCode));
    const Result<bool> executed = http.Execute();
    if (!executed) {
        showError(executed.error());
        return std::nullopt;
    }
    if (!*executed) {
        msg_sql_error();
        return std::nullopt;
    }
    const TSqlSet& set = http.Item(1);
    for (int r = 1; r <= set.RowCount; ++r)
        codes.push_back(set.Tbl->cell(1, r));
    if (codes.empty()) {
        msg_no_data();
        return std::nullopt;
    }
    return std::pair{codes, marketCode};
}

void SweepWindow::btn_sweep_startClick()
{
    if (running())
        return;
    JoukenEditor* editor = JoukenEditor::of(m_window);
    if (!editor)
        return;
    // The editor's conditions as F5 would run them: its number check first.
    if (!editor->ValidateSimInput())
        return;
    TJouken base = TJouken::defaults();
    editor->editor_to_jouken(base);

    std::vector<SweepAxis> axes;
    const auto readAxis = [&](QComboBox* field, QLineEdit* from, QLineEdit* to, QLineEdit* step) -> bool {
        SweepAxis axis;
        axis.field = field->currentData().toInt();
        const std::pair<QLineEdit*, long double*> parts[] = {
            {from, &axis.from}, {to, &axis.to}, {step, &axis.step}};
        for (const auto& [edit, out] : parts) {
            const auto v = parseNumber(edit->text().trimmed().toStdString());
            if (!v) {
                msg_show(QStringLiteral("掃引の開始・終了・刻みには数値を入力してください。"));
                edit->setFocus();
                return false;
            }
            *out = *v;
        }
        axes.push_back(axis);
        return true;
    };
    if (!readAxis(cbx_sweep_field1, edt_sweep_from1, edt_sweep_to1, edt_sweep_step1))
        return;
    if (cb_sweep_field2->isChecked() &&
        !readAxis(cbx_sweep_field2, edt_sweep_from2, edt_sweep_to2, edt_sweep_step2))
        return;
    auto grid = makeSweepGrid(base, axes);
    if (!grid) {
        msg_show(qs(grid.error().message));
        return;
    }
    const std::string start = dtp_sweep_from->date().toString(QStringLiteral("yyyy/MM/dd")).toStdString();
    const std::string end = dtp_sweep_to->date().toString(QStringLiteral("yyyy/MM/dd")).toStdString();
    if (start > end) {
        msg_show(QStringLiteral("期間の開始は終了以前の日付にしてください。"));
        return;
    }
    std::vector<WalkWindow> windows;
    if (cb_sweep_walk->isChecked()) {
        auto made = walkForwardWindows(start, end, edt_sweep_in->value(), edt_sweep_out->value());
        if (!made) {
            msg_show(qs(made.error().message));
            return;
        }
        windows = std::move(*made);
    }
    const auto target = targetStocks();
    if (!target)
        return;
    const auto leadIn = leadInDate(start);
    if (!leadIn) {
        showError(leadIn.error());
        return;
    }

    m_grid = std::move(*grid);
    // The cells of the last run no longer match the grid.
    sweep_chart->setData({});
    m_metric = static_cast<SweepMetric>(cbx_sweep_metric->currentIndex());
    m_cancel = false;
    m_stocks.clear();
    setRunning(true);
    // The prices, one request per stock, through the window's client; the window stays live.
    THttpStatements& http = m_window.http_statements();
    const auto& [codes, marketCode] = *target;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        lbl_sweep_status->setText(
            QStringLiteral("株価を取得しています… %1 / %2").arg(i + 1).arg(codes.size()));
        pb_sweep->setValue(static_cast<int>(1000 * i / codes.size()));
        QApplication::processEvents();
        if (m_cancel) {
            setRunning(false);
            lbl_sweep_status->setText(QStringLiteral("中止しました。"));
            return;
        }
        auto query = priceQuery(codes[i], marketCode, *leadIn, end);
        if (!query) {
            setRunning(false);
            showError(query.error());
            return;
        }
        http.Clear();
        http.Add("Query");
        http.Add(*query);
        const Result<bool> executed = http.Execute();
        if (!executed || !*executed) {
            setRunning(false);
            if (!executed)
                showError(executed.error());
            else
                msg_sql_error();
            return;
        }
        const TSqlSet& prices = http.Item(1);
        m_stocks.push_back({codes[i], prices.Tbl, prices.RowCount});
    }

    lbl_sweep_status->setText(
        QStringLiteral("計算しています… %1 銘柄 × %2 セル").arg(m_stocks.size()).arg(m_grid.cellCount()));
    m_done = 0;
    m_total = 1;
    m_promise = std::promise<Outcome>();
    m_future = m_promise.get_future();
    SweepRunOptions options;
    options.jobs = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    options.cancel = &m_cancel;
    options.progress = [this](long long done, long long total) {
        m_done = done;
        m_total = total;
    };
    m_worker = std::thread([this, options, start, end, windows] {
        Outcome outcome;
        if (windows.empty())
            outcome.sweep = runSweep(m_grid, m_stocks, start, end, options);
        else
            outcome.walk = runWalkForward(m_grid, m_stocks, windows, m_metric, options);
        m_promise.set_value(std::move(outcome));
    });
    m_poll->start();
}

void SweepWindow::btn_sweep_cancelClick()
{
    m_cancel = true;
}

void SweepWindow::setRunning(bool on)
{
    btn_sweep_start->setEnabled(!on);
    btn_sweep_cancel->setEnabled(on);
    if (on)
        pb_sweep->setValue(0);
}

void SweepWindow::pollWorker()
{
    const long long total = std::max(1LL, m_total.load());
    pb_sweep->setValue(static_cast<int>(1000 * std::min(m_done.load(), total) / total));
    if (m_future.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    m_poll->stop();
    m_worker.join();
    setRunning(false);
    Outcome outcome = m_future.get();
    if (outcome.walk) {
        if (!*outcome.walk) {
            lbl_sweep_status->setText(qs(outcome.walk->error().message));
            return;
        }
        pb_sweep->setValue(1000);
        showWalk(**outcome.walk);
        return;
    }
    if (!outcome.sweep) {
        lbl_sweep_status->setText(qs(outcome.sweep.error().message));
        return;
    }
    pb_sweep->setValue(1000);
    showSweep(*outcome.sweep);
}

void SweepWindow::showSweep(const std::vector<std::vector<CellFigures>>& figures)
{
    SweepChart::Data chartData;
    for (std::size_t a = 0; a < m_grid.axes().size(); ++a) {
        chartData.keys.push_back(qs(kJoukenFields[static_cast<std::size_t>(m_grid.axes()[a].field)].key));
        std::vector<QString> values;
        for (const std::string& v : m_grid.values(a))
            values.push_back(qs(v));
        chartData.values.push_back(std::move(values));
    }
    std::vector<std::optional<long double>> values;
    int failed = 0;
    for (int c = 0; c < m_grid.cellCount(); ++c) {
        const MeanFigures mean = meanFigures(figures, c);
        values.push_back(metricOf(mean, m_metric));
        failed += mean.stocks == 0 ? 1 : 0;
    }
    chartData.figures = values;
    chartData.metricCaption = qs(kSweepMetricCaptions[static_cast<std::size_t>(m_metric)]);
    chartData.best = bestCell(values);
    sweep_chart->setData(std::move(chartData));
    pc_sweep->setCurrentIndex(0);
    lbl_sweep_status->setText(
        QStringLiteral("%1 銘柄 × %2 セルを計算しました。").arg(figures.size()).arg(m_grid.cellCount()) +
        (failed ? QStringLiteral(" (%1 セルは計算できませんでした)").arg(failed) : QString()));
    const int best = bestCell(values);
    if (best < 0) {
        lbl_sweep_best->setText(QStringLiteral("値のあるセルがありません。"));
        return;
    }
    lbl_sweep_best->setText(QStringLiteral("最良のセル: ") + sweep_chart->cellText(best) +
                            QStringLiteral("\n頑健性 (隣接セルの平均): ") +
                            figureQText(neighbourMean(m_grid, values, best)));
}

void SweepWindow::showWalk(const WalkForwardResult& result)
{
    std::vector<std::string> dates;
    std::vector<long double> values;
    std::vector<int> marks;
    std::size_t window = 0;
    for (std::size_t i = 0; i < result.chained.days.size(); ++i) {
        const EquityDay& day = result.chained.days[i];
        while (window < result.windows.size() && day.date >= result.windows[window].window.outStart) {
            marks.push_back(static_cast<int>(i));
            ++window;
        }
        dates.push_back(day.date);
        values.push_back(day.value);
    }
    sweep_equity->setSeries(std::move(dates), std::move(values), std::move(marks));

    QStringList header{QStringLiteral("IS期間"), QStringLiteral("OOS期間")};
    for (const SweepAxis& axis : m_grid.axes())
        header << qs(kJoukenFields[static_cast<std::size_t>(axis.field)].key);
    // The ranking figure has a column of its own unless it is the net return shown anyway.
    const bool rankedByReturn = m_metric == SweepMetric::NetReturn;
    if (!rankedByReturn)
        header << QStringLiteral("IS ") + qs(kSweepMetricCaptions[static_cast<std::size_t>(m_metric)]);
    header << QStringLiteral("IS 純利益率(%)") << QStringLiteral("OOS 純利益率(%)")
           << QStringLiteral("OOS 取引回数");
    sg_sweep_windows->clear();
    sg_sweep_windows->setColumnCount(static_cast<int>(header.size()));
    sg_sweep_windows->setHorizontalHeaderLabels(header);
    sg_sweep_windows->setRowCount(static_cast<int>(result.windows.size()));
    for (int r = 0; r < static_cast<int>(result.windows.size()); ++r) {
        const WalkWindowResult& w = result.windows[static_cast<std::size_t>(r)];
        QStringList cells{qs(w.window.inStart) + QStringLiteral("～") + qs(w.window.inEnd),
                          qs(w.window.outStart) + QStringLiteral("～") + qs(w.window.outEnd)};
        for (std::size_t a = 0; a < m_grid.axes().size(); ++a)
            cells << (a < w.bestValues.size() ? qs(w.bestValues[a]) : QStringLiteral("－"));
        if (!rankedByReturn)
            cells << figureQText(metricOf(w.inSample, m_metric));
        cells << figureQText(w.inSample.netReturnPct) << figureQText(w.outOfSample.netReturnPct)
              << figureQText(w.outOfSample.trades);
        for (int c = 0; c < static_cast<int>(cells.size()); ++c)
            sg_sweep_windows->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    sg_sweep_windows->resizeColumnsToContents();
    const SideStatistics& oos = result.chainedStatistics.all;
    lbl_sweep_walk->setText(
        QStringLiteral("アウトオブサンプル連結 (先頭の銘柄): 純利益率 %1 %、最大ドローダウン %2 "
                       "%、シャープレシオ %3、取引 %4 回\n"
                       "年率リターン: インサンプル %5 %、アウトオブサンプル %6 %　ウォークフォワード効率 %7")
            .arg(figureQText(oos.netProfitPct), figureQText(oos.maxDrawdownPct), figureQText(oos.sharpe))
            .arg(oos.trades)
            .arg(figureQText(result.inSampleReturnPerYear), figureQText(result.outOfSampleReturnPerYear),
                 figureQText(result.efficiency)));
    lbl_sweep_status->setText(
        QStringLiteral("ウォークフォワード: %1 窓を計算しました。").arg(result.windows.size()));
    pc_sweep->setCurrentIndex(1);
}

void SweepWindow::loadCellIntoEditor(int cell)
{
    JoukenEditor* editor = JoukenEditor::of(m_window);
    if (!editor || cell < 0 || cell >= m_grid.cellCount())
        return;
    const std::vector<std::string> values = m_grid.cellValues(cell);
    for (std::size_t a = 0; a < m_grid.axes().size(); ++a)
        if (auto* edit = qobject_cast<QLineEdit*>(editor->control(m_grid.axes()[a].field)))
            edit->setText(qs(values[a]));
    lbl_sweep_status->setText(QStringLiteral("条件詳細に読み込みました (登録はまだです): ") +
                              sweep_chart->cellText(cell));
}

} // namespace vorteq
