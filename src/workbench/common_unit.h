#pragma once

#include "conditions/TJouken.h"
#include "gateway/Ptbl.h"

#include <string>

namespace vorteq {

// The stock selected in the stock list.
struct TStkList {
    std::string stkCd; // stock code
    std::string stkNm; // stock name
    std::string mktCd; // market code, decimal text
    std::string mktNm; // market name
};

// Working state shared by the features of the main window, one instance for the process. With it goes
// the current condition record `jouken` (declared in conditions/TJouken.h, included above): empty at
// start, filled by the condition editor and by loading a stock's condition file.
struct WorkState {
    std::string this_year; // yyyy of today, set when the main window is created
    TStkList stk_list;     // the selected stock
    Ptbl stk_tbl;          // the last screening or price result, or a condition file while it loads
    int stk_tbl_rows = 0;
    int stk_tbl_cols = 0;
};

WorkState& work();

} // namespace vorteq
