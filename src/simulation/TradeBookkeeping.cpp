#include "common/DateText.h"
#include "common/NumberText.h"
#include "simulation/TradeSimulation.h"
#include "simulation/TradeStatistics.h"

namespace vorteq {
namespace {

// A date text as a date for comparing days; an impossible one compares as its text would.
bool laterThan(const std::string& a, const std::string& b)
{
    const auto da = parseDate(a);
    const auto db = parseDate(b);
    if (da && db)
        return *da > *db;
    return a > b;
}

// A change in percent truncated to two decimals, as text; "0" when there is nothing to divide by.
std::string changeText(long double from, long double to)
{
    if (from == 0)
        return "0";
    return formatNumber(truncate2((to - from) / from * 100));
}

} // namespace

void TradeSimulation::StartTerm(int stock, int day)
{
    TStkData& s = entry(stock);
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];
    TUserResult& u = s.UserResult;
    setPosition(u, Position::Flat);
    u.HoldShares = 0;
    u.HoldCost = 0;
    u.TradeCount = 0;
    u.Trades.clear();
    u.UnitShares = m_money.unitShares;
    u.InitAmt = m_money.capital;
    u.Cash = m_money.capital;
    u.FinalAmt = 0;
    u.TotalPer = u.BuyPer = u.SellPer = 100;
    u.TermSPrice = d.text(DayField::EPrice);
    u.TermSDate = d.text(DayField::StkDate);
    u.TermHDate = u.TermSDate;
    u.TermLDate = u.TermSDate;
    u.TermHPrice = d.text(DayField::HPrice);
    u.TermLPrice = d.text(DayField::LPrice);
    m_termStartClose = price(d, DayField::EPrice);
    m_termHigh = price(d, DayField::HPrice);
    m_termLow = price(d, DayField::LPrice);
}

void TradeSimulation::TrackTermRange(int stock, int day)
{
    TStkData& s = entry(stock);
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];
    TUserResult& u = s.UserResult;
    // Strictly lower or higher: on a tie the older day stays.
    const long double low = price(d, DayField::LPrice);
    if (low < m_termLow) {
        m_termLow = low;
        u.TermLPrice = d.text(DayField::LPrice);
        u.TermLDate = d.text(DayField::StkDate);
    }
    const long double high = price(d, DayField::HPrice);
    if (high > m_termHigh) {
        m_termHigh = high;
        u.TermHPrice = d.text(DayField::HPrice);
        u.TermHDate = d.text(DayField::StkDate);
    }
}

void TradeSimulation::CloseTerm(int stock, int day)
{
    TStkData& s = entry(stock);
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];
    TUserResult& u = s.UserResult;
    u.TermEDate = d.text(DayField::StkDate);
    u.TermEPrice = d.text(DayField::EPrice);
    const long double close = price(d, DayField::EPrice);
    u.TermSERtn = changeText(m_termStartClose, close);
    // The swing from the earlier extreme to the later one.
    if (laterThan(u.TermHDate, u.TermLDate))
        u.TermHLRtn = changeText(m_termLow, m_termHigh);
    else
        u.TermHLRtn = changeText(m_termHigh, m_termLow);

    // An open position is valued at the close and stays open: it is not counted as a trade.
    switch (positionOf(u)) {
    case Position::Long:
        u.FinalAmt = u.HoldShares * close + u.Cash;
        u.BuyNum -= 1;
        u.TotalNum -= 1;
        break;
    case Position::Short:
        u.FinalAmt = u.Cash + 2 * u.HoldCost - u.HoldShares * close;
        u.SellNum -= 1;
        u.TotalNum -= 1;
        break;
    case Position::Flat:
        u.FinalAmt = u.Cash;
        break;
    }

    finishFigures(u);
}

} // namespace vorteq
