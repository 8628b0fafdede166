#include "screening/ScreeningQuery.h"

#include "screening/ScreeningConditions.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace vorteq;

namespace {

std::size_t indexOf(std::string_view checkBox)
{
    const auto& table = screeningConditions();
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].checkBox == checkBox)
            return i;
    ADD_FAILURE() << "no condition " << checkBox;
    return 0;
}

ScreeningCriteria baseCriteria()
{
    ScreeningCriteria c;
    c.marketPosition = 0;
    c.baseDate = Date{2006, 5, 15};
    return c;
}

void tick(ScreeningCriteria& c, std::string_view checkBox, std::string number, std::vector<int> choices)
{
    ConditionState& s = c.conditions[indexOf(checkBox)];
    s.use = true;
    s.number = std::move(number);
    for (std::size_t i = 0; i < choices.size(); ++i)
        s.choices[i] = choices[i];
}

std::string sqlOf(const ScreeningCriteria& c, std::string_view filter = {})
{
    auto sql = buildScreeningSql(c, filter);
    EXPECT_TRUE(sql.ok()) << (sql.ok() ? "" : sql.error().message);
    return sql.ok() ? *sql : std::string();
}

// The text the ticked conditions add: between the market restriction and the closing joins.
std::string conditionPart(const std::string& sql)
{
    const std::string head = "AND a.MKT_CD = 11 ";
    const std::string tail = " AND a.STK_CD = c.STK_CD ";
    const auto from = sql.find(head);
    const auto to = sql.find(tail);
    if (from == std::string::npos || to == std::string::npos || to < from)
        return "<unexpected statement>";
    return sql.substr(from + head.size(), to - from - head.size());
}

const std::string kColumns =
    "SELECT a.STK_CD, a.STK_NM, b.MKT_NM, c.STK_DATE, c.S_PRICE, c.H_PRICE, c.L_PRICE, c.E_PRICE, "
    "c.STK_VLM, c.PT_RANGE, c.PY_RANGE, c.H_RANGE, c.L_RANGE, c.V_RANGE, c.RENZOKU, c.MA_05, c.MA_15, "
    "c.MA_25, "
    "c.MA_50, c.STC_K, c.STC_D, c.STC_SD, c.RSI, c.U_OSI, c.WIL_R, c.RCI, c.CCI, c.ARATIO, "
    "c.BRATIO, c.PAR_SAR, c.WIL_SAR, c.VOL_P2, c.VOL_M2, c.VOL_P1, c.VOL_M1, c.VR_A, c.VR_B, c.VR_W, "
    "c.DMI_P, c.DMI_M, c.DMI_ADX, c.MACD, c.MACD_S, c.SAI_A, c.SAI_B, a.MKT_CD FROM ";

} // namespace

TEST(ScreeningStatement, AllStocksWithoutConditionsIsTheBareJoin)
{
    EXPECT_EQ(
        sqlOf(baseCriteria()),
        kColumns +
            "STK_INFO a, MKT_INFO b , STK_DAILY_TSE_2006 c WHERE a.MKT_CD = b.MKT_CD AND a.MKT_CD = 11 "
            " AND a.STK_CD = c.STK_CD  AND c.E_PRICE <> 0  AND c.STK_DATE = '2006/05/15' ORDER BY a.STK_CD ");
}

TEST(ScreeningStatement, MarketChoosesCodeAndDailyTableFamily)
{
    struct Case {
        int position;
        const char* code;
        const char* table;
    };
    const Case cases[] = {
        {0, "11", "STK_DAILY_TSE_2006"},
        {1, "12", "STK_DAILY_TSE_2006"},
        {2, "21", "STK_DAILY_DSE_2006"},
        {3, "22", "STK_DAILY_DSE_2006"},
        {4, "91", "STK_DAILY_JSA_2006"},
        {5, "13", "STK_DAILY_TSE_2006"},
        {6, "24", "STK_DAILY_DSE_2006"},
        {7, "999", "STK_DAILY_FX_2006"},
        // Tokyo's segments since 2022 follow the eight and share Tokyo's tables.
        {8, "14", "STK_DAILY_TSE_2006"},
        {9, "15", "STK_DAILY_TSE_2006"},
        {10, "16", "STK_DAILY_TSE_2006"},
    };
    for (const Case& k : cases) {
        ScreeningCriteria c = baseCriteria();
        c.marketPosition = k.position;
        const std::string sql = sqlOf(c);
        EXPECT_NE(sql.find(std::string("MKT_INFO b , ") + k.table + " c WHERE"), std::string::npos) << sql;
        EXPECT_NE(sql.find(std::string("AND a.MKT_CD = ") + k.code + "  AND a.STK_CD = c.STK_CD"),
                  std::string::npos)
            << sql;
    }
    ScreeningCriteria outside = baseCriteria();
    outside.marketPosition = 11;
    EXPECT_FALSE(buildScreeningSql(outside).ok());
}

