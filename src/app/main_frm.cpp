#include "app/main_frm.h"

#include "accounts/usr_frm.h"
#include "analysis/TStkAnalisys.h"
#include "app/GridWidths.h"
#include "app/SysForm.h"
#include "app/run_login.h"
#include "common/DateText.h"
#include "gateway/THttpStatements.h"
#include "screening/TradingDay.h"
#include "series/MarketTable.h"
#include "simulation/RunPlan.h"
#include "simulation/TradeSimulation.h"
#include "widgets/DateEdit.h"
#include "widgets/MessageDialog.h"
#include "widgets/StringGrid.h"
#include "workbench/orq_common.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace vorteq {

namespace {

const char* const kStkTargets[] = {"全銘柄", "売買条件登録銘柄"};
// The six short periods keep their positions (and so their stored indices); the long ones follow.
const char* const kTerms[] = {"1ヶ月", "3ヶ月", "6ヶ月",  "1年間",  "YTD",     "MTD",
                              "3年間", "5年間", "10年間", "全期間", "期間指定"};

const QString kStkSizeWiden = QStringLiteral("検索画面の拡大");
const QString kStkSizeNarrow = QStringLiteral("検索画面の縮小");
const QString kSimSizeWiden = QStringLiteral("ｼﾐｭﾚｰｼｮﾝ画面の拡大");
const QString kSimSizeNarrow = QStringLiteral("ｼﾐｭﾚｰｼｮﾝ画面の縮小");

template <class T> T* named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A bar button with a bold caption, a little smaller than the text around it so that the four buttons
// of the screening bar fit the panel's normal width.
QToolButton* speedButton(QWidget* parent, const char* name, const QString& caption, const QString& hint)
{
    auto* button = named(new QToolButton(parent), name);
    button->setText(caption);
    button->setToolTip(hint);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setAutoRaise(false);
    QFont font = button->font();
    font.setBold(true);
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() - 1);
    button->setFont(font);
    return button;
}

template <std::size_t N>
QComboBox* fixedList(QWidget* parent, const char* name, const char* const (&items)[N])
{
    auto* combo = named(new QComboBox(parent), name);
    combo->setEditable(false);
    for (const char* item : items)
        combo->addItem(QString::fromUtf8(item));
    return combo;
}

QLineEdit* readOnlyField(QWidget* parent, const char* name)
{
    auto* edit = named(new QLineEdit(parent), name);
    edit->setReadOnly(true);
    edit->setFocusPolicy(Qt::ClickFocus);
    return edit;
}

QLabel* caption(QWidget* parent, const char* name, const char* text)
{
    return named(new QLabel(QString::fromUtf8(text), parent), name);
}

// A panel of the page: a bar of speed buttons on top, the rest below. The width toggles may set it down to
// a single pixel.
struct SidePanel {
    QWidget* panel;
    QVBoxLayout* layout;
    QHBoxLayout* bar;
};

SidePanel sidePanel(QWidget* parent, const char* name)
{
    SidePanel side{named(new QWidget(parent), name), nullptr, new QHBoxLayout()};
    side.panel->setMinimumWidth(1);
    side.layout = new QVBoxLayout(side.panel);
    side.layout->setContentsMargins(0, 0, 0, 0);
    side.layout->setSpacing(2);
    side.bar->setSpacing(1);
    side.layout->addLayout(side.bar);
    return side;
}

// The window that answers an ended session: the one created last.
Tfrm_main* sessionWindow = nullptr;

QWidget* emptyHost(QWidget* parent, const char* name)
{
    auto* host = named(new QWidget(parent), name);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    return host;
}

} // namespace

