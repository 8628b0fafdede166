#pragma once

// Where the condition editor puts the fields that the condition catalogue does not place: the rows
// of the calculation tab, and the most characters each edit field takes.

#include "conditions/JoukenFields.h"

#include <string_view>

namespace vorteq {

// One field of the calculation tab. Fields of one row stand side by side after the row's heading,
// each after its own label; a period field is followed by "日".
struct CalcTabField {
    int column;               // 0 left, 1 right
    int row;                  // 1.. from the top of the column
    std::string_view heading; // the row's caption, on the row's first field only
    std::string_view label;   // text right before the field; empty when the heading names it
    int field;                // kJoukenFields number
};

inline constexpr CalcTabField kCalcTabFields[] = {
    {0, 1, "移動平均線A", "", fieldNo("AmtBuyIdo")},
    {0, 2, "移動平均線B", "", fieldNo("AmtBuyKairi1")},
    {0, 3, "移動平均線C", "", fieldNo("AmtBuyCloss1")},
    {0, 4, "移動平均線D", "", fieldNo("AmtBuyCloss2")},
    {0, 5, "RSI", "", fieldNo("AmtBuyRSI1")},
    {0, 6, "U-OSI", "", fieldNo("AmtDayOSI")},
    {0, 7, "ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", "", fieldNo("AmtBuyWilR1")},
    {0, 8, "RCI", "", fieldNo("AmtBuyRCI1")},
    {0, 9, "CCI", "", fieldNo("AmtDayCCI")},
    {0, 10, "DPO", "", fieldNo("AmtDayDPO")},
    {0, 11, "強弱レシオ", "", fieldNo("AmtDayABRatio")},
    {1, 1, "ｽﾄｷｬｽﾃｨｸｽ", "%K", fieldNo("AmtBuySTK1")},
    {1, 1, "", "%D", fieldNo("AmtDaySTC_D")},
    {1, 1, "", "%SD", fieldNo("AmtDaySTC_SD")},
    {1, 2, "ﾊﾟﾗﾎﾞﾘｯｸ", "加速因子初期値", fieldNo("AmtDayParaboAf")},
    {1, 2, "", "上限", fieldNo("AmtDayParaboLim")},
    {1, 3, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", "", fieldNo("AmtDayWIL")},
    {1, 3, "", "VIの倍数", fieldNo("AmtDayWIL_VI")},
    {1, 4, "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ", "", fieldNo("AmtBuyVolin")},
    {1, 5, "ﾎﾞﾘｭｰﾑﾚｼｵ[A][B]", "", fieldNo("AmtBuyVRA1")},
    {1, 6, "和光ﾎﾞﾘｭｰﾑﾚｼｵ", "", fieldNo("AmtBuyVRW1")},
    {1, 7, "DMI", "", fieldNo("AmtBuyDMI")},
    {1, 8, "MACD", "ｼｮｰﾄ", fieldNo("AmtBuyMACD1")},
    {1, 8, "", "ﾛﾝｸﾞ", fieldNo("AmtBuyMACD2")},
    {1, 8, "", "ｼｸﾞﾅﾙ", fieldNo("AmtDayMAC_SI")},
    {1, 9, "ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", "", fieldNo("AmtBuyPSY1")},
    {1, 10, "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", "", fieldNo("AmtBuyMPSY1")},
};

// Most characters the edit field of a number field takes; 0 for no limit (the initial capital) and
// for fields that are not numbers. Periods 2, the three factors 3, thresholds 4 (the sell side's
// deviation 3), commission and the profit-taking and loss-cut percentages 3.
int fieldMaxLength(int no);

} // namespace vorteq