TEST(ScreeningStatement, JanuaryBaseDateReadsThatYearsTable)
{
    ScreeningCriteria c = baseCriteria();
    c.baseDate = Date{2007, 1, 4};
    const std::string sql = sqlOf(c);
    EXPECT_NE(sql.find(", STK_DAILY_TSE_2007 c "), std::string::npos) << sql;
    EXPECT_NE(sql.find("c.STK_DATE = '2007/01/04' "), std::string::npos) << sql;
}

TEST(ScreeningStatement, StockCodeAndNameMatchByPrefixWithQuotesDoubled)
{
    ScreeningCriteria c = baseCriteria();
    c.stockCode = "13";
    c.stockName = "日本";
    EXPECT_EQ(conditionPart(sqlOf(c)), "AND a.STK_CD LIKE '13%' AND a.STK_NM LIKE '日本%' ");

    c.stockCode = "1' OR '1'='1";
    c.stockName = "O'Neil";
    EXPECT_EQ(conditionPart(sqlOf(c)), "AND a.STK_CD LIKE '1'' OR ''1''=''1%' AND a.STK_NM LIKE 'O''Neil%' ");
}

TEST(ScreeningConditionTable, EveryRowGivesItsFragment)
{
    struct Case {
        const char* checkBox;
        const char* number;
        std::vector<int> choices;
        const char* fragment;
    };
    const std::vector<Case> cases = {
        {"cbx_use_prange", "5", {0}, "AND c.PT_RANGE >= 5 "},
        {"cbx_use_yrange", "-2", {1}, "AND c.PY_RANGE >= -2 AND c.PY_RANGE <= 0 "},
        {"cbx_use_hrange", "3", {1}, "AND c.H_RANGE <= 3 AND c.H_RANGE >= 0 "},
        {"cbx_use_lrange", "-1", {0}, "AND c.L_RANGE <= -1 "},
        {"cbx_use_vrange", "50", {1}, "AND c.V_RANGE <= 50 AND c.V_RANGE >= 0 "},
        {"cbx_use_renzoku", "4", {1, 0}, "AND c.RENZOKU <= 4 AND c.PY_RANGE > 0 "},
        {"cbx_use_ma", "", {2, 0}, "AND c.MA_25 <= c.E_PRICE "},
        {"cbx_use_ma", "", {3, 1}, "AND c.MA_50 >= c.E_PRICE "},
        {"cbx_use_ma_kairi", "-5", {1, 0}, "AND c.MARATIO_15 <= -5 "},
        {"cbx_use_ma_kairi", "4", {3, 1}, "AND c.MARATIO_50 <= 4 AND c.MARATIO_50 >= 0 "},
        {"cbx_use_ma_ma", "", {0, 1, 0}, "AND c.MA_05 >= c.MA_15 "},
        {"cbx_use_ma_ma", "", {3, 2, 1}, "AND c.MA_50 <= c.MA_25 "},
        {"cbx_use_ma_ma_kairi", "-3", {1, 3, 0}, "AND (c.MA_15 - c.MA_50) / c.MA_50 <= -0.03 "},
        {"cbx_use_ma_ma_kairi",
         "-2",
         {2, 0, 1},
         "AND (c.MA_25 - c.MA_05) / c.MA_05 >= -0.02 AND c.MA_25 <= c.MA_05 "},
        {"cbx_use_stk", "80", {1, 0}, "AND c.STC_D >= 80 "},
        {"cbx_use_stk", "20", {2, 1}, "AND c.STC_SD <= 20 AND c.STC_SD >= 0 "},
        {"cbx_use_stk", "-1", {0, 0}, "AND c.STC_K <= -1 "},
        {"cbx_use_rsi", "70", {0}, "AND c.RSI >= 70 "},
        {"cbx_use_osi", "30", {1}, "AND c.U_OSI <= 30 AND c.U_OSI >= 0 "},
        {"cbx_use_wilr", "-20", {0}, "AND c.WIL_R <= -20 "},
        {"cbx_use_rci", "-80", {1}, "AND c.RCI >= -80 AND c.RCI <= 0 "},
        {"cbx_use_cci", "100", {0}, "AND c.CCI >= 100 "},
        {"cbx_use_aratio", "150", {0}, "AND c.ARATIO >= 150 "},
        {"cbx_use_bratio", "70", {1}, "AND c.BRATIO <= 70 AND c.BRATIO >= 0 "},
        {"cbx_use_parab", "", {0}, "AND c.PAR_SAR <= c.E_PRICE "},
        {"cbx_use_parab", "", {1}, "AND c.PAR_SAR >= c.E_PRICE "},
        {"cbx_use_wild", "", {0}, "AND c.WIL_SAR <= c.E_PRICE "},
        {"cbx_use_wild", "", {1}, "AND c.WIL_SAR >= c.E_PRICE "},
        {"cbx_use_voli", "", {0}, "AND c.VOL_P2 <= c.E_PRICE "},
        {"cbx_use_voli", "", {1}, "AND c.VOL_M2 >= c.E_PRICE "},
        {"cbx_use_voli", "", {2}, "AND c.VOL_P1 <= c.E_PRICE "},
        {"cbx_use_voli", "", {3}, "AND c.VOL_M1 >= c.E_PRICE "},
        {"cbx_use_vra", "120", {0}, "AND c.VR_A >= 120 "},
        {"cbx_use_vrb", "80", {1}, "AND c.VR_B <= 80 AND c.VR_B >= 0 "},
        {"cbx_use_vrw", "-1", {1}, "AND c.VR_W >= -1 AND c.VR_W <= 0 "},
        {"cbx_use_dmi", "", {0}, "AND c.DMI_P >= c.DMI_M "},
        {"cbx_use_dmi", "", {1}, "AND c.DMI_P <= c.DMI_M "},
        {"cbx_use_macd", "", {0}, "AND c.MACD >= c.MACD_S "},
        {"cbx_use_macd", "", {1}, "AND c.MACD <= c.MACD_S "},
        {"cbx_use_macd", "", {2}, "AND c.MACD >= 0 "},
        {"cbx_use_macd", "", {3}, "AND c.MACD <= 0 "},
        {"cbx_use_psy", "75", {0}, "AND c.SAI_A >= 75 "},
        {"cbx_use_mpsy", "25", {1}, "AND c.SAI_B <= 25 AND c.SAI_B >= 0 "},
    };
    std::vector<bool> covered(kScreeningConditionCount, false);
    for (const Case& k : cases) {
        ScreeningCriteria c = baseCriteria();
        tick(c, k.checkBox, k.number, k.choices);
        EXPECT_EQ(conditionPart(sqlOf(c)), k.fragment) << k.checkBox;
        covered[indexOf(k.checkBox)] = true;
    }
    for (std::size_t i = 0; i < covered.size(); ++i)
        EXPECT_TRUE(covered[i]) << screeningConditions()[i].checkBox << " has no case";
}

