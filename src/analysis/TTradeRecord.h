#pragma once

#include <string>

namespace vorteq {

// One trade of a simulation: nine texts, numbers in the general number format.
struct TTradeRecord {
    std::string TradeDate;  // execution day, yyyy/mm/dd (the day after the signal)
    std::string TradeKind;  // "買い", "空売り", "売り", "買戻し", "利確" or "損切"
    std::string TradeRtn;   // return of a closing trade, percent, two decimals; "－" when opening
    std::string TradePrice; // execution price, yen
    std::string TradeVlm;   // shares
    std::string TradeAmt;   // opening: shares x price; closing: the proceeds
    std::string TradeFee;   // commission of this trade, yen
    std::string RestAmt;    // cash after paying an opening, before crediting a closing
    std::string TotalAmt;   // opening: RestAmt + TradeAmt; closing: the new cash

    bool operator==(const TTradeRecord&) const = default;
};

} // namespace vorteq
