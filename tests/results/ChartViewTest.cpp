// The chart tab and the chart's picture files on the offscreen platform: what is painted, the
// wheel zoom and the drag around the pointer, centring a day, a marker's tooltip, and PNG and SVG
// files for the command line.
#include "results/ChartPainter.h"
#include "results/ChartRender.h"
#include "results/chart_view.h"
#include "simulation/SimulationTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

using namespace vorteq;
using namespace vorteq::testing;

namespace {

// A walk of `days` days with a buy signal every 20th day and a sell signal every 20th day after
// it: about days / 10 trades, both directions.
ChartData walkChart(int days)
{
    std::vector<Bar> bars;
    for (int k = 0; k < days; ++k) {
        const int base = 1000 + (k % 50) * 4;
        if (k % 20 == 5)
            bars.push_back({std::to_string(base), std::to_string(base + 80)});
        else if (k % 20 == 15)
            bars.push_back({std::to_string(base), std::to_string(base - 80)});
        else
            bars.push_back({std::to_string(base), std::to_string(base + 2)});
    }
    TJouken j = openToCloseRules();
    j.set("KbnTani", "3");
    j.set("UseBuyIdo", "1");
    j.set("UseSellParab", "2");
    const auto run = simulateBars(bars, j, 30);
    if (!run.status)
        qFatal("the walk does not simulate");
    return buildChartData(run.stock, barDate(30), j, "1301 テスト  チャート");
}

// Pixels that are neither white nor the grid's light grey.
int inkedPixels(const QImage& image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (qGray(image.pixel(x, y)) < 200)
                ++inked;
    return inked;
}

} // namespace

class ChartViewTest : public QObject {
    Q_OBJECT

private slots:
    void picturesAreWrittenWithoutADisplay();
    void wheelZoomsAroundThePointerAndDragPans();
    void centringPutsTheDayInTheMiddle();
    void markerUnderThePointerIsFound();
    void emptyChartPaintsWithoutDays();
};

void ChartViewTest::picturesAreWrittenWithoutADisplay()
{
    const ChartData chart = walkChart(200);
    QVERIFY(chart.markers.size() >= 10);
    QTemporaryDir dir;
    const std::filesystem::path png = dir.filePath(QStringLiteral("chart.PNG")).toStdString();
    QVERIFY(renderChartFile(chart, png, 800, 500));
    QImage image(QString::fromStdString(png.string()));
    QCOMPARE(image.size(), QSize(800, 500));
    QVERIFY(inkedPixels(image) > 2000);

    const std::filesystem::path svg = dir.filePath(QStringLiteral("chart.svg")).toStdString();
    QVERIFY(renderChartFile(chart, svg));
    QFile file(QString::fromStdString(svg.string()));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("<svg"));
    QVERIFY(text.size() > 20000);

    const Status wrongName = renderChartFile(chart, dir.filePath(QStringLiteral("chart.jpg")).toStdString());
    QVERIFY(!wrongName);
    QCOMPARE(wrongName.error().code, ErrorCode::Validation);
    QVERIFY(!renderChartFile(chart, dir.filePath(QStringLiteral("no/such/folder/chart.png")).toStdString()));
}

void ChartViewTest::wheelZoomsAroundThePointerAndDragPans()
{
    ChartView view;
    view.resize(900, 600);
    view.showChart(walkChart(300));
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    ChartCanvas& canvas = view.canvas();
    const int days = static_cast<int>(view.data().series.days.size());
    QCOMPARE(canvas.window().count, days);

    const ChartPainter::Layout layout = ChartPainter::layout(QRectF(canvas.rect()));
    const double x = ChartPainter::xOf(layout, canvas.window(), 200);
    canvas.zoom(0.5, x);
    QVERIFY(canvas.window().count < days * 0.6);
    // The day under the pointer stays under it.
    QCOMPARE(ChartPainter::dayAt(layout, canvas.window(), x), 200);

    const ChartWindow zoomed = canvas.window();
    const double slot = layout.price.width() / zoomed.count;
    const QPoint from(static_cast<int>(x), static_cast<int>(layout.price.center().y()));
    QTest::mousePress(&canvas, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(from.x() - 10 * slot, from.y()),
                     canvas.mapToGlobal(QPointF(from)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&canvas, &move);
    QTest::mouseRelease(&canvas, Qt::LeftButton, {}, from);
    QCOMPARE(canvas.window().first, zoomed.first + 10); // dragged left: later days come in
    QCOMPARE(canvas.window().count, zoomed.count);

    // Panning stops at the last day; zooming out stops at the whole period.
    canvas.pan(100000);
    QCOMPARE(canvas.window().first + canvas.window().count, days);
    canvas.zoom(100, x);
    QCOMPARE(canvas.window().first, 0);
    QCOMPARE(canvas.window().count, days);
}

void ChartViewTest::centringPutsTheDayInTheMiddle()
{
    ChartView view;
    view.resize(900, 600);
    view.showChart(walkChart(600));
    const auto& days = view.data().series.days;
    QVERIFY(!view.centreOn("1999/01/01"));
    QVERIFY(view.centreOn(days[300].date));
    QCOMPARE(view.window().count, 120); // a long period shown whole is zoomed in first
    QCOMPARE(view.window().first, 240);
    QCOMPARE(view.canvas().crosshairDay(), 300);
    QVERIFY(view.centreOn(days.back().date));
    QCOMPARE(view.window().first + view.window().count, static_cast<int>(days.size()));
}

void ChartViewTest::markerUnderThePointerIsFound()
{
    const ChartData chart = walkChart(200);
    const ChartPainter painter(chart);
    const QRectF area(0, 0, 1000, 700);
    const ChartPainter::Layout layout = ChartPainter::layout(area);
    const ChartWindow all{0, static_cast<int>(chart.series.days.size())};
    const ChartMarker& m = chart.markers[3];
    // The marker's tip is at the trade's price on the trade's day; its body lies below (a purchase)
    // or above (a sale) the tip.
    const double x = ChartPainter::xOf(layout, all, m.day);
    QImage image(1000, 700, QImage::Format_RGB32);
    QPainter p(&image);
    painter.paint(p, area, all);
    p.end();
    bool found = false;
    for (double y = layout.price.top(); y < layout.price.bottom() && !found; y += 1)
        found = painter.markerAt(layout, all, QPointF(x, y)) == 3;
    QVERIFY(found);
    QCOMPARE(painter.markerAt(layout, all, QPointF(x, layout.drawdown.center().y())), -1);
    QVERIFY(QString::fromStdString(m.tooltip).contains(QStringLiteral("取引価格: ")));
}

void ChartViewTest::emptyChartPaintsWithoutDays()
{
    ChartView view;
    view.resize(600, 400);
    view.reset();
    QVERIFY(!view.centreOn("2006/01/02"));
    const QImage image = view.grab().toImage();
    QVERIFY(!image.isNull());
    view.canvas().zoom(0.5, 100);
    view.canvas().pan(3);
    QCOMPARE(view.window().count, 0);
}

QTEST_MAIN(ChartViewTest)
#include "ChartViewTest.moc"
