#pragma once

#include "common/Result.h"
#include "conditions/TJouken.h"
#include "series/TStkDailyData.h"

namespace vorteq {

// How commission is charged on each trade.
enum class CommissionKind {
    None,    // commission off: the amount field is not read at all
    Yen,     // a fixed amount per trade
    Percent, // percent of the trade amount, truncated to whole yen
};

// The money-management settings of a run, read once from the conditions.
struct MoneySettings {
    long double capital = 0;    // initial cash, yen
    long double unitShares = 0; // shares per trading unit: 1000, 100, 10 or 1
    bool openLong = true;       // a buy signal may open a long position (not "空売りのみ")
    bool openShort = true;      // a sell signal may open a short position (not "買いのみ")
    bool reverse = true;        // "両方": a closing trade may be followed by the opposite opening
    CommissionKind commission = CommissionKind::None;
    long double commissionAmount = 0; // yen per trade or percent
    bool takeProfit = false;
    long double takeProfitPercent = 0;
    bool reverseAfterProfit = true; // "すぐに反対の売買を行う" after profit-taking
    bool cutLoss = false;
    long double cutLossPercent = 0;
    bool reverseAfterLoss = true;           // the same after loss-cutting
    DayField tradePrice = DayField::SPrice; // price of the execution day
};

// Reads the settings; a setting that is in force but does not read (capital, commission,
// thresholds, unit, trade price) is an error naming the key and its text.
Result<MoneySettings> readMoneySettings(const TJouken& conditions);

} // namespace vorteq
