#include "results/batch_frm.h"

#include "common/DateText.h"
#include "conditions/ConditionFiles.h"
#include "conditions/jouken_editor.h"
#include "results/result_view.h"
#include "screening/ScreeningQuery.h"
#include "screening/StockListColumns.h"
#include "series/MarketTable.h"
#include "widgets/DateEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/QtText.h"
#include "widgets/StringGrid.h"
#include "widgets/msg_common.h"
#include "workbench/Workbench.h"
#include "workbench/common_unit.h"
#include "workbench/orq_common.h"

#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

namespace vorteq {

namespace {

// A cell that sorts by its number ("－" and empty cells below every number), else by its text.
class BatchItem : public QTableWidgetItem {
public:
    explicit BatchItem(const QString& text) : QTableWidgetItem(text)
    {
        bool ok = false;
        const double value = text.toDouble(&ok);
        m_number = ok;
        m_value = value;
        setFlags(flags() & ~Qt::ItemIsEditable);
    }
    bool operator<(const QTableWidgetItem& other) const override
    {
        const auto* that = dynamic_cast<const BatchItem*>(&other);
        if (!that || (!m_number && !that->m_number))
            return QTableWidgetItem::operator<(other);
        if (m_number != that->m_number)
            return !m_number;
        return m_value < that->m_value;
    }

private:
    bool m_number = false;
    double m_value = 0;
};

constexpr int kFirstFigureColumn = 3;
constexpr int kOutcomeColumn = 10;

QTableWidget* batchTable(QWidget* parent, const char* name)
{
    auto* table = new QTableWidget(parent);
    table->setObjectName(QString::fromLatin1(name));
    QStringList titles;
    for (const std::string& title : batchColumnTitles())
        titles << qs(title);
    table->setColumnCount(static_cast<int>(titles.size()));
    table->setHorizontalHeaderLabels(titles);
    table->verticalHeader()->setVisible(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    return table;
}

void fillRow(QTableWidget& table, int row, const std::vector<std::string>& cells)
{
    for (std::size_t c = 0; c < cells.size() && c < static_cast<std::size_t>(table.columnCount()); ++c) {
        auto* item = new BatchItem(qs(cells[c]));
        if (c >= kFirstFigureColumn && c < kOutcomeColumn)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table.setItem(row, static_cast<int>(c), item);
    }
}

} // namespace

BatchSimulationWindow::BatchSimulationWindow(Workbench& window)
    : QWidget(&window.host(), Qt::Window), m_window(window)
{
    setObjectName(QStringLiteral("frm_batch"));
    setWindowTitle(QStringLiteral("一括シミュレーション"));
    resize(1000, 600);

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    const auto caption = [this](const char* name, const char* text) {
        auto* label = new QLabel(QString::fromUtf8(text), this);
        label->setObjectName(QString::fromLatin1(name));
        return label;
    };
    cbx_batch_tgt = new QComboBox(this);
    cbx_batch_tgt->setObjectName(QStringLiteral("cbx_batch_tgt"));
    cbx_batch_tgt->addItems({QStringLiteral("現在の銘柄一覧"), QStringLiteral("売買条件登録銘柄"),
                             QStringLiteral("選択中の市場の全銘柄")});
    cbx_batch_cdt = new QComboBox(this);
    cbx_batch_cdt->setObjectName(QStringLiteral("cbx_batch_cdt"));
    cbx_batch_cdt->addItems(
        {QStringLiteral("条件詳細の売買条件"), QStringLiteral("各銘柄の登録済み売買条件")});
    btn_batch_start = new QPushButton(QStringLiteral("実行"), this);
    btn_batch_start->setObjectName(QStringLiteral("btn_batch_start"));
    btn_batch_cancel = new QPushButton(QStringLiteral("中止"), this);
    btn_batch_cancel->setObjectName(QStringLiteral("btn_batch_cancel"));
    btn_batch_csv = new QPushButton(QStringLiteral("CSV出力"), this);
    btn_batch_csv->setObjectName(QStringLiteral("btn_batch_csv"));
    bar->addWidget(caption("lbl_batch_tgt", "対象"));
    bar->addWidget(cbx_batch_tgt);
    bar->addSpacing(8);
    bar->addWidget(caption("lbl_batch_cdt", "売買条件"));
    bar->addWidget(cbx_batch_cdt);
    bar->addSpacing(8);
    bar->addWidget(btn_batch_start);
    bar->addWidget(btn_batch_cancel);
    bar->addStretch(1);
    bar->addWidget(btn_batch_csv);
    layout->addLayout(bar);

    auto* progress = new QHBoxLayout;
    pb_batch = new QProgressBar(this);
    pb_batch->setObjectName(QStringLiteral("pb_batch"));
    pb_batch->setFormat(QStringLiteral("%v / %m 銘柄"));
    pb_batch->setRange(0, 1);
    pb_batch->setValue(0);
    lbl_batch_status = caption("lbl_batch_status", "");
    progress->addWidget(pb_batch, 1);
    progress->addWidget(lbl_batch_status, 2);
    layout->addLayout(progress);

    tbl_batch = batchTable(this, "tbl_batch");
    tbl_batch->setSortingEnabled(true);
    layout->addWidget(tbl_batch, 1);
    tbl_batch_summary = batchTable(this, "tbl_batch_summary");
    tbl_batch_summary->horizontalHeader()->setVisible(false);
    tbl_batch_summary->setFixedHeight(tbl_batch_summary->verticalHeader()->defaultSectionSize() * 7 + 4);
    tbl_batch_summary->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(tbl_batch_summary);
    // The summary keeps its columns under the stocks' columns.
    connect(tbl_batch->horizontalHeader(), &QHeaderView::sectionResized, this,
            [this](int column, int, int width) { tbl_batch_summary->setColumnWidth(column, width); });
    connect(tbl_batch->horizontalScrollBar(), &QScrollBar::valueChanged,
            tbl_batch_summary->horizontalScrollBar(), &QScrollBar::setValue);

    connect(btn_batch_start, &QPushButton::clicked, this, [this] { btn_batch_startClick(); });
    connect(btn_batch_cancel, &QPushButton::clicked, this, [this] { btn_batch_cancelClick(); });
    connect(btn_batch_csv, &QPushButton::clicked, this, [this] { btn_batch_csvClick(); });
    connect(tbl_batch, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { openRow(row); });
    setRunning(false);
    btn_batch_csv->setEnabled(false);
}

BatchSimulationWindow::~BatchSimulationWindow()
{
    if (m_runner)
        m_runner->cancel();
    if (m_thread.joinable())
        m_thread.join();
}

BatchSimulationWindow* BatchSimulationWindow::install(Workbench& window)
{
    auto* batch = new BatchSimulationWindow(window);
    auto* action = new QAction(QStringLiteral("一括シミュレーション(&B)"), &window.host());
    action->setObjectName(QStringLiteral("act_batch"));
    QPointer<BatchSimulationWindow> guarded(batch);
    QObject::connect(action, &QAction::triggered, batch, [guarded] {
        if (!guarded)
            return;
        guarded->show();
        guarded->raise();
        guarded->activateWindow();
    });
    window.addMenuAction(action);
    return batch;
}

BatchSimulationWindow* BatchSimulationWindow::of(const Workbench& window)
{
    return window.host().findChild<BatchSimulationWindow*>(QStringLiteral("frm_batch"));
}

void BatchSimulationWindow::setRunning(bool running)
{
    btn_batch_start->setEnabled(!running);
    cbx_batch_tgt->setEnabled(!running);
    cbx_batch_cdt->setEnabled(!running);
    btn_batch_cancel->setEnabled(running);
    btn_batch_csv->setEnabled(!running && !m_rows.empty());
}

Result<std::vector<BatchStock>>
BatchSimulationWindow::marketStocks(const std::vector<std::string>& marketCodes)
{
    std::vector<BatchStock> stocks;
    THttpStatements& http = m_window.http_statements();
    http.Clear();
    http.Add("Query");
    for (const std::string& code : marketCodes)
        http.Add(marketStocksQuery(code));
    const Result<bool> executed = http.Execute();
    if (!executed)
        return executed.error();
    if (!*executed)
        return makeError(ErrorCode::Server, "SQL ERROR");
    for (std::size_t k = 0; k < marketCodes.size(); ++k) {
        const TSqlSet& item = http.Item(static_cast<int>(k) + 1);
        const MarketEntry* market = marketByCode(marketCodes[k]);
        for (int r = 1; r <= item.RowCount; ++r)
            stocks.push_back({item.Tbl->cell(1, r), item.Tbl->cell(2, r), marketCodes[k],
                              market ? std::string(market->name) : marketCodes[k]});
    }
    return stocks;
}

Result<std::vector<BatchStock>> BatchSimulationWindow::targetStocks()
{
    switch (static_cast<Target>(cbx_batch_tgt->currentIndex())) {
    case Target::StockList: {
        std::vector<BatchStock> stocks;
        if (const auto* list = m_window.host().findChild<StringGrid*>(QStringLiteral("sg_stk_cd")))
            for (int r = 1; r < list->rowCount(); ++r)
                if (!list->cell(0, r).isEmpty())
                    stocks.push_back({list->cell(0, r).toStdString(), list->cell(1, r).toStdString(),
                                      list->cell(kStockListMarketCodeColumn, r).toStdString(),
                                      list->cell(2, r).toStdString()});
        return stocks;
    }
    case Target::Registered: {
        const auto index = readConditionIndex(session().base_dir);
        if (!index)
            return index.error();
        std::vector<std::string> markets;
        for (const ConditionSetId& id : *index)
            if (marketByCode(id.market) &&
                std::find(markets.begin(), markets.end(), id.market) == markets.end())
                markets.push_back(id.market);
        if (markets.empty())
            return std::vector<BatchStock>{};
        auto listed = marketStocks(markets);
        if (!listed)
            return listed.error();
        std::vector<BatchStock> stocks;
        for (const ConditionSetId& id : *index)
            for (const BatchStock& stock : *listed)
                if (stock.code == id.code && stock.marketCode == id.market) {
                    stocks.push_back(stock);
                    break;
                }
        return stocks;
    }
    case Target::Market: {
        const int position = m_window.cbx_mkt_cd->currentIndex();
        if (position < 0 || position >= static_cast<int>(kMarketTable.size()))
            return std::vector<BatchStock>{};
        return marketStocks({std::string(kMarketTable[static_cast<std::size_t>(position)].code)});
    }
    }
    return std::vector<BatchStock>{};
}

void BatchSimulationWindow::btn_batch_startClick()
{
    if (running())
        return;
    m_perStock = static_cast<ConditionChoice>(cbx_batch_cdt->currentIndex()) == ConditionChoice::Registered;
    if (!m_perStock) {
        JoukenEditor* editor = JoukenEditor::of(m_window);
        if (editor) {
            if (!editor->ValidateSimInput())
                return;
            editor->editor_to_jouken(m_editorJouken);
        } else {
            m_editorJouken = jouken;
        }
    }
    BatchSetup setup;
    setup.endDate = m_window.dtp_stk_sdate->date().toString(QStringLiteral("yyyy/MM/dd")).toStdString();
    setup.period = simPeriodAt(m_window.cbx_stk_term->currentIndex());
    if (setup.period == SimPeriod::Chosen)
        setup.chosenStart =
            m_window.dtp_stk_fdate->date().toString(QStringLiteral("yyyy/MM/dd")).toStdString();
    const Result<std::string> start = periodStart(setup.endDate, setup.period, setup.chosenStart);
    if (!start) {
        showError(start.error());
        return;
    }
    auto stocks = targetStocks();
    if (!stocks) {
        showError(stocks.error());
        return;
    }
    if (stocks->empty()) {
        msg_show(QStringLiteral("対象の銘柄がありません。"));
        return;
    }
    setup.stocks = std::move(*stocks);
    if (m_perStock) {
        const std::filesystem::path baseDir = session().base_dir;
        setup.conditions = [baseDir](const BatchStock& stock) {
            return loadRegisteredJoukenForRun(baseDir, {stock.code, stock.marketCode});
        };
    } else {
        const TJouken shared = m_editorJouken;
        setup.conditions = [shared](const BatchStock&) -> Result<TJouken> { return shared; };
    }
    const std::string url = m_window.http_statements().url();
    setup.makeStatements = [url] { return std::make_unique<THttpStatements>(url); };
    m_setup = setup;

    const int total = static_cast<int>(m_setup.stocks.size());
    m_rows.clear();
    m_cancelled = false;
    tbl_batch->setSortingEnabled(false);
    tbl_batch->setRowCount(0);
    tbl_batch_summary->setRowCount(0);
    pb_batch->setRange(0, total);
    pb_batch->setValue(0);
    m_runner = std::make_unique<BatchRunner>(defaultBatchJobs());
    lbl_batch_status->setText(QStringLiteral("期間 %1～%2、%3 並列で実行中")
                                  .arg(qs(*start), qs(m_setup.endDate))
                                  .arg(m_runner->jobs()));
    setRunning(true);

    QPointer<BatchSimulationWindow> self(this);
    BatchRunner* runner = m_runner.get();
    m_thread = std::thread([this, self, runner] {
        std::vector<BatchRow> rows =
            runBatchBacktest(m_setup, *runner, [self, this](int, int done, int count) {
                QMetaObject::invokeMethod(
                    this,
                    [self, done, count] {
                        if (self)
                            self->progressed(done, count);
                    },
                    Qt::QueuedConnection);
            });
        QMetaObject::invokeMethod(
            this,
            [self, rows = std::move(rows)]() mutable {
                if (self)
                    self->finished(std::move(rows));
            },
            Qt::QueuedConnection);
    });
}

void BatchSimulationWindow::btn_batch_cancelClick()
{
    if (!m_runner || !running())
        return;
    m_runner->cancel();
    lbl_batch_status->setText(QStringLiteral("中止しています…"));
}

void BatchSimulationWindow::progressed(int done, int total)
{
    pb_batch->setMaximum(total);
    pb_batch->setValue(std::max(pb_batch->value(), done));
}

void BatchSimulationWindow::finished(std::vector<BatchRow> rows)
{
    if (m_thread.joinable())
        m_thread.join();
    m_cancelled = m_runner && m_runner->cancelled();
    m_rows = std::move(rows);
    m_summary = summarizeBatch(m_rows);
    fillTables();
    const int ran = m_summary.done + m_summary.failed;
    pb_batch->setValue(ran);
    QString status = QStringLiteral("%1 / %2 銘柄を実行 (成功 %3、失敗 %4)")
                         .arg(ran)
                         .arg(m_rows.size())
                         .arg(m_summary.done)
                         .arg(m_summary.failed);
    if (m_cancelled)
        status += QStringLiteral("。中断されました: 未実行 %1 銘柄").arg(m_summary.notRun);
    lbl_batch_status->setText(status);
    setRunning(false);
    // A server that could not be reached, or a session it ended, stopped the batch: say why.
    for (const BatchRow& row : m_rows)
        if (row.state == BatchRowState::Failed &&
            (row.error.code == ErrorCode::Transport || row.error.code == ErrorCode::SessionExpired)) {
            showError(row.error);
            break;
        }
    emit batchFinished();
}

void BatchSimulationWindow::fillTables()
{
    tbl_batch->setSortingEnabled(false);
    tbl_batch->setRowCount(static_cast<int>(m_rows.size()));
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        fillRow(*tbl_batch, static_cast<int>(i), batchRowTexts(m_rows[i]));
        tbl_batch->item(static_cast<int>(i), 0)->setData(Qt::UserRole, static_cast<int>(i));
    }
    tbl_batch->setSortingEnabled(true);
    tbl_batch->resizeColumnsToContents();
    const auto summary = batchSummaryTexts(m_summary);
    tbl_batch_summary->setRowCount(static_cast<int>(summary.size()));
    tbl_batch_summary->clearSpans();
    for (std::size_t i = 0; i < summary.size(); ++i) {
        fillRow(*tbl_batch_summary, static_cast<int>(i), summary[i]);
        // The lines after the mean and the median have a long caption and one figure under the trades.
        if (i >= 2)
            tbl_batch_summary->setSpan(static_cast<int>(i), 0, 1, kFirstFigureColumn);
    }
    for (int c = 0; c < tbl_batch->columnCount(); ++c)
        tbl_batch_summary->setColumnWidth(c, tbl_batch->columnWidth(c));
}

void BatchSimulationWindow::btn_batch_csvClick()
{
    if (m_rows.empty() || running())
        return;
    saveExportLines([this] { return batchCsvLines(m_rows, m_summary, m_cancelled); });
}

void BatchSimulationWindow::openRow(int tableRow)
{
    const QTableWidgetItem* first = tbl_batch->item(tableRow, 0);
    if (!first || running())
        return;
    const int index = first->data(Qt::UserRole).toInt();
    if (index < 0 || index >= static_cast<int>(m_rows.size()))
        return;
    const BatchStock& stock = m_rows[static_cast<std::size_t>(index)].stock;
    // Selecting the stock loads its registered set into the editor, as a click in the list does.
    m_window.notifyStockRowSelected(TStkList{stock.code, stock.name, stock.marketCode, stock.marketName});
    if (!m_perStock)
        if (JoukenEditor* editor = JoukenEditor::of(m_window))
            editor->jouken_to_editor(m_editorJouken);
    m_window.dtp_stk_sdate->setDate(QDate::fromString(qs(m_setup.endDate), QStringLiteral("yyyy/MM/dd")));
    m_window.cbx_stk_term->setCurrentIndex(m_setup.period ? listPositionOf(*m_setup.period) : -1);
    if (!m_setup.chosenStart.empty())
        m_window.dtp_stk_fdate->setDate(
            QDate::fromString(qs(m_setup.chosenStart), QStringLiteral("yyyy/MM/dd")));
    m_window.host().raise();
    m_window.host().activateWindow();
    if (m_window.hooks().simulate)
        m_window.hooks().simulate();
}

} // namespace vorteq
