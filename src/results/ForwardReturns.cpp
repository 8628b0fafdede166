#include "results/ForwardReturns.h"

#include "common/DateText.h"
#include "common/NumberText.h"
#include "common/SqlText.h"
#include "results/BatchBacktest.h"
#include "series/MarketTable.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

namespace vorteq {

namespace {

constexpr std::string_view kNone = "－";

std::optional<long double> meanOf(const std::vector<long double>& values)
{
    if (values.empty())
        return std::nullopt;
    long double sum = 0;
    for (const long double v : values)
        sum += v;
    return sum / static_cast<long double>(values.size());
}

std::optional<long double> medianOf(std::vector<long double> values)
{
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

std::optional<long double> difference(const std::optional<long double>& a,
                                      const std::optional<long double>& b)
{
    if (!a || !b)
        return std::nullopt;
    return *a - *b;
}

std::optional<long double> positive(const std::string& text)
{
    const auto value = parseNumber(text);
    if (!value || *value <= 0)
        return std::nullopt;
    return value;
}

// One SELECT per yearly table of the family from the first to the last date's year, joined by `glue`.
std::string overYears(const MarketEntry& market, int firstYear, int lastYear, std::string_view glue,
                      const std::function<std::string(const std::string& table, char alias)>& select)
{
    std::string q;
    for (int year = firstYear; year <= lastYear; ++year) {
        if (year > firstYear)
            q += glue;
        q += select(dailyTableName(market, std::to_string(year)), year == firstYear ? 'a' : 'b');
    }
    return q;
}

} // namespace

Result<std::vector<int>> parseForwardHorizons(std::string_view text)
{
    std::vector<int> days;
    std::string piece;
    const auto take = [&]() -> Status {
        const auto day = parseInt32(piece);
        if (!day || *day < 1 || *day > kMaxForwardHorizon)
            return makeError(ErrorCode::Validation, "日数は 1 から " + std::to_string(kMaxForwardHorizon) +
                                                        " の整数です: \"" + piece + "\"");
        if (std::find(days.begin(), days.end(), *day) != days.end())
            return makeError(ErrorCode::Validation, "日数が重複しています: " + piece);
        days.push_back(*day);
        piece.clear();
        return Status{};
    };
    for (const char c : text) {
        if (c == ',') {
            if (Status taken = take(); !taken)
                return taken.error();
        } else {
            piece += c;
        }
    }
    if (Status taken = take(); !taken)
        return taken.error();
    return days;
}

ForwardReturns computeForwardReturns(std::string_view baseDate, const std::vector<std::string>& tradingDays,
                                     const std::vector<ForwardPrice>& prices,
                                     const std::vector<std::string>& list, const std::vector<int>& horizons)
{
    ForwardReturns out;
    out.baseDate = baseDate;
    if (!tradingDays.empty())
        out.entryDate = tradingDays.front();

    // The entry's open and each exit's close of every stock.
    struct Quotes {
        std::optional<long double> entryOpen;
        std::vector<std::optional<long double>> exitClose;
    };
    std::vector<std::string> exitDates;
    for (const int h : horizons)
        exitDates.push_back(h >= 1 && static_cast<std::size_t>(h) <= tradingDays.size()
                                ? tradingDays[static_cast<std::size_t>(h) - 1]
                                : std::string());
    std::unordered_map<std::string, Quotes> quotes;
    for (const ForwardPrice& p : prices) {
        Quotes& q = quotes[p.code];
        q.exitClose.resize(horizons.size());
        if (!out.entryDate.empty() && p.date == out.entryDate)
            q.entryOpen = positive(p.open);
        for (std::size_t i = 0; i < exitDates.size(); ++i)
            if (!exitDates[i].empty() && p.date == exitDates[i])
                q.exitClose[i] = positive(p.close);
    }
    const auto returnOf = [&](const Quotes& q, std::size_t i) -> std::optional<long double> {
        if (!q.entryOpen || !q.exitClose[i])
            return std::nullopt;
        return (*q.exitClose[i] / *q.entryOpen - 1) * 100;
    };

    for (const std::string& code : list) {
        std::vector<std::optional<long double>> returns(horizons.size());
        if (const auto it = quotes.find(code); it != quotes.end())
            for (std::size_t i = 0; i < horizons.size(); ++i)
                returns[i] = returnOf(it->second, i);
        out.stocks.emplace_back(code, std::move(returns));
    }
    for (std::size_t i = 0; i < horizons.size(); ++i) {
        ForwardHorizon h;
        h.days = horizons[i];
        h.exitDate = exitDates[i];
        h.listed = static_cast<int>(list.size());
        std::vector<long double> market;
        for (const auto& [code, q] : quotes)
            if (const auto r = returnOf(q, i))
                market.push_back(*r);
        std::vector<long double> listed;
        for (const auto& stock : out.stocks)
            if (stock.second[i])
                listed.push_back(*stock.second[i]);
        h.listReturns = static_cast<int>(listed.size());
        h.marketReturns = static_cast<int>(market.size());
        h.listMean = meanOf(listed);
        h.listMedian = medianOf(listed);
        h.marketMean = meanOf(market);
        h.marketMedian = medianOf(market);
        h.meanDifference = difference(h.listMean, h.marketMean);
        h.medianDifference = difference(h.listMedian, h.marketMedian);
        if (!listed.empty() && h.marketMean) {
            const auto beat =
                std::count_if(listed.begin(), listed.end(), [&](long double r) { return r > *h.marketMean; });
            h.beatSharePct = static_cast<long double>(beat) * 100 / static_cast<long double>(listed.size());
        }
        out.horizons.push_back(std::move(h));
    }
    return out;
}

Result<ForwardReturns> fetchForwardReturns(THttpStatements& statements, std::string_view marketCode,
                                           std::string_view baseDate, const std::vector<std::string>& list,
                                           const std::vector<int>& horizons)
{
    const MarketEntry* market = marketByCode(marketCode);
    if (!market)
        return makeError(ErrorCode::Validation,
                         "市場コードが正しくありません: \"" + std::string(marketCode) + "\"");
    const auto base = parseDate(baseDate);
    if (!base)
        return makeError(ErrorCode::Validation,
                         "基準日が正しくありません: \"" + std::string(baseDate) + "\"");
    const int longest = horizons.empty() ? 1 : *std::max_element(horizons.begin(), horizons.end());
    // Two calendar days a trading day and a month for holidays; no table lies beyond this year.
    Date last = addDays(*base, 2LL * longest + 30);
    const Date yearEnd{today().year, 12, 31};
    last = std::min(last, yearEnd);
    const std::string from = formatDate(*base);
    const std::string to = formatDate(last);

    const auto execute = [&](const std::string& sql) -> Result<const TSqlSet*> {
        statements.Clear();
        statements.Add("Query");
        statements.Add(sql);
        const Result<bool> executed = statements.Execute();
        if (!executed)
            return executed.error();
        if (!*executed)
            return makeError(ErrorCode::Server, "SQL ERROR (サーバーが文を実行できませんでした)");
        return &statements.Item(1);
    };

    std::vector<std::string> days;
    if (*base < last) {
        const std::string calendar = overYears(*market, base->year, last.year, "UNION ",
                                               [&](const std::string& table, char alias) {
                                                   const std::string a(1, alias);
                                                   return "SELECT " + a + ".STK_DATE FROM " + table + " " +
                                                          a + " WHERE " + a + ".STK_DATE > '" + from +
                                                          "' AND " + a + ".STK_DATE <= '" + to + "' ";
                                               }) +
                                     "ORDER BY 1";
        auto dates = execute(base->year == last.year ? "SELECT DISTINCT " + calendar.substr(7) : calendar);
        if (!dates)
            return dates.error();
        for (int r = 1; r <= (*dates)->RowCount; ++r)
            days.push_back((*dates)->Tbl->cell(1, r));
    }
    if (days.size() > static_cast<std::size_t>(longest))
        days.resize(static_cast<std::size_t>(longest));

    std::vector<ForwardPrice> prices;
    if (!days.empty()) {
        std::set<std::string> needed{days.front()};
        for (const int h : horizons)
            if (static_cast<std::size_t>(h) <= days.size())
                needed.insert(days[static_cast<std::size_t>(h) - 1]);
        std::map<int, std::string> inYear; // year -> 'd1', 'd2'
        for (const std::string& d : needed) {
            std::string& in = inYear[std::stoi(d.substr(0, 4))];
            in += (in.empty() ? "'" : ", '") + escapeSqlText(d) + "'";
        }
        std::string sql;
        for (const auto& [year, in] : inYear) {
            const char alias = sql.empty() ? 'a' : 'b';
            const std::string a(1, alias);
            sql += sql.empty() ? "" : "UNION ALL ";
            sql += "SELECT " + a + ".STK_CD, " + a + ".STK_DATE, " + a + ".S_PRICE, " + a + ".E_PRICE FROM " +
                   dailyTableName(*market, std::to_string(year)) + " " + a + ", STK_INFO i" + a + " WHERE " +
                   a + ".STK_CD = i" + a + ".STK_CD AND i" + a + ".MKT_CD = " + std::string(market->code) +
                   " AND " + a + ".STK_DATE IN (" + in + ") ";
        }
        auto rows = execute(sql);
        if (!rows)
            return rows.error();
        const PtblData& t = *(*rows)->Tbl;
        prices.reserve(static_cast<std::size_t>((*rows)->RowCount));
        for (int r = 1; r <= (*rows)->RowCount; ++r)
            prices.push_back({t.cell(1, r), t.cell(2, r), t.cell(3, r), t.cell(4, r)});
    }
    return computeForwardReturns(from, days, prices, list, horizons);
}

std::vector<std::vector<std::string>> forwardSummaryRows(const ForwardReturns& returns)
{
    std::vector<std::vector<std::string>> rows{{"日数", "決済日", "銘柄数", "騰落率のある銘柄数",
                                                "一覧の平均(%)", "一覧の中央値(%)", "市場の平均(%)",
                                                "市場の中央値(%)", "平均の差(%)", "中央値の差(%)",
                                                "市場平均を上回った割合(%)", "市場の銘柄数"}};
    for (const ForwardHorizon& h : returns.horizons)
        rows.push_back({std::to_string(h.days) + "日", h.exitDate.empty() ? std::string(kNone) : h.exitDate,
                        std::to_string(h.listed), std::to_string(h.listReturns), figureText(h.listMean),
                        figureText(h.listMedian), figureText(h.marketMean), figureText(h.marketMedian),
                        figureText(h.meanDifference), figureText(h.medianDifference),
                        figureText(h.beatSharePct), std::to_string(h.marketReturns)});
    return rows;
}

std::vector<std::vector<std::string>> forwardStockRows(const ForwardReturns& returns)
{
    std::vector<std::string> titles{"銘柄コード"};
    for (const ForwardHorizon& h : returns.horizons)
        titles.push_back(std::to_string(h.days) + "日後(%)");
    std::vector<std::vector<std::string>> rows{std::move(titles)};
    for (const auto& [code, values] : returns.stocks) {
        std::vector<std::string> row{code};
        for (const auto& v : values)
            row.push_back(figureText(v));
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace vorteq
