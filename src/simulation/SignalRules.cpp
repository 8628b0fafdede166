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
    for (std::size_t i = 0; i < condition.tested.size(); ++i) {
        if (condition.tested[i].empty())
            continue;
        const auto p = findDayField(condition.tested[i]);
        assert(p && "the condition catalogue names a day field the series does not have");
        r.fields[i] = p.value_or(-1);
    }
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

Result<bool> SignalRules::Evaluate(const SignalRule& rule, int stock, int day) const
{
    assert(stock >= 0 && stock < static_cast<int>(m_analysis.StkList.size()) && "stock index out of range");
    const TStkData& s = m_analysis.StkList[static_cast<std::size_t>(stock)];
    assert(day >= 0 && day < s.DayCount && "day index out of range");
    const TStkDailyData& d = s.Days[static_cast<std::size_t>(day)];

    // The day's value in slot i of the tested fields; an empty or non-numeric text is an error
    // naming the condition, the stock, the day and the field.
    long double values[2] = {0, 0};
    auto read = [&](int slot, long double& out) -> std::optional<Error> {
        const int position = rule.fields[static_cast<std::size_t>(slot)];
        const DayValue& f = d[position];
        if (f.isNumber()) {
            out = f.storedNumber();
            return std::nullopt;
        }
        if (const auto v = f.number()) {
            out = *v;
            return std::nullopt;
        }
        std::string message = "売買条件の判定に必要な値がありません: " + conditionName(rule) + " " + s.StkCd +
                              " " + d.text(DayField::StkDate) + " " +
                              std::string(kDayFieldNames[static_cast<std::size_t>(position)]);
        if (!f.empty())
            message += " = \"" + f.text() + "\"";
        return makeError(ErrorCode::Data, std::move(message));
    };
    auto threshold = [&](long double& out) -> std::optional<Error> {
        if (!rule.thresholdIsNumber)
            return makeError(ErrorCode::Validation,
                             "売買条件の数値が正しくありません: " + conditionName(rule) + " " +
                                 std::string(kJoukenFields[rule.condition->keys(rule.side).threshold].key) +
                                 " = \"" + rule.thresholdText + "\"");
        out = rule.threshold;
        return std::nullopt;
    };

    long double t = 0;
    switch (rule.condition->test) {
    case TestKind::SignedThreshold:
        if (rule.choice != 0 && rule.choice != 1)
            return false;
        if (auto e = read(0, values[0]))
            return *e;
        if (auto e = threshold(t))
            return *e;
        return signedThresholdHolds(values[0], t, rule.choice);

    case TestKind::StochasticsChoice:
        if (rule.choice != 0 && rule.choice != 1)
            return false;
        // %K, %D or %SD; any other line choice tests the value 0.
        if (rule.lineChoice >= 0 && rule.lineChoice <= 2) {
            if (auto e = read(rule.lineChoice, values[0]))
                return *e;
        }
        if (auto e = threshold(t))
            return *e;
        return signedThresholdHolds(values[0], t, rule.choice);

    case TestKind::LineComparison:
        if (rule.choice != 0 && rule.choice != 1)
            return false;
        if (auto e = read(0, values[0]))
            return *e;
        if (auto e = read(1, values[1]))
            return *e;
        return lineComparisonHolds(values[0], values[1], rule.choice);

    case TestKind::Renzoku: {
        // The run of days of the same sign is at least |threshold| long and the day itself rose
        // (choice 0) or fell (choice 1); a day without change is neither.
        if (rule.choice != 0 && rule.choice != 1)
            return false;
        if (auto e = read(0, values[0]))
            return *e;
        if (auto e = read(1, values[1]))
            return *e;
        if (auto e = threshold(t))
            return *e;
        const long double days = std::fabs(t);
        if (values[0] < days)
            return false;
        return rule.choice == 0 ? values[1] > 0 : values[1] < 0;
    }

    case TestKind::StopAndReverse:
        // Turned up (choice 0): the stop lies below the close; turned down (1): above it.
        if (rule.choice != 0 && rule.choice != 1)
            return false;
        if (auto e = read(0, values[0]))
            return *e;
        if (auto e = read(1, values[1]))
            return *e;
        return rule.choice == 0 ? values[0] < values[1] : values[0] > values[1];

    case TestKind::BollingerBand:
        // Choices 0 and 2 are the upper bands (close on or above), 1 and 3 the lower bands
        // (close strictly below).
        if (rule.choice < 0 || rule.choice > 3)
            return false;
        if (auto e = read(0, values[0]))
            return *e;
        if (auto e = read(1 + rule.choice, values[1]))
            return *e;
        return rule.choice % 2 == 0 ? values[0] >= values[1] : values[0] < values[1];
    }
    return false;
}

Result<bool> SignalRules::AllHold(Side side, int stock, int day) const
{
    const auto& group = andGroup(side);
    if (group.empty())
        return false;
    for (const SignalRule& r : group) {
        Result<bool> holds = Evaluate(r, stock, day);
        if (!holds || !*holds)
            return holds;
    }
    return true;
}

Result<bool> SignalRules::AnyHolds(Side side, int stock, int day) const
{
    for (const SignalRule& r : orGroup(side)) {
        Result<bool> holds = Evaluate(r, stock, day);
        if (!holds || *holds)
            return holds;
    }
    return false;
}

Result<bool> SignalRules::sideHolds(Side side, int stock, int day) const
{
    Result<bool> any = AnyHolds(side, stock, day);
    if (!any || *any)
        return any;
    return AllHold(side, stock, day);
}

Result<char> SignalRules::JudgeSignal(int stock, int day, char position) const
{
    // Holding long, the sell side is asked first; flat or short, the buy side.
    const Side first = position == kPositionLong ? Side::Sell : Side::Buy;
    const Side second = first == Side::Buy ? Side::Sell : Side::Buy;
    for (const Side side : {first, second}) {
        const Result<bool> holds = sideHolds(side, stock, day);
        if (!holds)
            return holds.error();
        if (*holds)
            return side == Side::Buy ? kSignalBuy : kSignalSell;
    }
    return kSignalNone;
}

} // namespace vorteq
