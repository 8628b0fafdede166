#include "simulation/TradeSimulation.h"

#include "common/DateText.h"

#include <cassert>

namespace vorteq {

TStkData& TradeSimulation::entry(int stock) const
{
    assert(stock >= 0 && stock < static_cast<int>(m_analysis.StkList.size()) && "stock index out of range");
    return m_analysis.StkList[static_cast<std::size_t>(stock)];
}

long double TradeSimulation::price(const TStkDailyData& day, DayField field) const
{
    // The engine has read every price of the series as a number before the simulation runs.
    const auto v = day[field].number();
    assert(v && "a price of the series is not a number");
    return v.value_or(0);
}

Status TradeSimulation::Simulate()
{
    Result<MoneySettings> money = readMoneySettings(m_analysis.Jouken);
    if (!money)
        return money.error();
    m_money = *money;
    for (int stock = 0; stock < static_cast<int>(m_analysis.StkList.size()); ++stock) {
        Status s = SimulateStock(stock);
        if (!s)
            return s;
    }
    return {};
}

Status TradeSimulation::SimulateStock(int stock)
{
    TStkData& s = entry(stock);
    const auto start = parseDate(s.TermStart);
    if (!start)
        return makeError(ErrorCode::Validation,
                         "シミュレーション期間の開始日が正しくありません: \"" + s.TermStart + "\"");
    s.UserResult = TUserResult{};
    for (TStkDailyData& day : s.Days) {
        day[DayField::Signal].clear();
        day[DayField::TradeAction].clear();
    }

    bool first = true;
    for (int d = s.DayCount - 1; d >= 0; --d) {
        TStkDailyData& day = s.Days[static_cast<std::size_t>(d)];
        const std::string date = day.text(DayField::StkDate);
        const auto when = parseDate(date);
        if (!when)
            return makeError(ErrorCode::Data,
                             "株価データの日付が正しくありません: " + s.StkCd + " \"" + date + "\"");
        // Days before the period and days without a close only fed the indicators.
        if (*when < *start || day[DayField::EPrice].textEquals("0"))
            continue;
        if (first) {
            StartTerm(stock, d);
            first = false;
        } else {
            TrackTermRange(stock, d);
        }

        TUserResult& u = s.UserResult;
        const Position position = positionOf(u);
        const Result<Signal> judged = m_rules.JudgeSignal(stock, d, position);
        if (!judged)
            return judged.error();
        const Signal signal = *judged;
        day[DayField::Signal].setText(textOf(signal));

        ExitReason exit = ExitReason::None;
        if (position != Position::Flat)
            exit = CheckExit(stock, d);
        // An exit trades in the closing direction whatever the rules say; the day keeps its signal.
        const Signal traded =
            exit == ExitReason::None ? signal : (position == Position::Long ? Signal::Sell : Signal::Buy);

        if (d > 0)
            ExecuteSignal(stock, d, exit, traded);
        else
            CloseTerm(stock, d); // the newest day has no next day to trade on
    }
    return {};
}

ExitReason TradeSimulation::CheckExit(int stock, int day) const
{
    const TStkData& s = entry(stock);
    const TUserResult& u = s.UserResult;
    const long double value = price(s.Days[static_cast<std::size_t>(day)], DayField::EPrice) * u.HoldShares;
    const long double cost = u.HoldCost;
    const bool isLong = positionOf(u) == Position::Long;
    // Profit-taking is tested first; both compare the signal day's close.
    if (m_money.takeProfit) {
        const long double r = m_money.takeProfitPercent;
        if (isLong ? value >= cost * (1 + r / 100) : value <= cost * (1 - r / 100))
            return ExitReason::TakeProfit;
    }
    if (m_money.cutLoss) {
        const long double l = m_money.cutLossPercent;
        if (isLong ? value <= cost * (1 - l / 100) : value >= cost * (1 + l / 100))
            return ExitReason::CutLoss;
    }
    return ExitReason::None;
}

void TradeSimulation::ExecuteSignal(int stock, int day, ExitReason exit, Signal signal)
{
    const TUserResult& u = entry(stock).UserResult;
    const Position position = positionOf(u);
    if (signal == Signal::None)
        return;
    if (exit == ExitReason::None && position == Position::Long && signal == Signal::Buy)
        return; // already long
    if (exit == ExitReason::None && position == Position::Short && signal == Signal::Sell)
        return; // already short

    // After an exit the opposite position follows at once only when its setting says so.
    const bool reopen = m_money.reverse && (exit == ExitReason::None ||
                                            (exit == ExitReason::TakeProfit && m_money.reverseAfterProfit) ||
                                            (exit == ExitReason::CutLoss && m_money.reverseAfterLoss));
    const bool buy = signal == Signal::Buy;
    // A position is held when its entry amount is not 0.
    if (u.HoldCost == 0) {
        if (buy ? m_money.openLong : m_money.openShort)
            OpenPosition(stock, day, buy ? Position::Long : Position::Short);
        return;
    }
    // A buy closes a short, a sell closes a long.
    ClosePosition(stock, day, buy ? Position::Short : Position::Long, exit);
    if (reopen)
        OpenPosition(stock, day, buy ? Position::Long : Position::Short);
}

Status runSimulation(TStkAnalisys& analysis)
{
    TradeSimulation simulation(analysis);
    simulation.LoadSignalRules();
    return simulation.Simulate();
}

void installSimulation(TStkAnalisys& analysis)
{
    analysis.setSimulation(&runSimulation);
}

} // namespace vorteq
