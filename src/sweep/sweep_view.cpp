#include "sweep/sweep_view.h"

#include "common/NumberText.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace vorteq {
namespace {

QString numberText(long double v)
{
    return QString::fromStdString(formatNumber(std::round(v * 100) / 100));
}

// Red for the worst, through yellow, to green for the best.
QColor heat(double t)
{
    t = std::clamp(t, 0.0, 1.0);
    const int red = t < 0.5 ? 215 : static_cast<int>(215 - (t - 0.5) * 2 * 165);
    const int green = t < 0.5 ? static_cast<int>(60 + t * 2 * 150) : 190;
    return QColor(red, green, 70);
}

} // namespace

SweepChart::SweepChart(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sweep_chart"));
    setMouseTracking(true);
    setMinimumSize(360, 260);
}

void SweepChart::setData(Data cells)
{
    m_data = std::move(cells);
    update();
}

int SweepChart::columns() const
{
    return m_data.values.empty() ? 0 : static_cast<int>(m_data.values[0].size());
}

int SweepChart::rows() const
{
    return m_data.values.size() < 2 ? 1 : static_cast<int>(m_data.values[1].size());
}

QRectF SweepChart::plotRect() const
{
    return QRectF(70, 16, std::max(40, width() - 90), std::max(40, height() - 60));
}

QString SweepChart::cellText(int cell) const
{
    if (cell < 0 || cell >= static_cast<int>(m_data.figures.size()))
        return {};
    const int n1 = rows();
    const int at[2] = {m_data.values.size() < 2 ? cell : cell / n1, m_data.values.size() < 2 ? 0 : cell % n1};
    QStringList parts;
    for (std::size_t k = 0; k < m_data.keys.size(); ++k)
        parts << m_data.keys[k] + QStringLiteral(" = ") + m_data.values[k][static_cast<std::size_t>(at[k])];
    const auto& f = m_data.figures[static_cast<std::size_t>(cell)];
    return parts.join(QStringLiteral(", ")) + QStringLiteral(": ") + m_data.metricCaption + QLatin1Char(' ') +
           (f ? numberText(*f) : QStringLiteral("－"));
}

QPointF SweepChart::cellCentre(int cell) const
{
    const QRectF r = plotRect();
    const int n0 = columns(), n1 = rows();
    if (n0 == 0)
        return {};
    const int i0 = m_data.values.size() < 2 ? cell : cell / n1;
    const int i1 = m_data.values.size() < 2 ? 0 : cell % n1;
    const double w = r.width() / n0;
    const double h = r.height() / n1;
    // Higher values of the second key further up.
    return {r.left() + (i0 + 0.5) * w, r.bottom() - (i1 + 0.5) * h};
}

int SweepChart::cellAt(QPointF p) const
{
    const QRectF r = plotRect();
    const int n0 = columns(), n1 = rows();
    if (n0 == 0 || !r.contains(p))
        return -1;
    const int i0 = std::clamp(static_cast<int>((p.x() - r.left()) / (r.width() / n0)), 0, n0 - 1);
    const int i1 = std::clamp(static_cast<int>((r.bottom() - p.y()) / (r.height() / n1)), 0, n1 - 1);
    return m_data.values.size() < 2 ? i0 : i0 * n1 + i1;
}

void SweepChart::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().base());
    const QRectF r = plotRect();
    const int n0 = columns(), n1 = rows();
    if (n0 == 0 || m_data.figures.empty()) {
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("掃引を実行すると、ここに結果が表示されます。"));
        return;
    }
    long double lo = 0, hi = 0;
    bool any = false;
    for (const auto& f : m_data.figures)
        if (f) {
            lo = any ? std::min(lo, *f) : *f;
            hi = any ? std::max(hi, *f) : *f;
            any = true;
        }
    const double spread = static_cast<double>(hi - lo);
    const auto scaled = [&](long double v) {
        return spread > 0 ? static_cast<double>(v - lo) / spread : 0.5;
    };

    const QFontMetrics fm(font());
    // Axis labels: at most one every 40 pixels.
    const int stepX = std::max(1, static_cast<int>(std::ceil(n0 * 40.0 / r.width())));
    for (int i = 0; i < n0; i += stepX) {
        const QPointF c = cellCentre(m_data.values.size() < 2 ? i : i * n1);
        p.drawText(QRectF(c.x() - 30, r.bottom() + 4, 60, fm.height()), Qt::AlignHCenter,
                   m_data.values[0][static_cast<std::size_t>(i)]);
    }
    p.drawText(QRectF(r.left(), r.bottom() + 4 + fm.height(), r.width(), fm.height()), Qt::AlignHCenter,
               m_data.keys[0]);

    if (m_data.values.size() < 2) {
        // The line of one key, with the figure's range up the side.
        p.drawText(QRectF(0, r.top() - 4, r.left() - 6, fm.height()), Qt::AlignRight, numberText(hi));
        p.drawText(QRectF(0, r.bottom() - fm.height(), r.left() - 6, fm.height()), Qt::AlignRight,
                   numberText(lo));
        p.save();
        p.translate(12, r.center().y());
        p.rotate(-90);
        p.drawText(QRectF(-r.height() / 2, -8, r.height(), fm.height()), Qt::AlignHCenter,
                   m_data.metricCaption);
        p.restore();
        p.setPen(QPen(palette().mid().color(), 1));
        p.drawRect(r);
        QPainterPath line;
        bool started = false;
        for (int i = 0; i < n0; ++i) {
            const auto& f = m_data.figures[static_cast<std::size_t>(i)];
            if (!f) {
                started = false;
                continue;
            }
            const QPointF pt(cellCentre(i).x(), r.bottom() - scaled(*f) * r.height());
            if (started)
                line.lineTo(pt);
            else
                line.moveTo(pt);
            started = true;
        }
        p.setPen(QPen(QColor(30, 90, 200), 2));
        p.drawPath(line);
        for (int i = 0; i < n0; ++i)
            if (const auto& f = m_data.figures[static_cast<std::size_t>(i)]) {
                const QPointF pt(cellCentre(i).x(), r.bottom() - scaled(*f) * r.height());
                p.setBrush(i == m_data.best ? QColor(230, 120, 0) : QColor(30, 90, 200));
                p.drawEllipse(pt, i == m_data.best ? 5.0 : 3.0, i == m_data.best ? 5.0 : 3.0);
            }
        return;
    }

    // The heat map of two keys.
    const int stepY = std::max(1, static_cast<int>(std::ceil(n1 * fm.height() * 1.2 / r.height())));
    for (int j = 0; j < n1; j += stepY) {
        const QPointF c = cellCentre(j);
        p.drawText(QRectF(0, c.y() - fm.height() / 2.0, r.left() - 6, fm.height()), Qt::AlignRight,
                   m_data.values[1][static_cast<std::size_t>(j)]);
    }
    p.save();
    p.translate(12, r.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-r.height() / 2, -8, r.height(), fm.height()), Qt::AlignHCenter, m_data.keys[1]);
    p.restore();
    const double w = r.width() / n0, h = r.height() / n1;
    p.setPen(Qt::NoPen);
    for (int cell = 0; cell < n0 * n1 && cell < static_cast<int>(m_data.figures.size()); ++cell) {
        const QPointF c = cellCentre(cell);
        const auto& f = m_data.figures[static_cast<std::size_t>(cell)];
        p.setBrush(f ? heat(scaled(*f)) : QColor(190, 190, 190));
        p.drawRect(QRectF(c.x() - w / 2, c.y() - h / 2, w + 0.5, h + 0.5));
    }
    if (m_data.best >= 0) {
        const QPointF c = cellCentre(m_data.best);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Qt::black, 2));
        p.drawRect(QRectF(c.x() - w / 2, c.y() - h / 2, w, h));
    }
}

