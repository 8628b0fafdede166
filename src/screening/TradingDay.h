#pragma once

#include "common/DateText.h"

#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// The first day the daily tables hold.
inline constexpr Date kFirstDataDate{2005, 1, 1};

// Why a base date can have no prices, as a line for the user, judged from the calendar alone:
// before the first data, after the last update, a Saturday or a Sunday. Nothing when the day may
// have prices (a holiday on a weekday is known only to the server). lastUpdate may be absent.
std::optional<std::string> noPricesReason(const Date& day, const std::optional<Date>& lastUpdate);

// The line for a weekday inside the data's range whose market has no prices: a market holiday.
std::string holidayReason(const Date& day);

struct MarketEntry;

// The statement that counts the prices of one day in a market's daily table of that year.
std::string dayPriceCountQuery(const MarketEntry& market, const Date& day);

} // namespace vorteq
