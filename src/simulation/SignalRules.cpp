#include "simulation/SignalRules.h"

#include "common/NumberText.h"

#include <cassert>
#include <cmath>

namespace vorteq {
namespace {

// "買い条件「RSIが」(UseBuyRSI)": how a message names a condition of one side.
std::string conditionName(const SignalRule& rule)
{
    const ConditionDef& c = *rule.condition;
    std::string name = rule.side == Side::Buy ? "買い条件「" : "売り条件「";
    name.append(c.caption);
    name.append("」(");
    name.append(kJoukenFields[c.keys(rule.side).use].key);
    name.push_back(')');
    return name;
}

} // namespace

bool signedThresholdHolds(long double v, long double t, int choice)
{
    switch (choice) {
    case 0: // "以上"; a negative threshold means "that far below zero or further"
        return t >= 0 ? v >= t : v <= t;
    case 1: // "以下": between zero and the threshold, on the threshold's side of zero
        return t >= 0 ? (0 <= v && v <= t) : (t <= v && v <= 0);
    default:
        return false;
    }
}

bool lineComparisonHolds(long double a, long double b, int choice)
{
    switch (choice) {
    case 0:
        return a >= b;
    case 1:
        return a <= b;
    default:
        return false;
    }
}

int choiceIndex(const std::string& text)
{
    if (text.size() == 1 && text[0] >= '0' && text[0] <= '3')
        return text[0] - '0';
    return -1;
}

SignalRule makeSignalRule(const ConditionDef& condition, Side side, const TJouken& conditions)
{
    SignalRule r;
    r.condition = &condition;
    r.side = side;
    for (std::size_t i = 0; i < condition.tested.count; ++i)
        r.fields[i] = pos(condition.tested.at[i]);
    const ConditionKeys& k = condition.keys(side);
    r.choice = choiceIndex(conditions[k.choice]);
    if (k.lineChoice >= 0)
        r.lineChoice = choiceIndex(conditions[k.lineChoice]);
    if (k.threshold >= 0) {
        r.thresholdText = conditions[k.threshold];
        const auto t = parseNumber(r.thresholdText);
        r.thresholdIsNumber = t.has_value();
        r.threshold = t.value_or(0);
    }
    return r;
}

void SignalRules::LoadSignalRules()
{
    TStkAnalisys& a = m_analysis;
    m_close = {};
    a.BuyAndList.clear();
    a.BuyOrList.clear();
    a.SellAndList.clear();
    a.SellOrList.clear();
    m_buyAnd.clear();
    m_buyOr.clear();
    m_sellAnd.clear();
    m_sellOr.clear();
    for (const Side side : {Side::Buy, Side::Sell}) {
        auto& andList = side == Side::Buy ? a.BuyAndList : a.SellAndList;
        auto& orList = side == Side::Buy ? a.BuyOrList : a.SellOrList;
        auto& andRules = side == Side::Buy ? m_buyAnd : m_sellAnd;
        auto& orRules = side == Side::Buy ? m_buyOr : m_sellOr;
        for (const ConditionDef& c : kConditions) {
            const int use = c.keys(side).use;
            const std::string& choice = a.Jouken[use];
            if (choice == "1") {
                orList.emplace_back(kJoukenFields[use].key);
                orRules.push_back(makeSignalRule(c, side, a.Jouken));
            } else if (choice == "2") {
                andList.emplace_back(kJoukenFields[use].key);
                andRules.push_back(makeSignalRule(c, side, a.Jouken));
            }
        }
    }
}

Result<bool> SignalRules::Evaluate(const ConditionDef& condition, Side side, int stock, int day) const
{
    return Evaluate(makeSignalRule(condition, side, m_analysis.Jouken), stock, day);
}

bool SignalRules::readValue(const SignalRule& rule, int stock, int day, int slot, long double& out) const
{
    const int position = rule.fields[static_cast<std::size_t>(slot)];
    // Prices are kept as the server's texts and never change during a run: the close, which
    // several conditions compare, is converted once per day.
    if (position == pos(DayField::EPrice) && m_close.stock == stock && m_close.day == day) {
        out = m_close.value;
        return true;
    }
    const DayValue& f =
        m_analysis.StkList[static_cast<std::size_t>(stock)].Days[static_cast<std::size_t>(day)][position];
    if (f.isNumber()) {
        out = f.storedNumber();
        return true;
    }
    const auto v = f.number();
    if (!v)
        return false;
    if (position == pos(DayField::EPrice))
        m_close = {stock, day, *v};
    out = *v;
    return true;
}

Error SignalRules::missingValue(const SignalRule& rule, int stock, int day, int slot) const
{
    const TStkData& s = m_analysis.StkList[static_cast<std::size_t>(stock)];
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];
    const int position = rule.fields[static_cast<std::size_t>(slot)];
    std::string message = "売買条件の判定に必要な値がありません: " + conditionName(rule) + " " + s.StkCd +
                          " " + d.text(DayField::StkDate) + " " +
                          std::string(kDayFieldNames[static_cast<std::size_t>(position)]);
    if (!d[position].empty())
        message += " = \"" + d[position].text() + "\"";
    return makeError(ErrorCode::Data, std::move(message));
}

Error SignalRules::badThreshold(const SignalRule& rule) const
{
    return makeError(ErrorCode::Validation,
                     "売買条件の数値が正しくありません: " + conditionName(rule) + " " +
                         std::string(kJoukenFields[rule.condition->keys(rule.side).threshold].key) + " = \"" +
                         rule.thresholdText + "\"");
}

