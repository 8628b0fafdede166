#include "cli/Backtest.h"

#include "common/SqlText.h"
#include "conditions/ConditionFiles.h"
#include "conditions/JoukenFields.h"
#include "conditions/JoukenValidation.h"

#include <array>

namespace vorteq::cli {

namespace {

using Clock = std::chrono::steady_clock;

// The client's period list in order: 1ヶ月, 3ヶ月, 6ヶ月, 1年間, YTD, MTD.
constexpr std::array<std::string_view, 6> kPeriodWords{"1m", "3m", "6m", "1y", "ytd", "mtd"};

Failure rejected(std::string message)
{
    return Failure{ExitCode::Rejected, std::move(message)};
}

} // namespace

Outcome<int> periodIndexOf(std::string_view text)
{
    for (std::size_t i = 0; i < kPeriodWords.size(); ++i)
        if (kPeriodWords[i] == text)
            return static_cast<int>(i);
    return Failure{ExitCode::Usage,
                   "--period は 1m, 3m, 6m, 1y, ytd, mtd のいずれかです: \"" + std::string(text) + "\""};
}

Outcome<TJouken> loadConditions(const ConditionSource& source, const std::string& code,
                                const std::string& marketCode)
{
    // What a fresh editor shows; keys a file lacks keep these values.
    const TJouken shown = TJouken::defaults();
    TJouken loaded = shown;
    if (source.file) {
        if (Status read = readConditionFile(*source.file, loaded); !read)
            return rejected("売買条件ファイルを読めません: " + read.error().message);
    } else if (source.baseDir) {
        const ConditionSetId id{code, marketCode};
        if (Status valid = checkConditionSetId(id); !valid)
            return rejected(valid.error().message);
        auto set = readConditionSet(*source.baseDir, id);
        if (!set)
            return rejected("売買条件ファイルを読めません: " + set.error().message);
        if (!*set)
            return rejected("売買条件が登録されていません。 (" +
                            conditionFilePath(*source.baseDir, id).string() + ")");
        // A back-test with some conditions silently missing would mislead: refuse it and say where.
        if (!(*set)->skippedLines.empty())
            return rejected(
                skippedLinesMessage((*set)->skippedLines, conditionFilePath(*source.baseDir, id)));
        jouken_read_tbl(*(*set)->table, (*set)->rows, loaded);
    }
    TJouken record = normaliseLoadedJouken(loaded, shown);
    if (const auto failed = validateJouken(record))
        return rejected(std::string(failed->message) + " (" + std::string(kJoukenFields[failed->field].key) +
                        ")");
    return record;
}

Outcome<BacktestResult> runBacktest(Session& session, TStkAnalisys& analysis, const BacktestRequest& request,
                                    RunTimings& timings)
{
    BacktestResult result;
    auto plan = planSimulation(request.endDate, request.periodIndex, request.code, request.marketCode);
    if (!plan)
        return failureOf(plan.error());
    result.plan = std::move(*plan);

    // The client's price query as statement 1; the name, when wanted, rides in the same request.
    THttpStatements& st = session.statements();
    st.Clear();
    st.Add("Query");
    st.Add(result.plan.query);
    if (request.fetchName)
        st.Add("SELECT a.STK_NM FROM STK_INFO a WHERE a.STK_CD = '" + escapeSqlText(request.code) +
               "' AND a.MKT_CD = " + request.marketCode + " ");
    const auto sent = Clock::now();
    const Result<bool> executed = st.Execute();
    timings.requests += Clock::now() - sent;
    if (!executed)
        return failureOf(executed.error());
    if (!*executed)
        return Failure{ExitCode::ServerOrData, "SQL ERROR (サーバーが文を実行できませんでした)"};
    const TSqlSet& prices = st.Item(1);
    if (prices.RowCount == 0)
        return Failure{ExitCode::ServerOrData, "データがありませんでした。"};
    if (request.fetchName)
        result.name = st.Item(2).Tbl->cell(1, 1);

    const auto started = Clock::now();
    analysis.Clear();
    const Status analysed = analysis.Analyze(prices.Tbl, prices.RowCount, request.conditions,
                                             result.plan.start, result.plan.end, true);
    const bool copied = analysed && analysis.GetStkData(0, result.stock);
    timings.analysis += Clock::now() - started;
    if (!analysed) {
        const Error& error = analysed.error();
        return Failure{error.code == ErrorCode::Validation ? ExitCode::Rejected : ExitCode::ServerOrData,
                       error.message};
    }
    if (!copied)
        return Failure{ExitCode::ServerOrData, "データがありませんでした。"};
    return result;
}

} // namespace vorteq::cli
