#include "simulation/TradeStatistics.h"

#include "common/NumberText.h"

namespace vorteq {

void recordOpening(TUserResult& u, bool isLong, long double entryAmount)
{
    u.TotalNum += 1;
    (isLong ? u.BuyNum : u.SellNum) += 1;
    u.TotalEntryAmt += entryAmount;
    (isLong ? u.BuyEntryAmt : u.SellEntryAmt) += entryAmount;
}

void recordClosing(TUserResult& u, bool shortSide, long double proceeds, long double r)
{
    if (shortSide) {
        u.SellExitAmt += proceeds;
        u.SellAve += r;
        u.SellPer = u.SellPer * (1 + r / 100);
        if (r > 0)
            u.SellWinNum += 1;
    } else {
        u.BuyExitAmt += proceeds;
        u.BuyAve += r;
        u.BuyPer = u.BuyPer * (1 + r / 100);
        if (r > 0)
            u.BuyWinNum += 1;
    }
    u.TotalExitAmt += proceeds;
    u.TotalAve += r;
    u.TotalPer = u.TotalPer * (1 + r / 100);
    if (r > 0)
        u.TotalWinNum += 1;
}

void finishFigures(TUserResult& u)
{
    // Rates and averages over the closed trades; without a win or a return they stay 0.
    const auto rate = [](long double wins, long double count) {
        return wins != 0 && count != 0 ? truncate2(wins / count * 100) : 0.0L;
    };
    u.TotalWin = rate(u.TotalWinNum, u.TotalNum);
    u.BuyWin = rate(u.BuyWinNum, u.BuyNum);
    u.SellWin = rate(u.SellWinNum, u.SellNum);
    const auto average = [](long double sum, long double count) {
        return sum != 0 && count != 0 ? truncate2(sum / count) : sum;
    };
    u.TotalAve = average(u.TotalAve, u.TotalNum);
    u.BuyAve = average(u.BuyAve, u.BuyNum);
    u.SellAve = average(u.SellAve, u.SellNum);
    u.TotalPer = truncate2(u.TotalPer);
    u.BuyPer = truncate2(u.BuyPer);
    u.SellPer = truncate2(u.SellPer);
    // No capital, no return: 0 rather than a division by zero.
    u.TotalRtn = u.InitAmt != 0 ? truncate2((u.FinalAmt - u.InitAmt) / u.InitAmt * 100) : 0;
}

} // namespace vorteq
