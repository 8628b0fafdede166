#pragma once

#include "analysis/TStkAnalisys.h"
#include "common/Result.h"
#include "conditions/ConditionCatalogue.h"
#include "simulation/TradeCodes.h"

#include <array>
#include <string>
#include <vector>

namespace vorteq {

// Signed threshold test of a day's value v against the threshold t. Choice 0 ("以上"): v >= t, or
// v <= t for a negative t; choice 1 ("以下"): v from 0 up to t, or from t up to 0 for a negative t.
// Any other choice never holds.
bool signedThresholdHolds(long double v, long double t, int choice);

// Line comparison of two values of a day: choice 0 ("以上") a >= b, choice 1 ("以下") a <= b;
// any other choice never holds.
bool lineComparisonHolds(long double a, long double b, int choice);

// The position of a choice text ("0" to "3"); -1 for any other text, which makes a test false.
int choiceIndex(const std::string& text);

// One condition of one side as the day walk evaluates it: the catalogue entry, its day fields as
// positions and its choices read once from the conditions. The threshold is converted once too;
// a text that is not a number is reported when the condition is first evaluated.
struct SignalRule {
    const ConditionDef* condition = nullptr;
    Side side = Side::Buy;
    std::array<int, 5> fields{-1, -1, -1, -1, -1}; // day positions of the tested values
    int choice = -1;                               // comparison, direction, turn or band
    int lineChoice = -1;                           // stochastics line (STCC only)
    bool thresholdIsNumber = false;
    long double threshold = 0;
    std::string thresholdText;
};

SignalRule makeSignalRule(const ConditionDef& condition, Side side, const TJouken& conditions);

// The buy and sell rules of a run: the conditions filed into the AND and OR group of each side,
// and the tests of one day of a stock.
class SignalRules {
public:
    explicit SignalRules(TStkAnalisys& analysis) : m_analysis(analysis) {}

    // Files every condition whose Use key is "1" (OR group) or "2" (AND group) into the analysis
    // object's four lists, buy side then sell side, in catalogue order. Any other Use text leaves
    // the condition out.
    void LoadSignalRules();

    // One condition of one side on day `day` of entry `stock`; an error when a value it needs is
    // empty or not a number, or when its threshold is not a number.
    Result<bool> Evaluate(const SignalRule& rule, int stock, int day) const;
    Result<bool> Evaluate(const ConditionDef& condition, Side side, int stock, int day) const;

    // The side's AND group: false when empty, else true when every member holds (stops at the
    // first that does not).
    Result<bool> AllHold(Side side, int stock, int day) const;
    // The side's OR group: false when empty, else true at the first member that holds.
    Result<bool> AnyHolds(Side side, int stock, int day) const;

    // The day's signal given the position held: the side that would close the position is asked
    // first (sell when long, buy when flat or short), each side's OR group before its AND group.
    Result<Signal> JudgeSignal(int stock, int day, Position position) const;

    const std::vector<SignalRule>& andGroup(Side side) const
    {
        return side == Side::Buy ? m_buyAnd : m_sellAnd;
    }
    const std::vector<SignalRule>& orGroup(Side side) const { return side == Side::Buy ? m_buyOr : m_sellOr; }
    // True when no condition of either side is in a group: every day's signal is then "0".
    bool empty() const
    {
        return m_buyAnd.empty() && m_buyOr.empty() && m_sellAnd.empty() && m_sellOr.empty();
    }

private:
    // The day walk asks millions of tests: they answer without building an error, and the message
    // is made only for the test that failed.
    enum class Truth : unsigned char { False, True, Failed };
    Truth test(const SignalRule& rule, int stock, int day) const;
    Truth allHold(Side side, int stock, int day) const;
    Truth anyHolds(Side side, int stock, int day) const;
    Error failure(int stock, int day) const;
    // The value of tested field `slot` of the rule on that day; false when empty or not a number.
    bool readValue(const SignalRule& rule, int stock, int day, int slot, long double& out) const;
    Error missingValue(const SignalRule& rule, int stock, int day, int slot) const;
    Error badThreshold(const SignalRule& rule) const;

    // The close of the day last read: several conditions compare it.
    struct DayClose {
        int stock = -1;
        int day = -1;
        long double value = 0;
    };

    TStkAnalisys& m_analysis;
    std::vector<SignalRule> m_buyAnd, m_buyOr, m_sellAnd, m_sellOr;
    mutable DayClose m_close;
    // The rule whose test failed last and its tested field (-1: the threshold).
    struct Failure {
        const SignalRule* rule = nullptr;
        int slot = -1;
    };
    mutable Failure m_failure;
};

} // namespace vorteq
