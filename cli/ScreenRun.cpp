#include "cli/ScreenRun.h"

#include "cli/ScreeningOptions.h"
#include "screening/ScreeningQuery.h"

namespace vorteq::cli {

OutputEncoding encodingOf(const ParsedOptions& options)
{
    return options.has("utf8") ? OutputEncoding::Utf8 : OutputEncoding::Cp932;
}

std::filesystem::path baseDirOf(const ParsedOptions& options)
{
    if (auto dir = options.value("base-dir"))
        return std::filesystem::path(*dir);
    return std::filesystem::current_path();
}

Outcome<std::optional<Date>> dateOptionOf(const ParsedOptions& options)
{
    const auto given = options.value("date");
    if (!given)
        return std::optional<Date>();
    auto date = dateOption(*given);
    if (!date)
        return date.error();
    return std::optional<Date>(*date);
}

Outcome<Date> baseDateOf(const std::optional<Date>& given, const Session& session)
{
    if (given)
        return *given;
    if (const auto date = parseDate(session.stockUpdateDate()))
        return *date;
    return Failure{ExitCode::ServerOrData,
                   "サーバーから株価更新日を受け取れませんでした。--date で基準日を指定してください。"};
}

Outcome<PreparedScreening> prepareScreening(const ParsedOptions& options, CliIo& io)
{
    PreparedScreening prepared;
    auto date = dateOptionOf(options);
    if (!date)
        return date.error();
    prepared.date = *date;
    auto criteria = criteriaFromOptions(options, prepared.date.value_or(Date{}));
    if (!criteria)
        return criteria.error();
    prepared.criteria = std::move(*criteria);

    if (auto failed = search_check_numbers(prepared.criteria)) {
        const std::string option = conditionOptionName(screeningConditions()[failed->condition]);
        return Failure{ExitCode::Rejected, "--" + option + ": " + failed->message};
    }
    if (prepared.criteria.target == StockTarget::Registered) {
        auto filter = search_registered_filter(baseDirOf(options), prepared.criteria.marketPosition);
        if (!filter)
            return failureOf(filter.error());
        if (filter->empty())
            return Failure{ExitCode::Rejected, std::string(kNoRegisteredStocksMessage)};
        prepared.registeredFilter = std::move(*filter);
    }
    auto login = readLoginTarget(options, io);
    if (!login)
        return login.error();
    prepared.login = std::move(*login);
    return prepared;
}

Outcome<TSqlSet> runScreening(Session& session, PreparedScreening& prepared, bool printSql, CliIo& io)
{
    auto date = baseDateOf(prepared.date, session);
    if (!date)
        return date.error();
    prepared.criteria.baseDate = *date;
    auto sql = buildScreeningSql(prepared.criteria, prepared.registeredFilter);
    if (!sql)
        return failureOf(sql.error());
    if (printSql)
        io.writeErr(*sql + "\n");
    return runQuery(session, *sql);
}

} // namespace vorteq::cli
