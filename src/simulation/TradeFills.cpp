#include "common/NumberText.h"
#include "simulation/TradeFees.h"
#include "simulation/TradeSimulation.h"
#include "simulation/TradeSizing.h"
#include "simulation/TradeStatistics.h"

#include <cassert>

namespace vorteq {
namespace {

constexpr std::string_view kActionJoin = "・";
constexpr std::string_view kNoReturn = "－"; // an opening trade has no return

} // namespace

void TradeSimulation::OpenPosition(int stock, int day, Position direction)
{
    assert(day > 0 && "a position opens on the next trading day");
    TStkData& s = entry(stock);
    TUserResult& u = s.UserResult;
    const TStkDailyData& next = s.Days[static_cast<std::size_t>(day - 1)];
    const long double p = price(next, m_money.tradePrice);
    // No price, no sizing: a price of 0 would make every count affordable and the position free.
    if (!(p > 0) || u.UnitShares <= 0)
        return;
    const long double units = affordableUnits(m_money, u.Cash, p);
    if (units == 0) {
        // The cash does not cover one unit: the opening is skipped, and the first such day kept so
        // that a run without trades can say why.
        if (u.ShortOfUnitDate.empty())
            u.ShortOfUnitDate = s.Days[static_cast<std::size_t>(day)].text(DayField::StkDate);
        return;
    }

    const bool isLong = direction == Position::Long;
    u.HoldShares = units * u.UnitShares;
    u.HoldCost = u.HoldShares * p;
    const long double fee = commissionOf(m_money, u.HoldCost);
    u.Cash = u.Cash - u.HoldCost - fee;
    recordOpening(u, isLong, u.HoldCost);

    const std::string_view kind = textOf(isLong ? TradeKind::OpenLong : TradeKind::OpenShort);
    u.Trades.push_back(TTradeRecord{next.text(DayField::StkDate), kind, kNoReturn, TradeText::number(p),
                                    TradeText::number(u.HoldShares), TradeText::number(u.HoldCost),
                                    TradeText::number(fee), TradeText::number(u.Cash),
                                    TradeText::number(u.Cash + u.HoldCost)});
    u.TradeCount += 1;

    // The signal day names the trades decided on it: a closing trade, then this opening.
    DayValue& action = s.Days[static_cast<std::size_t>(day)][DayField::TradeAction];
    if (action.empty()) {
        action.setText(kind);
    } else {
        std::string joined = action.text();
        joined.append(kActionJoin);
        joined.append(kind);
        action.setText(joined);
    }
    setPosition(u, direction);
}

void TradeSimulation::ClosePosition(int stock, int day, Position closed, ExitReason exit)
{
    assert(day > 0 && "a position closes on the next trading day");
    TStkData& s = entry(stock);
    TUserResult& u = s.UserResult;
    const TStkDailyData& next = s.Days[static_cast<std::size_t>(day - 1)];
    const long double p = price(next, m_money.tradePrice);

    // Proceeds and return; a short returns what the price fell, on the cash it tied up.
    long double proceeds = 0;
    const bool buyBack = closed == Position::Short;
    if (buyBack)
        proceeds = 2 * u.HoldCost - u.HoldShares * p;
    else
        proceeds = u.HoldShares * p;
    const long double r = (proceeds - u.HoldCost) / u.HoldCost * 100;
    recordClosing(u, buyBack, proceeds, r);

    // Returns leave the commission out; the cash pays it.
    const long double fee = commissionOf(m_money, proceeds);

    const std::string_view kind = textOf(exit == ExitReason::TakeProfit ? TradeKind::TakeProfit
                                         : exit == ExitReason::CutLoss  ? TradeKind::CutLoss
                                         : buyBack                      ? TradeKind::CloseShort
                                                                        : TradeKind::CloseLong);
    u.Trades.push_back(TTradeRecord{next.text(DayField::StkDate), kind, TradeText::number(truncate2(r)),
                                    TradeText::number(p), TradeText::number(u.HoldShares),
                                    TradeText::number(proceeds), TradeText::number(fee),
                                    TradeText::number(u.Cash), TradeText::number(u.Cash + proceeds - fee)});
    u.TradeCount += 1;
    s.Days[static_cast<std::size_t>(day)][DayField::TradeAction].setText(kind);

    setPosition(u, Position::Flat);
    u.Cash = u.Cash + proceeds - fee;
    u.HoldCost = 0;
    u.HoldShares = 0;
}

} // namespace vorteq
