#pragma once

#include <array>
#include <string_view>

namespace vorteq {

// One column of the screening result: the list header and the column the SELECT reads.
struct StockListColumn {
    std::string_view header; // empty for the hidden market code
    std::string_view source; // "a.STK_CD", "c.RSI", ...
};

// The 46 result columns in SELECT order. The list shows the first 45; the market code comes last and
// stays hidden in the list, where a row selection reads it back.
inline constexpr std::array<StockListColumn, 46> kStockListColumns{{
    {"銘柄コード", "a.STK_CD"},
    {"銘柄名称", "a.STK_NM"},
    {"上場市場", "b.MKT_NM"},
    {"日付", "c.STK_DATE"},
    {"始値", "c.S_PRICE"},
    {"高値", "c.H_PRICE"},
    {"安値", "c.L_PRICE"},
    {"終値", "c.E_PRICE"},
    {"出来高", "c.STK_VLM"},
    {"株価当日比", "c.PT_RANGE"},
    {"株価前日比", "c.PY_RANGE"},
    {"高値ｶｲﾘ率", "c.H_RANGE"},
    {"安値ｶｲﾘ率", "c.L_RANGE"},
    {"出来高前日比", "c.V_RANGE"},
    {"連続騰落日数", "c.RENZOKU"},
    {"移動平均線5日", "c.MA_05"},
    {"移動平均線15日", "c.MA_15"},
    {"移動平均線25日", "c.MA_25"},
    {"移動平均線50日", "c.MA_50"},
    {"ｽﾄｷｬｽﾃｨｸｽ%K", "c.STC_K"},
    {"ｽﾄｷｬｽﾃｨｸｽ%D", "c.STC_D"},
    {"ｽﾄｷｬｽﾃｨｸｽ%SD", "c.STC_SD"},
    {"RSI", "c.RSI"},
    {"U-OSI", "c.U_OSI"},
    {"ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", "c.WIL_R"},
    {"RCI", "c.RCI"},
    {"CCI", "c.CCI"},
    {"Aﾚｼｵ", "c.ARATIO"},
    {"Bﾚｼｵ", "c.BRATIO"},
    {"ﾊﾟﾗﾎﾞﾘｯｸ", "c.PAR_SAR"},
    {"ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", "c.WIL_SAR"},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+2σ", "c.VOL_P2"},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-2σ", "c.VOL_M2"},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ+1σ", "c.VOL_P1"},
    {"ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ-1σ", "c.VOL_M1"},
    {"ﾎﾞﾘｭｰﾑﾚｼｵA", "c.VR_A"},
    {"ﾎﾞﾘｭｰﾑﾚｼｵB", "c.VR_B"},
    {"和光ﾎﾞﾘｭｰﾑﾚｼｵ", "c.VR_W"},
    {"+DI", "c.DMI_P"},
    {"-DI", "c.DMI_M"},
    {"ADX", "c.DMI_ADX"},
    {"MACD", "c.MACD"},
    {"ｼｸﾞﾅﾙ", "c.MACD_S"},
    {"ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", "c.SAI_A"},
    {"値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", "c.SAI_B"},
    {"", "a.MKT_CD"},
}};

// Columns the list shows (0..44); the hidden market code is column 45.
inline constexpr int kStockListVisibleColumns = 45;
inline constexpr int kStockListMarketCodeColumn = 45;

} // namespace vorteq
