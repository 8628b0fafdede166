#pragma once

#include "analysis/TStkAnalisys.h"
#include "common/Result.h"
#include "simulation/SignalRules.h"

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
    // "0" no exit, "1" profit-taking, "2" loss-cutting, judged on the day's close.
    char CheckExit(int stock, int day) const;
    void ExecuteSignal(int stock, int day, char exit, char signal);
    // Opens a position at day-1's price: direction "1" long, "2" short.
    void OpenPosition(int stock, int day, char direction);
    // Closes the position at day-1's price: direction "2" sells a long, "1" buys back a short.
    void ClosePosition(int stock, int day, char direction, char exit);
    void CloseTerm(int stock, int day);

    // Settings used by the steps; Simulate reads them, a caller driving the steps sets them.
    void setMoneySettings(const MoneySettings& settings) { m_money = settings; }

private:
    TStkData& entry(int stock) const;
    long double price(const TStkDailyData& day, DayField field) const;
    long double affordableUnits(long double cash, long double unitPrice) const;

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