Tfrm_main::Tfrm_main(QWidget* parent) : QMainWindow(parent), Workbench(*static_cast<QWidget*>(this))
{
    SessionState& s = session();
    setObjectName(QStringLiteral("frm_main"));
    QGuiApplication::setApplicationName(QStringLiteral("VORTEQ"));
    setWindowTitle(QStringLiteral("VORTEQ"));

    buildMenu();

    pc_main = named(new QTabWidget(this), "pc_main");
    auto* page = named(new QWidget(pc_main), "ts_stk_analisys");
    auto* pageLayout = new QHBoxLayout(page);
    pageLayout->setContentsMargins(2, 2, 2, 2);
    spl_main = named(new QSplitter(Qt::Horizontal, page), "spl_main");
    spl_main->setHandleWidth(4);
    spl_main->setChildrenCollapsible(false);
    pnl_left = buildLeftPanel();
    pnl_right = buildRightPanel();
    spl_main->addWidget(pnl_left);
    spl_main->addWidget(pnl_right);
    spl_main->setStretchFactor(0, 0);
    spl_main->setStretchFactor(1, 1);
    pageLayout->addWidget(spl_main);
    pc_main->addTab(page, QStringLiteral("株式分析"));
    setCentralWidget(pc_main);

    showUpdateDates();
    cbx_stk_tgt->setCurrentIndex(0);
    cbx_mkt_cd->setCurrentIndex(0);

    m_http_statements = std::make_unique<THttpStatements>(s.server_url);
    work().this_year = formatDate(today()).substr(0, 4);
    m_cur_analisys = std::make_unique<TStkAnalisys>();
    installSimulation(*m_cur_analisys); // F5 runs the back-test on this object
    sessionWindow = this;
    setSessionExpiredHandler([this](const Error& error) { sessionExpired(error); });

    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kWindowWidth, kWindowHeight);
    spl_main->setSizes({kLeftPanelWidth, kWindowWidth - kLeftPanelWidth});
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(kWindowWidth / 2, kWindowHeight / 2));
    }
}

Tfrm_main::~Tfrm_main()
{
    if (sessionWindow == this) {
        sessionWindow = nullptr;
        setSessionExpiredHandler({});
    }
}

void Tfrm_main::showUpdateDates()
{
    // The update dates follow their captions after one blank.
    const SessionState& s = session();
    lbl_stk_date->setText(QStringLiteral("株価更新日 ") + QString::fromStdString(s.stk_upd_date));
    lbl_fx_date->setText(QStringLiteral("為替更新日 ") + QString::fromStdString(s.fx_upd_date));
}

void Tfrm_main::buildMenu()
{
    act_end = named(new QAction(QStringLiteral("終了(&E)"), this), "act_end");
    act_end->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(act_end, &QAction::triggered, this, [this] { act_endExecute(); });
    // A text field takes Ctrl+E for itself (the end of the line) before the window's shortcut can see
    // it; the filter below hands the key back to the window.
    qApp->installEventFilter(this);
    mi_help = named(new QAction(QStringLiteral("ユーザー情報(&U)"), this), "mi_help");
    connect(mi_help, &QAction::triggered, this, [this] { mi_helpClick(); });
    menuBar()->setObjectName(QStringLiteral("mm_main"));
    menuBar()->addAction(act_end);
    menuBar()->addAction(mi_help);

    // F3 and F5 work anywhere in the window, without a menu entry.
    act_serch = named(new QAction(QStringLiteral("銘柄の検索"), this), "act_serch");
    act_serch->setShortcut(QKeySequence(Qt::Key_F3));
    act_serch->setShortcutContext(Qt::WindowShortcut);
    connect(act_serch, &QAction::triggered, this, [this] { act_serchExecute(); });
    addAction(act_serch);
    act_sim = named(new QAction(QStringLiteral("ｼﾐｭﾚｰｼｮﾝの実行"), this), "act_sim");
    act_sim->setShortcut(QKeySequence(Qt::Key_F5));
    act_sim->setShortcutContext(Qt::WindowShortcut);
    connect(act_sim, &QAction::triggered, this, [this] { act_simExecute(); });
    addAction(act_sim);
}

