#pragma once

#include "analysis/TStkAnalisys.h"
#include "cli/CliIo.h"
#include "cli/Options.h"
#include "cli/Outcome.h"
#include "cli/Session.h"
#include "conditions/TJouken.h"
#include "simulation/RunPlan.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vorteq::cli {

// --period: 1m, 3m, 6m, 1y, ytd, mtd, 3y, 5y, 10y or all, as the position in the client's period list.
Outcome<SimPeriod> periodOf(std::string_view text);

// The period of a run: a choice of the list, or the chosen period with its first day.
struct PeriodChoice {
    SimPeriod period = SimPeriod::OneMonth;
    std::string from; // yyyy/mm/dd with the chosen period, else empty
};

// --period (default 1m) or --from yyyy/mm/dd (the chosen period up to the base date); both at once
// is a usage error.
Outcome<PeriodChoice> periodChoiceOf(const ParsedOptions& options);

// The help lines of --period and --from.
std::vector<OptionDef> periodOptions();

// Where a back-test takes its condition set from.
struct ConditionSource {
    std::optional<std::filesystem::path> file;    // --conditions FILE.dat
    std::optional<std::filesystem::path> baseDir; // --base-dir DIR: the stock's registered set
};

// The condition set a client would run with, checked with the editor's rules: the editor starts
// from its defaults, shows the loaded set and hands back what its controls read. Without a file
// or a base folder it is the editor's defaults. A file that cannot be read, a stock without a
// registered set, or the first failing rule (the editor's message, then the key) is Rejected.
Outcome<TJouken> loadConditions(const ConditionSource& source, const std::string& code,
                                const std::string& marketCode);

// Time spent on the server and in the engine, summed over runs.
struct RunTimings {
    std::chrono::nanoseconds requests{0};
    std::chrono::nanoseconds analysis{0};
};

// One back-test as the client's run does it: the period and the lead-in from the base date, the
// price query, Analyze with the simulation, and a copy of the stock's series.
struct BacktestRequest {
    std::string code;
    std::string marketCode;
    std::string endDate; // yyyy/mm/dd
    SimPeriod period = SimPeriod::OneMonth;
    std::string chosenStart; // the first day of the chosen period
    TJouken conditions;
    bool fetchName = false; // also read the stock's name (the closing text names the stock)
};

struct BacktestResult {
    SimulationPlan plan;
    TStkData stock;
    std::string name; // the stock's name when asked for, else empty
};

// The analysis object is cleared and refilled, as the client's is. No price rows is
// "データがありませんでした。" (ServerOrData).
Outcome<BacktestResult> runBacktest(Session& session, TStkAnalisys& analysis, const BacktestRequest& request,
                                    RunTimings& timings);
// The same on a statement client of its own (a batch worker's), sharing the process's session.
Outcome<BacktestResult> runBacktest(THttpStatements& statements, TStkAnalisys& analysis,
                                    const BacktestRequest& request, RunTimings& timings);

} // namespace vorteq::cli
