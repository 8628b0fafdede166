#include "sweep/WalkForward.h"

#include "analysis/TStkAnalisys.h"
#include "common/DateText.h"

#include <algorithm>
#include <array>

namespace vorteq {

Result<std::vector<WalkWindow>> walkForwardWindows(std::string_view from, std::string_view to, int inMonths,
                                                   int outMonths)
{
    const auto first = parseDate(from);
    const auto last = parseDate(to);
    if (!first || !last)
        return makeError(ErrorCode::Validation, "期間の日付が正しくありません: \"" + std::string(from) +
                                                    "\"～\"" + std::string(to) + "\"");
    if (inMonths < 1 || inMonths > 240 || outMonths < 1 || outMonths > 240)
        return makeError(ErrorCode::Validation, "インサンプルとアウトオブサンプルの長さは1～240ヶ月です。");
    std::vector<WalkWindow> windows;
    // Every boundary is counted from the first day, so clamped month ends never drift apart.
    const auto boundary = [&](int months) { return addMonths(*first, months); };
    for (int k = 0;; ++k) {
        const Date outStart = boundary(inMonths + k * outMonths);
        if (toDayNumber(outStart) > toDayNumber(*last))
            break;
        Date outEnd = addDays(boundary(inMonths + (k + 1) * outMonths), -1);
        if (toDayNumber(outEnd) > toDayNumber(*last))
            outEnd = *last;
        windows.push_back({formatDate(boundary(k * outMonths)), formatDate(addDays(outStart, -1)),
                           formatDate(outStart), formatDate(outEnd)});
    }
    if (windows.empty())
        return makeError(ErrorCode::Validation,
                         "期間がインサンプルの長さより短いため、アウトオブサンプルの期間がありません。");
    return windows;
}

SweepStock pricesUpTo(const SweepStock& stock, std::string_view last)
{
    const auto limit = parseDate(last);
    std::vector<int> kept;
    const PtblData* table = stock.table.get();
    for (int r = 1; table && r <= stock.rows; ++r) {
        const auto date = parseDate(table->text(TStkAnalisys::kColDate, r));
        // A row whose date does not read is kept: the analysis reports it.
        if (!date || !limit || toDayNumber(*date) <= toDayNumber(*limit))
            kept.push_back(r);
    }
    SweepStock out;
    out.code = stock.code;
    if (!table)
        return out;
    out.rows = static_cast<int>(kept.size());
    out.table = makePtbl(table->columnCount(), out.rows + 1);
    for (int i = 0; i < out.rows; ++i)
        for (int c = 1; c < table->columnCount(); ++c)
            out.table->set(c, i + 1, table->text(c, kept[static_cast<std::size_t>(i)]));
    return out;
}

namespace {

// The figures of MeanFigures in the metric enum's order.
constexpr std::optional<long double> MeanFigures::*kMeanFields[kSweepMetricCount] = {
    &MeanFigures::netReturnPct, &MeanFigures::profitFactor, &MeanFigures::maxDrawdownPct,
    &MeanFigures::sharpe, &MeanFigures::trades};

} // namespace

MeanFigures meanFigures(const std::vector<std::vector<CellFigures>>& perStock, int cell)
{
    MeanFigures m;
    std::array<long double, kSweepMetricCount> sums{};
    std::array<int, kSweepMetricCount> counts{};
    for (const auto& stock : perStock) {
        const CellFigures& f = stock[static_cast<std::size_t>(cell)];
        if (!f.error.empty())
            continue;
        ++m.stocks;
        for (std::size_t k = 0; k < kSweepMetricCount; ++k)
            if (const auto v = metricOf(f, static_cast<SweepMetric>(k))) {
                sums[k] += *v;
                ++counts[k];
            }
    }
    for (std::size_t k = 0; k < kSweepMetricCount; ++k)
        if (counts[k] > 0)
            m.*kMeanFields[k] = sums[k] / counts[k];
    return m;
}

std::optional<long double> metricOf(const MeanFigures& m, SweepMetric metric)
{
    return m.*kMeanFields[static_cast<std::size_t>(metric)];
}

namespace {

long double yearsOf(std::string_view from, std::string_view to)
{
    const auto a = parseDate(from);
    const auto b = parseDate(to);
    if (!a || !b)
        return 0;
    return static_cast<long double>(toDayNumber(*b) - toDayNumber(*a) + 1) / 365.25L;
}

// Appends a window's account to the chain, scaled so it starts with the money the chain holds.
void chainSeries(EquitySeries& chain, const EquitySeries& window)
{
    if (window.days.empty())
        return;
    if (chain.days.empty() && chain.trips.empty())
        chain.capital = window.capital;
    const long double held = chain.days.empty() ? chain.capital : chain.days.back().value;
    const long double scale = window.capital != 0 ? held / window.capital : 1;
    const int offset = static_cast<int>(chain.days.size());
    const long double longBase = chain.longValue.empty() ? chain.capital : chain.longValue.back();
    const long double shortBase = chain.shortValue.empty() ? chain.capital : chain.shortValue.back();
    for (std::size_t i = 0; i < window.days.size(); ++i) {
        EquityDay day = window.days[i];
        day.value *= scale;
        day.buyHold *= scale;
        chain.days.push_back(day);
        // The sides keep adding their own gains on top of where they stood.
        chain.longValue.push_back(
            longBase + (i < window.longValue.size() ? window.longValue[i] - window.capital : 0) * scale);
        chain.shortValue.push_back(
            shortBase + (i < window.shortValue.size() ? window.shortValue[i] - window.capital : 0) * scale);
    }
    for (RoundTrip trip : window.trips) {
        trip.entryDay += offset;
        trip.exitDay += offset;
        trip.entryAmount *= scale;
        trip.proceeds *= scale;
        trip.fees *= scale;
        trip.profit *= scale;
        chain.trips.push_back(trip);
    }
    long double peak = 0;
    for (EquityDay& day : chain.days) {
        peak = std::max(peak, day.value);
        day.drawdown = peak > 0 ? day.value / peak - 1 : 0;
    }
}

} // namespace

Result<WalkForwardResult> runWalkForward(const SweepGrid& grid, const std::vector<SweepStock>& stocks,
                                         const std::vector<WalkWindow>& windows, SweepMetric metric,
                                         const SweepRunOptions& options)
{
    WalkForwardResult result;
    const long long perWindow = static_cast<long long>(stocks.size()) * (grid.cellCount() + 1);
    const long long total = perWindow * static_cast<long long>(windows.size());
    long double inPerYear = 0, outPerYear = 0;
    int ran = 0;
    for (std::size_t w = 0; w < windows.size(); ++w) {
        const WalkWindow& window = windows[w];
        WalkWindowResult& row = result.windows.emplace_back();
        row.window = window;
        const long long before = perWindow * static_cast<long long>(w);
        SweepRunOptions step = options;
        if (options.progress)
            step.progress = [&](long long done, long long) { options.progress(before + done, total); };

        // The choice sees the prices up to the in-sample window's last day only.
        std::vector<SweepStock> inSample;
        for (const SweepStock& s : stocks)
            inSample.push_back(pricesUpTo(s, window.inEnd));
        auto swept = runSweep(grid, inSample, window.inStart, window.inEnd, step);
        if (!swept)
            return swept.error();
        std::vector<MeanFigures> means;
        std::vector<std::optional<long double>> values;
        for (int c = 0; c < grid.cellCount(); ++c) {
            means.push_back(meanFigures(*swept, c));
            values.push_back(metricOf(means.back(), metric));
        }
        row.bestCell = bestCell(values);
        if (row.bestCell < 0)
            continue;
        row.bestValues = grid.cellValues(row.bestCell);
        row.inSample = means[static_cast<std::size_t>(row.bestCell)];

        const SweepGrid chosen(grid.conditionsOf(row.bestCell), {}, {});
        std::vector<SweepStock> outOfSample;
        for (const SweepStock& s : stocks)
            outOfSample.push_back(pricesUpTo(s, window.outEnd));
        const long long afterIn = before + static_cast<long long>(stocks.size()) * grid.cellCount();
        if (options.progress)
            step.progress = [&](long long done, long long) { options.progress(afterIn + done, total); };
        auto out = runSweep(chosen, outOfSample, window.outStart, window.outEnd, step);
        if (!out)
            return out.error();
        row.outOfSample = meanFigures(*out, 0);
        if (row.inSample.netReturnPct && row.outOfSample.netReturnPct) {
            inPerYear += *row.inSample.netReturnPct / yearsOf(window.inStart, window.inEnd);
            outPerYear += *row.outOfSample.netReturnPct / yearsOf(window.outStart, window.outEnd);
            ++ran;
        }
        if (!outOfSample.empty()) {
            auto series = runSingle(chosen.base(), outOfSample.front(), window.outStart, window.outEnd);
            if (series)
                chainSeries(result.chained, *series);
        }
    }
    if (ran > 0) {
        result.inSampleReturnPerYear = inPerYear / ran;
        result.outOfSampleReturnPerYear = outPerYear / ran;
        if (result.inSampleReturnPerYear > 0)
            result.efficiency = result.outOfSampleReturnPerYear / result.inSampleReturnPerYear;
    }
    result.chainedStatistics = computeStatistics(result.chained);
    return result;
}

} // namespace vorteq
