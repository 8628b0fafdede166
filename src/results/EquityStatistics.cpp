#include "results/EquityStatistics.h"

#include "common/Csv.h"
#include "common/DateText.h"
#include "common/NumberText.h"
#include "results/ResultRows.h"
#include "simulation/TradeCodes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vorteq {
namespace {

long double numberOf(const DayValue& cell)
{
    return cell.number().value_or(0);
}

long double numberOf(const TradeText& text)
{
    return text.value().value_or(0);
}

// A date text of the one form yyyy/mm/dd, which orders as its date.
bool isPlainDate(std::string_view text)
{
    return text.size() == 10 && text[4] == '/' && text[7] == '/';
}

// Whether a day lies before the start, as the daily table decides it: as dates, or as texts when
// one does not read as a date.
bool before(const std::string& date, std::string_view start)
{
    if (isPlainDate(date) && isPlainDate(start))
        return std::string_view(date) < start;
    const auto d = parseDate(date);
    const auto s = parseDate(start);
    if (d && s)
        return *d < *s;
    return std::string_view(date) < start;
}

// Trade dates compare as texts of one form (yyyy/mm/dd), which orders them as dates.
bool onOrBefore(const std::string& trade, const std::string& day)
{
    return trade <= day;
}

bool isOpening(const TradeText& kind)
{
    return kind == textOf(TradeKind::OpenLong) || kind == textOf(TradeKind::OpenShort);
}

long double executionPrice(const EquityDay& day, int tradePrice)
{
    switch (tradePrice) {
    case 1:
        return day.open;
    case 2:
        return day.close;
    case 3:
        return day.high;
    case 4:
        return day.low;
    default:
        return 0;
    }
}

// The open position while replaying the trade records.
struct Holding {
    PositionSide side = PositionSide::Flat;
    int entryDay = 0;
    long double shares = 0;
    long double entryAmount = 0;
    long double entryFee = 0;

    // What the position is worth at a close, as the run values it at the period end.
    long double valueAt(long double close) const
    {
        if (side == PositionSide::Long)
            return shares * close;
        if (side == PositionSide::Short)
            return 2 * entryAmount - shares * close;
        return 0;
    }
};

} // namespace

