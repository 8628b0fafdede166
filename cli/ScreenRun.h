#pragma once

#include "cli/CliIo.h"
#include "cli/Options.h"
#include "cli/Outcome.h"
#include "cli/Output.h"
#include "cli/Session.h"
#include "screening/ScreeningCriteria.h"

#include <filesystem>
#include <optional>
#include <string>

namespace vorteq::cli {

// --utf8 or the default CP932.
OutputEncoding encodingOf(const ParsedOptions& options);

// --base-dir, or the current folder as the client takes it.
std::filesystem::path baseDirOf(const ParsedOptions& options);

// --date, when given and valid; nothing when not given.
Outcome<std::optional<Date>> dateOptionOf(const ParsedOptions& options);

// The given base date, or the server's latest stock-price update date (the client's initial base
// date) when none was given.
Outcome<Date> baseDateOf(const std::optional<Date>& given, const Session& session);

// What a screening needs that can be checked before anything is sent: the login target, the
// criteria (base date still open), the numbers of the ticked conditions, and the registered-stock
// restriction when --registered asks for it.
struct PreparedScreening {
    LoginTarget login;
    ScreeningCriteria criteria;
    std::string registeredFilter;
    std::optional<Date> date; // --date, when given
};

// A condition number that is missing or not a number gives the client's message, naming the option;
// --registered without a registered stock of the market gives "売買条件の登録されている銘柄は
// ありませんでした。" (both Rejected).
Outcome<PreparedScreening> prepareScreening(const ParsedOptions& options, CliIo& io);

// Builds the client's SELECT for the session's base date and sends it; the result item (46 columns).
Outcome<TSqlSet> runScreening(Session& session, PreparedScreening& prepared, bool printSql, CliIo& io);

} // namespace vorteq::cli