void SweepChart::mouseMoveEvent(QMouseEvent* event)
{
    const int cell = cellAt(event->position());
    const QString text = cellText(cell);
    if (cell >= 0)
        QToolTip::showText(event->globalPosition().toPoint(), text, this);
    else
        QToolTip::hideText();
    emit cellHovered(cell, text);
}

void SweepChart::mousePressEvent(QMouseEvent* event)
{
    const int cell = cellAt(event->position());
    if (cell >= 0 && event->button() == Qt::LeftButton)
        emit cellClicked(cell);
}

EquityCurve::EquityCurve(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("sweep_equity"));
    setMinimumSize(360, 180);
}

void EquityCurve::setSeries(std::vector<std::string> dates, std::vector<long double> values,
                            std::vector<int> marks)
{
    m_dates = std::move(dates);
    m_values = std::move(values);
    m_marks = std::move(marks);
    update();
}

void EquityCurve::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().base());
    const QRectF r(80, 12, std::max(40, width() - 96), std::max(40, height() - 40));
    p.setPen(QPen(palette().mid().color(), 1));
    p.drawRect(r);
    if (m_values.size() < 2) {
        p.setPen(palette().text().color());
        p.drawText(rect(), Qt::AlignCenter, QStringLiteral("アウトオブサンプルの評価額はありません。"));
        return;
    }
    const auto [lo, hi] = std::minmax_element(m_values.begin(), m_values.end());
    const double spread = static_cast<double>(*hi - *lo);
    const auto x = [&](std::size_t i) {
        return r.left() + r.width() * static_cast<double>(i) / static_cast<double>(m_values.size() - 1);
    };
    const auto y = [&](long double v) {
        return r.bottom() - (spread > 0 ? static_cast<double>(v - *lo) / spread : 0.5) * r.height();
    };
    p.setPen(QPen(QColor(200, 200, 200), 1, Qt::DashLine));
    for (const int m : m_marks)
        if (m > 0 && m < static_cast<int>(m_values.size()))
            p.drawLine(QPointF(x(static_cast<std::size_t>(m)), r.top()),
                       QPointF(x(static_cast<std::size_t>(m)), r.bottom()));
    QPainterPath line;
    line.moveTo(x(0), y(m_values[0]));
    for (std::size_t i = 1; i < m_values.size(); ++i)
        line.lineTo(x(i), y(m_values[i]));
    p.setPen(QPen(QColor(30, 90, 200), 2));
    p.drawPath(line);
    const QFontMetrics fm(font());
    p.setPen(palette().text().color());
    p.drawText(QRectF(0, r.top() - 2, r.left() - 6, fm.height()), Qt::AlignRight,
               QString::fromStdString(formatNumber(std::round(*hi))));
    p.drawText(QRectF(0, r.bottom() - fm.height(), r.left() - 6, fm.height()), Qt::AlignRight,
               QString::fromStdString(formatNumber(std::round(*lo))));
    p.drawText(QRectF(r.left(), r.bottom() + 4, 120, fm.height()), Qt::AlignLeft,
               QString::fromStdString(m_dates.front()));
    p.drawText(QRectF(r.right() - 120, r.bottom() + 4, 120, fm.height()), Qt::AlignRight,
               QString::fromStdString(m_dates.back()));
}

} // namespace vorteq