EquitySeries buildEquitySeries(const TStkData& stock, std::string_view start, int tradePrice)
{
    EquitySeries series;
    const TUserResult& result = stock.UserResult;
    series.capital = result.InitAmt;

    const int count = std::min(stock.DayCount, static_cast<int>(stock.Days.size()));
    // The days run newest first: those shown are the ones before the first day before the start.
    const auto newestFirst = stock.Days.begin();
    const int shown =
        static_cast<int>(std::partition_point(newestFirst, newestFirst + count,
                                              [&](const TStkDailyData& d) {
                                                  return !before(d.text(DayField::StkDate), start);
                                              }) -
                         newestFirst);
    series.days.reserve(static_cast<std::size_t>(shown));
    for (int i = shown - 1; i >= 0; --i) {
        const TStkDailyData& d = stock.Days[static_cast<std::size_t>(i)];
        EquityDay& day = series.days.emplace_back();
        day.date = d.text(DayField::StkDate);
        day.open = numberOf(d[DayField::SPrice]);
        day.high = numberOf(d[DayField::HPrice]);
        day.low = numberOf(d[DayField::LPrice]);
        day.close = numberOf(d[DayField::EPrice]);
        day.volume = numberOf(d[DayField::StkVlm]);
    }
    if (series.days.empty())
        return series;

    const long double firstPrice = executionPrice(series.days.front(), tradePrice);
    const long double bhShares = firstPrice > 0 ? series.capital / firstPrice : 0;

    series.longValue.reserve(series.days.size());
    series.shortValue.reserve(series.days.size());
    const int tradeCount = std::min(result.TradeCount, static_cast<int>(result.Trades.size()));
    int next = 0;
    std::string nextDate = next < tradeCount ? result.Trades[0].TradeDate.str() : std::string();
    long double cash = series.capital;
    long double realisedLong = 0;
    long double realisedShort = 0;
    long double peak = 0;
    Holding holding;
    for (std::size_t i = 0; i < series.days.size(); ++i) {
        EquityDay& day = series.days[i];
        while (next < tradeCount && onOrBefore(nextDate, day.date)) {
            const TTradeRecord& t = result.Trades[static_cast<std::size_t>(next++)];
            if (next < tradeCount)
                nextDate = result.Trades[static_cast<std::size_t>(next)].TradeDate.str();
            if (isOpening(t.TradeKind)) {
                holding.side = t.TradeKind == "買い" ? PositionSide::Long : PositionSide::Short;
                holding.entryDay = static_cast<int>(i);
                holding.shares = numberOf(t.TradeVlm);
                holding.entryAmount = numberOf(t.TradeAmt);
                holding.entryFee = numberOf(t.TradeFee);
                cash = numberOf(t.RestAmt);
                continue;
            }
            if (holding.side == PositionSide::Flat)
                continue; // a closing record without an opening one: nothing to close
            RoundTrip& trip = series.trips.emplace_back();
            trip.side = holding.side;
            trip.entryDay = holding.entryDay;
            trip.exitDay = static_cast<int>(i);
            trip.entryAmount = holding.entryAmount;
            trip.proceeds = numberOf(t.TradeAmt);
            trip.fees = holding.entryFee + numberOf(t.TradeFee);
            trip.profit = trip.proceeds - trip.entryAmount - trip.fees;
            trip.returnPct = trip.entryAmount != 0 ? trip.profit / trip.entryAmount * 100 : 0;
            (trip.side == PositionSide::Long ? realisedLong : realisedShort) += trip.profit;
            cash = numberOf(t.TotalAmt);
            holding = Holding{};
        }
        const long double position = holding.valueAt(day.close);
        const long double openProfit = position - holding.entryAmount - holding.entryFee;
        day.held = holding.side;
        day.value = cash + position;
        day.buyHold = bhShares > 0 ? bhShares * day.close : series.capital;
        peak = i == 0 ? day.value : std::max(peak, day.value);
        day.drawdown = peak > 0 ? day.value / peak - 1 : 0;
        series.longValue.push_back(series.capital + realisedLong +
                                   (holding.side == PositionSide::Long ? openProfit : 0));
        series.shortValue.push_back(series.capital + realisedShort +
                                    (holding.side == PositionSide::Short ? openProfit : 0));
    }
    return series;
}

