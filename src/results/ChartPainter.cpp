#include "results/ChartPainter.h"

#include "common/NumberText.h"
#include "results/ChartRender.h"

#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QScopeGuard>
#include <QSvgGenerator>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <memory>

namespace vorteq {

namespace {

QString qs(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr double kAxisWidth = 84; // the value labels right of the panes
constexpr double kMarkerSize = 7; // half the width of a trade marker's triangle
constexpr double kPanePad = 0.06; // room above and below the highest and lowest value

const QColor kUpColour(200, 40, 40);
const QColor kDownColour(30, 90, 200);
const QColor kGridColour(225, 225, 225);
const QColor kValueColour(20, 100, 200);
const QColor kBuyHoldColour(130, 130, 130);
const QColor kDrawdownColour(210, 50, 50);
const QColor kOverlayColours[] = {
    QColor(230, 140, 0), QColor(0, 150, 120), QColor(150, 60, 200), QColor(120, 90, 40), QColor(0, 130, 200),
    QColor(200, 0, 120), QColor(90, 160, 20), QColor(40, 40, 40),   QColor(0, 190, 210), QColor(250, 90, 60)};

// The lowest and highest value a pane shows, with room around them.
struct Range {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();

    void take(double v)
    {
        if (std::isfinite(v)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    Range padded() const
    {
        if (!std::isfinite(low))
            return {0, 1};
        double span = high - low;
        if (span <= 0)
            span = std::max(std::abs(high) * 0.01, 1.0);
        return {low - span * kPanePad, high + span * kPanePad};
    }
    double y(const QRectF& pane, double v) const
    {
        return pane.bottom() - (v - low) / (high - low) * pane.height();
    }
};

int lastDay(ChartWindow w)
{
    return w.first + w.count - 1;
}

Range priceRange(const ChartData& data, ChartWindow w)
{
    Range r;
    const auto& days = data.series.days;
    for (int i = w.first; i <= lastDay(w); ++i) {
        r.take(static_cast<double>(days[static_cast<std::size_t>(i)].low));
        r.take(static_cast<double>(days[static_cast<std::size_t>(i)].high));
    }
    for (const ChartLine& line : data.overlays)
        for (int i = w.first; i <= lastDay(w); ++i)
            r.take(line.values[static_cast<std::size_t>(i)]);
    return r.padded();
}

// Round steps (1, 2, 2.5 or 5 times a power of ten) that give about `wanted` grid lines.
double niceStep(double span, int wanted)
{
    const double raw = span / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double m : {1.0, 2.0, 2.5, 5.0, 10.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

QString valueText(double v, double step)
{
    const int decimals = step >= 1 ? 0 : std::min(4, static_cast<int>(std::ceil(-std::log10(step))));
    return QString::number(v, 'f', decimals);
}

void drawGrid(QPainter& p, const QRectF& pane, const Range& r, int lines, const QString& suffix = {})
{
    const double step = niceStep(r.high - r.low, lines);
    p.setPen(QPen(kGridColour, 1));
    const QFontMetricsF metrics(p.font());
    for (double v = std::ceil(r.low / step) * step; v <= r.high; v += step) {
        const double y = r.y(pane, v);
        p.setPen(QPen(kGridColour, 1));
        p.drawLine(QPointF(pane.left(), y), QPointF(pane.right(), y));
        p.setPen(Qt::darkGray);
        p.drawText(QPointF(pane.right() + 4, y + metrics.ascent() / 2 - 1), valueText(v, step) + suffix);
    }
    p.setPen(QPen(Qt::gray, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(pane);
}

// The days drawn in one pixel column: with more days than pixels, each column draws its days as
// one (the lowest and highest of them), which keeps a long period as quick to paint as a short one.
struct DayGroup {
    int first = 0;
    int last = 0;
};

std::vector<DayGroup> dayGroups(const ChartPainter::Layout& layout, ChartWindow w)
{
    std::vector<DayGroup> groups;
    groups.reserve(static_cast<std::size_t>(std::min<double>(w.count, layout.price.width() + 2)));
    long column = std::numeric_limits<long>::min();
    for (int i = w.first; i <= lastDay(w); ++i) {
        const long c = std::lround(std::floor(ChartPainter::xOf(layout, w, i)));
        if (c != column || groups.empty()) {
            groups.push_back({i, i});
            column = c;
        } else {
            groups.back().last = i;
        }
    }
    return groups;
}

// A line through the finite values, broken where a value is missing. A column of several days
// goes through their lowest and highest value when `extremes` (the account, whose dips matter),
// else through the last of them (a smooth indicator).
void drawLine(QPainter& p, const ChartPainter::Layout& layout, ChartWindow w,
              const std::vector<DayGroup>& groups, const QRectF& pane, const Range& r,
              const std::function<double(int)>& value, bool extremes = false)
{
    QPolygonF run;
    run.reserve(static_cast<qsizetype>(groups.size() * 2));
    const auto flush = [&] {
        if (run.size() > 1)
            p.drawPolyline(run);
        else if (run.size() == 1)
            p.drawPoint(run.front());
        run.clear();
    };
    for (const DayGroup& g : groups) {
        double low = std::numeric_limits<double>::infinity();
        double high = -low;
        bool broken = false;
        for (int i = extremes ? g.first : g.last; i <= g.last; ++i) {
            const double v = value(i);
            if (!std::isfinite(v)) {
                broken = true;
                continue;
            }
            low = std::min(low, v);
            high = std::max(high, v);
        }
        if (!std::isfinite(low)) {
            flush();
            continue;
        }
        const double x = ChartPainter::xOf(layout, w, g.first);
        run << QPointF(x, r.y(pane, low));
        if (high != low)
            run << QPointF(x, r.y(pane, high));
        if (broken)
            flush();
    }
    flush();
}

void drawLegend(QPainter& p, const QRectF& pane, const std::vector<std::pair<QString, QColor>>& items)
{
    const QFontMetricsF metrics(p.font());
    double x = pane.left() + 6;
    const double y = pane.top() + metrics.height();
    for (const auto& [text, colour] : items) {
        p.fillRect(QRectF(x, y - metrics.ascent() / 2 - 1, 12, 3), colour);
        x += 16;
        p.setPen(colour.darker(130));
        p.drawText(QPointF(x, y), text);
        x += metrics.horizontalAdvance(text) + 14;
    }
}

QPolygonF markerShape(const ChartMarker& m, double x, double y)
{
    // Buying (a purchase or a buy-back) points up from below the price, selling points down from above.
    const bool up = m.kind == MarkerKind::Buy || m.kind == MarkerKind::Cover;
    const double tip = y;
    const double base = up ? y + 2 * kMarkerSize : y - 2 * kMarkerSize;
    return QPolygonF({QPointF(x, tip), QPointF(x - kMarkerSize, base), QPointF(x + kMarkerSize, base)});
}

QColor markerColour(MarkerKind kind)
{
    switch (kind) {
    case MarkerKind::Buy:
        return QColor(0, 160, 60);
    case MarkerKind::Sell:
        return QColor(220, 30, 30);
    case MarkerKind::Short:
        return QColor(140, 40, 180);
    case MarkerKind::Cover:
        return QColor(230, 130, 0);
    }
    return Qt::black;
}

// A price or a volume as the daily table writes it.
QString number(long double v)
{
    return qs(formatNumber(v));
}

QString yen(long double v)
{
    return QString::number(static_cast<double>(v), 'f', 0);
}

} // namespace

ChartPainter::Layout ChartPainter::layout(const QRectF& area)
{
    Layout l;
    const double titleHeight = 22;
    const double datesHeight = 20;
    const double gap = 6;
    const QRectF plot(area.left() + 6, area.top() + titleHeight, area.width() - 6 - kAxisWidth,
                      area.height() - titleHeight - datesHeight);
    const double usable = plot.height() - 3 * gap;
    // Price half the height, volume an eighth, the account a quarter, the drawdown the rest.
    const double hPrice = usable * 0.5;
    const double hVolume = usable * 0.12;
    const double hEquity = usable * 0.24;
    const double hDrawdown = usable - hPrice - hVolume - hEquity;
    l.title = QRectF(area.left() + 6, area.top(), area.width() - 12, titleHeight);
    l.price = QRectF(plot.left(), plot.top(), plot.width(), hPrice);
    l.volume = QRectF(plot.left(), l.price.bottom() + gap, plot.width(), hVolume);
    l.equity = QRectF(plot.left(), l.volume.bottom() + gap, plot.width(), hEquity);
    l.drawdown = QRectF(plot.left(), l.equity.bottom() + gap, plot.width(), hDrawdown);
    l.dates = QRectF(plot.left(), l.drawdown.bottom(), plot.width(), datesHeight);
    return l;
}

double ChartPainter::xOf(const Layout& layout, ChartWindow window, int day)
{
    const double slot = layout.price.width() / std::max(1, window.count);
    return layout.price.left() + (day - window.first + 0.5) * slot;
}

int ChartPainter::dayAt(const Layout& layout, ChartWindow window, double x)
{
    const double slot = layout.price.width() / std::max(1, window.count);
    const int day = window.first + static_cast<int>(std::floor((x - layout.price.left()) / slot));
    return std::clamp(day, window.first, std::max(window.first, lastDay(window)));
}

int ChartPainter::markerAt(const Layout& layout, ChartWindow window, const QPointF& point) const
{
    if (window.count <= 0)
        return -1;
    const Range r = priceRange(m_data, window);
    for (std::size_t i = 0; i < m_data.markers.size(); ++i) {
        const ChartMarker& m = m_data.markers[i];
        if (m.day < window.first || m.day > lastDay(window))
            continue;
        const QPolygonF shape = markerShape(m, xOf(layout, window, m.day), r.y(layout.price, m.price));
        if (shape.boundingRect().adjusted(-3, -3, 3, 3).contains(point))
            return static_cast<int>(i);
    }
    return -1;
}

void ChartPainter::paint(QPainter& p, const QRectF& area, ChartWindow w, int crosshairDay,
                         double crosshairY) const
{
    const auto& days = m_data.series.days;
    p.fillRect(area, Qt::white);
    const Layout l = layout(area);
    p.setRenderHint(QPainter::Antialiasing, false);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    if (!m_data.title.empty()) {
        QFont bold = font;
        bold.setBold(true);
        bold.setPixelSize(13);
        p.setFont(bold);
        p.setPen(Qt::black);
        p.drawText(l.title, Qt::AlignLeft | Qt::AlignVCenter, qs(m_data.title));
        p.setFont(font);
    }
    w.count = std::min(w.count, static_cast<int>(days.size()) - w.first);
    if (days.empty() || w.count <= 0 || w.first < 0) {
        p.setPen(Qt::darkGray);
        p.drawText(l.price, Qt::AlignCenter, QStringLiteral("データがありません"));
        return;
    }
    const auto day = [&](int i) -> const EquityDay& { return days[static_cast<std::size_t>(i)]; };
    const double slot = l.price.width() / w.count;

    // Price pane: grid, candlesticks, overlays, markers.
    const Range price = priceRange(m_data, w);
    const std::vector<DayGroup> groups = dayGroups(l, w);
    drawGrid(p, l.price, price, 8);
    {
        QVector<QLineF> upWicks, downWicks;
        QVector<QRectF> upBodies, downBodies;
        upWicks.reserve(static_cast<qsizetype>(groups.size()));
        downWicks.reserve(static_cast<qsizetype>(groups.size()));
        const double body = std::max(1.0, slot * 0.7);
        for (const DayGroup& g : groups) {
            // A column of several days is one candle: the first open, the last close, the range.
            long double high = day(g.first).high;
            long double low = day(g.first).low;
            for (int i = g.first + 1; i <= g.last; ++i) {
                high = std::max(high, day(i).high);
                low = std::min(low, day(i).low);
            }
            const long double open = day(g.first).open;
            const long double close = day(g.last).close;
            const double x = xOf(l, w, g.first);
            const bool up = close >= open;
            const QLineF wick(x, price.y(l.price, static_cast<double>(high)), x,
                              price.y(l.price, static_cast<double>(low)));
            (up ? upWicks : downWicks) << wick;
            if (slot >= 3) {
                const double top = price.y(l.price, static_cast<double>(std::max(open, close)));
                const double bottom = price.y(l.price, static_cast<double>(std::min(open, close)));
                (up ? upBodies : downBodies) << QRectF(x - body / 2, top, body, std::max(1.0, bottom - top));
            }
        }
        p.setPen(QPen(kUpColour, 1));
        p.drawLines(upWicks);
        p.setBrush(kUpColour);
        p.drawRects(upBodies);
        p.setPen(QPen(kDownColour, 1));
        p.drawLines(downWicks);
        p.setBrush(kDownColour);
        p.drawRects(downBodies);
        p.setBrush(Qt::NoBrush);
    }
    p.setRenderHint(QPainter::Antialiasing, true);
    std::vector<std::pair<QString, QColor>> legend;
    for (std::size_t k = 0; k < m_data.overlays.size(); ++k) {
        const ChartLine& line = m_data.overlays[k];
        const QColor colour = kOverlayColours[k % std::size(kOverlayColours)];
        legend.emplace_back(qs(line.name), colour);
        if (line.dots) {
            p.setPen(QPen(colour, std::clamp(slot * 0.4, 2.0, 4.0), Qt::SolidLine, Qt::RoundCap));
            QVector<QPointF> points;
            for (const DayGroup& g : groups)
                if (const double v = line.values[static_cast<std::size_t>(g.last)]; std::isfinite(v))
                    points << QPointF(xOf(l, w, g.first), price.y(l.price, v));
            p.drawPoints(points);
        } else {
            p.setPen(QPen(colour, 1.3));
            drawLine(p, l, w, groups, l.price, price,
                     [&](int i) { return line.values[static_cast<std::size_t>(i)]; });
        }
    }
    for (const ChartMarker& m : m_data.markers) {
        if (m.day < w.first || m.day > lastDay(w))
            continue;
        const QColor colour = markerColour(m.kind);
        p.setPen(QPen(colour.darker(140), 1));
        p.setBrush(colour);
        p.drawPolygon(markerShape(m, xOf(l, w, m.day), price.y(l.price, m.price)));
    }
    p.setBrush(Qt::NoBrush);
    drawLegend(p, l.price, legend);

    // Volume pane.
    Range volume{0, 0};
    for (int i = w.first; i <= lastDay(w); ++i)
        volume.high = std::max(volume.high, static_cast<double>(day(i).volume));
    if (volume.high <= 0)
        volume.high = 1;
    volume.high *= 1 + kPanePad;
    p.setRenderHint(QPainter::Antialiasing, false);
    drawGrid(p, l.volume, volume, 2);
    {
        QVector<QRectF> upBars, downBars;
        const double bar = std::max(1.0, slot * 0.7);
        for (const DayGroup& g : groups) {
            long double most = 0;
            for (int i = g.first; i <= g.last; ++i)
                most = std::max(most, day(i).volume);
            const double top = volume.y(l.volume, static_cast<double>(most));
            (day(g.last).close >= day(g.first).open ? upBars : downBars)
                << QRectF(xOf(l, w, g.first) - bar / 2, top, bar, l.volume.bottom() - top);
        }
        p.setPen(Qt::NoPen);
        p.setBrush(kUpColour.lighter(150));
        p.drawRects(upBars);
        p.setBrush(kDownColour.lighter(150));
        p.drawRects(downBars);
        p.setBrush(Qt::NoBrush);
    }
    drawLegend(p, l.volume, {{QStringLiteral("出来高"), kBuyHoldColour}});

    // The account against buy-and-hold.
    Range equity;
    for (int i = w.first; i <= lastDay(w); ++i) {
        equity.take(static_cast<double>(day(i).value));
        equity.take(static_cast<double>(day(i).buyHold));
    }
    equity = equity.padded();
    drawGrid(p, l.equity, equity, 5);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(kBuyHoldColour, 1.2, Qt::DashLine));
    drawLine(
        p, l, w, groups, l.equity, equity, [&](int i) { return static_cast<double>(day(i).buyHold); }, true);
    p.setPen(QPen(kValueColour, 1.6));
    drawLine(
        p, l, w, groups, l.equity, equity, [&](int i) { return static_cast<double>(day(i).value); }, true);
    drawLegend(p, l.equity,
               {{QStringLiteral("評価額"), kValueColour},
                {QStringLiteral("バイ・アンド・ホールド"), kBuyHoldColour}});

    // Drawdown in percent, filled down from zero.
    Range drawdown{0, 0};
    for (int i = w.first; i <= lastDay(w); ++i)
        drawdown.low = std::min(drawdown.low, static_cast<double>(day(i).drawdown) * 100);
    if (drawdown.low >= 0)
        drawdown.low = -1;
    drawdown.low *= 1 + kPanePad;
    p.setRenderHint(QPainter::Antialiasing, false);
    drawGrid(p, l.drawdown, drawdown, 3, QStringLiteral("%"));
    {
        QPolygonF under;
        under.reserve(static_cast<qsizetype>(groups.size()) + 2);
        under << QPointF(xOf(l, w, w.first), drawdown.y(l.drawdown, 0));
        for (const DayGroup& g : groups) {
            long double deepest = 0;
            for (int i = g.first; i <= g.last; ++i)
                deepest = std::min(deepest, day(i).drawdown);
            under << QPointF(xOf(l, w, g.first), drawdown.y(l.drawdown, static_cast<double>(deepest) * 100));
        }
        under << QPointF(xOf(l, w, lastDay(w)), drawdown.y(l.drawdown, 0));
        QColor fill = kDrawdownColour;
        fill.setAlpha(90);
        p.setPen(QPen(kDrawdownColour, 1));
        p.setBrush(fill);
        p.drawPolygon(under);
        p.setBrush(Qt::NoBrush);
    }
    drawLegend(p, l.drawdown, {{QStringLiteral("ドローダウン"), kDrawdownColour}});

    // Dates under the panes, at least 90 pixels apart; the same days get vertical grid lines.
    {
        const QFontMetricsF metrics(p.font());
        const int every = std::max(1, static_cast<int>(std::ceil(90 / slot)));
        double taken = l.dates.left() - 1; // where the last date written ends
        for (int i = w.first; i <= lastDay(w); i += every) {
            const double x = xOf(l, w, i);
            p.setPen(QPen(kGridColour, 1, Qt::DotLine));
            for (const QRectF& pane : {l.price, l.volume, l.equity, l.drawdown})
                p.drawLine(QPointF(x, pane.top() + 1), QPointF(x, pane.bottom() - 1));
            p.setPen(Qt::darkGray);
            const QString text = qs(day(i).date);
            const double width = metrics.horizontalAdvance(text);
            const double left = std::clamp(x - width / 2, l.dates.left(), l.dates.right() - width);
            if (left <= taken)
                continue; // pushed inside at an edge, it would run into its neighbour
            p.drawText(QPointF(left, l.dates.top() + metrics.ascent() + 3), text);
            taken = left + width + 4;
        }
    }

    paintCrosshair(p, area, w, crosshairDay, crosshairY);
}

void ChartPainter::paintCrosshair(QPainter& p, const QRectF& area, ChartWindow w, int crosshairDay,
                                  double crosshairY) const
{
    const auto& days = m_data.series.days;
    w.count = std::min(w.count, static_cast<int>(days.size()) - w.first);
    if (crosshairDay < w.first || crosshairDay > lastDay(w))
        return;
    const Layout l = layout(area);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    {
        const EquityDay& d = days[static_cast<std::size_t>(crosshairDay)];
        const double x = xOf(l, w, crosshairDay);
        p.setPen(QPen(QColor(60, 60, 60), 1, Qt::DashLine));
        p.drawLine(QPointF(x, l.price.top()), QPointF(x, l.drawdown.bottom()));
        if (std::isfinite(crosshairY) && crosshairY >= l.price.top() && crosshairY <= l.drawdown.bottom())
            p.drawLine(QPointF(l.price.left(), crosshairY), QPointF(l.price.right(), crosshairY));
        const QString text =
            QStringLiteral("%1  始値 %2  高値 %3  安値 %4  終値 %5  出来高 %6  |  評価額 %7  B&H %8  DD %9%")
                .arg(qs(d.date), number(d.open), number(d.high), number(d.low), number(d.close),
                     number(d.volume), yen(d.value), yen(d.buyHold),
                     QString::number(static_cast<double>(d.drawdown) * 100, 'f', 2));
        const QFontMetricsF metrics(p.font());
        const QRectF box(l.title.right() - metrics.horizontalAdvance(text) - 10, l.title.top() + 2,
                         metrics.horizontalAdvance(text) + 8, l.title.height() - 4);
        p.fillRect(box, QColor(255, 255, 225));
        p.setPen(Qt::black);
        p.drawText(box, Qt::AlignCenter, text);
    }
}

Status renderChartFile(const ChartData& chart, const std::filesystem::path& path, int width, int height)
{
    // The command line has no application object: an offscreen one lives while the picture is
    // drawn, and the toolkit's notes about the desktop session (no runtime folder, no display),
    // which mean nothing to a command whose standard error carries its own messages, are dropped.
    std::unique_ptr<QGuiApplication> offscreen;
    QtMessageHandler previousHandler = nullptr;
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        previousHandler =
            qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
                if (type == QtCriticalMsg || type == QtFatalMsg)
                    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
            });
        static int argc = 1;
        static char name[] = "vorteq-cli";
        static char* argv[] = {name, nullptr};
        offscreen = std::make_unique<QGuiApplication>(argc, argv);
    }
    const auto restore = qScopeGuard([&] {
        if (offscreen)
            qInstallMessageHandler(previousHandler);
    });
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const QString file = QFile::decodeName(QByteArray::fromStdString(path.string()));
    const ChartPainter painter(chart);
    const ChartWindow all{0, static_cast<int>(chart.series.days.size())};
    const QRectF area(0, 0, width, height);
    if (extension == ".png") {
        QImage image(width, height, QImage::Format_RGB32);
        QPainter p(&image);
        painter.paint(p, area, all);
        p.end();
        if (!image.save(file, "PNG"))
            return makeError(ErrorCode::Io, "チャートを書き込めませんでした: " + path.string());
        return Status::success();
    }
    if (extension == ".svg") {
        QSvgGenerator svg;
        svg.setFileName(file);
        svg.setSize(QSize(width, height));
        svg.setViewBox(area);
        svg.setTitle(QString::fromStdString(chart.title));
        QPainter p;
        if (!p.begin(&svg))
            return makeError(ErrorCode::Io, "チャートを書き込めませんでした: " + path.string());
        painter.paint(p, area, all);
        p.end();
        if (!QFile::exists(file))
            return makeError(ErrorCode::Io, "チャートを書き込めませんでした: " + path.string());
        return Status::success();
    }
    return makeError(ErrorCode::Validation,
                     "チャートのファイル名は .png か .svg で終わる必要があります: " + path.string());
}

} // namespace vorteq
