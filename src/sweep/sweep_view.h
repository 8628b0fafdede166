#pragma once

#include <QString>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

namespace vorteq {

// The metric of every cell of a sweep: a line over the values of one field, or a heat map over the
// values of two (the first along the bottom, the second up the side; green is better, red worse,
// grey a cell without a value). Hovering a cell names its values and its figure; clicking a cell
// reports it. The best cell is framed.
class SweepChart : public QWidget {
    Q_OBJECT
public:
    explicit SweepChart(QWidget* parent = nullptr);

    struct Data {
        std::vector<QString> keys;                       // one or two
        std::vector<std::vector<QString>> values;        // per key
        std::vector<std::optional<long double>> figures; // per cell, first key outer
        QString metricCaption;
        int best = -1;
    };
    void setData(Data cells);
    const Data& data() const { return m_data; }

    // The text hovering a cell shows: "KEY = v, KEY2 = w: caption figure".
    QString cellText(int cell) const;
    // The cell under a point of the widget, -1 outside the plot.
    int cellAt(QPointF point) const;
    // Where a cell is drawn (its centre), for tests that click it.
    QPointF cellCentre(int cell) const;

signals:
    void cellHovered(int cell, const QString& text);
    void cellClicked(int cell);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QRectF plotRect() const;
    int columns() const;
    int rows() const;

    Data m_data;
};

// An account's value over time (the chained out-of-sample account of a walk-forward).
class EquityCurve : public QWidget {
    Q_OBJECT
public:
    explicit EquityCurve(QWidget* parent = nullptr);
    // Dates (yyyy/mm/dd) and values, oldest first; the window boundaries as marks.
    void setSeries(std::vector<std::string> dates, std::vector<long double> values, std::vector<int> marks);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::string> m_dates;
    std::vector<long double> m_values;
    std::vector<int> m_marks;
};

} // namespace vorteq
