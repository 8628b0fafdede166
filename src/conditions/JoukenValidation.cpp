#include "conditions/JoukenValidation.h"

#include "common/NumberText.h"
#include "conditions/ConditionCatalogue.h"
#include "conditions/ValidationTable.h"

#include <array>

namespace vorteq {
namespace {

ValidationFailure failure(int field, std::string_view message, bool tabFirst = false)
{
    return ValidationFailure{field, tabOfField(field), message, tabFirst};
}

bool inForce(const std::string& use)
{
    return use == "1" || use == "2";
}

std::optional<ValidationFailure> checkCommon(const TJouken& record)
{
    for (const CommonNumberRule& rule : kCommonNumberRules) {
        if (rule.switchKey >= 0 && record[rule.switchKey] != "1")
            continue;
        const std::string& text = record[rule.field];
        if (text.empty())
            return failure(rule.field, kMsgValueMissing);
        const auto value = parseNumber(text);
        if (!value)
            return failure(rule.field, kMsgNotANumber);
        if (!rule.notPositiveMessage.empty() && *value <= 0)
            return failure(rule.field, rule.notPositiveMessage);
    }
    return std::nullopt;
}

std::optional<ValidationFailure> checkThresholds(const TJouken& record, Side side)
{
    for (const ConditionDef* c : conditionsInEditorOrder()) {
        if (!c->hasThreshold())
            continue;
        const ConditionKeys& keys = c->keys(side);
        if (!inForce(record[keys.use]))
            continue;
        const std::string& text = record[keys.threshold];
        if (text.empty())
            return failure(keys.threshold, kMsgValueMissing, side == Side::Sell && c->stem == "VRB");
        if (!parseNumber(text))
            return failure(keys.threshold, kMsgNotANumber);
    }
    return std::nullopt;
}

std::optional<ValidationFailure> checkParameter(const TJouken& record, const ParameterRule& rule)
{
    const std::string& text = record[rule.field];
    if (text.empty() && rule.emptyKeepsDefault)
        return std::nullopt;
    if (text.empty())
        return failure(rule.field, kMsgValueMissing);
    long double value = 0;
    if (rule.integer) {
        const auto whole = parseInt32(text);
        if (!whole)
            return failure(rule.field, kMsgNotANumber);
        value = *whole;
    } else {
        const auto number = parseNumber(text);
        if (!number)
            return failure(rule.field, kMsgNotANumber);
        value = *number;
    }
    if (value > rule.upperLimit)
        return failure(rule.field, rule.upperMessage);
    if (!rule.lowerMessage.empty() && value < rule.lowerLimit)
        return failure(rule.field, rule.lowerMessage);
    switch (rule.extra) {
    case ExtraRule::None:
        break;
    case ExtraRule::Even:
        if (*parseInt32(text) % 2 != 0)
            return failure(rule.field, rule.extraMessage);
        break;
    case ExtraRule::GreaterThanShort: {
        // The short period was checked by the rule before this one.
        constexpr int shortField = fieldNo("AmtBuyMACD1");
        const auto shortValue = parseNumber(record[shortField]);
        if (!shortValue)
            return failure(shortField, kMsgNotANumber);
        if (!(*parseNumber(text) > *shortValue))
            return failure(rule.field, rule.extraMessage);
        break;
    }
    }
    return std::nullopt;
}

} // namespace

std::string_view tabOfField(int no)
{
    const JoukenFieldDef& f = kJoukenFields[no];
    if (f.kind == FieldKind::Unbound)
        return {};
    if (no <= fieldNo("UseTradePrice"))
        return kTabCommon;
    if (f.role == NumberRole::Period || f.role == NumberRole::Factor)
        return kTabCalcConditions;
    return f.key.find("Sell") != std::string_view::npos ? kTabSellConditions : kTabBuyConditions;
}

std::optional<ValidationFailure> validateJouken(const TJouken& record)
{
    if (auto failed = checkCommon(record))
        return failed;
    for (Side side : {Side::Buy, Side::Sell})
        if (auto failed = checkThresholds(record, side))
            return failed;
    for (const ParameterRule& rule : parameterRules())
        if (auto failed = checkParameter(record, rule))
            return failed;
    return std::nullopt;
}

std::optional<int> choicePosition(int no, std::string_view text)
{
    const JoukenFieldDef& f = kJoukenFields[no];
    const auto position = parseInt32(text);
    if (!position || *position < 0 || *position >= static_cast<int>(f.items.size()))
        return std::nullopt;
    return *position;
}

std::vector<int> choicesOutOfRange(const TJouken& record)
{
    std::vector<int> out;
    for (const auto& f : kJoukenFields)
        if (f.kind == FieldKind::Choice && !choicePosition(f.no, record[f.no]))
            out.push_back(f.no);
    return out;
}

std::optional<ValidationFailure> findUnstorableValue(const TJouken& record)
{
    constexpr std::array<std::string_view, 4> tabs = {kTabCommon, kTabBuyConditions, kTabSellConditions,
                                                      kTabCalcConditions};
    for (std::string_view tab : tabs)
        for (const auto& f : kJoukenFields)
            if (tabOfField(f.no) == tab && record[f.no].find(',') != std::string::npos)
                return failure(f.no, kMsgCommaInValue);
    return std::nullopt;
}

} // namespace vorteq