TEST(ScreeningConditionTable, FragmentsFollowTheTableOrderNotTheTickOrder)
{
    ScreeningCriteria c = baseCriteria();
    tick(c, "cbx_use_mpsy", "25", {0});
    tick(c, "cbx_use_rsi", "70", {0});
    tick(c, "cbx_use_prange", "1", {0});
    c.stockCode = "7";
    EXPECT_EQ(conditionPart(sqlOf(c)),
              "AND a.STK_CD LIKE '7%' AND c.PT_RANGE >= 1 AND c.RSI >= 70 AND c.SAI_B >= 25 ");
}

TEST(ScreeningConditionTable, UntickedConditionsAddNothing)
{
    ScreeningCriteria c = baseCriteria();
    c.conditions[indexOf("cbx_use_rsi")].number = "70";
    c.conditions[indexOf("cbx_use_macd")].choices[0] = 2;
    EXPECT_EQ(conditionPart(sqlOf(c)), "");
}

TEST(ScreeningConditionTable, ChoiceOutsideItsListIsRefused)
{
    ScreeningCriteria c = baseCriteria();
    tick(c, "cbx_use_macd", "", {4});
    EXPECT_FALSE(buildScreeningSql(c).ok());
    ScreeningCriteria d = baseCriteria();
    tick(d, "cbx_use_ma_ma", "", {0, -1, 0});
    EXPECT_FALSE(buildScreeningSql(d).ok());
}

TEST(SignedThreshold, SignOfTheNumberChoosesTheDirection)
{
    struct Case {
        const char* checkBox;
        const char* number;
        int op;
        const char* fragment;
    };
    const Case cases[] = {
        // 以上 with -5: a fall of 5 percent or more.
        {"cbx_use_prange", "-5", 0, "AND c.PT_RANGE <= -5 "},
        // 以下 with 3: between 0 and 3.
        {"cbx_use_prange", "3", 1, "AND c.PT_RANGE <= 3 AND c.PT_RANGE >= 0 "},
        // 以下 with 0: both forms select exactly zero, by different texts.
        {"cbx_use_prange", "0", 1, "AND c.PT_RANGE <= 0 AND c.PT_RANGE >= 0 "},
        {"cbx_use_hrange", "0", 1, "AND c.H_RANGE >= 0 AND c.H_RANGE <= 0 "},
        {"cbx_use_lrange", "0", 1, "AND c.L_RANGE >= 0 AND c.L_RANGE <= 0 "},
        {"cbx_use_vrange", "0", 1, "AND c.V_RANGE >= 0 AND c.V_RANGE <= 0 "},
        {"cbx_use_yrange", "0", 1, "AND c.PY_RANGE <= 0 AND c.PY_RANGE >= 0 "},
        {"cbx_use_prange", "0", 0, "AND c.PT_RANGE >= 0 "},
        // The typed text goes in literally.
        {"cbx_use_prange", "+5", 0, "AND c.PT_RANGE >= +5 "},
        {"cbx_use_rsi", "5.", 1, "AND c.RSI <= 5. AND c.RSI >= 0 "},
        {"cbx_use_rsi", "-.5", 0, "AND c.RSI <= -.5 "},
    };
    for (const Case& k : cases) {
        ScreeningCriteria c = baseCriteria();
        tick(c, k.checkBox, k.number, {k.op});
        EXPECT_EQ(conditionPart(sqlOf(c)), k.fragment) << k.checkBox << " " << k.number;
    }
}

