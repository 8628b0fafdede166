#include "cli/Backtest.h"

#include "common/DateText.h"
#include "conditions/ConditionFiles.h"
#include "conditions/JoukenFields.h"
#include "conditions/JoukenValidation.h"
#include "screening/ScreeningQuery.h"
#include "simulation/StockBacktest.h"

#include <array>

namespace vorteq::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The client's period list in order: 1ヶ月, 3ヶ月, 6ヶ月, 1年間, YTD, MTD, 3年間, 5年間, 10年間,
// 全期間 (期間指定 is --from).
constexpr std::array<std::string_view, 10> kPeriodWords{"1m",  "3m", "6m", "1y",  "ytd",
                                                        "mtd", "3y", "5y", "10y", "all"};

Failure rejected(std::string message)
{
    return Failure{ExitCode::Rejected, std::move(message)};
}

} // namespace

Outcome<SimPeriod> periodOf(std::string_view text)
{
    for (std::size_t i = 0; i < kPeriodWords.size(); ++i)
        if (kPeriodWords[i] == text)
            return *simPeriodAt(static_cast<int>(i));
    return Failure{ExitCode::Usage,
                   "--period は 1m, 3m, 6m, 1y, ytd, mtd, 3y, 5y, 10y, all のいずれかです: \"" +
                       std::string(text) + "\""};
}

Outcome<PeriodChoice> periodChoiceOf(const ParsedOptions& options)
{
    if (auto from = options.value("from")) {
        if (options.has("period"))
            return Failure{ExitCode::Usage, "--period と --from は同時に指定できません。"};
        const auto date = parseDate(*from);
        if (!date)
            return Failure{ExitCode::Usage, "--from は yyyy/mm/dd の日付です: \"" + *from + "\""};
        return PeriodChoice{SimPeriod::Chosen, formatDate(*date)};
    }
    auto period = periodOf(options.valueOr("period", "1m"));
    if (!period)
        return period.error();
    return PeriodChoice{*period, {}};
}

std::vector<OptionDef> periodOptions()
{
    return {
        {"period", "1m|3m|6m|1y|ytd|mtd|3y|5y|10y|all",
         "期間: 1ヶ月, 3ヶ月, 6ヶ月, 1年間, YTD, MTD, 3年間, 5年間, 10年間, 全期間 (既定 1m)"},
        {"from", "yyyy/mm/dd", "期間指定: この日から基準日まで (--period の代わり)"},
    };
}

Outcome<TJouken> loadConditions(const ConditionSource& source, const std::string& code,
                                const std::string& marketCode)
{
    Result<TJouken> record = source.file ? loadJoukenForRun(*source.file)
                             : source.baseDir
                                 ? loadRegisteredJoukenForRun(*source.baseDir, {code, marketCode})
                                 : loadJoukenForRun(std::nullopt);
    if (!record)
        return rejected(record.error().message);
    return std::move(*record);
}

Outcome<BacktestResult> runBacktest(THttpStatements& statements, TStkAnalisys& analysis,
                                    const BacktestRequest& request, RunTimings& timings)
{
    BacktestResult result;
    auto plan = planSimulation(request.endDate, request.period, request.code, request.marketCode,
                               request.chosenStart);
    if (!plan)
        return failureOf(plan.error());
    result.plan = std::move(*plan);

    // The name, when wanted, rides in the same request as statement 2.
    std::vector<std::string> extra;
    if (request.fetchName)
        extra.push_back(stockNameQuery(request.code, request.marketCode));
    BacktestTimes times;
    auto stock = backtestStock(statements, analysis, request.conditions, result.plan, times, extra);
    timings.requests += times.request;
    timings.analysis += times.analysis;
    if (!stock)
        return failureOf(stock.error());
    result.stock = std::move(*stock);
    if (request.fetchName)
        result.name = statements.Item(2).Tbl->cell(1, 1);
    return result;
}

Outcome<BacktestResult> runBacktest(Session& session, TStkAnalisys& analysis, const BacktestRequest& request,
                                    RunTimings& timings)
{
    return runBacktest(session.statements(), analysis, request, timings);
}

} // namespace vorteq::cli