SignalRules::Truth SignalRules::test(const SignalRule& rule, int stock, int day) const
{
    assert(stock >= 0 && stock < static_cast<int>(m_analysis.StkList.size()) && "stock index out of range");
    assert(day >= 0 && day < m_analysis.StkList[static_cast<std::size_t>(stock)].DayCount &&
           "day index out of range");
    // A value that is empty or not a number, or a threshold that is not a number, fails the test;
    // the failure records which, for the message.
    const auto missing = [&](int slot) {
        m_failure = {&rule, slot};
        return Truth::Failed;
    };
    const auto of = [](bool holds) { return holds ? Truth::True : Truth::False; };
    long double a = 0;
    long double b = 0;
    switch (rule.condition->test) {
    case TestKind::SignedThreshold:
        if (rule.choice != 0 && rule.choice != 1)
            return Truth::False;
        if (!readValue(rule, stock, day, 0, a))
            return missing(0);
        if (!rule.thresholdIsNumber)
            return missing(-1);
        return of(signedThresholdHolds(a, rule.threshold, rule.choice));

    case TestKind::StochasticsChoice:
        if (rule.choice != 0 && rule.choice != 1)
            return Truth::False;
        // %K, %D or %SD; any other line choice tests the value 0.
        if (rule.lineChoice >= 0 && rule.lineChoice <= 2 && !readValue(rule, stock, day, rule.lineChoice, a))
            return missing(rule.lineChoice);
        if (!rule.thresholdIsNumber)
            return missing(-1);
        return of(signedThresholdHolds(a, rule.threshold, rule.choice));

    case TestKind::LineComparison:
        if (rule.choice != 0 && rule.choice != 1)
            return Truth::False;
        if (!readValue(rule, stock, day, 0, a))
            return missing(0);
        if (!readValue(rule, stock, day, 1, b))
            return missing(1);
        return of(lineComparisonHolds(a, b, rule.choice));

    case TestKind::Renzoku:
        // The run of days of the same sign (a) is at least |threshold| long and the day itself (b)
        // rose (choice 0) or fell (choice 1); a day without change is neither.
        if (rule.choice != 0 && rule.choice != 1)
            return Truth::False;
        if (!readValue(rule, stock, day, 0, a))
            return missing(0);
        if (!readValue(rule, stock, day, 1, b))
            return missing(1);
        if (!rule.thresholdIsNumber)
            return missing(-1);
        if (a < std::fabs(rule.threshold))
            return Truth::False;
        return of(rule.choice == 0 ? b > 0 : b < 0);

    case TestKind::StopAndReverse:
        // Turned up (choice 0): the stop (a) lies below the close (b); turned down (1): above it.
        if (rule.choice != 0 && rule.choice != 1)
            return Truth::False;
        if (!readValue(rule, stock, day, 0, a))
            return missing(0);
        if (!readValue(rule, stock, day, 1, b))
            return missing(1);
        return of(rule.choice == 0 ? a < b : a > b);

    case TestKind::BollingerBand:
        // The close (a) against the band the choice picks (b): choices 0 and 2 are the upper bands
        // (close on or above), 1 and 3 the lower bands (close strictly below).
        if (rule.choice < 0 || rule.choice > 3)
            return Truth::False;
        if (!readValue(rule, stock, day, 0, a))
            return missing(0);
        if (!readValue(rule, stock, day, 1 + rule.choice, b))
            return missing(1 + rule.choice);
        return of(rule.choice % 2 == 0 ? a >= b : a < b);
    }
    return Truth::False;
}

Error SignalRules::failure(int stock, int day) const
{
    assert(m_failure.rule && "no failed test to report");
    return m_failure.slot < 0 ? badThreshold(*m_failure.rule)
                              : missingValue(*m_failure.rule, stock, day, m_failure.slot);
}

Result<bool> SignalRules::Evaluate(const SignalRule& rule, int stock, int day) const
{
    const Truth t = test(rule, stock, day);
    if (t == Truth::Failed)
        return failure(stock, day);
    return t == Truth::True;
}

SignalRules::Truth SignalRules::allHold(Side side, int stock, int day) const
{
    const auto& group = andGroup(side);
    if (group.empty())
        return Truth::False;
    for (const SignalRule& r : group) {
        const Truth t = test(r, stock, day);
        if (t != Truth::True)
            return t;
    }
    return Truth::True;
}

SignalRules::Truth SignalRules::anyHolds(Side side, int stock, int day) const
{
    for (const SignalRule& r : orGroup(side)) {
        const Truth t = test(r, stock, day);
        if (t != Truth::False)
            return t;
    }
    return Truth::False;
}

Result<bool> SignalRules::AllHold(Side side, int stock, int day) const
{
    const Truth t = allHold(side, stock, day);
    if (t == Truth::Failed)
        return failure(stock, day);
    return t == Truth::True;
}

Result<bool> SignalRules::AnyHolds(Side side, int stock, int day) const
{
    const Truth t = anyHolds(side, stock, day);
    if (t == Truth::Failed)
        return failure(stock, day);
    return t == Truth::True;
}

Result<Signal> SignalRules::JudgeSignal(int stock, int day, Position position) const
{
    // Holding long, the sell side is asked first; flat or short, the buy side. Each side's OR group
    // is asked before its AND group.
    const Side first = position == Position::Long ? Side::Sell : Side::Buy;
    const Side second = first == Side::Buy ? Side::Sell : Side::Buy;
    for (const Side side : {first, second}) {
        Truth t = anyHolds(side, stock, day);
        if (t == Truth::False)
            t = allHold(side, stock, day);
        if (t == Truth::Failed)
            return failure(stock, day);
        if (t == Truth::True)
            return side == Side::Buy ? Signal::Buy : Signal::Sell;
    }
    return Signal::None;
}

} // namespace vorteq