QWidget* Tfrm_main::buildLeftPanel()
{
    const SidePanel side = sidePanel(this, "pnl_left");
    QWidget* panel = side.panel;
    sbtn_get_stk_info = speedButton(panel, "sbtn_get_stk_info", QStringLiteral("銘柄の検索 F3"),
                                    QStringLiteral("検索条件に当てはまる銘柄を検索します"));
    stbn_stk_clear = speedButton(panel, "stbn_stk_clear", QStringLiteral("検索条件のクリア"),
                                 QStringLiteral("現在の検索条件をクリアします"));
    stbn_stk_size =
        speedButton(panel, "stbn_stk_size", kStkSizeWiden, QStringLiteral("検索画面のサイズを変更します"));
    sbtn_save_stk = speedButton(panel, "sbtn_save_stk", QStringLiteral("CSV出力"),
                                QStringLiteral("検索結果をCSV形式で出力します"));
    for (QToolButton* button : {sbtn_get_stk_info, stbn_stk_clear, stbn_stk_size, sbtn_save_stk})
        side.bar->addWidget(button);
    side.bar->addStretch(1);
    connect(sbtn_get_stk_info, &QToolButton::clicked, this, [this] { act_serchExecute(); });
    connect(stbn_stk_clear, &QToolButton::clicked, this, [this] { stbn_stk_clearClick(); });
    connect(stbn_stk_size, &QToolButton::clicked, this, [this] { stbn_stk_sizeClick(); });
    connect(sbtn_save_stk, &QToolButton::clicked, this, [this] { sbtn_save_stkClick(); });

    cbx_stk_tgt = fixedList(panel, "cbx_stk_tgt", kStkTargets);
    // The market choice lists the market table in its order: the position selects the market.
    cbx_mkt_cd = named(new QComboBox(panel), "cbx_mkt_cd");
    cbx_mkt_cd->setEditable(false);
    for (const MarketEntry& market : kMarketTable)
        cbx_mkt_cd->addItem(
            QString::fromUtf8(market.name.data(), static_cast<qsizetype>(market.name.size())));

    // Until the screening panel is installed the area shows the two remembered choices.
    m_screeningHost = emptyHost(panel, "pnl_stk_serch");
    m_screeningPlaceholder = named(new QWidget(m_screeningHost), "pnl_stk_choice");
    auto* form = new QFormLayout(m_screeningPlaceholder);
    form->addRow(caption(m_screeningPlaceholder, "lbl_stk_tgt", "検索対象"), cbx_stk_tgt);
    form->addRow(caption(m_screeningPlaceholder, "lbl_mkt_cd", "市場名称"), cbx_mkt_cd);
    m_screeningHost->layout()->addWidget(m_screeningPlaceholder);
    side.layout->addWidget(m_screeningHost, 1);
    return panel;
}

