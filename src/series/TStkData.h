#pragma once

#include "series/TStkDailyData.h"
#include "series/TUserResult.h"

#include <string>
#include <vector>

namespace vorteq {

// One stock's daily series as the analysis builds it from the price table.
struct TStkData {
    std::string StkCd;     // stock code (STK_CD)
    std::string TermStart; // first date of the simulation period, yyyy/mm/dd
    std::string TermEnd;   // last date of the simulation period
    TUserResult UserResult;
    int DayCount = 0;                // number of elements in Days
    std::vector<TStkDailyData> Days; // table order: index 0 is the newest day
};

} // namespace vorteq
