#include "results/ResultRows.h"

#include "common/Csv.h"
#include "common/DateText.h"
#include "common/NumberText.h"
#include "simulation/TradeCodes.h"

#include <algorithm>

namespace vorteq {
namespace {

// A day before the start date is not shown; dates compare as dates, or as texts when one does not
// read as a date.
bool before(const std::string& date, std::string_view start)
{
    const auto d = parseDate(date);
    const auto s = parseDate(start);
    if (d && s)
        return *d < *s;
    return std::string_view(date) < start;
}

} // namespace

std::string_view signalLabel(const TStkData& stock, int day)
{
    const auto& days = stock.Days;
    const DayValue& signal = days[static_cast<std::size_t>(day)][DayField::Signal];
    const bool buy = signal.textEquals(textOf(Signal::Buy));
    if (!buy && !signal.textEquals(textOf(Signal::Sell)))
        return {};
    const std::string_view same = textOf(buy ? Signal::Buy : Signal::Sell);
    const bool oldest = day + 1 >= static_cast<int>(days.size());
    const bool starts = oldest || !days[static_cast<std::size_t>(day + 1)][DayField::Signal].textEquals(same);
    if (buy)
        return starts ? kBuySignalLabel : kBuyZoneLabel;
    return starts ? kSellSignalLabel : kSellZoneLabel;
}

GridRows dailyRows(const TStkData& stock, std::string_view start)
{
    GridRows rows;
    const int count = std::min(stock.DayCount, static_cast<int>(stock.Days.size()));
    for (int i = 0; i < count; ++i) {
        const TStkDailyData& day = stock.Days[static_cast<std::size_t>(i)];
        if (before(day.text(DayField::StkDate), start))
            break;
        std::vector<std::string>& row = rows.emplace_back();
        row.reserve(kDailyColumns.size());
        for (const DailyColumn& c : kDailyColumns) {
            switch (c.cell) {
            case DailyCell::SignalLabel:
                row.emplace_back(signalLabel(stock, i));
                break;
            case DailyCell::NextTradeAction:
                // A trade decided on the older day is executed on this one.
                row.push_back(i + 1 < count
                                  ? stock.Days[static_cast<std::size_t>(i + 1)].text(DayField::TradeAction)
                                  : std::string());
                break;
            case DailyCell::Field:
                row.push_back(day.text(c.field));
                break;
            }
        }
    }
    return rows;
}

std::string positionText(const GridRows& daily)
{
    if (daily.empty() || daily.front().empty() || daily.front().front().empty())
        return std::string(kNoValue);
    return daily.front().front();
}

GridRows tradeRows(const TUserResult& result)
{
    GridRows rows;
    const int count = std::min(result.TradeCount, static_cast<int>(result.Trades.size()));
    rows.reserve(static_cast<std::size_t>(count));
    for (int b = 1; b <= count; ++b) {
        const TTradeRecord& t = result.Trades[static_cast<std::size_t>(count - b)];
        std::string rtn = t.TradeRtn;
        if (rtn != kNoValue)
            rtn += " %";
        rows.push_back({t.TradeDate, t.TradeKind, rtn, t.TradePrice, t.TradeVlm, t.TradeAmt, t.TradeFee,
                        t.RestAmt, t.TotalAmt});
    }
    return rows;
}

std::vector<SummaryText> summaryTexts(const TUserResult& result)
{
    std::vector<SummaryText> out;
    out.reserve(kSummaryFields.size());
    for (const SummaryField& f : kSummaryFields) {
        std::string text = f.number ? formatNumber(result.*f.number) : result.*f.text;
        text.append(f.suffix);
        out.push_back({f.edit, std::move(text)});
    }
    return out;
}

std::vector<std::string> gridCsvLines(std::span<const std::string_view> titles, const GridRows& rows)
{
    std::vector<std::string> lines;
    lines.reserve(rows.size() + 2);
    std::string line;
    for (const std::string_view title : titles)
        appendCsvCell(line, title);
    lines.push_back(std::move(line));
    if (rows.empty()) {
        line.clear();
        for (std::size_t c = 0; c < titles.size(); ++c)
            appendCsvCell(line, {});
        lines.push_back(std::move(line));
        return lines;
    }
    for (const auto& row : rows) {
        line.clear();
        for (std::size_t c = 0; c < titles.size(); ++c)
            appendCsvCell(line, c < row.size() ? std::string_view(row[c]) : std::string_view());
        lines.push_back(std::move(line));
    }
    return lines;
}

std::array<std::string_view, kDailyColumns.size()> dailyColumnTitles()
{
    std::array<std::string_view, kDailyColumns.size()> titles{};
    for (std::size_t i = 0; i < kDailyColumns.size(); ++i)
        titles[i] = kDailyColumns[i].title;
    return titles;
}

std::vector<std::string> dailyTableCsvLines(const TStkData& stock, std::string_view start)
{
    const auto titles = dailyColumnTitles();
    return gridCsvLines(titles, dailyRows(stock, start));
}

std::vector<std::string> tradeListCsvLines(const TUserResult& result)
{
    return gridCsvLines(kTradeColumnTitles, tradeRows(result));
}

std::vector<std::string> summaryCsvLines(const TUserResult& result)
{
    static constexpr std::string_view kTitles[] = {"区分", "項目", "値"};
    const std::vector<SummaryText> texts = summaryTexts(result);
    GridRows rows;
    rows.reserve(kSummaryFields.size());
    for (std::size_t i = 0; i < kSummaryFields.size(); ++i)
        rows.push_back(
            {std::string(kSummaryFields[i].group), std::string(kSummaryFields[i].caption), texts[i].text});
    return gridCsvLines(kTitles, rows);
}

} // namespace vorteq
