#pragma once

#include "series/TUserResult.h"

namespace vorteq {

// Counts an opening of entryAmount yen on its side (long or short) and in the totals.
void recordOpening(TUserResult& result, bool isLong, long double entryAmount);

// Adds a closed trade's proceeds (yen) and return (percent) to its side and the totals: the sum
// of returns, the compounded performance and the wins.
void recordClosing(TUserResult& result, bool shortSide, long double proceeds, long double returnPct);

// The figures of the period's end over the closed trades: win rates, average returns and
// performances truncated to two decimals, and the total return on the initial cash.
void finishFigures(TUserResult& result);

} // namespace vorteq
