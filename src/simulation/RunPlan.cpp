#include "simulation/RunPlan.h"

#include "common/DateText.h"
#include "common/SqlText.h"
#include "series/MarketTable.h"
#include "series/TStkData.h"

#include <algorithm>

namespace vorteq {
namespace {

Error badDate(std::string_view what, std::string_view text)
{
    return makeError(ErrorCode::Validation,
                     std::string(what) + "が正しくありません: \"" + std::string(text) + "\"");
}

// One SELECT of the price query over one yearly table under the given alias.
void appendSelect(std::string& q, char alias, const std::string& table, std::string_view code,
                  std::string_view leadIn, std::string_view end)
{
    const std::string a(1, alias);
    q += "SELECT " + a + ".STK_CD, " + a + ".STK_DATE, ";
    q += a + ".S_PRICE, " + a + ".H_PRICE, " + a + ".L_PRICE, " + a + ".E_PRICE, " + a + ".STK_VLM ";
    q += "FROM " + table + " " + a + " ";
    q += "WHERE " + a + ".STK_CD = '" + escapeSqlText(code) + "' ";
    q += "AND " + a + ".STK_DATE >= '" + escapeSqlText(leadIn) + "' ";
    q += "AND " + a + ".STK_DATE <= '" + escapeSqlText(end) + "' ";
    q += "AND " + a + ".E_PRICE <> '0' ";
}

} // namespace

Result<std::string> periodStart(std::string_view endDate, std::optional<SimPeriod> period,
                                std::string_view chosenStart)
{
    const auto end = parseDate(endDate);
    if (!end)
        return badDate("基準日", endDate);
    const Date firstDay{kFirstDailyTableYear, 1, 1};
    const auto yearsBack = [&](int years) { return std::max(addMonths(*end, -12 * years), firstDay); };
    Date start = *end;
    if (!period)
        return formatDate(start); // no choice: the period is the base date alone
    switch (*period) {
    case SimPeriod::OneMonth:
        start = addMonths(*end, -1);
        break;
    case SimPeriod::ThreeMonths:
        start = addMonths(*end, -3);
        break;
    case SimPeriod::SixMonths:
        start = addMonths(*end, -6);
        break;
    case SimPeriod::OneYear:
        start = addMonths(*end, -12);
        break;
    case SimPeriod::YearToDate:
        start = Date{end->year, 1, 1};
        break;
    case SimPeriod::MonthToDate:
        start = Date{end->year, end->month, 1};
        break;
    case SimPeriod::ThreeYears:
        start = yearsBack(3);
        break;
    case SimPeriod::FiveYears:
        start = yearsBack(5);
        break;
    case SimPeriod::TenYears:
        start = yearsBack(10);
        break;
    case SimPeriod::All:
        start = firstDay;
        break;
    case SimPeriod::Chosen: {
        if (chosenStart.empty())
            return makeError(ErrorCode::Validation, "期間指定の開始日を入力してください。");
        const auto chosen = parseDate(chosenStart);
        if (!chosen)
            return badDate("期間指定の開始日", chosenStart);
        if (*chosen > *end)
            return makeError(ErrorCode::Validation, "期間指定の開始日 " + formatDate(*chosen) + " が基準日 " +
                                                        formatDate(*end) + " より後です。");
        if (*chosen < firstDay)
            return makeError(ErrorCode::Validation, "期間指定の開始日は " + formatDate(firstDay) +
                                                        " 以降の日付にしてください: " + formatDate(*chosen));
        start = *chosen;
        break;
    }
    }
    return formatDate(start);
}

Result<std::string> leadInDate(std::string_view start)
{
    const auto d = parseDate(start);
    if (!d)
        return badDate("期間の開始日", start);
    return formatDate(addDays(*d, -kLeadInDays));
}

Result<std::string> priceQuery(std::string_view stockCode, std::string_view marketCode,
                               std::string_view leadIn, std::string_view endDate)
{
    const MarketEntry* market = marketByCode(marketCode);
    if (!market)
        return makeError(ErrorCode::Validation,
                         "市場コードが正しくありません: \"" + std::string(marketCode) + "\"");
    const auto end = parseDate(endDate);
    if (!end)
        return badDate("基準日", endDate);
    const auto first = parseDate(leadIn);
    if (!first)
        return badDate("期間の開始日", leadIn);

    std::string q;
    q.reserve(1024);
    appendSelect(q, 'a', dailyTableName(*market, endDate.substr(0, 4)), stockCode, leadIn, endDate);
    const int lowest = std::max(first->year, kFirstDailyTableYear);
    bool union_ = false;
    for (int year = end->year - 1; year >= lowest; --year) {
        q += "UNION ALL ";
        appendSelect(q, 'b', dailyTableName(*market, std::to_string(year)), stockCode, leadIn, endDate);
        union_ = true;
    }
    q += union_ ? "ORDER BY 2 DESC" : "ORDER BY a.STK_DATE DESC";
    return q;
}

Result<SimulationPlan> planSimulation(std::string_view endDate, std::optional<SimPeriod> period,
                                      std::string_view stockCode, std::string_view marketCode,
                                      std::string_view chosenStart)
{
    SimulationPlan plan;
    plan.end = endDate;
    Result<std::string> start = periodStart(endDate, period, chosenStart);
    if (!start)
        return start.error();
    plan.start = std::move(*start);
    Result<std::string> leadIn = leadInDate(plan.start);
    if (!leadIn)
        return leadIn.error();
    plan.leadIn = std::move(*leadIn);
    Result<std::string> query = priceQuery(stockCode, marketCode, plan.leadIn, plan.end);
    if (!query)
        return query.error();
    plan.query = std::move(*query);
    return plan;
}

std::string simulationClosingText(std::string_view stockName, std::string_view start, std::string_view end)
{
    std::string text(stockName);
    text += "のｼﾐｭﾚｰｼｮﾝを実行しました。";
    text += "\n\r\n\r";
    text += "期間 ";
    text += start;
    text += "～";
    text += end;
    return text;
}

std::string simulationOutcomeNotes(const TStkData& stock, std::string_view start)
{
    std::string notes;
    const bool tradingDay = !stock.Days.empty() && stock.Days.front().text(DayField::StkDate) >= start;
    if (!tradingDay)
        notes += "\n\r期間内に取引日がありませんでした。";
    const std::string& shortDay = stock.UserResult.ShortOfUnitDate;
    if (!shortDay.empty() && shortDay >= start)
        notes +=
            "\n\r売買シグナルが出ましたが、資金が1単位の金額に足りないため取引できませんでした (最初の日 " +
            shortDay + ")。";
    return notes;
}

} // namespace vorteq
