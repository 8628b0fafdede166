#pragma once

// The condition record's 194 fields, written once: number, key, kind of value, bound controls,
// default and list items. Everything that addresses the record (files, editor, engine, validation,
// signal rules) reads this table.

#include <array>
#include <optional>
#include <span>
#include <string_view>

namespace vorteq {

// What a field holds.
enum class FieldKind {
    Number,       // Amt: the text typed into an edit field, unchanged
    Choice,       // Kbn: list position counted from 0, as decimal text
    Switch,       // common Use field: "0" off, "1" on
    ConditionUse, // condition Use field: "0" unused, "1" Or group, "2" And group
    TradePrice,   // "1" open, "2" close, "3" high, "4" low (one radio button each)
    Unbound,      // bound to no control; carried through condition files unchanged
};

// What an Amt number is for.
enum class NumberRole {
    None,      // not a number field
    Amount,    // money management (capital, commission, profit-taking and loss-cut percent)
    Threshold, // compared with an indicator value by a condition
    Period,    // an indicator period in days, shared by the buy and sell conditions
    Factor,    // a parabolic or volatility-system parameter
};

inline constexpr std::string_view kComparisonItems[] = {"以上", "以下"};
inline constexpr std::string_view kTurnItems[] = {"陽転", "陰転"};
inline constexpr std::string_view kDirectionItems[] = {"上昇", "下落"};
inline constexpr std::string_view kAfterExitItems[] = {"すぐに反対の売買を行う",
                                                       "次のサインが出てから売買を行う"};
inline constexpr std::string_view kUnitItems[] = {"1000株", "100株", "10株", "1株"};
inline constexpr std::string_view kTradeItems[] = {"買いのみ", "空売りのみ", "両方"};
inline constexpr std::string_view kCommissionUnitItems[] = {"円", "％"};
inline constexpr std::string_view kBandItems[] = {"+2σ以上", "-2σ以下", "+1σ以上", "-1σ以下"};
inline constexpr std::string_view kStochasticsLineItems[] = {"%K", "%D", "%SD"};
// The trade-price radio buttons in order; the stored value is the position plus 1.
inline constexpr std::string_view kTradePriceItems[] = {"始値", "終値", "高値", "安値"};

struct JoukenFieldDef {
    int no;
    std::string_view key;
    FieldKind kind;
    NumberRole role;
    std::string_view unit; // "yen", "percent", "days" or empty
    // Bound controls: the edit field or list; for a condition Use field its Or box then its And
    // box; for the trade price the four radio buttons.
    std::array<std::string_view, 4> controls;
    std::string_view defaultValue;           // what the editor shows in its initial state
    std::span<const std::string_view> items; // list texts of a Choice or TradePrice field
    std::string_view meaning;
};

inline constexpr int kJoukenFieldCount = 194;

// One row per field: number, key, kind, role, unit, bound controls, default, list items, meaning.
// clang-format off
inline constexpr JoukenFieldDef kJoukenFields[kJoukenFieldCount] = {
    {0, "AmtTousi", FieldKind::Number, NumberRole::Amount, "yen", {"edt_com_amt", "", "", ""}, "1000000", {}, "initial investment, yen (\"初期投資金額\")"},
    {1, "KbnTani", FieldKind::Choice, NumberRole::None, "", {"cbx_com_tani", "", "", ""}, "3", kUnitItems, "trading unit (\"売買単位株式数\")"},
    {2, "KbnTrade", FieldKind::Choice, NumberRole::None, "", {"cbx_com_naiyo", "", "", ""}, "2", kTradeItems, "trades carried out (\"実行取引内容\")"},
    {3, "UseTesuryo", FieldKind::Switch, NumberRole::None, "", {"cb_com_tesuu", "", "", ""}, "0", {}, "commission charged (\"取引手数料\")"},
    {4, "AmtTesuryo", FieldKind::Number, NumberRole::Amount, "", {"edt_com_tesuu", "", "", ""}, "", {}, "commission amount"},
    {5, "KbnTesuryo", FieldKind::Choice, NumberRole::None, "", {"cbx_com_tesuu", "", "", ""}, "0", kCommissionUnitItems, "commission unit"},
    {6, "UseRikaku", FieldKind::Switch, NumberRole::None, "", {"cb_com_rieki", "", "", ""}, "0", {}, "profit-taking on (\"利益確定する\")"},
    {7, "AmtRikaku", FieldKind::Number, NumberRole::Amount, "percent", {"edt_com_rieki", "", "", ""}, "5", {}, "profit-taking threshold, percent (\"％以上の利益\")"},
    {8, "KbnRikaku", FieldKind::Choice, NumberRole::None, "", {"cbx_com_rieki", "", "", ""}, "0", kAfterExitItems, "after profit-taking (\"利益確定した場合\")"},
    {9, "UseSongiri", FieldKind::Switch, NumberRole::None, "", {"cb_com_son", "", "", ""}, "0", {}, "loss-cut on (\"損切りする\")"},
    {10, "AmtSongiri", FieldKind::Number, NumberRole::Amount, "percent", {"edt_com_son", "", "", ""}, "5", {}, "loss-cut threshold, percent (\"％以上の損失\")"},
    {11, "KbnSongiri", FieldKind::Choice, NumberRole::None, "", {"cbx_com_son", "", "", ""}, "0", kAfterExitItems, "after a loss-cut (\"損切りした場合\")"},
    {12, "UseTradePrice", FieldKind::TradePrice, NumberRole::None, "", {"rb_com_sine", "rb_com_owari", "rb_com_taka", "rb_com_yasu"}, "1", kTradePriceItems, "price at which trades are made (\"売買時の取引価格\")"},
    {13, "KbnBuyjouken", FieldKind::Unbound, NumberRole::None, "", {"", "", "", ""}, "", {}, "not bound to any control; carried through condition files unchanged"},
    {14, "UseBuyToujitu", FieldKind::ConditionUse, NumberRole::None, "", {"cb_tprice_change", "cb_tprice_change_and", "", ""}, "0", {}, "buy condition \"株価当日比が\": use"},
    {15, "AmtBuyToujitu", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_tprice_change", "", "", ""}, "-2", {}, "threshold, percent"},
    {16, "KbnBuyToujitu", FieldKind::Choice, NumberRole::None, "", {"cbx_tprice_change", "", "", ""}, "0", kComparisonItems, "comparison"},
    {17, "UseBuyZenjitu", FieldKind::ConditionUse, NumberRole::None, "", {"cb_yprice_change", "cb_yprice_change_and", "", ""}, "0", {}, "buy condition \"株価前日比が\": use"},
    {18, "AmtBuyZenjitu", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_yprice_change", "", "", ""}, "-2", {}, "threshold, percent"},
    {19, "KbnBuyZenjitu", FieldKind::Choice, NumberRole::None, "", {"cbx_yprice_change", "", "", ""}, "0", kComparisonItems, "comparison"},
    {20, "UseBuyVLM", FieldKind::ConditionUse, NumberRole::None, "", {"cb_yvlm_change", "cb_yvlm_change_and", "", ""}, "0", {}, "buy condition \"出来高増減率が\": use"},
    {21, "AmtBuyVLM", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_yvlm_change", "", "", ""}, "100", {}, "threshold, percent"},
    {22, "KbnBuyVLM", FieldKind::Choice, NumberRole::None, "", {"cbx_yvlm_change", "", "", ""}, "0", kComparisonItems, "comparison"},
    {23, "UseBuyRenzoku", FieldKind::ConditionUse, NumberRole::None, "", {"cb_pseqchange", "cb_pseqchange_and", "", ""}, "0", {}, "buy condition \"株価が\": use"},
    {24, "AmtBuyRenzoku", FieldKind::Number, NumberRole::Threshold, "days", {"edt_pseqchange", "", "", ""}, "3", {}, "number of days (\"日以上、連続して\")"},
    {25, "KbnBuyRenzoku", FieldKind::Choice, NumberRole::None, "", {"cbx_pseqchange", "", "", ""}, "1", kDirectionItems, "direction"},
    {26, "UseBuyIdo", FieldKind::ConditionUse, NumberRole::None, "", {"cb_p_mva", "cb_p_mva_and", "", ""}, "0", {}, "buy condition \"株価が移動平均線A\": use"},
    {27, "AmtBuyIdo", FieldKind::Number, NumberRole::Period, "days", {"edt_p_mva", "", "", ""}, "5", {}, "period of moving average A (shared)"},
    {28, "KbnBuyIdo", FieldKind::Choice, NumberRole::None, "", {"cbx_p_mva", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {29, "UseBuyCloss", FieldKind::ConditionUse, NumberRole::None, "", {"cb_mva_mva", "cb_mva_mva_and", "", ""}, "0", {}, "buy condition \"移動平均線Cが移動平均線D\": use"},
    {30, "AmtBuyCloss1", FieldKind::Number, NumberRole::Period, "days", {"edt_mva_mva1", "", "", ""}, "25", {}, "period of moving average C (shared)"},
    {31, "AmtBuyCloss2", FieldKind::Number, NumberRole::Period, "days", {"edt_mva_mva2", "", "", ""}, "50", {}, "period of moving average D (shared)"},
    {32, "KbnBuyCloss", FieldKind::Choice, NumberRole::None, "", {"cbx_mva_mva", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {33, "UseBuyKairi", FieldKind::ConditionUse, NumberRole::None, "", {"cb_P_mva_per", "cb_P_mva_per_and", "", ""}, "0", {}, "buy condition \"株価と移動平均線Bとのカイリ率が\": use"},
    {34, "AmtBuyKairi1", FieldKind::Number, NumberRole::Period, "days", {"edt_P_mva_per1", "", "", ""}, "15", {}, "period of moving average B (shared)"},
    {35, "AmtBuyKairi2", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_P_mva_per2", "", "", ""}, "-5", {}, "threshold, percent (buy)"},
    {36, "KbnBuyKairi", FieldKind::Choice, NumberRole::None, "", {"cbx_P_mva_per", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {37, "UseBuyRSI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_rsi", "cb_rsi_and", "", ""}, "0", {}, "buy condition \"RSIが\": use"},
    {38, "AmtBuyRSI1", FieldKind::Number, NumberRole::Period, "days", {"edt_rsi1", "", "", ""}, "9", {}, "RSI period (shared)"},
    {39, "AmtBuyRSI2", FieldKind::Number, NumberRole::Threshold, "", {"edt_rsi2", "", "", ""}, "25", {}, "threshold (buy)"},
    {40, "KbnBuyRSI", FieldKind::Choice, NumberRole::None, "", {"cbx_rsi", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {41, "UseBuySTK", FieldKind::ConditionUse, NumberRole::None, "", {"cb_stk", "cb_stk_and", "", ""}, "0", {}, "buy condition \"ｽﾄｷｬｽﾃｨｸｽ%Kが%D\": use"},
    {42, "AmtBuySTK1", FieldKind::Number, NumberRole::Period, "days", {"edt_stk1", "", "", ""}, "9", {}, "stochastics %K period (shared)"},
    {43, "KbnBuySTK", FieldKind::Choice, NumberRole::None, "", {"cbx_stk", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {44, "UseBuyRCI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_rci", "cb_rci_and", "", ""}, "0", {}, "buy condition \"RCIが\": use"},
    {45, "AmtBuyRCI1", FieldKind::Number, NumberRole::Period, "days", {"edt_rci1", "", "", ""}, "9", {}, "RCI period (shared)"},
    {46, "AmtBuyRCI2", FieldKind::Number, NumberRole::Threshold, "", {"edt_rci2", "", "", ""}, "-50", {}, "threshold (buy)"},
    {47, "KbnBuyRCI", FieldKind::Choice, NumberRole::None, "", {"cbx_rci", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {48, "UseBuyWilR", FieldKind::ConditionUse, NumberRole::None, "", {"cb_rally", "cb_rally_and", "", ""}, "0", {}, "buy condition \"ﾗﾘｰｳｨﾘｱﾑｽﾞ%Rが\": use"},
    {49, "AmtBuyWilR1", FieldKind::Number, NumberRole::Period, "days", {"edt_rally1", "", "", ""}, "10", {}, "Williams %R period (shared)"},
    {50, "AmtBuyWilR2", FieldKind::Number, NumberRole::Threshold, "", {"edt_rally2", "", "", ""}, "20", {}, "threshold (buy)"},
    {51, "KbnBuyWilR", FieldKind::Choice, NumberRole::None, "", {"cbx_rally", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {52, "UseBuyParab", FieldKind::ConditionUse, NumberRole::None, "", {"cb_parbo", "cb_parbo_and", "", ""}, "0", {}, "buy condition \"ﾊﾟﾗﾎﾞﾘｯｸが\": use"},
    {53, "KbnBuyParab", FieldKind::Choice, NumberRole::None, "", {"cbx_parbo", "", "", ""}, "0", kTurnItems, "turn (buy)"},
    {54, "UseBuyWild", FieldKind::ConditionUse, NumberRole::None, "", {"cb_wil", "cb_wil_and", "", ""}, "0", {}, "buy condition \"ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨが\": use"},
    {55, "KbnBuyWild", FieldKind::Choice, NumberRole::None, "", {"cbx_wil", "", "", ""}, "0", kTurnItems, "turn (buy)"},
    {56, "UseBuyVolin", FieldKind::ConditionUse, NumberRole::None, "", {"cb_volin", "cb_volin_and", "", ""}, "0", {}, "buy condition \"株価がﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞの\": use"},
    {57, "AmtBuyVolin", FieldKind::Number, NumberRole::Period, "days", {"edt_volin", "", "", ""}, "20", {}, "Bollinger band period (shared)"},
    {58, "KbnBuyVorin", FieldKind::Choice, NumberRole::None, "", {"cbx_volin", "", "", ""}, "1", kBandItems, "band and side (buy)"},
    {59, "UseBuyVRA", FieldKind::ConditionUse, NumberRole::None, "", {"cb_vr_a", "cb_vr_a_and", "", ""}, "0", {}, "buy condition \"ﾎﾞﾘｭｰﾑﾚｼｵ[A]が\": use"},
    {60, "AmtBuyVRA1", FieldKind::Number, NumberRole::Period, "days", {"edt_vr_a1", "", "", ""}, "14", {}, "volume ratio A and B period (shared)"},
    {61, "AmtBuyVRA2", FieldKind::Number, NumberRole::Threshold, "", {"edt_vr_a2", "", "", ""}, "100", {}, "threshold (buy)"},
    {62, "KbnBuyVRA", FieldKind::Choice, NumberRole::None, "", {"cbx_vr_a", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {63, "UseBuyVRB", FieldKind::ConditionUse, NumberRole::None, "", {"cb_vr_b", "cb_vr_b_and", "", ""}, "0", {}, "buy condition \"ﾎﾞﾘｭｰﾑﾚｼｵ[B]が\": use"},
    {64, "AmtBuyVRB2", FieldKind::Number, NumberRole::Threshold, "", {"edt_vr_b2", "", "", ""}, "25", {}, "threshold (buy)"},
    {65, "KbnBuyVRB", FieldKind::Choice, NumberRole::None, "", {"cbx_vr_b", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {66, "UseBuyVRW", FieldKind::ConditionUse, NumberRole::None, "", {"cb_vr_wako", "cb_vr_wako_and", "", ""}, "0", {}, "buy condition \"和光ﾎﾞﾘｭｰﾑﾚｼｵが\": use"},
    {67, "AmtBuyVRW1", FieldKind::Number, NumberRole::Period, "days", {"edt_vr_wako1", "", "", ""}, "14", {}, "volume ratio period (shared)"},
    {68, "AmtBuyVRW2", FieldKind::Number, NumberRole::Threshold, "", {"edt_vr_wako2", "", "", ""}, "-50", {}, "threshold (buy)"},
    {69, "KbnBuyVRW", FieldKind::Choice, NumberRole::None, "", {"cbx_vr_wako", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {70, "UseBuyDMI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_dmi", "cb_dmi_and", "", ""}, "0", {}, "buy condition \"DMIの+DIが-DI\": use"},
    {71, "AmtBuyDMI", FieldKind::Number, NumberRole::Period, "days", {"edt_dmi", "", "", ""}, "14", {}, "DMI period (shared)"},
    {72, "KbnBuyDMI", FieldKind::Choice, NumberRole::None, "", {"cbx_dmi", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {73, "UseBuyMACD", FieldKind::ConditionUse, NumberRole::None, "", {"cb_macd", "cb_macd_and", "", ""}, "0", {}, "buy condition \"MACDがｼｸﾞﾅﾙ\": use"},
    {74, "AmtBuyMACD1", FieldKind::Number, NumberRole::Period, "days", {"edt_macd1", "", "", ""}, "12", {}, "MACD short period (shared)"},
    {75, "AmtBuyMACD2", FieldKind::Number, NumberRole::Period, "days", {"edt_macd2", "", "", ""}, "26", {}, "MACD long period (shared)"},
    {76, "KbnBuyMACD", FieldKind::Choice, NumberRole::None, "", {"cbx_macd", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {77, "UseBuyPSY", FieldKind::ConditionUse, NumberRole::None, "", {"cb_syco", "cb_syco_and", "", ""}, "0", {}, "buy condition \"ｻｲｺﾛｼﾞｶﾙﾗｲﾝが\": use"},
    {78, "AmtBuyPSY1", FieldKind::Number, NumberRole::Period, "days", {"edt_syco1", "", "", ""}, "12", {}, "psychological line period (shared)"},
    {79, "AmtBuyPSY2", FieldKind::Number, NumberRole::Threshold, "", {"edt_syco2", "", "", ""}, "25", {}, "threshold (buy)"},
    {80, "KbnBuyPSY", FieldKind::Choice, NumberRole::None, "", {"cbx_syco", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {81, "UseBuyMPSY", FieldKind::ConditionUse, NumberRole::None, "", {"cb_syco_move", "cb_syco_move_and", "", ""}, "0", {}, "buy condition \"値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝが\": use"},
    {82, "AmtBuyMPSY1", FieldKind::Number, NumberRole::Period, "days", {"edt_syco_move1", "", "", ""}, "12", {}, "price-movement psychological line period (shared)"},
    {83, "AmtBuyMPSY2", FieldKind::Number, NumberRole::Threshold, "", {"edt_syco_move2", "", "", ""}, "25", {}, "threshold (buy)"},
    {84, "KbnBuyMPSY", FieldKind::Choice, NumberRole::None, "", {"cbx_syco_move", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {85, "KbnSelljouken", FieldKind::Unbound, NumberRole::None, "", {"", "", "", ""}, "", {}, "not bound to any control; carried through condition files unchanged"},
    {86, "UseSellToujitu", FieldKind::ConditionUse, NumberRole::None, "", {"cb_tprice_change_s", "cb_tprice_change_and_s", "", ""}, "0", {}, "sell condition \"株価当日比が\": use"},
    {87, "AmtSellToujitu", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_tprice_change_s", "", "", ""}, "2", {}, "threshold, percent"},
    {88, "KbnSellToujitu", FieldKind::Choice, NumberRole::None, "", {"cbx_tprice_change_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {89, "UseSellZenjitu", FieldKind::ConditionUse, NumberRole::None, "", {"cb_yprice_change_s", "cb_yprice_change_and_s", "", ""}, "0", {}, "sell condition \"株価前日比が\": use"},
    {90, "AmtSellZenjitu", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_yprice_change_s", "", "", ""}, "2", {}, "threshold, percent"},
    {91, "KbnSellZenjitu", FieldKind::Choice, NumberRole::None, "", {"cbx_yprice_change_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {92, "UseSellVLM", FieldKind::ConditionUse, NumberRole::None, "", {"cb_yvlm_change_s", "cb_yvlm_change_and_s", "", ""}, "0", {}, "sell condition \"出来高増減率が\": use"},
    {93, "AmtSellVLM", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_yvlm_change_s", "", "", ""}, "-100", {}, "threshold, percent"},
    {94, "KbnSellVLM", FieldKind::Choice, NumberRole::None, "", {"cbx_yvlm_change_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {95, "UseSellRenzoku", FieldKind::ConditionUse, NumberRole::None, "", {"cb_pseqchange_s", "cb_pseqchange_and_s", "", ""}, "0", {}, "sell condition \"株価が\": use"},
    {96, "AmtSellRenzoku", FieldKind::Number, NumberRole::Threshold, "days", {"edt_pseqchange_s", "", "", ""}, "3", {}, "number of days"},
    {97, "KbnSellRenzoku", FieldKind::Choice, NumberRole::None, "", {"cbx_pseqchange_s", "", "", ""}, "0", kDirectionItems, "direction"},
    {98, "UseSellIdo", FieldKind::ConditionUse, NumberRole::None, "", {"cb_p_mva_s", "cb_p_mva_and_s", "", ""}, "0", {}, "sell condition \"株価が移動平均線A\": use"},
    {99, "KbnSellIdo", FieldKind::Choice, NumberRole::None, "", {"cbx_p_mva_s", "", "", ""}, "1", kComparisonItems, "comparison (period: `AmtBuyIdo`)"},
    {100, "UseSellCloss", FieldKind::ConditionUse, NumberRole::None, "", {"cb_mva_mva_s", "cb_mva_mva_and_s", "", ""}, "0", {}, "sell condition \"移動平均線Cが移動平均線D\": use"},
    {101, "KbnSellCloss", FieldKind::Choice, NumberRole::None, "", {"cbx_mva_mva_s", "", "", ""}, "1", kComparisonItems, "comparison (periods: `AmtBuyCloss1`, `AmtBuyCloss2`)"},
    {102, "UseSellKairi", FieldKind::ConditionUse, NumberRole::None, "", {"cb_P_mva_per_s", "cb_P_mva_per_and_s", "", ""}, "0", {}, "sell condition \"株価と移動平均線Bとのカイリ率が\": use"},
    {103, "AmtSellKairi2", FieldKind::Number, NumberRole::Threshold, "percent", {"edt_P_mva_per2_s", "", "", ""}, "5", {}, "threshold, percent (period: `AmtBuyKairi1`)"},
    {104, "KbnSellKairi", FieldKind::Choice, NumberRole::None, "", {"cbx_P_mva_per_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {105, "UseSellRSI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_rsi_s", "cb_rsi_and_s", "", ""}, "0", {}, "sell condition \"RSIが\": use"},
    {106, "AmtSellRSI2", FieldKind::Number, NumberRole::Threshold, "", {"edt_rsi2_s", "", "", ""}, "75", {}, "threshold (period: `AmtBuyRSI1`)"},
    {107, "KbnSellRSI", FieldKind::Choice, NumberRole::None, "", {"cbx_rsi_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {108, "UseSellSTK", FieldKind::ConditionUse, NumberRole::None, "", {"cb_stk_s", "cb_stk_and_s", "", ""}, "0", {}, "sell condition \"ｽﾄｷｬｽﾃｨｸｽ%Kが%D\": use"},
    {109, "KbnSellSTK", FieldKind::Choice, NumberRole::None, "", {"cbx_stk_s", "", "", ""}, "1", kComparisonItems, "comparison (period: `AmtBuySTK1`)"},
    {110, "UseSellRCI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_rci_s", "cb_rci_and_s", "", ""}, "0", {}, "sell condition \"RCIが\": use"},
    {111, "AmtSellRCI2", FieldKind::Number, NumberRole::Threshold, "", {"edt_rci2_s", "", "", ""}, "50", {}, "threshold (period: `AmtBuyRCI1`)"},
    {112, "KbnSellRCI", FieldKind::Choice, NumberRole::None, "", {"cbx_rci_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {113, "UseSellWilR", FieldKind::ConditionUse, NumberRole::None, "", {"cb_rally_s", "cb_rally_and_s", "", ""}, "0", {}, "sell condition \"ﾗﾘｰｳｨﾘｱﾑｽﾞ%Rが\": use"},
    {114, "AmtSellWilR2", FieldKind::Number, NumberRole::Threshold, "", {"edt_rally2_s", "", "", ""}, "80", {}, "threshold (period: `AmtBuyWilR1`)"},
    {115, "KbnSellWilR", FieldKind::Choice, NumberRole::None, "", {"cbx_rally_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {116, "UseSellParab", FieldKind::ConditionUse, NumberRole::None, "", {"cb_parbo_s", "cb_parbo_and_s", "", ""}, "0", {}, "sell condition \"ﾊﾟﾗﾎﾞﾘｯｸが\": use"},
    {117, "KbnSellParab", FieldKind::Choice, NumberRole::None, "", {"cbx_parbo_s", "", "", ""}, "1", kTurnItems, "turn"},
    {118, "UseSellWild", FieldKind::ConditionUse, NumberRole::None, "", {"cb_wil_s", "cb_wil_and_s", "", ""}, "0", {}, "sell condition \"ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨが\": use"},
    {119, "KbnSellWild", FieldKind::Choice, NumberRole::None, "", {"cbx_wil_s", "", "", ""}, "1", kTurnItems, "turn"},
    {120, "UseSellVolin", FieldKind::ConditionUse, NumberRole::None, "", {"cb_volin_s", "cb_volin_and_s", "", ""}, "0", {}, "sell condition \"株価がﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞの\": use"},
    {121, "KbnSellVorin", FieldKind::Choice, NumberRole::None, "", {"cbx_volin_s", "", "", ""}, "0", kBandItems, "band and side (period: `AmtBuyVolin`)"},
    {122, "UseSellVRA", FieldKind::ConditionUse, NumberRole::None, "", {"cb_vr_a_s", "cb_vr_a_and_s", "", ""}, "0", {}, "sell condition \"ﾎﾞﾘｭｰﾑﾚｼｵ[A]が\": use"},
    {123, "AmtSellVRA2", FieldKind::Number, NumberRole::Threshold, "", {"edt_vr_a2_s", "", "", ""}, "450", {}, "threshold (period: `AmtBuyVRA1`)"},
    {124, "KbnSellVRA", FieldKind::Choice, NumberRole::None, "", {"cbx_vr_a_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {125, "UseSellVRB", FieldKind::ConditionUse, NumberRole::None, "", {"cb_vr_b_s", "cb_vr_b_and_s", "", ""}, "0", {}, "sell condition \"ﾎﾞﾘｭｰﾑﾚｼｵ[B]が\": use"},
    {126, "AmtSellVRB2", FieldKind::Number, NumberRole::Threshold, "", {"edt_vr_b2_s", "", "", ""}, "75", {}, "threshold (period: `AmtBuyVRA1`)"},
    {127, "KbnSellVRB", FieldKind::Choice, NumberRole::None, "", {"cbx_vr_b_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {128, "UseSellVRW", FieldKind::ConditionUse, NumberRole::None, "", {"cb_vr_wako_s", "cb_vr_wako_and_s", "", ""}, "0", {}, "sell condition \"和光ﾎﾞﾘｭｰﾑﾚｼｵが\": use"},
    {129, "AmtSellVRW2", FieldKind::Number, NumberRole::Threshold, "", {"edt_vr_wako2_s", "", "", ""}, "50", {}, "threshold (period: `AmtBuyVRW1`)"},
    {130, "KbnSellVRW", FieldKind::Choice, NumberRole::None, "", {"cbx_vr_wako_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {131, "UseSellDMI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_dmi_s", "cb_dmi_and_s", "", ""}, "0", {}, "sell condition \"DMIの+DIが-DI\": use"},
    {132, "KbnSellDMI", FieldKind::Choice, NumberRole::None, "", {"cbx_dmi_s", "", "", ""}, "1", kComparisonItems, "comparison (period: `AmtBuyDMI`)"},
    {133, "UseSellMACD", FieldKind::ConditionUse, NumberRole::None, "", {"cb_macd_s", "cb_macd_and_s", "", ""}, "0", {}, "sell condition \"MACDがｼｸﾞﾅﾙ\": use"},
    {134, "KbnSellMACD", FieldKind::Choice, NumberRole::None, "", {"cbx_macd_s", "", "", ""}, "1", kComparisonItems, "comparison (periods: `AmtBuyMACD1`, `AmtBuyMACD2`, `AmtDayMAC_SI`)"},
    {135, "UseSellPSY", FieldKind::ConditionUse, NumberRole::None, "", {"cb_syco_s", "cb_syco_and_s", "", ""}, "0", {}, "sell condition \"ｻｲｺﾛｼﾞｶﾙﾗｲﾝが\": use"},
    {136, "AmtSellPSY2", FieldKind::Number, NumberRole::Threshold, "", {"edt_syco2_s", "", "", ""}, "75", {}, "threshold (period: `AmtBuyPSY1`)"},
    {137, "KbnSellPSY", FieldKind::Choice, NumberRole::None, "", {"cbx_syco_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {138, "UseSellMPSY", FieldKind::ConditionUse, NumberRole::None, "", {"cb_syco_move_s", "cb_syco_move_and_s", "", ""}, "0", {}, "sell condition \"値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝが\": use"},
    {139, "AmtSellMPSY2", FieldKind::Number, NumberRole::Threshold, "", {"edt_syco_move2_s", "", "", ""}, "75", {}, "threshold (period: `AmtBuyMPSY1`)"},
    {140, "KbnSellMPSY", FieldKind::Choice, NumberRole::None, "", {"cbx_syco_move_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {141, "UseBuySTCB", FieldKind::ConditionUse, NumberRole::None, "", {"cb_stk_b", "cb_stk_b_and", "", ""}, "0", {}, "buy condition \"ｽﾄｷｬｽﾃｨｸｽ%Dが%SD\": use"},
    {142, "KbnBuySTCB", FieldKind::Choice, NumberRole::None, "", {"cbx_stk_b", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {143, "UseSellSTCB", FieldKind::ConditionUse, NumberRole::None, "", {"cb_stk_b_s", "cb_stk_b_and_s", "", ""}, "0", {}, "sell condition \"ｽﾄｷｬｽﾃｨｸｽ%Dが%SD\": use"},
    {144, "KbnSellSTCB", FieldKind::Choice, NumberRole::None, "", {"cbx_stk_b_s", "", "", ""}, "1", kComparisonItems, "comparison"},
    {145, "UseBuySTCC", FieldKind::ConditionUse, NumberRole::None, "", {"cb_stk_c", "cb_stk_c_and", "", ""}, "0", {}, "buy condition \"ｽﾄｷｬｽﾃｨｸｽ\": use"},
    {146, "AmtBuySTCC", FieldKind::Number, NumberRole::Threshold, "", {"edt_stk_c", "", "", ""}, "25", {}, "threshold (buy)"},
    {147, "KbnBuySTCC1", FieldKind::Choice, NumberRole::None, "", {"cbx_stk_c1", "", "", ""}, "1", kStochasticsLineItems, "line compared (buy)"},
    {148, "KbnBuySTCC2", FieldKind::Choice, NumberRole::None, "", {"cbx_stk_c2", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {149, "UseSellSTCC", FieldKind::ConditionUse, NumberRole::None, "", {"cb_stk_c_s", "cb_stk_c_and_s", "", ""}, "0", {}, "sell condition \"ｽﾄｷｬｽﾃｨｸｽ\": use"},
    {150, "AmtSellSTCC", FieldKind::Number, NumberRole::Threshold, "", {"edt_stk_c_s", "", "", ""}, "75", {}, "threshold"},
    {151, "KbnSellSTCC1", FieldKind::Choice, NumberRole::None, "", {"cbx_stk_c1_s", "", "", ""}, "1", kStochasticsLineItems, "line compared"},
    {152, "KbnSellSTCC2", FieldKind::Choice, NumberRole::None, "", {"cbx_stk_c2_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {153, "AmtDayOSI", FieldKind::Number, NumberRole::Period, "days", {"edt_osi1", "", "", ""}, "7", {}, "U-OSI period (shared)"},
    {154, "UseBuyOSI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_osi", "cb_osi_and", "", ""}, "0", {}, "buy condition \"U-OSIが\": use"},
    {155, "AmtBuyOSI", FieldKind::Number, NumberRole::Threshold, "", {"edt_osi2", "", "", ""}, "30", {}, "threshold (buy)"},
    {156, "KbnBuyOSI", FieldKind::Choice, NumberRole::None, "", {"cbx_osi", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {157, "UseSellOSI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_osi_s", "cb_osi_and_s", "", ""}, "0", {}, "sell condition \"U-OSIが\": use"},
    {158, "AmtSellOSI", FieldKind::Number, NumberRole::Threshold, "", {"edt_osi2_s", "", "", ""}, "70", {}, "threshold"},
    {159, "KbnSellOSI", FieldKind::Choice, NumberRole::None, "", {"cbx_osi_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {160, "AmtDayCCI", FieldKind::Number, NumberRole::Period, "days", {"edt_cci1", "", "", ""}, "20", {}, "CCI period (shared)"},
    {161, "UseBuyCCI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_cci", "cb_cci_and", "", ""}, "0", {}, "buy condition \"CCIが\": use"},
    {162, "AmtBuyCCI", FieldKind::Number, NumberRole::Threshold, "", {"edt_cci2", "", "", ""}, "-100", {}, "threshold (buy)"},
    {163, "KbnBuyCCI", FieldKind::Choice, NumberRole::None, "", {"cbx_cci", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {164, "UseSellCCI", FieldKind::ConditionUse, NumberRole::None, "", {"cb_cci_s", "cb_cci_and_s", "", ""}, "0", {}, "sell condition \"CCIが\": use"},
    {165, "AmtSellCCI", FieldKind::Number, NumberRole::Threshold, "", {"edt_cci2_s", "", "", ""}, "50", {}, "threshold"},
    {166, "KbnSellCCI", FieldKind::Choice, NumberRole::None, "", {"cbx_cci_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {167, "UseBuyDPO", FieldKind::ConditionUse, NumberRole::None, "", {"cb_dpo", "cb_dpo_and", "", ""}, "0", {}, "buy condition \"DPOが\": use"},
    {168, "AmtBuyDPO", FieldKind::Number, NumberRole::Threshold, "", {"edt_dpo2", "", "", ""}, "-30", {}, "threshold (buy)"},
    {169, "KbnBuyDPO", FieldKind::Choice, NumberRole::None, "", {"cbx_dpo", "", "", ""}, "0", kComparisonItems, "comparison (buy)"},
    {170, "UseSellDPO", FieldKind::ConditionUse, NumberRole::None, "", {"cb_dpo_s", "cb_dpo_and_s", "", ""}, "0", {}, "sell condition \"DPOが\": use"},
    {171, "AmtSellDPO", FieldKind::Number, NumberRole::Threshold, "", {"edt_dpo2_s", "", "", ""}, "50", {}, "threshold"},
    {172, "KbnSellDPO", FieldKind::Choice, NumberRole::None, "", {"cbx_dpo_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {173, "AmtDayDPO", FieldKind::Number, NumberRole::Period, "days", {"edt_dpo1", "", "", ""}, "20", {}, "DPO period (shared)"},
    {174, "AmtDayABRatio", FieldKind::Number, NumberRole::Period, "days", {"edt_abratio1", "", "", ""}, "26", {}, "A ratio and B ratio period (shared)"},
    {175, "UseBuyARatio", FieldKind::ConditionUse, NumberRole::None, "", {"cb_aratio", "cb_aratio_and", "", ""}, "0", {}, "buy condition \"強弱ﾚｼｵのAﾚｼｵが\": use"},
    {176, "AmtBuyARatio", FieldKind::Number, NumberRole::Threshold, "", {"edt_aratio", "", "", ""}, "70", {}, "threshold (buy)"},
    {177, "KbnBuyARatio", FieldKind::Choice, NumberRole::None, "", {"cbx_aratio", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {178, "UseSellARatio", FieldKind::ConditionUse, NumberRole::None, "", {"cb_aratio_s", "cb_aratio_and_s", "", ""}, "0", {}, "sell condition \"強弱ﾚｼｵのAﾚｼｵが\": use"},
    {179, "AmtSellARatio", FieldKind::Number, NumberRole::Threshold, "", {"edt_aratio_s", "", "", ""}, "100", {}, "threshold"},
    {180, "KbnSellARatio", FieldKind::Choice, NumberRole::None, "", {"cbx_aratio_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {181, "UseBuyBRatio", FieldKind::ConditionUse, NumberRole::None, "", {"cb_bratio", "cb_bratio_and", "", ""}, "0", {}, "buy condition \"強弱ﾚｼｵのBﾚｼｵが\": use"},
    {182, "AmtBuyBRatio", FieldKind::Number, NumberRole::Threshold, "", {"edt_bratio", "", "", ""}, "70", {}, "threshold (buy)"},
    {183, "KbnBuyBRatio", FieldKind::Choice, NumberRole::None, "", {"cbx_bratio", "", "", ""}, "1", kComparisonItems, "comparison (buy)"},
    {184, "UseSellBRatio", FieldKind::ConditionUse, NumberRole::None, "", {"cb_bratio_s", "cb_bratio_and_s", "", ""}, "0", {}, "sell condition \"強弱ﾚｼｵのBﾚｼｵが\": use"},
    {185, "AmtSellBRatio", FieldKind::Number, NumberRole::Threshold, "", {"edt_bratio_s", "", "", ""}, "250", {}, "threshold"},
    {186, "KbnSellBRatio", FieldKind::Choice, NumberRole::None, "", {"cbx_bratio_s", "", "", ""}, "0", kComparisonItems, "comparison"},
    {187, "AmtDaySTC_D", FieldKind::Number, NumberRole::Period, "days", {"edt_stk_d", "", "", ""}, "5", {}, "stochastics %D period (shared)"},
    {188, "AmtDaySTC_SD", FieldKind::Number, NumberRole::Period, "days", {"edt_stk_sd", "", "", ""}, "3", {}, "stochastics %SD period (shared)"},
    {189, "AmtDayParaboAf", FieldKind::Number, NumberRole::Factor, "", {"edt_parabo_af", "", "", ""}, "0.02", {}, "parabolic SAR initial acceleration factor (\"加速因子初期値\")"},
    {190, "AmtDayParaboLim", FieldKind::Number, NumberRole::Factor, "", {"edt_parabo_lim", "", "", ""}, "2.0", {}, "parabolic SAR acceleration limit (\"上限\")"},
    {191, "AmtDayWIL", FieldKind::Number, NumberRole::Period, "days", {"edt_wil", "", "", ""}, "7", {}, "Wilder's volatility period (shared)"},
    {192, "AmtDayWIL_VI", FieldKind::Number, NumberRole::Factor, "", {"edt_wil_vi", "", "", ""}, "3", {}, "Wilder's volatility multiple of VI (\"VIの倍数\")"},
    {193, "AmtDayMAC_SI", FieldKind::Number, NumberRole::Period, "days", {"edt_macd3", "", "", ""}, "9", {}, "MACD signal period (shared)"},
};
// clang-format on

// The field number of a key, or nothing for an unknown key (exact, case-sensitive).
constexpr std::optional<int> findJoukenField(std::string_view key)
{
    for (const auto& f : kJoukenFields)
        if (f.key == key)
            return f.no;
    return std::nullopt;
}

// The field number of a key known at compile time; an unknown key does not compile.
consteval int fieldNo(std::string_view key)
{
    const auto no = findJoukenField(key);
    if (!no)
        throw "unknown condition key";
    return *no;
}

// Field number of a key read at run time (condition files); hashed, no linear search.
std::optional<int> lookupJoukenField(std::string_view key);

} // namespace vorteq
