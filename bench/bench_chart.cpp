// The chart tab and the risk and return figures of a back-test. One generated stock of 5,000
// trading days (and of 1,250, a five-year run) with day-change rules that trade about 200 times:
//   BM_BackTest            Analyze with the simulation, the run the figures are added to
//   BM_Statistics          the day-by-day account, the round trips and every figure
//   BM_ChartBuildAndPaint  the chart data from the run, painted into a 1600 x 1000 image
//   BM_ChartTab            the chart tab given the run and grabbed (the widget's own paint)
//   BM_ChartCrosshairMove  a mouse move: the crosshair drawn over the chart painted before
// Run on the offscreen platform: QT_QPA_PLATFORM=offscreen build-release/bench/bench_chart
#include "MarketGenerator.h"
#include "analysis/TStkAnalisys.h"
#include "results/ChartData.h"
#include "results/ChartPainter.h"
#include "results/EquityStatistics.h"
#include "results/chart_view.h"
#include "simulation/TradeSimulation.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <benchmark/benchmark.h>

using namespace vorteq;

namespace {

// A buy on a day 3.5 % or more above the previous close, a sell on one 3.5 % or more below; both
// directions, 1-share units, 0.1 % commission.
TJouken chartConditions()
{
    TJouken j = TJouken::defaults();
    for (const auto& [key, value] :
         std::initializer_list<std::pair<const char*, const char*>>{{"UseBuyZenjitu", "1"},
                                                                    {"AmtBuyZenjitu", "3.5"},
                                                                    {"UseSellZenjitu", "1"},
                                                                    {"AmtSellZenjitu", "-3.5"},
                                                                    {"KbnTani", "3"},
                                                                    {"KbnTrade", "2"},
                                                                    {"UseTesuryo", "1"},
                                                                    {"KbnTesuryo", "1"},
                                                                    {"AmtTesuryo", "0.1"}})
        j.set(key, value);
    return j;
}

// The same run drawn with eight overlays: four moving averages, four bands and the parabolic, as a
// condition set using them would show (the chart reads the conditions only for its overlays).
TJouken overlayConditions()
{
    TJouken j = chartConditions();
    for (const char* key : {"UseBuyIdo", "UseBuyKairi", "UseBuyCloss", "UseBuyVolin", "UseSellParab"})
        j.set(key, "1");
    return j;
}

struct Run {
    TStkData stock;
    std::string start;
};

std::string dateOf(const bench::GeneratedStock& stock, int row)
{
    std::string d((*stock.table)[2][static_cast<std::size_t>(row)]);
    std::replace(d.begin(), d.end(), '-', '/');
    return d;
}

// Every day but the oldest 60 is simulated; the rest feed the indicators.
Run runOnce(const bench::GeneratedStock& stock, const TJouken& conditions)
{
    TStkAnalisys a;
    installSimulation(a);
    Run run;
    run.start = dateOf(stock, stock.rows - 60);
    if (!a.Analyze(stock.table, stock.rows, conditions, run.start, dateOf(stock, 1), true) ||
        !a.GetStkData(0, run.stock))
        std::abort();
    return run;
}

void BM_BackTest(benchmark::State& state)
{
    const auto stock = bench::generateStock(1301, static_cast<int>(state.range(0)) + 60);
    const TJouken conditions = chartConditions();
    TStkAnalisys a;
    installSimulation(a);
    const std::string start = dateOf(stock, stock.rows - 60);
    const std::string end = dateOf(stock, 1);
    for (auto _ : state) {
        a.Clear();
        if (!a.Analyze(stock.table, stock.rows, conditions, start, end, true))
            state.SkipWithError("Analyze failed");
        benchmark::DoNotOptimize(a.StkList.data());
    }
    state.counters["trades"] = a.StkList.empty() ? 0 : a.StkList[0].UserResult.TradeCount;
}
BENCHMARK(BM_BackTest)->Arg(1250)->Arg(5000)->ArgName("days")->Unit(benchmark::kMillisecond);

void BM_Statistics(benchmark::State& state)
{
    const auto stock = bench::generateStock(1301, static_cast<int>(state.range(0)) + 60);
    const Run run = runOnce(stock, chartConditions());
    for (auto _ : state) {
        const EquitySeries series = buildEquitySeries(run.stock, run.start, 1);
        const EquityStatistics statistics = computeStatistics(series);
        benchmark::DoNotOptimize(statisticsRows(statistics).data());
    }
    state.counters["trades"] = run.stock.UserResult.TradeCount;
}
BENCHMARK(BM_Statistics)->Arg(1250)->Arg(5000)->ArgName("days")->Unit(benchmark::kMillisecond);

void BM_ChartBuildAndPaint(benchmark::State& state)
{
    const auto stock = bench::generateStock(1301, static_cast<int>(state.range(0)) + 60);
    const Run run = runOnce(stock, chartConditions());
    const TJouken conditions = overlayConditions();
    QImage image(1600, 1000, QImage::Format_RGB32);
    for (auto _ : state) {
        const ChartData chart = buildChartData(run.stock, run.start, conditions, "1301");
        QPainter p(&image);
        ChartPainter(chart).paint(p, QRectF(0, 0, 1600, 1000),
                                  {0, static_cast<int>(chart.series.days.size())});
        p.end();
        benchmark::DoNotOptimize(image.bits());
        state.counters["markers"] = static_cast<double>(chart.markers.size());
        state.counters["overlays"] = static_cast<double>(chart.overlays.size());
    }
}
BENCHMARK(BM_ChartBuildAndPaint)->Arg(1250)->Arg(5000)->ArgName("days")->Unit(benchmark::kMillisecond);

void BM_ChartTab(benchmark::State& state)
{
    const auto stock = bench::generateStock(1301, static_cast<int>(state.range(0)) + 60);
    const Run run = runOnce(stock, chartConditions());
    const TJouken conditions = overlayConditions();
    ChartView view;
    view.resize(1600, 1000);
    for (auto _ : state) {
        view.showChart(buildChartData(run.stock, run.start, conditions, "1301"));
        benchmark::DoNotOptimize(view.grab().width());
    }
}
BENCHMARK(BM_ChartTab)->Arg(5000)->ArgName("days")->Unit(benchmark::kMillisecond);

// A mouse move over the chart tab: the crosshair over the chart painted once.
void BM_ChartCrosshairMove(benchmark::State& state)
{
    const auto stock = bench::generateStock(1301, static_cast<int>(state.range(0)) + 60);
    const Run run = runOnce(stock, chartConditions());
    ChartView view;
    view.resize(1600, 1000);
    view.show();
    QApplication::processEvents();
    view.showChart(buildChartData(run.stock, run.start, overlayConditions(), "1301"));
    benchmark::DoNotOptimize(view.grab().width());
    int day = 0;
    for (auto _ : state) {
        view.canvas().setCrosshair(day++ % static_cast<int>(view.data().series.days.size()));
        benchmark::DoNotOptimize(view.canvas().grab().width());
    }
}
BENCHMARK(BM_ChartCrosshairMove)->Arg(5000)->ArgName("days")->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
