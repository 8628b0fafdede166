#pragma once

#include "results/ChartData.h"

#include <QRectF>

#include <limits>

class QPainter;

namespace vorteq {

// The days of the series the chart shows: `count` days from `first` (oldest first).
struct ChartWindow {
    int first = 0;
    int count = 0;
};

// Draws the chart of a run with QPainter: the price pane (candlesticks, overlays, trade markers),
// the volume pane, the account against buy-and-hold, and the drawdown, over one shared time axis.
// The same drawing serves the chart tab, the picture files and the benchmark.
class ChartPainter {
public:
    struct Layout {
        QRectF title;
        QRectF price;
        QRectF volume;
        QRectF equity;
        QRectF drawdown;
        QRectF dates;
    };

    explicit ChartPainter(const ChartData& data) : m_data(data) {}

    static Layout layout(const QRectF& area);

    // The x of a day's centre, and the day under an x (clamped into the window).
    static double xOf(const Layout& layout, ChartWindow window, int day);
    static int dayAt(const Layout& layout, ChartWindow window, double x);

    // The marker under a point (within a few pixels), or -1.
    int markerAt(const Layout& layout, ChartWindow window, const QPointF& point) const;

    // Draws everything into `area`. A crosshair day of -1 draws none; `crosshairY` is where the
    // horizontal line goes (NaN: none).
    void paint(QPainter& painter, const QRectF& area, ChartWindow window, int crosshairDay = -1,
               double crosshairY = std::numeric_limits<double>::quiet_NaN()) const;

    // Only the crosshair and the value box of its day, over a chart painted without them.
    void paintCrosshair(QPainter& painter, const QRectF& area, ChartWindow window, int crosshairDay,
                        double crosshairY) const;

private:
    const ChartData& m_data;
};

} // namespace vorteq
