#include "screening/ScreeningConditions.h"

#include <initializer_list>

namespace vorteq {

namespace {

using Items = std::span<const std::string_view>;

constexpr std::array<std::string_view, 2> kAboveBelow{"以上", "以下"};
constexpr std::array<std::string_view, 2> kRiseFall{"上昇", "下落"};
constexpr std::array<std::string_view, 4> kPeriods{"5日", "15日", "25日", "50日"};
constexpr std::array<std::string_view, 3> kStochasticLines{"%K", "%D", "%SD"};
constexpr std::array<std::string_view, 3> kStochasticColumns{"STC_K", "STC_D", "STC_SD"};
constexpr std::array<std::string_view, 2> kSarItems{"株価がSAR以上", "株価がSAR以下"};
constexpr std::array<std::string_view, 2> kParabolicFragments{"AND c.PAR_SAR <= c.E_PRICE ",
                                                              "AND c.PAR_SAR >= c.E_PRICE "};
constexpr std::array<std::string_view, 2> kWilderFragments{"AND c.WIL_SAR <= c.E_PRICE ",
                                                           "AND c.WIL_SAR >= c.E_PRICE "};
constexpr std::array<std::string_view, 4> kBandItems{"株価が2σ以上", "株価が-2σ以下", "株価が1σ以上",
                                                     "株価が-1σ以下"};
constexpr std::array<std::string_view, 4> kBandFragments{
    "AND c.VOL_P2 <= c.E_PRICE ", "AND c.VOL_M2 >= c.E_PRICE ", "AND c.VOL_P1 <= c.E_PRICE ",
    "AND c.VOL_M1 >= c.E_PRICE "};
constexpr std::array<std::string_view, 2> kDmiItems{"+DI が-DI以上", "+DI が-DI以下"};
constexpr std::array<std::string_view, 2> kDmiFragments{"AND c.DMI_P >= c.DMI_M ", "AND c.DMI_P <= c.DMI_M "};
constexpr std::array<std::string_view, 4> kMacdItems{"MACDがｼｸﾞﾅﾙ以上", "MACDがｼｸﾞﾅﾙ以下", "MACDが0以上",
                                                     "MACDが0以下"};
constexpr std::array<std::string_view, 4> kMacdFragments{"AND c.MACD >= c.MACD_S ", "AND c.MACD <= c.MACD_S ",
                                                         "AND c.MACD >= 0 ", "AND c.MACD <= 0 "};

constexpr ConditionControl number(std::string_view name, std::string_view unit = {})
{
    return ConditionControl{InputKind::Number, name, {}, 0, unit};
}

constexpr ConditionControl choice(std::string_view name, Items items, int initial = 0)
{
    return ConditionControl{InputKind::Choice, name, items, initial, {}};
}

struct Place {
    ScreeningTab tab;
    int column;
    int row;
};

constexpr ScreeningCondition row(std::string_view checkBox, std::string_view caption,
                                 std::initializer_list<ConditionControl> controls, FragmentRule rule,
                                 Place place)
{
    ScreeningCondition c;
    c.checkBox = checkBox;
    c.caption = caption;
    for (const ConditionControl& control : controls)
        c.controls[c.controlCount++] = control;
    c.rule = rule;
    c.tab = place.tab;
    c.gridColumn = place.column;
    c.gridRow = place.row;
    return c;
}

// A number and "以上"/"以下" against one column of the daily table.
constexpr ScreeningCondition threshold(std::string_view checkBox, std::string_view caption,
                                       std::string_view edit, std::string_view list, std::string_view column,
                                       Place place, std::string_view unit = {}, bool strictBelowSign = false)
{
    ScreeningCondition c = row(checkBox, caption, {number(edit, unit), choice(list, kAboveBelow)},
                               FragmentRule::SignedThreshold, place);
    c.column = column;
    c.strictBelowSign = strictBelowSign;
    return c;
}

constexpr ScreeningCondition fixedChoice(std::string_view checkBox, std::string_view caption,
                                         std::string_view list, Items items, Items fragments, Place place)
{
    ScreeningCondition c = row(checkBox, caption, {choice(list, items)}, FragmentRule::FixedChoice, place);
    c.fragments = fragments;
    return c;
}

constexpr ScreeningTab kA = ScreeningTab::Additional;
constexpr ScreeningTab kB = ScreeningTab::Technical;

constexpr std::array<ScreeningCondition, kScreeningConditionCount> kConditions{{
    // "追加条件A", left column: the day's price and volume changes. The deviation ratios and the
    // volume change keep "以下" on the positive side only for a number above zero.
    threshold("cbx_use_prange", "株価当日比", "edt_prange", "cbx_prange", "PT_RANGE", {kA, 0, 0}, "%"),
    threshold("cbx_use_yrange", "株価前日比", "edt_yrange", "cbx_yrange", "PY_RANGE", {kA, 0, 1}, "%"),
    threshold("cbx_use_hrange", "高値ｶｲﾘ率", "edt_hrange", "cbx_hrange", "H_RANGE", {kA, 0, 2}, "%", true),
    threshold("cbx_use_lrange", "安値ｶｲﾘ率", "edt_lrange", "cbx_lrange", "L_RANGE", {kA, 0, 3}, "%", true),
    threshold("cbx_use_vrange", "出来高前日比", "edt_vrange", "cbx_vrange", "V_RANGE", {kA, 0, 4}, "%", true),
    // "追加条件A", right column: runs and moving averages. The two-average pairs start as 5 against 15 days.
    row("cbx_use_renzoku", "株価の連続騰落日数",
        {number("edt_use_renzoku", "日"), choice("cb_use_renzoku1", kAboveBelow),
         choice("cb_use_renzoku2", kRiseFall)},
        FragmentRule::RenzokuDays, {kA, 1, 0}),
    row("cbx_use_ma", "株価と移動平均線", {choice("cb_use_ma1", kPeriods), choice("cb_use_ma2", kAboveBelow)},
        FragmentRule::AverageAgainstClose, {kA, 1, 1}),
    row("cbx_use_ma_kairi", "株価と移動平均線のｶｲﾘ率",
        {choice("cb_use_ma_kairi1", kPeriods), number("edt_use_ma_kairi", "%"),
         choice("cb_use_ma_kairi2", kAboveBelow)},
        FragmentRule::AverageDeviation, {kA, 1, 2}),
    row("cbx_use_ma_ma", "移動平均線と移動平均線",
        {choice("cb_use_ma_ma1", kPeriods), choice("cb_use_ma_ma2", kPeriods, 1),
         choice("cb_use_ma_ma3", kAboveBelow)},
        FragmentRule::AverageAgainstAverage, {kA, 1, 3}),
    row("cbx_use_ma_ma_kairi", "移動平均線と移動平均線のｶｲﾘ率",
        {choice("cb_use_ma_ma_kairi1", kPeriods), choice("cb_use_ma_ma_kairi2", kPeriods, 1),
         number("edt_use_ma_ma_kairi", "%"), choice("cb_use_ma_ma_kairi3", kAboveBelow)},
        FragmentRule::AverageAverageDeviation, {kA, 1, 4}),
    // "追加条件B", four columns of oscillators, SARs, bands, volume ratios, DMI, MACD and the psychological
    // lines.
    [] {
        ScreeningCondition c = row("cbx_use_stk", "ｽﾄｷｬｽﾃｨｸｽ",
                                   {choice("cb_use_stk1", kStochasticLines), number("edt_use_stk"),
                                    choice("cb_use_stk2", kAboveBelow)},
                                   FragmentRule::StochasticThreshold, {kB, 0, 0});
        c.fragments = kStochasticColumns;
        return c;
    }(),
    threshold("cbx_use_rsi", "RSI", "edt_use_rsi", "cb_use_rsi", "RSI", {kB, 0, 1}),
    threshold("cbx_use_osi", "U-OSI", "edt_use_osi", "cb_use_osi", "U_OSI", {kB, 0, 2}),
    threshold("cbx_use_wilr", "ｳｨﾘｱﾑｽﾞ%R", "edt_use_wilr", "cb_use_wilr", "WIL_R", {kB, 0, 3}),
    threshold("cbx_use_rci", "RCI", "edt_use_rci", "cb_use_rci", "RCI", {kB, 0, 4}),
    threshold("cbx_use_cci", "CCI", "edt_use_cci", "cb_use_cci", "CCI", {kB, 1, 0}),
    threshold("cbx_use_aratio", "Aﾚｼｵ", "edt_use_aratio", "cb_use_aratio", "ARATIO", {kB, 1, 1}),
    threshold("cbx_use_bratio", "Bﾚｼｵ", "edt_use_bratio", "cb_use_bratio", "BRATIO", {kB, 1, 2}),
    fixedChoice("cbx_use_parab", "ﾊﾟﾗﾎﾞﾘｯｸSAR", "cb_use_parab", kSarItems, kParabolicFragments, {kB, 1, 3}),
    fixedChoice("cbx_use_wild", "ﾜｲﾙﾀﾞｰｽﾞSAR", "cb_use_wild", kSarItems, kWilderFragments, {kB, 1, 4}),
    fixedChoice("cbx_use_voli", "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ", "cb_use_voli", kBandItems, kBandFragments, {kB, 2, 0}),
    threshold("cbx_use_vra", "ﾎﾞﾘｭｰﾑﾚｼｵ[A]", "edt_use_vra", "cb_use_vra", "VR_A", {kB, 2, 1}),
    threshold("cbx_use_vrb", "ﾎﾞﾘｭｰﾑﾚｼｵ[B]", "edt_use_vrb", "cb_use_vrb", "VR_B", {kB, 2, 2}),
    threshold("cbx_use_vrw", "和光ﾎﾞﾘｭｰﾑﾚｼｵ", "edt_use_vrw", "cb_use_vrw", "VR_W", {kB, 2, 3}),
    fixedChoice("cbx_use_dmi", "DMI", "cb_use_dmi", kDmiItems, kDmiFragments, {kB, 2, 4}),
    fixedChoice("cbx_use_macd", "MACD", "cb_use_macd", kMacdItems, kMacdFragments, {kB, 3, 0}),
    threshold("cbx_use_psy", "ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", "edt_use_psy", "cb_use_psy", "SAI_A", {kB, 3, 1}),
    threshold("cbx_use_mpsy", "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", "edt_use_mpsy", "cb_use_mpsy", "SAI_B", {kB, 3, 2}),
}};

} // namespace

const std::array<ScreeningCondition, kScreeningConditionCount>& screeningConditions()
{
    return kConditions;
}

} // namespace vorteq
