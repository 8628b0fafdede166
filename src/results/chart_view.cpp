#include "results/chart_view.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vorteq {

namespace {

constexpr int kFewestDays = 10;   // the closest zoom
constexpr int kCentredDays = 120; // the window a centred day gets when a long period is shown
constexpr int kLongWindow = 250;  // more days than this counts as a long period shown whole

} // namespace

ChartView::ChartView(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("pnl_chart"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    auto* hint = new QLabel(
        QStringLiteral(
            "ホイール: 拡大縮小　ドラッグ: 移動　ダブルクリック: 全期間　表の行クリック: その日を中央へ"),
        this);
    // The short hint fits the window at its minimum width; the tooltip says it in full.
    hint->setToolTip(
        QStringLiteral("ホイール: 拡大・縮小　ドラッグ: 左右に移動　ダブルクリック: 全期間を表示\n"
                       "売買結果・期間データの行をクリックするとその日を中央に表示します"));
    hint->setObjectName(QStringLiteral("lbl_chart_hint"));
    hint->setStyleSheet(QStringLiteral("color: #555;"));
    layout->addWidget(hint);
    m_canvas = new ChartCanvas(m_data, this);
    layout->addWidget(m_canvas, 1);
}

void ChartView::showChart(ChartData chart)
{
    m_data = std::move(chart);
    m_canvas->setCrosshair(-1);
    m_canvas->showAll();
}

void ChartView::reset()
{
    showChart({});
}

ChartWindow ChartView::window() const
{
    return m_canvas->window();
}

bool ChartView::centreOn(std::string_view date)
{
    const int day = dayIndexOf(m_data.series, date);
    if (day < 0)
        return false;
    ChartWindow w = m_canvas->window();
    if (w.count > kLongWindow)
        w.count = kCentredDays;
    w.first = day - w.count / 2;
    m_canvas->setWindow(w);
    m_canvas->setCrosshair(day);
    return true;
}

ChartCanvas::ChartCanvas(const ChartData& chart, QWidget* parent) : QWidget(parent), m_data(chart)
{
    setObjectName(QStringLiteral("chart_canvas"));
    setMouseTracking(true);
    setMinimumSize(400, 300);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

int ChartCanvas::dayCount() const
{
    return static_cast<int>(m_data.series.days.size());
}

void ChartCanvas::showAll()
{
    setWindow({0, dayCount()});
}

void ChartCanvas::setWindow(ChartWindow w)
{
    const int days = dayCount();
    w.count = std::clamp(w.count, std::min(days, kFewestDays), days);
    w.first = std::clamp(w.first, 0, std::max(0, days - w.count));
    m_window = w;
    m_painted = QPixmap(); // a new window or new data: paint the chart again
    update();
}

ChartPainter::Layout ChartCanvas::currentLayout() const
{
    return ChartPainter::layout(QRectF(rect()));
}

void ChartCanvas::zoom(double factor, double x)
{
    if (dayCount() == 0)
        return;
    const ChartPainter::Layout l = currentLayout();
    const int anchor = ChartPainter::dayAt(l, m_window, x);
    const double share = (anchor - m_window.first + 0.5) / std::max(1, m_window.count);
    ChartWindow w = m_window;
    w.count = std::max(1, static_cast<int>(std::lround(m_window.count * factor)));
    if (w.count == m_window.count)
        w.count += factor < 1 ? -1 : 1;
    w.count = std::clamp(w.count, std::min(dayCount(), kFewestDays), dayCount());
    w.first = anchor - static_cast<int>(std::lround(share * w.count - 0.5));
    setWindow(w);
}

void ChartCanvas::pan(int days)
{
    setWindow({m_window.first + days, m_window.count});
}

void ChartCanvas::paintEvent(QPaintEvent*)
{
    const ChartPainter painter(m_data);
    const qreal ratio = devicePixelRatioF();
    if (m_painted.isNull()) {
        m_painted = QPixmap(size() * ratio);
        m_painted.setDevicePixelRatio(ratio);
        QPainter base(&m_painted);
        painter.paint(base, QRectF(rect()), m_window);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, m_painted);
    painter.paintCrosshair(p, QRectF(rect()), m_window, m_crosshairDay, m_crosshairY);
}

void ChartCanvas::resizeEvent(QResizeEvent*)
{
    m_painted = QPixmap();
}

void ChartCanvas::wheelEvent(QWheelEvent* event)
{
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0)
        zoom(std::pow(0.8, steps), event->position().x());
    event->accept();
}

void ChartCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragX = event->position().x();
        m_dragFirst = m_window.first;
        setCursor(Qt::ClosedHandCursor);
    }
}

void ChartCanvas::mouseMoveEvent(QMouseEvent* event)
{
    const ChartPainter::Layout l = currentLayout();
    if (m_dragging && m_window.count > 0) {
        const double slot = l.price.width() / m_window.count;
        const int days = static_cast<int>(std::lround((m_dragX - event->position().x()) / slot));
        setWindow({m_dragFirst + days, m_window.count});
    }
    if (dayCount() == 0)
        return;
    m_crosshairDay = ChartPainter::dayAt(l, m_window, event->position().x());
    m_crosshairY = event->position().y();
    update();
    const int marker = ChartPainter(m_data).markerAt(l, m_window, event->position());
    if (marker >= 0)
        QToolTip::showText(event->globalPosition().toPoint(),
                           QString::fromStdString(m_data.markers[static_cast<std::size_t>(marker)].tooltip),
                           this);
    else
        QToolTip::hideText();
}

void ChartCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_dragging = false;
        unsetCursor();
    }
}

void ChartCanvas::mouseDoubleClickEvent(QMouseEvent*)
{
    showAll();
}

void ChartCanvas::leaveEvent(QEvent*)
{
    m_crosshairDay = -1;
    update();
}

} // namespace vorteq
