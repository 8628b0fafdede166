// The names that stored condition files, the database and the calculation tab depend on, pinned to
// their values: an edit of an indicator's entry that changes a stored key, a default, a limit, a
// label, the tab's order or a daily-table column fails here, not in a user's file.
#include "common/NumberText.h"
#include "conditions/EditorLayout.h"
#include "conditions/JoukenFields.h"
#include "conditions/ValidationTable.h"
#include "indicators/IndicatorTable.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

using namespace vorteq;

namespace {

struct Pinned {
    const char* key;
    const char* member;
    ParamKind kind;
    long double defaultValue;
    long double upperLimit;
    int lowerLimit;
    const char* checkLabel;
    int column;
    int row;
    const char* heading;
    const char* label;
    ExtraRule extra;
    bool emptyKeepsDefault;
};

// In the order of the calculation tab, which is also the order of the number check.
const Pinned kPinned[] = {
    {"AmtBuyIdo", "DayIdo1", ParamKind::Period, 5, 50, 1, "移動平均線A", 0, 1, "移動平均線A", "",
     ExtraRule::None, false},
    {"AmtBuyKairi1", "DayIdo2", ParamKind::Period, 15, 50, 1, "移動平均線B", 0, 2, "移動平均線B", "",
     ExtraRule::None, false},
    {"AmtBuyCloss1", "DayIdo3", ParamKind::Period, 25, 50, 1, "移動平均線C", 0, 3, "移動平均線C", "",
     ExtraRule::None, false},
    {"AmtBuyCloss2", "DayIdo4", ParamKind::Period, 50, 50, 1, "移動平均線D", 0, 4, "移動平均線D", "",
     ExtraRule::None, false},
    {"AmtBuyRSI1", "DayRSI", ParamKind::Period, 9, 50, 1, "RSI", 0, 5, "RSI", "", ExtraRule::None, false},
    {"AmtDayOSI", "DayOSI", ParamKind::Period, 7, 15, 1, "U-OSI", 0, 6, "U-OSI", "", ExtraRule::None, false},
    {"AmtBuyWilR1", "DayWilR", ParamKind::Period, 10, 50, 1, "ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", 0, 7, "ﾗﾘｰｳｨﾘｱﾑｽﾞ%R", "",
     ExtraRule::None, false},
    {"AmtBuyRCI1", "DayRCI", ParamKind::Period, 9, 50, 1, "RCI", 0, 8, "RCI", "", ExtraRule::None, true},
    {"AmtDayCCI", "DayCCI", ParamKind::Period, 20, 25, 1, "CCI", 0, 9, "CCI", "", ExtraRule::None, false},
    {"AmtDayDPO", "DayDPO", ParamKind::Period, 20, 35, 1, "DPO", 0, 10, "DPO", "", ExtraRule::Even, false},
    {"AmtDayABRatio", "DayABRatio", ParamKind::Period, 26, 50, 1, "強弱レシオ", 0, 11, "強弱レシオ", "",
     ExtraRule::None, false},
    {"AmtBuySTK1", "DaySTC_K", ParamKind::Period, 9, 25, 1, "ｽﾄｷｬｽﾃｨｸｽ%K", 1, 1, "ｽﾄｷｬｽﾃｨｸｽ", "%K",
     ExtraRule::None, false},
    {"AmtDaySTC_D", "DaySTC_D", ParamKind::Period, 5, 15, 1, "%D", 1, 1, "", "%D", ExtraRule::None, false},
    {"AmtDaySTC_SD", "DaySTC_SD", ParamKind::Period, 3, 15, 1, "%SD", 1, 1, "", "%SD", ExtraRule::None,
     false},
    {"AmtDayParaboAf", "ParaboAfStep", ParamKind::Factor, 0.02L, 1, 0, "加速因子初期値", 1, 2, "ﾊﾟﾗﾎﾞﾘｯｸ",
     "加速因子初期値", ExtraRule::None, false},
    {"AmtDayParaboLim", "ParaboAfLim", ParamKind::Factor, 2.0L, 3, 0, "上限", 1, 2, "", "上限",
     ExtraRule::None, false},
    {"AmtDayWIL", "DayWIL", ParamKind::Period, 7, 50, 1, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", 1, 3, "ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ", "",
     ExtraRule::None, false},
    {"AmtDayWIL_VI", "WIL_VI", ParamKind::Factor, 3.0L, 5, 0, "VIの倍数", 1, 3, "", "VIの倍数",
     ExtraRule::None, false},
    {"AmtBuyVolin", "DayVolin", ParamKind::Period, 20, 50, 1, "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ", 1, 4, "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ", "",
     ExtraRule::None, false},
    {"AmtBuyVRA1", "DayVR", ParamKind::Period, 14, 50, 1, "ﾎﾞﾘｭｰﾑﾚｼｵ[A][B]", 1, 5, "ﾎﾞﾘｭｰﾑﾚｼｵ[A][B]", "",
     ExtraRule::None, false},
    {"AmtBuyVRW1", "DayVRW", ParamKind::Period, 14, 50, 1, "和光ﾎﾞﾘｭｰﾑﾚｼｵ", 1, 6, "和光ﾎﾞﾘｭｰﾑﾚｼｵ", "",
     ExtraRule::None, false},
    {"AmtBuyDMI", "DayDMI", ParamKind::Period, 14, 25, 1, "DMI", 1, 7, "DMI", "", ExtraRule::None, false},
    {"AmtBuyMACD1", "DayMACShort", ParamKind::Period, 12, 30, 1, "ｼｮｰﾄ", 1, 8, "MACD", "ｼｮｰﾄ",
     ExtraRule::None, false},
    {"AmtBuyMACD2", "DayMACLong", ParamKind::Period, 26, 30, 1, "ﾛﾝｸﾞ", 1, 8, "", "ﾛﾝｸﾞ",
     ExtraRule::GreaterThanShort, false},
    {"AmtDayMAC_SI", "DayMAC_SI", ParamKind::Period, 9, 25, 1, "ｼｸﾞﾅﾙ", 1, 8, "", "ｼｸﾞﾅﾙ", ExtraRule::None,
     false},
    {"AmtBuyPSY1", "DayPSY", ParamKind::Period, 12, 25, 1, "ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", 1, 9, "ｻｲｺﾛｼﾞｶﾙﾗｲﾝ", "",
     ExtraRule::None, false},
    {"AmtBuyMPSY1", "DayMPSY", ParamKind::Period, 12, 25, 1, "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ", 1, 10, "値動きｻｲｺﾛｼﾞｶﾙﾗｲﾝ",
     "", ExtraRule::None, false},
};

const TableParam& paramOf(std::string_view key)
{
    const TableParam* p = findTableParam(key);
    EXPECT_NE(p, nullptr) << key;
    static const TableParam none{};
    return p ? *p : none;
}

} // namespace