QWidget* Tfrm_main::buildRightPanel()
{
    const SidePanel side = sidePanel(this, "pnl_right");
    QWidget* panel = side.panel;
    QHBoxLayout* bar = side.bar;
    sbtn_sim_start = speedButton(panel, "sbtn_sim_start", QStringLiteral("ｼﾐｭﾚｰｼｮﾝの実行 F5"),
                                 QStringLiteral("各種条件に基づいてｼﾐｭﾚｰｼｮﾝを実行します"));
    sbtn_sim_size = speedButton(panel, "sbtn_sim_size", kSimSizeWiden,
                                QStringLiteral("ｼﾐｭﾚｰｼｮﾝ画面のサイズを変更します"));
    bar->addWidget(sbtn_sim_start);
    bar->addWidget(sbtn_sim_size);
    bar->addStretch(1);
    lbl_stk_date = named(new QLabel(QStringLiteral("株価更新日"), panel), "lbl_stk_date");
    lbl_fx_date = named(new QLabel(QStringLiteral("為替更新日"), panel), "lbl_fx_date");
    bar->addWidget(lbl_stk_date);
    bar->addSpacing(16);
    bar->addWidget(lbl_fx_date);
    bar->addSpacing(4);
    connect(sbtn_sim_start, &QToolButton::clicked, this, [this] { act_simExecute(); });
    connect(sbtn_sim_size, &QToolButton::clicked, this, [this] { sbtn_sim_sizeClick(); });

    side.layout->addWidget(buildSimulationFields());

    pc_stk_sim = named(new QTabWidget(panel), "pc_stk_sim");
    ts_stk_jouken = emptyHost(pc_stk_sim, "ts_stk_jouken");
    ts_stk_chart = emptyHost(pc_stk_sim, "ts_stk_chart");
    ts_stk_daily = emptyHost(pc_stk_sim, "ts_stk_daily");
    pc_stk_sim->addTab(ts_stk_jouken, QStringLiteral("条件詳細"));
    pc_stk_sim->addTab(ts_stk_chart, QStringLiteral("売買結果"));
    pc_stk_sim->addTab(ts_stk_daily, QStringLiteral("期間データ"));
    side.layout->addWidget(pc_stk_sim, 1);
    return panel;
}

QWidget* Tfrm_main::buildSimulationFields()
{
    auto* box = named(new QWidget(this), "pnl_sim");
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(4, 2, 4, 2);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);

    dtp_stk_sdate = named(new DateEdit(box), "dtp_stk_sdate");
    dtp_stk_fdate = named(new DateEdit(box), "dtp_stk_fdate");
    if (const auto date = parseDate(session().stk_upd_date)) {
        const QDate last(date->year, date->month, date->day);
        const QDate first(kFirstDataDate.year, kFirstDataDate.month, kFirstDataDate.day);
        dtp_stk_sdate->setOfferedRange(first, last);
        dtp_stk_sdate->setDate(last);
        dtp_stk_fdate->setOfferedRange(first, last);
        dtp_stk_fdate->setDate(last.addYears(-1));
    } else {
        dtp_stk_sdate->setDate(QDate::currentDate());
        dtp_stk_fdate->setDate(QDate::currentDate().addYears(-1));
    }
    cbx_stk_term = fixedList(box, "cbx_stk_term", kTerms);
    lbl_stk_fdate = caption(box, "lbl_stk_fdate", "開始日");
    const auto showChosenStart = [this](int index) {
        const bool chosen = index == listPositionOf(SimPeriod::Chosen);
        lbl_stk_fdate->setVisible(chosen);
        dtp_stk_fdate->setVisible(chosen);
    };
    showChosenStart(cbx_stk_term->currentIndex());
    connect(cbx_stk_term, &QComboBox::currentIndexChanged, this, showChosenStart);
    auto* dates = new QHBoxLayout;
    dates->setContentsMargins(0, 0, 0, 0);
    dates->addWidget(dtp_stk_sdate, 1);
    dates->addWidget(lbl_stk_fdate);
    dates->addWidget(dtp_stk_fdate, 1);
    edt_sim_stk = readOnlyField(box, "edt_sim_stk");
    edt_sim_mkt = readOnlyField(box, "edt_sim_mkt");
    edt_sim_cdt = readOnlyField(box, "edt_sim_cdt");
    edt_sim_pst = readOnlyField(box, "edt_sim_pst");

    grid->addWidget(caption(box, "lbl_stk_sdate", "基準日"), 0, 0);
    grid->addLayout(dates, 0, 1);
    grid->addWidget(caption(box, "lbl_stk_term", "期間"), 1, 0);
    grid->addWidget(cbx_stk_term, 1, 1);
    grid->addWidget(caption(box, "lbl_sim_stk", "対象銘柄"), 0, 2);
    grid->addWidget(edt_sim_stk, 0, 3);
    grid->addWidget(caption(box, "lbl_sim_mkt", "市場名称"), 1, 2);
    grid->addWidget(edt_sim_mkt, 1, 3);
    grid->addWidget(caption(box, "lbl_sim_cdt", "売買条件"), 0, 4);
    grid->addWidget(edt_sim_cdt, 0, 5);
    grid->addWidget(caption(box, "lbl_sim_pst", "ポジション"), 1, 4);
    grid->addWidget(edt_sim_pst, 1, 5);
    grid->setColumnStretch(3, 3);
    grid->setColumnStretch(5, 2);
    grid->setColumnMinimumWidth(1, 110);
    return box;
}

