#include "cli/ScreeningOptions.h"

#include "common/DateText.h"
#include "series/MarketTable.h"

#include <algorithm>

namespace vorteq::cli {

namespace {

constexpr std::string_view kCheckBoxPrefix = "cbx_use_";

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> splitCommas(std::string_view value)
{
    std::vector<std::string_view> tokens;
    if (trimmed(value).empty())
        return tokens;
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = value.find(',', from);
        tokens.push_back(trimmed(value.substr(from, comma - from)));
        if (comma == std::string_view::npos)
            break;
        from = comma + 1;
    }
    return tokens;
}

// The item of a list that a token names, or nothing.
std::optional<int> itemOf(const ConditionControl& list, std::string_view token)
{
    const auto count = static_cast<int>(list.items.size());
    if (token.size() > 1 && token.front() == '#') {
        const std::string_view digits = token.substr(1);
        if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
            digits.size() <= 2) {
            const int position = std::stoi(std::string(digits));
            if (position < count)
                return position;
        }
        return std::nullopt;
    }
    std::string wanted(token);
    if (token == ">=")
        wanted = "以上";
    else if (token == "<=")
        wanted = "以下";
    else if (token == "up")
        wanted = "上昇";
    else if (token == "down")
        wanted = "下落";
    else if (token.size() >= 2 && token.back() == 'd')
        wanted = std::string(token.substr(0, token.size() - 1)) + "日";
    for (int i = 0; i < count; ++i)
        if (list.items[static_cast<std::size_t>(i)] == token ||
            list.items[static_cast<std::size_t>(i)] == wanted)
            return i;
    return std::nullopt;
}

std::string valueNameOf(const ScreeningCondition& condition)
{
    std::string name;
    for (std::size_t i = 0; i < condition.controlCount; ++i) {
        const ConditionControl& control = condition.controls[i];
        if (!name.empty())
            name += ',';
        if (control.kind == InputKind::Number) {
            name += "N";
            name += control.unit;
            continue;
        }
        for (std::size_t k = 0; k < control.items.size(); ++k) {
            if (k > 0)
                name += '|';
            name += control.items[k];
        }
    }
    return name;
}

std::string marketList()
{
    std::string text;
    for (const MarketEntry& m : kMarketTable) {
        if (!text.empty())
            text += ", ";
        text += std::string(m.code) + " " + std::string(m.name);
    }
    return text;
}

} // namespace

std::string conditionOptionName(const ScreeningCondition& condition)
{
    std::string name(condition.checkBox);
    if (name.compare(0, kCheckBoxPrefix.size(), kCheckBoxPrefix) == 0)
        name.erase(0, kCheckBoxPrefix.size());
    std::replace(name.begin(), name.end(), '_', '-');
    return name;
}

std::vector<OptionDef> conditionOptions()
{
    std::vector<OptionDef> optionDefs;
    for (const ScreeningCondition& condition : screeningConditions())
        optionDefs.push_back(
            {conditionOptionName(condition), valueNameOf(condition), std::string(condition.caption)});
    return optionDefs;
}

std::optional<Failure> applyConditionOption(const ScreeningCondition& condition, std::string_view value,
                                            ConditionState& state)
{
    state = ConditionState{};
    state.use = true;
    // Lists in screen order, each starting at the item the screening reset selects.
    std::vector<const ConditionControl*> lists;
    for (std::size_t i = 0; i < condition.controlCount; ++i)
        if (condition.controls[i].kind == InputKind::Choice) {
            state.choices[lists.size()] = condition.controls[i].initial;
            lists.push_back(&condition.controls[i]);
        }
    std::vector<bool> listGiven(lists.size(), false);
    bool numberGiven = false;
    const std::string option = "--" + conditionOptionName(condition);

    for (std::string_view token : splitCommas(value)) {
        bool placed = false;
        for (std::size_t k = 0; k < lists.size() && !placed; ++k) {
            if (listGiven[k])
                continue;
            if (const auto item = itemOf(*lists[k], token)) {
                state.choices[k] = *item;
                listGiven[k] = true;
                placed = true;
            }
        }
        if (placed)
            continue;
        if (condition.numberControl() && !numberGiven) {
            state.number = std::string(token);
            numberGiven = true;
            continue;
        }
        return Failure{ExitCode::Usage, option + " の値 \"" + std::string(token) +
                                            "\" は選択肢にありません (" + valueNameOf(condition) + ")"};
    }
    return std::nullopt;
}

Outcome<int> marketPositionOf(std::string_view codeOrName)
{
    for (std::size_t i = 0; i < kMarketTable.size(); ++i)
        if (kMarketTable[i].code == codeOrName || kMarketTable[i].name == codeOrName)
            return static_cast<int>(i);
    return Failure{ExitCode::Usage,
                   "市場が正しくありません: \"" + std::string(codeOrName) + "\" (" + marketList() + ")"};
}

Outcome<Date> dateOption(std::string_view text)
{
    if (const auto date = parseDate(text))
        return *date;
    return Failure{ExitCode::Usage, "日付が正しくありません: \"" + std::string(text) + "\" (yyyy/mm/dd)"};
}

std::vector<OptionDef> screeningOptions()
{
    return {
        {"market", "CODE|NAME", "市場コードまたは市場名称 (" + marketList() + ")", true},
        {"date", "yyyy/mm/dd", "基準日 (既定はサーバーの株価更新日)"},
        {"code", "PREFIX", "銘柄コードの前方一致"},
        {"name", "PREFIX", "銘柄名称の前方一致"},
        {"registered", "", "売買条件登録銘柄に限る (索引は --base-dir の UsrData/UsrCndCd.dat)"},
        {"base-dir", "DIR", "SysData と UsrData のあるフォルダー (既定は現在のフォルダー)"},
    };
}

Outcome<ScreeningCriteria> criteriaFromOptions(const ParsedOptions& options, const Date& baseDate)
{
    ScreeningCriteria criteria;
    criteria.target = options.has("registered") ? StockTarget::Registered : StockTarget::All;
    criteria.stockCode = options.valueOr("code", {});
    criteria.stockName = options.valueOr("name", {});
    auto market = marketPositionOf(options.valueOr("market", {}));
    if (!market)
        return market.error();
    criteria.marketPosition = *market;
    criteria.baseDate = baseDate;

    const auto& table = screeningConditions();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const auto value = options.value(conditionOptionName(table[i]));
        if (!value)
            continue;
        if (auto failed = applyConditionOption(table[i], *value, criteria.conditions[i]))
            return *failed;
    }
    return criteria;
}

} // namespace vorteq::cli
