#pragma once

#include "simulation/MoneySettings.h"

namespace vorteq {

// The commission of one trade of `amount` yen: the fixed amount, or the percentage truncated to
// whole yen; 0 with commission off.
long double commissionOf(const MoneySettings& money, long double amount);

} // namespace vorteq