namespace {

// Whether a position's side belongs to a group: Flat stands for all positions.
bool inGroup(PositionSide side, PositionSide group)
{
    return group == PositionSide::Flat || side == group;
}

std::optional<long double> ratio(long double numerator, long double denominator)
{
    if (denominator == 0 || !std::isfinite(numerator / denominator))
        return std::nullopt;
    return numerator / denominator;
}

SideStatistics sideStatistics(const EquitySeries& series, const std::vector<long double>& values,
                              PositionSide group)
{
    SideStatistics s;
    const auto& days = series.days;
    if (days.empty())
        return s;
    const long double capital = series.capital;
    const long double last = values.back();

    // Closed positions.
    long double won = 0;
    long double lost = 0;
    long double returns = 0;
    long double holding = 0;
    int wins = 0;
    int losses = 0;
    int winRun = 0;
    int lossRun = 0;
    for (const RoundTrip& t : series.trips) {
        if (!inGroup(t.side, group))
            continue;
        ++s.trades;
        returns += t.returnPct;
        holding += t.exitDay - t.entryDay;
        if (t.profit > 0) {
            ++wins;
            won += t.profit;
            s.largestWin = std::max(s.largestWin.value_or(t.profit), t.profit);
            ++winRun;
            lossRun = 0;
        } else if (t.profit < 0) {
            ++losses;
            lost += t.profit;
            s.largestLoss = std::min(s.largestLoss.value_or(t.profit), t.profit);
            ++lossRun;
            winRun = 0;
        } else {
            winRun = lossRun = 0;
        }
        s.maxConsecutiveWins = std::max(s.maxConsecutiveWins, winRun);
        s.maxConsecutiveLosses = std::max(s.maxConsecutiveLosses, lossRun);
    }
    if (s.trades > 0) {
        s.expectancy = (won + lost) / s.trades;
        s.expectancyPct = returns / s.trades;
        s.averageHoldingDays = holding / s.trades;
    }
    if (losses > 0)
        s.profitFactor = won / -lost;
    if (wins > 0 && losses > 0)
        s.payoffRatio = (won / wins) / (-lost / losses);

    // The value series.
    s.netProfit = last - capital;
    s.netProfitPct = ratio(s.netProfit * 100, capital);
    const auto first = parseDate(days.front().date);
    const auto newest = parseDate(days.back().date);
    if (first && newest && capital > 0 && last > 0) {
        const long double years =
            static_cast<long double>(toDayNumber(*newest) - toDayNumber(*first)) / 365.25L;
        if (years > 0)
            s.cagrPct = (std::pow(last / capital, 1 / years) - 1) * 100;
    }

    long double peak = values.front();
    std::size_t peakAt = 0;
    std::size_t deepestPeak = 0;
    std::size_t deepestAt = 0;
    int under = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (values[i] >= peak) {
            // The last day at the high is where a fall from it starts.
            peakAt = i;
            peak = values[i];
            under = 0;
            continue;
        }
        ++under;
        s.longestDrawdownDays = std::max(s.longestDrawdownDays, under);
        const long double depth = peak > 0 ? values[i] / peak - 1 : 0;
        if (depth * 100 < s.maxDrawdownPct) {
            s.maxDrawdownPct = depth * 100;
            s.maxDrawdown = values[i] - peak;
            deepestPeak = peakAt;
            deepestAt = i;
        }
    }
    if (s.maxDrawdownPct < 0) {
        s.peakDate = days[deepestPeak].date;
        s.troughDate = days[deepestAt].date;
        for (std::size_t i = deepestAt + 1; i < values.size(); ++i)
            if (values[i] >= values[deepestPeak]) {
                s.recoveryDate = days[i].date;
                break;
            }
    }

    int inMarket = 0;
    for (const EquityDay& d : days)
        if (d.held != PositionSide::Flat && inGroup(d.held, group))
            ++inMarket;
    s.exposurePct = static_cast<long double>(inMarket) * 100 / static_cast<long double>(days.size());

    if (values.size() >= 3) {
        // Daily returns in doubles: their sixteen digits are far more than the figures show, and
        // the day-by-day divisions are the bulk of the work.
        std::vector<double> r;
        r.reserve(values.size() - 1);
        for (std::size_t i = 1; i < values.size(); ++i)
            if (values[i - 1] > 0)
                r.push_back(static_cast<double>(values[i]) / static_cast<double>(values[i - 1]) - 1);
        if (r.size() >= 2) {
            const auto n = static_cast<double>(r.size());
            double mean = 0;
            for (const double x : r)
                mean += x;
            mean /= n;
            double squares = 0;
            double downside = 0;
            for (const double x : r) {
                squares += (x - mean) * (x - mean);
                if (x < 0)
                    downside += x * x;
            }
            const long double deviation = std::sqrt(squares / (n - 1));
            const long double downDeviation = std::sqrt(downside / n);
            const long double annual = std::sqrt(kTradingDaysPerYear);
            s.volatilityPct = deviation * annual * 100;
            if (deviation > 0)
                s.sharpe = mean / deviation * annual;
            if (downDeviation > 0)
                s.sortino = mean / downDeviation * annual;
        }
    }
    if (s.cagrPct && s.maxDrawdownPct < 0)
        s.calmar = *s.cagrPct / -s.maxDrawdownPct;
    s.buyHoldPct = ratio((days.back().buyHold - capital) * 100, capital);
    return s;
}

