#pragma once

#include "series/TTradeRecord.h"

#include <string>
#include <vector>

namespace vorteq {

// The simulation's result for one stock: its trades, the open position, the money and the
// statistics. Created zero-filled with its series; the trade execution fills it and the indicator
// computation never touches it. Amounts in yen, rates in percent; every number (counts included)
// is an extended float.
struct TUserResult {
    std::vector<TTradeRecord> Trades; // oldest first
    int TradeCount = 0;
    std::string Position; // "0" flat, "1" long, "2" short

    long double InitAmt = 0;    // initial capital
    long double Cash = 0;       // uninvested cash
    long double FinalAmt = 0;   // valuation at the newest day
    long double TotalRtn = 0;   // final return, two decimals
    long double UnitShares = 0; // shares per trading unit
    long double HoldShares = 0; // shares of the open position, 0 when flat
    long double HoldCost = 0;   // entry amount of the open position, 0 when flat

    // Positions opened while running; closed positions after the period end.
    long double TotalNum = 0;
    long double TotalWinNum = 0;   // closing trades with a return above 0
    long double TotalWin = 0;      // win rate, two decimals
    long double TotalEntryAmt = 0; // sum of the entry amounts
    long double TotalExitAmt = 0;  // sum of the proceeds of the closing trades
    long double TotalAve = 0;      // sum of the returns while running; their average at the end
    long double TotalPer = 0;      // returns compounded over the closing trades, from 100

    // The same for long positions only ...
    long double BuyNum = 0;
    long double BuyWinNum = 0;
    long double BuyWin = 0;
    long double BuyEntryAmt = 0;
    long double BuyExitAmt = 0;
    long double BuyAve = 0;
    long double BuyPer = 0;

    // ... and for short positions only.
    long double SellEntryAmt = 0;
    long double SellExitAmt = 0;
    long double SellAve = 0;
    long double SellNum = 0;
    long double SellWinNum = 0;
    long double SellWin = 0;
    long double SellPer = 0;

    // The period's prices as texts: the closes of the first simulated day and of the newest day,
    // the highest high and the lowest low with their dates, and two changes in percent.
    std::string TermSPrice;
    std::string TermSDate;
    std::string TermEPrice;
    std::string TermEDate;
    std::string TermSERtn; // TermSPrice to TermEPrice, two decimals
    std::string TermHPrice;
    std::string TermHDate;
    std::string TermLDate;
    std::string TermLPrice;
    std::string TermHLRtn; // low to high, or high to low, in their order in time; two decimals

    // The first signal day whose opening was skipped because the cash did not cover one trading
    // unit; empty when none was. Shown to the user only, never exported.
    std::string ShortOfUnitDate;
};

} // namespace vorteq
