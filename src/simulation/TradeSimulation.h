#pragma once

#include "analysis/TStkAnalisys.h"
#include "common/Result.h"
#include "simulation/MoneySettings.h"
#include "simulation/SignalRules.h"

namespace vorteq {

// The position a result record holds; flat before the period's first day.
inline Position positionOf(const TUserResult& r)
{
    return positionOf(r.Position).value_or(Position::Flat);
}

inline void setPosition(TUserResult& r, Position position)
{
    r.Position = textOf(position);
}

// The trade execution over the analysis object's series: walks each stock's days from the
// oldest simulated day to the newest, turns the day's signal into trades at the next trading
// day's price, applies profit-taking and loss-cutting, and fills the stock's UserResult.
class TradeSimulation {
public:
    explicit TradeSimulation(TStkAnalisys& analysis) : m_analysis(analysis), m_rules(analysis) {}

    // Files the conditions into their groups (see SignalRules::LoadSignalRules).
    void LoadSignalRules() { m_rules.LoadSignalRules(); }
    const SignalRules& rules() const { return m_rules; }

    // Reads the money settings, then SimulateStock for every entry, index 0 upward. Stops at the
    // first error.
    Status Simulate();

    // The day walk of one entry. A day takes part when its date is on or after TermStart and its
    // close is not "0"; older days only fed the indicators.
    Status SimulateStock(int stock);

    // The steps of the walk; `day` indexes Days (0 = newest; the next trading day of day d is d-1).
    void StartTerm(int stock, int day);
    void TrackTermRange(int stock, int day);
    // Profit-taking or loss-cutting of the position held, judged on the day's close.
    ExitReason CheckExit(int stock, int day) const;
    void ExecuteSignal(int stock, int day, ExitReason exit, Signal signal);
    // Opens a long or short position at day-1's price.
    void OpenPosition(int stock, int day, Position direction);
    // Closes the position held at day-1's price: a long is sold, a short bought back.
    void ClosePosition(int stock, int day, Position closed, ExitReason exit);
    void CloseTerm(int stock, int day);

    // Settings used by the steps; Simulate reads them, a caller driving the steps sets them.
    void setMoneySettings(const MoneySettings& settings) { m_money = settings; }

private:
    TStkData& entry(int stock) const;
    long double price(const TStkDailyData& day, DayField field) const;

    TStkAnalisys& m_analysis;
    SignalRules m_rules;
    MoneySettings m_money;
    // The period's start close, high and low as numbers, beside their texts in UserResult.
    long double m_termStartClose = 0;
    long double m_termHigh = 0;
    long double m_termLow = 0;
};

// The simulation step Analyze runs when asked to simulate: LoadSignalRules, then Simulate.
Status runSimulation(TStkAnalisys& analysis);

// Makes Analyze of this object run the simulation when its simulate flag is true. Every program
// that simulates (the desktop client, the command line) calls it once on its analysis object.
void installSimulation(TStkAnalisys& analysis);

} // namespace vorteq