std::string fixed(long double value, int decimals)
{
    char buffer[64];
    // Round first so that a value just below zero does not show as "-0.00".
    const long double scale = std::pow(10.0L, decimals);
    long double rounded = std::round(value * scale) / scale;
    if (rounded == 0)
        rounded = 0;
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, static_cast<double>(rounded));
    return buffer;
}

std::string orNone(const std::optional<long double>& value, int decimals, std::string_view suffix = {})
{
    if (!value || !std::isfinite(*value))
        return std::string(kNoValue);
    std::string text = fixed(*value, decimals);
    text.append(suffix);
    return text;
}

std::string dateOrNone(const std::string& date)
{
    return date.empty() ? std::string(kNoValue) : date;
}

// One figure of the table: its caption and how one group's statistics show it.
struct Measure {
    std::string_view caption;
    std::string (*text)(const SideStatistics&);
};

constexpr int kYen = 0;
constexpr int kTwo = 2;

constexpr Measure kMeasures[] = {
    {"取引回数", [](const SideStatistics& s) { return std::to_string(s.trades) + " 回"; }},
    {"純損益", [](const SideStatistics& s) { return fixed(s.netProfit, kYen); }},
    {"純損益率", [](const SideStatistics& s) { return orNone(s.netProfitPct, kTwo, " %"); }},
    {"年率リターン(CAGR)", [](const SideStatistics& s) { return orNone(s.cagrPct, kTwo, " %"); }},
    {"最大ドローダウン", [](const SideStatistics& s) { return fixed(s.maxDrawdown, kYen); }},
    {"最大ドローダウン率", [](const SideStatistics& s) { return fixed(s.maxDrawdownPct, kTwo) + " %"; }},
    {"ドローダウン開始日", [](const SideStatistics& s) { return dateOrNone(s.peakDate); }},
    {"ドローダウン底値日", [](const SideStatistics& s) { return dateOrNone(s.troughDate); }},
    {"ドローダウン回復日",
     [](const SideStatistics& s) {
         if (s.troughDate.empty())
             return std::string(kNoValue);
         return s.recoveryDate ? *s.recoveryDate : std::string(kNotRecovered);
     }},
    {"最長ドローダウン期間",
     [](const SideStatistics& s) { return std::to_string(s.longestDrawdownDays) + " 日"; }},
    {"プロフィットファクター", [](const SideStatistics& s) { return orNone(s.profitFactor, kTwo); }},
    {"期待値(1取引)", [](const SideStatistics& s) { return orNone(s.expectancy, kYen); }},
    {"期待値率(1取引)", [](const SideStatistics& s) { return orNone(s.expectancyPct, kTwo, " %"); }},
    {"ペイオフレシオ", [](const SideStatistics& s) { return orNone(s.payoffRatio, kTwo); }},
    {"最大勝ち取引", [](const SideStatistics& s) { return orNone(s.largestWin, kYen); }},
    {"最大負け取引", [](const SideStatistics& s) { return orNone(s.largestLoss, kYen); }},
    {"最大連勝数", [](const SideStatistics& s) { return std::to_string(s.maxConsecutiveWins) + " 回"; }},
    {"最大連敗数", [](const SideStatistics& s) { return std::to_string(s.maxConsecutiveLosses) + " 回"; }},
    {"平均保有日数", [](const SideStatistics& s) { return orNone(s.averageHoldingDays, kTwo, " 日"); }},
    {"エクスポージャー", [](const SideStatistics& s) { return orNone(s.exposurePct, kTwo, " %"); }},
    {"年率ボラティリティ", [](const SideStatistics& s) { return orNone(s.volatilityPct, kTwo, " %"); }},
    {"シャープレシオ", [](const SideStatistics& s) { return orNone(s.sharpe, kTwo); }},
    {"ソルティノレシオ", [](const SideStatistics& s) { return orNone(s.sortino, kTwo); }},
    {"カルマーレシオ", [](const SideStatistics& s) { return orNone(s.calmar, kTwo); }},
    {"バイ・アンド・ホールド騰落率",
     [](const SideStatistics& s) { return orNone(s.buyHoldPct, kTwo, " %"); }},
};

