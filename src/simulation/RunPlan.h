#pragma once

#include "common/Result.h"

#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

struct TStkData;

// The period choices of a simulation run, at their list positions. The six short periods come
// first and keep their positions: stored choices stay valid. The long ones follow; Chosen takes its
// first day from the user.
enum class SimPeriod {
    OneMonth = 0,
    ThreeMonths,
    SixMonths,
    OneYear,
    YearToDate,
    MonthToDate,
    ThreeYears,
    FiveYears,
    TenYears,
    All,
    Chosen,
};
inline constexpr int kSimPeriodCount = static_cast<int>(SimPeriod::Chosen) + 1;

// The period choice at a position of the period list; nothing for no choice (an empty list's -1)
// or a position past the list.
constexpr std::optional<SimPeriod> simPeriodAt(int listPosition)
{
    if (listPosition < 0 || listPosition >= kSimPeriodCount)
        return std::nullopt;
    return static_cast<SimPeriod>(listPosition);
}

// The position of a period choice in the period list.
constexpr int listPositionOf(SimPeriod period)
{
    return static_cast<int>(period);
}

// Calendar days of prices fetched before the period's start so the indicators have a history.
inline constexpr int kLeadInDays = 80;
// The first year that has a daily table; a lead-in reaching further back reads no table for it.
inline constexpr int kFirstDailyTableYear = 2005;

// The period's first day from its last day (the base date, yyyy/mm/dd) and the period choice: one,
// three or six months or one year back, the year's or the month's first day; no choice keeps the
// base date. A month or year change keeps the day of the month, clamped to the
// last day of the target month (2006/03/31 one month back is 2006/02/28). Three, five and ten years
// back and the whole history never start before the first table year's 1 January; the chosen
// period starts on `chosenStart`, which must lie from that day up to the base date.
Result<std::string> periodStart(std::string_view endDate, std::optional<SimPeriod> period,
                                std::string_view chosenStart = {});

// The first day fetched: the period's start minus the lead-in days.
Result<std::string> leadInDate(std::string_view start);

// The daily-price query of one stock from the lead-in date to the end date: the end year's table,
// then one UNION ALL per earlier year down to the lead-in year (never below the first table year),
// newest day first. The market code picks the table family.
Result<std::string> priceQuery(std::string_view stockCode, std::string_view marketCode,
                               std::string_view leadIn, std::string_view endDate);

// The dates and the query of one run.
struct SimulationPlan {
    std::string start;  // first simulated day
    std::string leadIn; // first day fetched
    std::string end;    // the base date
    std::string query;
};

Result<SimulationPlan> planSimulation(std::string_view endDate, std::optional<SimPeriod> period,
                                      std::string_view stockCode, std::string_view marketCode,
                                      std::string_view chosenStart = {});

// The information text that ends a run: the stock's name, "のｼﾐｭﾚｰｼｮﾝを実行しました。", two line
// breaks (each LF CR, as the message boxes take them), "期間 ", the start, "～" and the end.
std::string simulationClosingText(std::string_view stockName, std::string_view start, std::string_view end);

// Lines that explain an empty outcome, for the end of the closing text (each after an LF CR break):
// no trading day in the period, or signals whose opening the cash could not pay for one unit (with
// the first such signal day). Empty when there is nothing to explain.
std::string simulationOutcomeNotes(const TStkData& stock, std::string_view start);

} // namespace vorteq
