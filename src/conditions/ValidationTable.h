#pragma once

// What the number check before a simulation tests, as data: the tabs, the messages, the common
// fields, and the rules of every indicator parameter (from the indicator table). The thresholds of the ticked
// conditions are checked in conditionsInEditorOrder() (ConditionCatalogue.h), buy tab then sell tab.

#include "conditions/JoukenFields.h"
#include "indicators/Indicator.h"

#include <span>
#include <string_view>

namespace vorteq {

inline constexpr std::string_view kTabCommon = "ts_common";
inline constexpr std::string_view kTabBuyConditions = "ts_buy_cond";
inline constexpr std::string_view kTabSellConditions = "ts_sell_cond";
inline constexpr std::string_view kTabCalcConditions = "ts_culc_cond";

inline constexpr std::string_view kMsgValueMissing = "ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。";
inline constexpr std::string_view kMsgNotANumber = "数値が正しく入力されていません。";

// A money-management number of the common tab, tested always or when its switch is on.
struct CommonNumberRule {
    int field;     // kJoukenFields number of the Amt field
    int switchKey; // the Use field that must be "1" (its check box ticked), or -1: always
    // Shown when the value is 0 or below; empty: no lower limit. The capital divides the returns.
    std::string_view notPositiveMessage = {};
};

inline constexpr CommonNumberRule kCommonNumberRules[] = {
    {fieldNo("AmtTousi"), -1, "初期投資金額の数値は0より大きくする必要があります。"},
    {fieldNo("AmtTesuryo"), fieldNo("UseTesuryo")},
    {fieldNo("AmtRikaku"), fieldNo("UseRikaku")},
    {fieldNo("AmtSongiri"), fieldNo("UseSongiri")},
};

// One indicator parameter of the calculation tab, checked always, in the tab's order: missing
// value, conversion (integer or float), upper limit, lower limit (periods: at least 1), the extra
// rule. Taken from the parameter's entry in the indicator table.
struct ParameterRule {
    int field;              // kJoukenFields number
    std::string_view label; // caption on the tab
    bool integer;           // integer conversion (periods) or float conversion (factors)
    long double upperLimit;
    std::string_view upperMessage;
    int lowerLimit; // periods need at least 1 day; factors have no lower limit (lowerMessage empty)
    std::string_view lowerMessage;
    ExtraRule extra;
    std::string_view extraMessage;
    bool emptyKeepsDefault = false; // an empty field leaves the engine's default period
};

// The rules of every indicator parameter, in the order of the calculation tab (left column top to
// bottom, then the right one).
std::span<const ParameterRule> parameterRules();

} // namespace vorteq