void appendJsonString(std::string& out, std::string_view text)
{
    out += '"';
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// A number for JSON: the general format, which never writes "inf" or "nan" for a finite value.
std::string jsonNumber(long double value)
{
    return std::isfinite(value) ? formatNumber(value) : std::string("null");
}

} // namespace

EquityStatistics computeStatistics(const EquitySeries& series)
{
    std::vector<long double> all;
    all.reserve(series.days.size());
    for (const EquityDay& d : series.days)
        all.push_back(d.value);
    EquityStatistics out;
    out.all = sideStatistics(series, all, PositionSide::Flat);
    out.longs = sideStatistics(series, series.longValue, PositionSide::Long);
    out.shorts = sideStatistics(series, series.shortValue, PositionSide::Short);
    return out;
}

std::vector<StatisticsRow> statisticsRows(const EquityStatistics& statistics)
{
    std::vector<StatisticsRow> rows;
    rows.reserve(std::size(kMeasures));
    for (const Measure& m : kMeasures)
        rows.push_back(
            {m.caption, {m.text(statistics.all), m.text(statistics.longs), m.text(statistics.shorts)}});
    return rows;
}

std::vector<std::string> statisticsCsvLines(const EquityStatistics& statistics, const EquitySeries& series)
{
    GridRows rows;
    for (StatisticsRow& row : statisticsRows(statistics))
        rows.push_back({std::string(row.caption), std::move(row.texts[0]), std::move(row.texts[1]),
                        std::move(row.texts[2])});
    std::vector<std::string> lines = gridCsvLines(kStatisticsColumnTitles, rows);
    lines.emplace_back();

    static constexpr std::string_view kEquityTitles[] = {"日付", "評価額", "バイ・アンド・ホールド",
                                                         "ドローダウン(%)"};
    GridRows equity;
    equity.reserve(series.days.size());
    for (const EquityDay& d : series.days)
        equity.push_back(
            {d.date, formatNumber(d.value), formatNumber(d.buyHold), formatNumber(d.drawdown * 100)});
    std::vector<std::string> equityLines = gridCsvLines(kEquityTitles, equity);
    lines.insert(lines.end(), std::make_move_iterator(equityLines.begin()),
                 std::make_move_iterator(equityLines.end()));
    return lines;
}

std::string statisticsJson(const EquityStatistics& statistics, const EquitySeries& series)
{
    std::string out = "{\n  \"statistics\": [";
    bool firstRow = true;
    for (const StatisticsRow& row : statisticsRows(statistics)) {
        out += firstRow ? "\n    {" : ",\n    {";
        firstRow = false;
        out += "\"item\": ";
        appendJsonString(out, row.caption);
        static constexpr std::string_view kKeys[] = {"all", "long", "short"};
        for (std::size_t k = 0; k < 3; ++k) {
            out += ", \"";
            out += kKeys[k];
            out += "\": ";
            appendJsonString(out, row.texts[k]);
        }
        out += '}';
    }
    out += "\n  ],\n  \"equity\": [";
    bool firstDay = true;
    for (const EquityDay& d : series.days) {
        out += firstDay ? "\n    {" : ",\n    {";
        firstDay = false;
        out += "\"date\": ";
        appendJsonString(out, d.date);
        out += ", \"value\": " + jsonNumber(d.value);
        out += ", \"buyHold\": " + jsonNumber(d.buyHold);
        out += ", \"drawdownPct\": " + jsonNumber(d.drawdown * 100);
        out += '}';
    }
    out += "\n  ]\n}\n";
    return out;
}

} // namespace vorteq