void Tfrm_main::installInto(QWidget* host, QWidget* panel)
{
    auto* layout = host->layout();
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* old = item->widget()) {
            old->hide();
            old->deleteLater();
        }
        delete item;
    }
    panel->setParent(host);
    layout->addWidget(panel);
    panel->show();
}

void Tfrm_main::installScreeningPanel(QWidget* panel)
{
    // The two choices outlive the placeholder: move them out of it unless the panel took them already.
    for (QComboBox* combo : {cbx_stk_tgt, cbx_mkt_cd}) {
        if (m_screeningPlaceholder && m_screeningPlaceholder->isAncestorOf(combo)) {
            combo->hide();
            combo->setParent(pnl_left);
        }
    }
    m_screeningPlaceholder = nullptr;
    installInto(m_screeningHost, panel);
}

void Tfrm_main::installJoukenEditor(QWidget* editor)
{
    installInto(ts_stk_jouken, editor);
}

void Tfrm_main::installTradeResultView(QWidget* view)
{
    installInto(ts_stk_chart, view);
}

void Tfrm_main::installDailyDataView(QWidget* view)
{
    installInto(ts_stk_daily, view);
}

void Tfrm_main::addMenuAction(QAction* action)
{
    menuBar()->addAction(action);
}

void Tfrm_main::callHook(const std::function<void()>& hook)
{
    if (hook)
        runAction(hook);
}