TEST(SignedThreshold, RenzokuOperatorIgnoresTheSign)
{
    ScreeningCriteria c = baseCriteria();
    tick(c, "cbx_use_renzoku", "3", {0, 1});
    EXPECT_EQ(conditionPart(sqlOf(c)), "AND c.RENZOKU >= 3 AND c.PY_RANGE < 0 ");
}

TEST(AverageDeviation, TypedPercentBecomesAFraction)
{
    ScreeningCriteria c = baseCriteria();
    tick(c, "cbx_use_ma_ma_kairi", "5", {0, 1, 0});
    EXPECT_EQ(conditionPart(sqlOf(c)), "AND (c.MA_05 - c.MA_15) / c.MA_15 >= 0.05 ");

    ScreeningCriteria worked = baseCriteria();
    tick(worked, "cbx_use_ma_ma_kairi", "3", {0, 2, 1});
    EXPECT_EQ(conditionPart(sqlOf(worked)),
              "AND (c.MA_05 - c.MA_25) / c.MA_25 <= 0.03 AND c.MA_05 >= c.MA_25 ");

    ScreeningCriteria small = baseCriteria();
    tick(small, "cbx_use_ma_ma_kairi", ".5", {0, 1, 0});
    EXPECT_EQ(conditionPart(sqlOf(small)), "AND (c.MA_05 - c.MA_15) / c.MA_15 >= 0.005 ");

    ScreeningCriteria zero = baseCriteria();
    tick(zero, "cbx_use_ma_ma_kairi", "0", {1, 0, 1});
    EXPECT_EQ(conditionPart(sqlOf(zero)), "AND (c.MA_15 - c.MA_05) / c.MA_05 <= 0 AND c.MA_15 >= c.MA_05 ");
}

TEST(NumberCheck, FirstTickedFailureInTableOrderWins)
{
    ScreeningCriteria c = baseCriteria();
    tick(c, "cbx_use_rsi", "", {0});
    tick(c, "cbx_use_vrange", "ab", {0});
    auto failure = search_check_numbers(c);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->condition, indexOf("cbx_use_vrange"));
    EXPECT_EQ(failure->message, "検索条件には数値を入力してください。");
    EXPECT_FALSE(buildScreeningSql(c).ok());

    c.conditions[indexOf("cbx_use_vrange")].number = "7";
    failure = search_check_numbers(c);
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->condition, indexOf("cbx_use_rsi"));
    EXPECT_EQ(failure->message, "検索条件の数値が入力されていません。");
    EXPECT_EQ(screeningConditions()[failure->condition].tab, ScreeningTab::Technical);
    EXPECT_EQ(screeningConditions()[failure->condition].numberControl()->name, "edt_use_rsi");
}

TEST(NumberCheck, UntickedFieldsAndChoiceOnlyRowsAreNotLookedAt)
{
    ScreeningCriteria c = baseCriteria();
    c.conditions[indexOf("cbx_use_prange")].number = "abc";
    c.conditions[indexOf("cbx_use_mpsy")].number = "";
    tick(c, "cbx_use_macd", "", {1});
    tick(c, "cbx_use_ma", "", {0, 0});
    EXPECT_FALSE(search_check_numbers(c).has_value());
    EXPECT_TRUE(buildScreeningSql(c).ok());
}

TEST(NumberCheck, OnlyDecimalNumbersPass)
{
    for (const char* bad : {"1-", "5%", "0x1", "inf", "nan", "1,0", " "}) {
        ScreeningCriteria c = baseCriteria();
        tick(c, "cbx_use_cci", bad, {0});
        EXPECT_TRUE(search_check_numbers(c).has_value()) << bad;
    }
    for (const char* good : {"-99", "1.5", ".5", "+5", "1e2"}) {
        ScreeningCriteria c = baseCriteria();
        tick(c, "cbx_use_cci", good, {0});
        EXPECT_FALSE(search_check_numbers(c).has_value()) << good;
    }
}
