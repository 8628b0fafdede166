#pragma once

#include "common/DateText.h"
#include "screening/ScreeningConditions.h"

#include <array>
#include <string>

namespace vorteq {

// What one condition row of the screening tabs holds.
struct ConditionState {
    bool use = false;   // the check box
    std::string number; // the edit field as typed (conditions without one leave it empty)
    // The positions of the row's choice lists, in screen order (counted from 0).
    std::array<int, kMaxConditionChoices> choices{};
};

// Search targets of `cbx_stk_tgt`.
enum class StockTarget {
    All = 0,        // "全銘柄"
    Registered = 1, // "売買条件登録銘柄": stocks with a saved condition set
};

// Everything the screening tabs hold, copied out of the controls before a search.
struct ScreeningCriteria {
    StockTarget target = StockTarget::All;
    std::string stockCode;  // edt_stk_cd: prefix of the stock code
    std::string stockName;  // edt_stk_nm: prefix of the stock name
    int marketPosition = 0; // list position of cbx_mkt_cd in the market table
    Date baseDate;          // dtp_kdate
    std::array<ConditionState, kScreeningConditionCount> conditions{};
};

} // namespace vorteq