bool Tfrm_main::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ShortcutOverride && act_end) {
        auto* widget = qobject_cast<QWidget*>(watched);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (widget && widget->window() == this && !act_end->shortcut().isEmpty() &&
            QKeySequence(key->keyCombination()) == act_end->shortcut()) {
            event->ignore(); // not taken by the field: the shortcut map runs "終了(&E)"
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Tfrm_main::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // A window restored from the task bar is shown again by the system; only the program's own show
    // reads the settings.
    if (!event->spontaneous())
        FormShow();
}

void Tfrm_main::FormShow()
{
    const auto choices =
        readSysForm(sysFormPath(session().base_dir), cbx_stk_tgt->count(), cbx_mkt_cd->count());
    if (choices) {
        if (choices->stkTgt)
            cbx_stk_tgt->setCurrentIndex(*choices->stkTgt);
        if (choices->mktCd)
            cbx_mkt_cd->setCurrentIndex(*choices->mktCd);
    } else {
        showError(choices.error());
    }
    callHook(hooks().searchReset);
    callHook(hooks().joukenDefaults);
    callHook(hooks().resetResultViews);
    restoreColumnWidths();
}

void Tfrm_main::restoreColumnWidths()
{
    const auto widths = readGridWidths(gridWidthsPath(session().base_dir));
    if (!widths) {
        showError(widths.error());
        return;
    }
    for (StringGrid* grid : findChildren<StringGrid*>()) {
        const auto found = widths->find(grid->objectName().toStdString());
        if (found == widths->end())
            continue;
        for (const auto& [column, width] : found->second)
            if (column < grid->colCount())
                grid->setColumnWidth(column, width);
    }
}

Status Tfrm_main::saveColumnWidths()
{
    GridWidths widths;
    for (const StringGrid* grid : findChildren<StringGrid*>()) {
        if (grid->objectName().isEmpty())
            continue;
        auto& columns = widths[grid->objectName().toStdString()];
        for (int c = 0; c < grid->colCount(); ++c)
            columns[c] = grid->columnWidth(c);
    }
    return writeGridWidths(gridWidthsPath(session().base_dir), widths);
}

void Tfrm_main::closeEvent(QCloseEvent* event)
{
    if (FormClose())
        event->accept();
    else
        event->ignore();
}

bool Tfrm_main::FormClose()
{
    if (showMessage(QStringLiteral("VORTEQを終了します。よろしいですか？"), MsgKind::Confirmation,
                    MsgButtons::YesNo) != MsgResult::Yes)
        return false;
    // A settings file that cannot be written is reported and skipped: the user still gets out.
    const Status written = writeSysForm(sysFormPath(session().base_dir), cbx_stk_tgt->currentIndex(),
                                        cbx_mkt_cd->currentIndex());
    if (!written)
        showError(written.error());
    // The column widths go to a file of their own; sys_form.ini keeps its two lines.
    else if (const Status widths = saveColumnWidths(); !widths)
        showError(widths.error());
    callHook(hooks().closing);
    m_cur_analisys.reset();
    return true;
}

void Tfrm_main::act_endExecute()
{
    close();
}

void Tfrm_main::act_serchExecute()
{
    callHook(hooks().search);
}

void Tfrm_main::act_simExecute()
{
    callHook(hooks().simulate);
}

void Tfrm_main::stbn_stk_clearClick()
{
    callHook(hooks().searchReset);
}

void Tfrm_main::sbtn_save_stkClick()
{
    callHook(hooks().exportStockList);
}

int Tfrm_main::leftPanelWidth() const
{
    const QList<int> sizes = spl_main->sizes();
    return sizes.isEmpty() ? 0 : sizes.front();
}

void Tfrm_main::setLeftPanelWidth(int width)
{
    // The right panel takes what is left and keeps at least one pixel.
    const int total = std::max(spl_main->width() - spl_main->handleWidth(), 2);
    width = std::clamp(width, 1, total - 1);
    spl_main->setSizes({width, total - width});
}

void Tfrm_main::stbn_stk_sizeClick()
{
    // Each toggle decides from its own caption only; the other button's caption is left as it is.
    if (stbn_stk_size->text() == kStkSizeWiden) {
        setLeftPanelWidth(width() - 20);
        stbn_stk_size->setText(kStkSizeNarrow);
    } else {
        setLeftPanelWidth(kLeftPanelWidth);
        stbn_stk_size->setText(kStkSizeWiden);
    }
}

void Tfrm_main::sbtn_sim_sizeClick()
{
    if (sbtn_sim_size->text() == kSimSizeWiden) {
        setLeftPanelWidth(1);
        sbtn_sim_size->setText(kSimSizeNarrow);
    } else {
        setLeftPanelWidth(kLeftPanelWidth);
        sbtn_sim_size->setText(kSimSizeWiden);
    }
}

void Tfrm_main::sessionExpired(const Error& error)
{
    showMessage(QString::fromStdString(error.message) +
                    QStringLiteral("\n画面の内容はそのままです。ログインし直すと続けて操作できます。"),
                MsgKind::Warning);
    // Over the account window when that is open, else over this window.
    QWidget* over = QApplication::activeModalWidget();
    if (!run_relogin(over ? over : this))
        return;
    showUpdateDates();
    // New prices may have come in meanwhile: the date fields offer up to the new update date.
    if (const auto date = parseDate(session().stk_upd_date))
        for (DateEdit* field : findChildren<DateEdit*>())
            field->setOfferedRange(field->minimumDate(), QDate(date->year, date->month, date->day));
}

void Tfrm_main::mi_helpClick()
{
    runAction([this] {
        Tfrm_user window(*m_http_statements);
        window.exec();
    });
}

} // namespace vorteq