TEST(IndicatorTablePins, ParametersKeepTheirKeysDefaultsAndLimits)
{
    ASSERT_EQ(tableParams().size(), std::size(kPinned));
    for (const Pinned& pin : kPinned) {
        const TableParam& p = paramOf(pin.key);
        ASSERT_NE(p.def, nullptr);
        EXPECT_EQ(p.def->member, pin.member) << pin.key;
        EXPECT_EQ(p.def->kind, pin.kind) << pin.key;
        EXPECT_EQ(p.def->defaultValue, pin.defaultValue) << pin.key;
        EXPECT_EQ(p.def->check.upperLimit, pin.upperLimit) << pin.key;
        EXPECT_EQ(p.def->check.lowerLimit, pin.lowerLimit) << pin.key;
        EXPECT_EQ(p.def->check.label, pin.checkLabel) << pin.key;
        EXPECT_EQ(p.def->check.extra, pin.extra) << pin.key;
        EXPECT_EQ(p.def->check.emptyKeepsDefault, pin.emptyKeepsDefault) << pin.key;
        EXPECT_EQ(defaultParamValues()[p.index], pin.defaultValue) << pin.key;
    }
}

TEST(IndicatorTablePins, CalculationTabAndNumberCheckKeepTheirOrderAndTexts)
{
    const auto tab = calcTabFields();
    const auto rules = parameterRules();
    ASSERT_EQ(tab.size(), std::size(kPinned));
    ASSERT_EQ(rules.size(), std::size(kPinned));
    for (std::size_t k = 0; k < std::size(kPinned); ++k) {
        const Pinned& pin = kPinned[k];
        EXPECT_EQ(kJoukenFields[tab[k].field].key, pin.key) << k;
        EXPECT_EQ(tab[k].column, pin.column) << pin.key;
        EXPECT_EQ(tab[k].row, pin.row) << pin.key;
        EXPECT_EQ(tab[k].heading, pin.heading) << pin.key;
        EXPECT_EQ(tab[k].label, pin.label) << pin.key;
        EXPECT_EQ(kJoukenFields[rules[k].field].key, pin.key) << k;
        EXPECT_EQ(rules[k].label, pin.checkLabel) << pin.key;
        EXPECT_EQ(rules[k].integer, pin.kind == ParamKind::Period) << pin.key;
        EXPECT_EQ(rules[k].upperLimit, pin.upperLimit) << pin.key;
    }
}

