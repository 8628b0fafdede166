#include "conditions/JoukenValidation.h"

#include "conditions/ValidationTable.h"

#include <gtest/gtest.h>
#include <string>

using namespace vorteq;

namespace {

// The editor's initial state: every number valid, no condition in force.
TJouken valid()
{
    return TJouken::defaults();
}

void set(TJouken& record, std::string_view key, std::string_view text)
{
    ASSERT_TRUE(record.set(key, text)) << key;
}

// The failure of a record as "key: message", or "pass".
std::string outcome(const TJouken& record)
{
    const auto failed = validateJouken(record);
    if (!failed)
        return "pass";
    return std::string(kJoukenFields[failed->field].key) + ": " + std::string(failed->message);
}

std::string withValue(std::string_view key, std::string_view text)
{
    TJouken record = valid();
    record.set(key, text);
    return outcome(record);
}

} // namespace

TEST(SimulationCheck, TheInitialStatePasses)
{
    EXPECT_EQ(outcome(valid()), "pass");
}

TEST(SimulationCheck, EmptyCapitalFailsFirstWhateverElseIsWrong)
{
    TJouken record = valid();
    set(record, "AmtTousi", "");
    set(record, "UseBuyRSI", "2");
    set(record, "AmtBuyRSI2", "");
    set(record, "AmtDayDPO", "21");
    set(record, "AmtBuyRCI1", "abc");
    const auto failed = validateJouken(record);
    ASSERT_TRUE(failed);
    EXPECT_EQ(kJoukenFields[failed->field].key, "AmtTousi");
    EXPECT_EQ(failed->tab, "ts_common");
    EXPECT_EQ(failed->message, "ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    EXPECT_FALSE(failed->tabBeforeMessage);
}

TEST(SimulationCheck, CapitalReadsAsAFloatWithoutGrouping)
{
    EXPECT_EQ(withValue("AmtTousi", "1,000,000"), "AmtTousi: 数値が正しく入力されていません。");
    EXPECT_EQ(withValue("AmtTousi", "1000000"), "pass");
    EXPECT_EQ(withValue("AmtTousi", "1e6"), "pass");
    EXPECT_EQ(withValue("AmtTousi", "0.5"), "pass");
    // Blanks are a text, not a missing value.
    EXPECT_EQ(withValue("AmtTousi", "   "), "AmtTousi: 数値が正しく入力されていません。");
}

TEST(SimulationCheck, CapitalMustBeAboveZero)
{
    const std::string message = "AmtTousi: 初期投資金額の数値は0より大きくする必要があります。";
    EXPECT_EQ(withValue("AmtTousi", "0"), message);
    EXPECT_EQ(withValue("AmtTousi", "-1000000"), message);
    EXPECT_EQ(withValue("AmtTousi", "0e3"), message);
}

TEST(SimulationCheck, CommonAmountsAreCheckedOnlyWhenSwitchedOn)
{
    TJouken record = valid();
    set(record, "AmtTesuryo", "");
    set(record, "AmtRikaku", "x");
    set(record, "AmtSongiri", "");
    EXPECT_EQ(outcome(record), "pass");
    set(record, "UseSongiri", "1");
    EXPECT_EQ(outcome(record), "AmtSongiri: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    set(record, "UseRikaku", "1");
    EXPECT_EQ(outcome(record), "AmtRikaku: 数値が正しく入力されていません。");
    set(record, "UseTesuryo", "1");
    EXPECT_EQ(outcome(record), "AmtTesuryo: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    // No lower limit on the commission and the percentages.
    set(record, "AmtTesuryo", "-5");
    set(record, "AmtRikaku", "0");
    set(record, "AmtSongiri", "0");
    EXPECT_EQ(outcome(record), "pass");
}

TEST(SimulationCheck, ThresholdsAreCheckedWhenEitherBoxIsTicked)
{
    TJouken record = valid();
    set(record, "AmtBuyRSI2", "");
    EXPECT_EQ(outcome(record), "pass");
    set(record, "UseBuyRSI", "2");
    EXPECT_EQ(outcome(record), "AmtBuyRSI2: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    set(record, "UseBuyRSI", "1");
    EXPECT_EQ(outcome(record), "AmtBuyRSI2: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    // Only "1" and "2" put a condition in force.
    set(record, "UseBuyRSI", "3");
    EXPECT_EQ(outcome(record), "pass");

    set(record, "UseSellCCI", "1");
    set(record, "AmtSellCCI", "5%");
    const auto failed = validateJouken(record);
    ASSERT_TRUE(failed);
    EXPECT_EQ(kJoukenFields[failed->field].key, "AmtSellCCI");
    EXPECT_EQ(failed->tab, "ts_sell_cond");
    EXPECT_EQ(failed->message, "数値が正しく入力されていません。");
    // Thresholds have no limits.
    set(record, "AmtSellCCI", "-99999");
    EXPECT_EQ(outcome(record), "pass");
}

TEST(SimulationCheck, ThresholdsGoLeftColumnThenRightThenTheSellTab)
{
    TJouken record = valid();
    for (const char* use : {"UseBuyCCI", "UseBuyRSI", "UseBuyToujitu", "UseSellToujitu"})
        set(record, use, "2");
    for (const char* amt : {"AmtBuyCCI", "AmtBuyRSI2", "AmtBuyToujitu", "AmtSellToujitu"})
        set(record, amt, "");
    EXPECT_EQ(outcome(record), "AmtBuyToujitu: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    set(record, "AmtBuyToujitu", "1");
    EXPECT_EQ(outcome(record), "AmtBuyRSI2: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    set(record, "AmtBuyRSI2", "1");
    EXPECT_EQ(outcome(record), "AmtBuyCCI: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    set(record, "AmtBuyCCI", "1");
    EXPECT_EQ(outcome(record), "AmtSellToujitu: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
}

TEST(SimulationCheck, OnlyAMissingSellVolumeRatioBShowsItsTabFirst)
{
    TJouken record = valid();
    set(record, "UseSellVRB", "1");
    set(record, "AmtSellVRB2", "");
    auto failed = validateJouken(record);
    ASSERT_TRUE(failed);
    EXPECT_EQ(kJoukenFields[failed->field].key, "AmtSellVRB2");
    EXPECT_TRUE(failed->tabBeforeMessage);

    set(record, "AmtSellVRB2", "x");
    failed = validateJouken(record);
    ASSERT_TRUE(failed);
    EXPECT_FALSE(failed->tabBeforeMessage);

    TJouken buy = valid();
    set(buy, "UseBuyVRB", "1");
    set(buy, "AmtBuyVRB2", "");
    failed = validateJouken(buy);
    ASSERT_TRUE(failed);
    EXPECT_EQ(kJoukenFields[failed->field].key, "AmtBuyVRB2");
    EXPECT_FALSE(failed->tabBeforeMessage);
}

TEST(SimulationCheck, PeriodsUseTheIntegerConversion)
{
    EXPECT_EQ(withValue("AmtBuyIdo", "5.5"), "AmtBuyIdo: 数値が正しく入力されていません。");
    EXPECT_EQ(withValue("AmtBuyIdo", "1e1"), "AmtBuyIdo: 数値が正しく入力されていません。");
    EXPECT_EQ(withValue("AmtBuyIdo", ""), "AmtBuyIdo: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    EXPECT_EQ(withValue("AmtBuyIdo", "+7"), "pass");
    EXPECT_EQ(withValue("AmtDayParaboAf", "0.5"), "pass");
    EXPECT_EQ(withValue("AmtDayParaboAf", "1.5"), "AmtDayParaboAf: 加速因子の数値の上限は1です。");
}

TEST(SimulationCheck, DpoMustBeEvenAndWithinItsLimits)
{
    EXPECT_EQ(withValue("AmtDayDPO", "20"), "pass");
    EXPECT_EQ(withValue("AmtDayDPO", "21"), "AmtDayDPO: DPOの数値は偶数の必要があります。");
    EXPECT_EQ(withValue("AmtDayDPO", "36"), "AmtDayDPO: DPOの数値の上限は35です。");
    EXPECT_EQ(withValue("AmtDayDPO", "35"), "AmtDayDPO: DPOの数値は偶数の必要があります。");
    EXPECT_EQ(withValue("AmtDayDPO", "0"), "AmtDayDPO: DPOの数値は1以上にしてください。");
    EXPECT_EQ(withValue("AmtDayDPO", "-3"), "AmtDayDPO: DPOの数値は1以上にしてください。");
    EXPECT_EQ(withValue("AmtDayDPO", "2"), "pass");
}

TEST(SimulationCheck, MacdLongMustExceedShort)
{
    TJouken record = valid();
    set(record, "AmtBuyMACD1", "12");
    set(record, "AmtBuyMACD2", "12");
    EXPECT_EQ(outcome(record), "AmtBuyMACD2: MACDﾛﾝｸﾞの数値はMACDｼｮｰﾄより大きくする必要があります。");
    set(record, "AmtBuyMACD2", "13");
    EXPECT_EQ(outcome(record), "pass");
    set(record, "AmtBuyMACD2", "11");
    EXPECT_EQ(outcome(record), "AmtBuyMACD2: MACDﾛﾝｸﾞの数値はMACDｼｮｰﾄより大きくする必要があります。");
    // The limit comes before the comparison.
    set(record, "AmtBuyMACD2", "31");
    EXPECT_EQ(outcome(record), "AmtBuyMACD2: MACDﾛﾝｸﾞの数値の上限は30です。");
    set(record, "AmtBuyMACD1", "31");
    EXPECT_EQ(outcome(record), "AmtBuyMACD1: MACDｼｮｰﾄの数値の上限は30です。");
}

TEST(SimulationCheck, UpperLimitsIncludeTheLimitItself)
{
    EXPECT_EQ(withValue("AmtDayParaboLim", "3"), "pass");
    EXPECT_EQ(withValue("AmtDayParaboLim", "3.01"), "AmtDayParaboLim: 加速因子の数値の上限は3です。");
    EXPECT_EQ(withValue("AmtBuyPSY1", "25"), "pass");
    EXPECT_EQ(withValue("AmtBuyPSY1", "26"), "AmtBuyPSY1: ｻｲｺﾛｼﾞｶﾙﾗｲﾝの数値の上限は25です。");
    EXPECT_EQ(withValue("AmtDayWIL_VI", "5"), "pass");
    EXPECT_EQ(withValue("AmtDayWIL_VI", "5.5"), "AmtDayWIL_VI: ﾜｲﾙﾀﾞｰｽﾞﾎﾞﾗﾃｨﾘﾃｨ倍数の数値の上限は5です。");
    EXPECT_EQ(withValue("AmtDayOSI", "16"), "AmtDayOSI: OSIの数値の上限は15です。");
}

TEST(SimulationCheck, RciPeriodIsCheckedLikeTheOthers)
{
    EXPECT_EQ(withValue("AmtBuyRCI1", ""), "pass"); // the engine's default period
    EXPECT_EQ(withValue("AmtBuyRCI1", "x"), "AmtBuyRCI1: 数値が正しく入力されていません。");
    EXPECT_EQ(withValue("AmtBuyRCI1", "50"), "pass");
    EXPECT_EQ(withValue("AmtBuyRCI1", "51"), "AmtBuyRCI1: RCIの数値の上限は50です。");
    EXPECT_EQ(withValue("AmtBuyRCI1", "0"), "AmtBuyRCI1: RCIの数値は1以上にしてください。");
}

TEST(SimulationCheck, EveryPeriodNeedsAtLeastOneDay)
{
    // Each period of the record alone at 0 is the failure, on the calculation tab.
    int periods = 0;
    for (const auto& f : kJoukenFields) {
        if (f.role != NumberRole::Period)
            continue;
        ++periods;
        TJouken record = valid();
        record[f.no] = "0";
        const auto failed = validateJouken(record);
        ASSERT_TRUE(failed) << f.key;
        EXPECT_EQ(failed->field, f.no) << f.key;
        EXPECT_EQ(failed->tab, "ts_culc_cond") << f.key;
        EXPECT_NE(std::string(failed->message).find("1以上にしてください。"), std::string::npos) << f.key;
        // One day passes (DPO needs an even number; MACD's long period must still exceed the short one).
        if (f.key == "AmtBuyMACD2")
            continue;
        record[f.no] = f.key == "AmtDayDPO" ? "2" : "1";
        EXPECT_EQ(outcome(record), "pass") << f.key;
    }
    // 16 buy-side periods and 8 AmtDay periods.
    EXPECT_EQ(periods, 24);
    // The three factors have no lower limit.
    EXPECT_EQ(withValue("AmtDayParaboAf", "0"), "pass");
    EXPECT_EQ(withValue("AmtDayWIL_VI", "-1"), "pass");
}

TEST(SimulationCheck, GroupsRunCommonThenThresholdsThenParameters)
{
    TJouken record = valid();
    set(record, "AmtDayOSI", "16");
    set(record, "AmtBuyWilR1", "51");
    EXPECT_EQ(outcome(record), "AmtDayOSI: OSIの数値の上限は15です。");
    set(record, "UseSellMPSY", "2");
    set(record, "AmtSellMPSY2", "");
    EXPECT_EQ(outcome(record), "AmtSellMPSY2: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
    set(record, "UseTesuryo", "1");
    set(record, "AmtTesuryo", "");
    EXPECT_EQ(outcome(record), "AmtTesuryo: ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。");
}

TEST(ChoiceRange, AKbnTextMustNameAnItemOfItsList)
{
    const int unit = *findJoukenField("KbnTani"); // four items
    EXPECT_EQ(choicePosition(unit, "0"), 0);
    EXPECT_EQ(choicePosition(unit, "3"), 3);
    EXPECT_FALSE(choicePosition(unit, "4"));
    EXPECT_FALSE(choicePosition(unit, "-1"));
    EXPECT_FALSE(choicePosition(unit, ""));
    EXPECT_FALSE(choicePosition(unit, "1.0"));
    EXPECT_FALSE(choicePosition(unit, "x"));
    EXPECT_FALSE(choicePosition(unit, "99999999999"));
    const int line = *findJoukenField("KbnSellSTCC1"); // "%K", "%D", "%SD"
    EXPECT_EQ(choicePosition(line, "2"), 2);
    EXPECT_FALSE(choicePosition(line, "3"));

    EXPECT_TRUE(choicesOutOfRange(TJouken::defaults()).empty());
    TJouken damaged = TJouken::defaults();
    damaged.set("KbnSellMACD", "2");
    damaged.set("KbnTani", "");
    const std::vector<int> expected = {*findJoukenField("KbnTani"), *findJoukenField("KbnSellMACD")};
    EXPECT_EQ(choicesOutOfRange(damaged), expected);
}

TEST(StorableValues, ACommaCannotBeStoredInAConditionFile)
{
    TJouken record = valid();
    EXPECT_FALSE(findUnstorableValue(record));
    set(record, "AmtDayCCI", "2,0");
    set(record, "AmtSellRSI2", "7,5");
    auto failed = findUnstorableValue(record);
    ASSERT_TRUE(failed);
    EXPECT_EQ(kJoukenFields[failed->field].key, "AmtSellRSI2");
    EXPECT_EQ(failed->tab, "ts_sell_cond");
    EXPECT_EQ(failed->message, kMsgCommaInValue);
    set(record, "AmtTousi", "1,000,000");
    failed = findUnstorableValue(record);
    ASSERT_TRUE(failed);
    EXPECT_EQ(kJoukenFields[failed->field].key, "AmtTousi");
}
