#pragma once

#include "simulation/MoneySettings.h"

namespace vorteq {

// How many trading units an opening buys at unitPrice (yen a share) with cash (yen): the largest
// count whose amount and commission the cash covers, found as the count-up from one unit the
// sizing has always made would find it (capped one below its trial limit).
long double affordableUnits(const MoneySettings& money, long double cash, long double unitPrice);

} // namespace vorteq
