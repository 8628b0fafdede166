#pragma once

#include "cli/Options.h"
#include "cli/Outcome.h"
#include "screening/ScreeningCriteria.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::cli {

// The option of a screening condition: its check box name without "cbx_use_", with "-" for "_"
// (cbx_use_rsi: --rsi, cbx_use_ma_ma_kairi: --ma-ma-kairi). One per row of the condition table.
std::string conditionOptionName(const ScreeningCondition& condition);

// The 28 condition options in table order; the help of each names its inputs in screen order.
std::vector<OptionDef> conditionOptions();

// Ticks a condition and fills its inputs from an option value: comma-separated items, each either
// an item of one of the condition's lists (its text, ">=" / "<=" for 以上 / 以下, "up" / "down"
// for 上昇 / 下落, "5d" for 5日, or "#N" for list position N counted from 0) or the number. Lists go
// in screen order among themselves; the number may stand anywhere. A list not given keeps the item
// the screening reset selects. The number is taken as typed: the core's number check judges it.
// A second number, or a text no list has where no number is taken, is a usage error.
std::optional<Failure> applyConditionOption(const ScreeningCondition& condition, std::string_view value,
                                            ConditionState& state);

// The market of --market: its code ("11") or its list text ("東証一部"); the list position.
Outcome<int> marketPositionOf(std::string_view codeOrName);

// A date of --date (yyyy/mm/dd; yyyy-mm-dd is accepted too).
Outcome<Date> dateOption(std::string_view text);

// The screening options every command that screens takes, conditions excluded.
std::vector<OptionDef> screeningOptions();

// The criteria of the screening options (target, prefixes, market, conditions) for a base date.
Outcome<ScreeningCriteria> criteriaFromOptions(const ParsedOptions& options, const Date& baseDate);

} // namespace vorteq::cli
