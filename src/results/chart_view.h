#pragma once

#include "results/ChartData.h"
#include "results/ChartPainter.h"

#include <QPixmap>
#include <QWidget>

#include <string_view>

namespace vorteq {

class ChartCanvas;

// The tab "チャート": candlesticks with volume, the overlays of the condition set, the trade
// markers, the account against buy-and-hold and the drawdown. The wheel zooms around the pointer,
// dragging pans, the crosshair shows the day's values and a marker's tooltip its trade row.
class ChartView : public QWidget {
    Q_OBJECT
public:
    explicit ChartView(QWidget* parent = nullptr);

    // Shows a run's chart over its whole period.
    void showChart(ChartData chart);
    // No run: an empty chart.
    void reset();
    // Puts the day of this date (yyyy/mm/dd) in the middle; zooms in to about half a year first
    // when the whole of a long period is shown. False when the chart has no such day.
    bool centreOn(std::string_view date);

    const ChartData& data() const { return m_data; }
    ChartWindow window() const;
    ChartCanvas& canvas() const { return *m_canvas; }

private:
    ChartData m_data;
    ChartCanvas* m_canvas = nullptr;
};

// The drawing surface of the chart tab, with the mouse handling.
class ChartCanvas : public QWidget {
    Q_OBJECT
public:
    ChartCanvas(const ChartData& chart, QWidget* parent);

    void showAll();
    void setWindow(ChartWindow window);
    ChartWindow window() const { return m_window; }
    void setCrosshair(int day)
    {
        m_crosshairDay = day;
        update();
    }
    int crosshairDay() const { return m_crosshairDay; }

    // Zooms by `factor` (below 1: closer) keeping the day under x where it is.
    void zoom(double factor, double x);
    // Moves the window by a number of days (positive: later days).
    void pan(int days);

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    int dayCount() const;
    ChartPainter::Layout currentLayout() const;

    const ChartData& m_data;
    // The chart without the crosshair as last painted: a mouse move only draws the crosshair over it.
    QPixmap m_painted;
    ChartWindow m_window;
    int m_crosshairDay = -1;
    double m_crosshairY = 0;
    bool m_dragging = false;
    double m_dragX = 0;
    int m_dragFirst = 0;
};

} // namespace vorteq
