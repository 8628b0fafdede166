#include "results/ChartData.h"

#include "common/NumberText.h"
#include "results/ResultRows.h"
#include "simulation/TradeCodes.h"

#include <algorithm>
#include <limits>

namespace vorteq {
namespace {

// A condition's price-scale indicator: the stem of its Use keys and the day fields it draws.
struct Overlay {
    std::string_view stem;
    std::string_view name;
    DayField field;
    bool dots = false;
};

constexpr Overlay kOverlays[] = {
    {"Ido", "移動平均線A", DayField::IdoAvg1},
    {"Kairi", "移動平均線B", DayField::IdoAvg2},
    {"Closs", "移動平均線C", DayField::IdoAvg3},
    {"Closs", "移動平均線D", DayField::IdoAvg4},
    {"Volin", "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+2σ", DayField::VolinPlus2},
    {"Volin", "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+1σ", DayField::VolinPlus1},
    {"Volin", "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-1σ", DayField::VolinMinus1},
    {"Volin", "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-2σ", DayField::VolinMinus2},
    {"Parab", "ﾊﾟﾗﾎﾞﾘｯｸ", DayField::ParaboSAR, true},
    {"Wild", "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", DayField::WilSAR, true},
};

// A condition takes part when its Use field puts it in an Or or an And group.
bool inUse(const TJouken& conditions, std::string_view stem)
{
    for (const std::string_view side : {"UseBuy", "UseSell"}) {
        std::string key(side);
        key.append(stem);
        const std::string* use = conditions.field(key);
        if (use && (*use == "1" || *use == "2"))
            return true;
    }
    return false;
}

} // namespace

std::string chartTitle(std::string_view code, std::string_view name, std::string_view start,
                       std::string_view end)
{
    std::string title(code);
    if (!name.empty()) {
        title += ' ';
        title.append(name);
    }
    title += "  ";
    title.append(start);
    title += "～";
    title.append(end);
    return title;
}

int dayIndexOf(const EquitySeries& series, std::string_view date)
{
    const auto& days = series.days;
    // Days are in date order; a binary search keeps a long series with many trades quick.
    const auto it = std::lower_bound(days.begin(), days.end(), date,
                                     [](const EquityDay& d, std::string_view t) { return d.date < t; });
    return it != days.end() && it->date == date ? static_cast<int>(it - days.begin()) : -1;
}

ChartData buildChartData(const TStkData& stock, std::string_view start, const TJouken& conditions,
                         std::string title)
{
    ChartData chart;
    chart.title = std::move(title);
    const int tradePrice = parseInt32(conditions.value("UseTradePrice")).value_or(0);
    chart.series = buildEquitySeries(stock, start, tradePrice);
    const std::size_t dayCount = chart.series.days.size();

    for (const Overlay& o : kOverlays) {
        if (!inUse(conditions, o.stem))
            continue;
        ChartLine& line = chart.overlays.emplace_back();
        line.name = o.name;
        line.dots = o.dots;
        line.values.reserve(dayCount);
        // The series' day k (oldest first) is the stock's day dayCount - 1 - k (newest first).
        for (std::size_t k = 0; k < dayCount; ++k) {
            const DayValue& cell = stock.Days[dayCount - 1 - k][o.field];
            const auto value = cell.number();
            line.values.push_back(value ? static_cast<double>(*value)
                                        : std::numeric_limits<double>::quiet_NaN());
        }
    }

    const TUserResult& result = stock.UserResult;
    const int count = std::min(result.TradeCount, static_cast<int>(result.Trades.size()));
    bool shortOpen = false;
    for (int i = 0; i < count; ++i) {
        const TTradeRecord& t = result.Trades[static_cast<std::size_t>(i)];
        const int day = dayIndexOf(chart.series, t.TradeDate.str());
        MarkerKind kind = MarkerKind::Sell;
        if (t.TradeKind == textOf(TradeKind::OpenLong)) {
            kind = MarkerKind::Buy;
            shortOpen = false;
        } else if (t.TradeKind == textOf(TradeKind::OpenShort)) {
            kind = MarkerKind::Short;
            shortOpen = true;
        } else {
            // 売り, 買戻し, and 利確 or 損切 of whichever position was open.
            kind = shortOpen ? MarkerKind::Cover : MarkerKind::Sell;
        }
        if (day < 0)
            continue; // a trade outside the days shown has no place on the chart
        ChartMarker& marker = chart.markers.emplace_back();
        marker.day = day;
        marker.price = static_cast<double>(t.TradePrice.value().value_or(0));
        marker.kind = kind;
        const std::string texts[] = {t.TradeDate, t.TradeKind, t.TradeRtn, t.TradePrice, t.TradeVlm,
                                     t.TradeAmt,  t.TradeFee,  t.RestAmt,  t.TotalAmt};
        for (std::size_t c = 0; c < kTradeColumnTitles.size(); ++c) {
            if (c > 0)
                marker.tooltip += '\n';
            marker.tooltip.append(kTradeColumnTitles[c]);
            marker.tooltip += ": ";
            marker.tooltip += texts[c];
            if (static_cast<int>(c) == kTradeReturnColumn && texts[c] != kNoValue)
                marker.tooltip += " %";
        }
    }
    return chart;
}

} // namespace vorteq
