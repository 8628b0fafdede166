#pragma once

// What the number check before a simulation tests, as data: the tabs, the messages, the common
// fields, and the rules of every indicator parameter. The thresholds of the ticked conditions are
// checked in conditionsInEditorOrder() (ConditionCatalogue.h), buy tab then sell tab.

#include "conditions/JoukenFields.h"

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

// A second rule checked after the upper limit.
enum class ExtraRule {
    None,
    Even,             // the value must be even (by its remainder: -3 is odd)
    GreaterThanShort, // the MACD long period, read as a float, must exceed the short one
};

// One indicator parameter of the calculation tab, checked always, in table order: missing value,
// conversion (integer or float), upper limit, lower limit (periods: at least 1), the extra rule.
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

inline constexpr ParameterRule kParameterRules[] = {
    {fieldNo("AmtBuyIdo"), "移動平均線A", true, 50, "移動平均の数値の上限は50です。", 1,
     "移動平均の数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyKairi1"), "移動平均線B", true, 50, "移動平均の数値の上限は50です。", 1,
     "移動平均の数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyCloss1"), "移動平均線C", true, 50, "移動平均の数値の上限は50です。", 1,
     "移動平均の数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyCloss2"), "移動平均線D", true, 50, "移動平均の数値の上限は50です。", 1,
     "移動平均の数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyRSI1"), "RSI", true, 50, "RSIの数値の上限は50です。", 1,
     "RSIの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtDayOSI"), "U-OSI", true, 15, "OSIの数値の上限は15です。", 1,
     "OSIの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyWilR1"), "ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", true, 50, "ﾗﾘｰｳｨﾘｱﾑｽﾞ%Rの数値の上限は50です。", 1,
     "ﾗﾘｰｳｨﾘｱﾑｽﾞ%Rの数値は1以上にしてください。", ExtraRule::None, ""},
    // The RCI period is checked like the other periods (an unchecked one could stop a run later), but
    // an empty one runs with the engine's default of 9 days, as it always has.
    {fieldNo("AmtBuyRCI1"), "RCI", true, 50, "RCIの数値の上限は50です。", 1,
     "RCIの数値は1以上にしてください。", ExtraRule::None, "", true},
    {fieldNo("AmtDayCCI"), "CCI", true, 25, "CCIの数値の上限は25です。", 1,
     "CCIの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtDayDPO"), "DPO", true, 35, "DPOの数値の上限は35です。", 1,
     "DPOの数値は1以上にしてください。", ExtraRule::Even, "DPOの数値は偶数の必要があります。"},
    {fieldNo("AmtDayABRatio"), "強弱レシオ", true, 50, "強弱ﾚｼｵの数値の上限は50です。", 1,
     "強弱ﾚｼｵの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuySTK1"), "ｽﾄｷｬｽﾃｨｸｽ%K", true, 25, "ｽﾄｷｬｽﾃｨｸｽ%Kの数値の上限は25です。", 1,
     "ｽﾄｷｬｽﾃｨｸｽ%Kの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtDaySTC_D"), "%D", true, 15, "ｽﾄｷｬｽﾃｨｸｽ%Dの数値の上限は15です。", 1,
     "ｽﾄｷｬｽﾃｨｸｽ%Dの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtDaySTC_SD"), "%SD", true, 15, "ｽﾄｷｬｽﾃｨｸｽ%SDの数値の上限は15です。", 1,
     "ｽﾄｷｬｽﾃｨｸｽ%SDの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtDayParaboAf"), "加速因子初期値", false, 1, "加速因子の数値の上限は1です。", 0, "",
     ExtraRule::None, ""},
    {fieldNo("AmtDayParaboLim"), "上限", false, 3, "加速因子の数値の上限は3です。", 0, "", ExtraRule::None,
     ""},
    {fieldNo("AmtDayWIL"), "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", true, 50, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨの数値の上限は50です。", 1,
     "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtDayWIL_VI"), "VIの倍数", false, 5, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ倍数の数値の上限は5です。", 0, "",
     ExtraRule::None, ""},
    {fieldNo("AmtBuyVolin"), "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ", true, 50, "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞの数値の上限は50です。", 1,
     "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyVRA1"), "ﾎﾞﾘｭｰﾑﾚｼｵ[A][B]", true, 50, "ﾎﾞﾘｭｰﾑﾚｼｵの数値の上限は50です。", 1,
     "ﾎﾞﾘｭｰﾑﾚｼｵの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyVRW1"), "和光ﾎﾞﾘｭｰﾑﾚｼｵ", true, 50, "和光ﾎﾞﾘｭｰﾑﾚｼｵの数値の上限は50です。", 1,
     "和光ﾎﾞﾘｭｰﾑﾚｼｵの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyDMI"), "DMI", true, 25, "DMIの数値の上限は25です。", 1,
     "DMIの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyMACD1"), "ｼｮｰﾄ", true, 30, "MACDｼｮｰﾄの数値の上限は30です。", 1,
     "MACDｼｮｰﾄの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyMACD2"), "ﾛﾝｸﾞ", true, 30, "MACDﾛﾝｸﾞの数値の上限は30です。", 1,
     "MACDﾛﾝｸﾞの数値は1以上にしてください。", ExtraRule::GreaterThanShort,
     "MACDﾛﾝｸﾞの数値はMACDｼｮｰﾄより大きくする必要があります。"},
    {fieldNo("AmtDayMAC_SI"), "ｼｸﾞﾅﾙ", true, 25, "MACDｼｸﾞﾅﾙの数値の上限は25です。", 1,
     "MACDｼｸﾞﾅﾙの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyPSY1"), "ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", true, 25, "ｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値の上限は25です。", 1,
     "ｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値は1以上にしてください。", ExtraRule::None, ""},
    {fieldNo("AmtBuyMPSY1"), "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", true, 25, "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値の上限は25です。", 1,
     "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値は1以上にしてください。", ExtraRule::None, ""},
};

} // namespace vorteq