TEST(IndicatorTablePins, ParametersAgreeWithTheConditionRecord)
{
    // Every period and factor of the record is a parameter of exactly one indicator, of the same
    // kind, and the editor's initial text reads as the engine's default.
    std::map<std::string_view, int> places;
    for (const TableParam& p : tableParams())
        ++places[p.def->key];
    for (const JoukenFieldDef& f : kJoukenFields) {
        const bool parameter = f.role == NumberRole::Period || f.role == NumberRole::Factor;
        EXPECT_EQ(places.count(f.key) ? places[f.key] : 0, parameter ? 1 : 0) << f.key;
        if (!parameter)
            continue;
        const TableParam& p = paramOf(f.key);
        ASSERT_NE(p.def, nullptr);
        EXPECT_EQ(p.def->kind == ParamKind::Period, f.role == NumberRole::Period) << f.key;
        EXPECT_EQ(parseNumber(f.defaultValue), std::optional<long double>(p.def->defaultValue)) << f.key;
    }
}

TEST(IndicatorTablePins, RoundedAndWholeFieldsAreThoseOfToday)
{
    // The fields the final pass truncates to two decimals (an empty one reads "0"), and the two whole
    // rates; every other computed field is written as computed.
    const std::vector<std::string_view> rounded = {"ZenjituRate",
                                                   "ToujituRate",
                                                   "UpperShadowRate",
                                                   "LowerShadowRate",
                                                   "VlmRate",
                                                   "IdoAvg1",
                                                   "IdoAvg2",
                                                   "IdoAvg3",
                                                   "IdoAvg4",
                                                   "Kairi1",
                                                   "Kairi2",
                                                   "Kairi3",
                                                   "Kairi4",
                                                   "RSI",
                                                   "CCI",
                                                   "DPO",
                                                   "ARatio",
                                                   "BRatio",
                                                   "WilR",
                                                   "OSI",
                                                   "RCI",
                                                   "PSY",
                                                   "MPSY",
                                                   "VRA",
                                                   "VRB",
                                                   "VRW",
                                                   "STC_K",
                                                   "STC_D",
                                                   "STC_SD",
                                                   "MACSignal",
                                                   "MACD",
                                                   "PlusDI",
                                                   "MinusDI",
                                                   "ADX",
                                                   "ParaboSAR",
                                                   "WilSAR",
                                                   "VolinPlus1",
                                                   "VolinMinus1",
                                                   "VolinPlus2",
                                                   "VolinMinus2"};
    std::vector<std::string_view> derived;
    for (const DayField f : outputsOfKind(OutputKind::Rounded))
        derived.push_back(kDayFieldNames[static_cast<std::size_t>(pos(f))]);
    std::vector<std::string_view> expected = rounded;
    std::sort(expected.begin(), expected.end());
    std::sort(derived.begin(), derived.end());
    EXPECT_EQ(derived, expected);

    std::vector<DayField> whole(outputsOfKind(OutputKind::Whole).begin(),
                                outputsOfKind(OutputKind::Whole).end());
    EXPECT_EQ(whole, (std::vector<DayField>{DayField::VlmRateInt, DayField::ZenjituRateInt}));
}

TEST(IndicatorTablePins, RecursiveIndicatorsKeepTheirOrder)
{
    // Pass 4's order decides which missing value a run reports first.
    std::vector<std::string_view> pass4;
    for (const IndicatorDef* ind : indicatorTable())
        for (const IndicatorStage& stage : ind->stages)
            if (stage.pass == 4)
                pass4.push_back(ind->name);
    EXPECT_EQ(pass4,
              (std::vector<std::string_view>{"RSI", "Parabolic", "Renzoku", "WilderVolatility", "MACD"}));
}

// The server's daily tables keep these columns after the prices, in this order; a database made
// before must still read the same. The importer and the schema take them from the table (the
// importer's tests check which field each column holds).
TEST(IndicatorTablePins, PrecomputedColumnsKeepTheDailyTableLayout)
{
    const std::vector<std::string_view> expected = {
        "PT_RANGE", "PY_RANGE", "H_RANGE",    "L_RANGE",    "V_RANGE",    "RENZOKU",    "MA_05",  "MA_15",
        "MA_25",    "MA_50",    "MARATIO_05", "MARATIO_15", "MARATIO_25", "MARATIO_50", "STC_K",  "STC_D",
        "STC_SD",   "RSI",      "U_OSI",      "WIL_R",      "RCI",        "CCI",        "ARATIO", "BRATIO",
        "PAR_SAR",  "WIL_SAR",  "VOL_P2",     "VOL_M2",     "VOL_P1",     "VOL_M1",     "VR_A",   "VR_B",
        "VR_W",     "DMI_P",    "DMI_M",      "DMI_ADX",    "MACD",       "MACD_S",     "SAI_A",  "SAI_B",
    };
    std::vector<std::string_view> names;
    for (const PrecomputedColumn& c : precomputedColumns()) {
        names.push_back(c.name);
        // Only the count of consecutive days is kept as an integer.
        EXPECT_EQ(c.number == ColumnNumber::Integer, c.field == DayField::RenzokuDays) << c.name;
    }
    EXPECT_EQ(names, expected);
}
