#include "conditions/ConditionCatalogue.h"

#include "conditions/ValidationTable.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace vorteq;

TEST(ConditionCatalogue, StemsAreInTheOrderTheSignalRulesFileThem)
{
    const char* order[] = {"ARatio",  "BRatio", "CCI",  "Closs", "DMI",   "DPO",     "Ido",
                           "Kairi",   "MACD",   "MPSY", "OSI",   "Parab", "PSY",     "RCI",
                           "Renzoku", "RSI",    "STCB", "STCC",  "STK",   "Toujitu", "VLM",
                           "Volin",   "VRA",    "VRB",  "VRW",   "Wild",  "WilR",    "Zenjitu"};
    ASSERT_EQ(std::size(order), static_cast<std::size_t>(kConditionCount));
    for (int i = 0; i < kConditionCount; ++i)
        EXPECT_EQ(kConditions[i].stem, order[i]);
}

TEST(ConditionCatalogue, KeysFollowThePrefixSideStemRule)
{
    for (const auto& c : kConditions) {
        EXPECT_EQ(kJoukenFields[c.buy.use].key, "UseBuy" + std::string(c.stem));
        EXPECT_EQ(kJoukenFields[c.sell.use].key, "UseSell" + std::string(c.stem));
        const std::string buyChoice(kJoukenFields[c.buy.choice].key);
        const std::string sellChoice(kJoukenFields[c.sell.choice].key);
        EXPECT_EQ("KbnSell" + buyChoice.substr(6), sellChoice);
    }
    const ConditionDef* volin = findCondition("Volin");
    ASSERT_NE(volin, nullptr);
    EXPECT_EQ(kJoukenFields[volin->buy.choice].key, "KbnBuyVorin");
    EXPECT_EQ(kJoukenFields[volin->sell.choice].key, "KbnSellVorin");
    const ConditionDef* stcc = findCondition("STCC");
    EXPECT_EQ(kJoukenFields[stcc->sell.choice].key, "KbnSellSTCC2");
    EXPECT_EQ(kJoukenFields[stcc->sell.lineChoice].key, "KbnSellSTCC1");
    EXPECT_EQ(kJoukenFields[findCondition("Kairi")->sell.threshold].key, "AmtSellKairi2");
    EXPECT_EQ(findCondition("Rsi"), nullptr);
}

TEST(ConditionCatalogue, ControlNamesComeFromTheKeys)
{
    const ConditionDef& rsi = *findCondition("RSI");
    EXPECT_EQ(orBoxName(rsi, Side::Buy), "cb_rsi");
    EXPECT_EQ(andBoxName(rsi, Side::Buy), "cb_rsi_and");
    EXPECT_EQ(editName(rsi, Side::Buy), "edt_rsi2");
    EXPECT_EQ(choiceName(rsi, Side::Buy), "cbx_rsi");
    EXPECT_EQ(orBoxName(rsi, Side::Sell), "cb_rsi_s");
    EXPECT_EQ(andBoxName(rsi, Side::Sell), "cb_rsi_and_s");
    EXPECT_EQ(editName(rsi, Side::Sell), "edt_rsi2_s");
    EXPECT_EQ(choiceName(rsi, Side::Sell), "cbx_rsi_s");

    const ConditionDef& stcc = *findCondition("STCC");
    EXPECT_EQ(lineChoiceName(stcc, Side::Buy), "cbx_stk_c1");
    EXPECT_EQ(choiceName(stcc, Side::Sell), "cbx_stk_c2_s");
    EXPECT_EQ(editName(stcc, Side::Sell), "edt_stk_c_s");
    EXPECT_EQ(editName(*findCondition("MACD"), Side::Buy), "");
    EXPECT_EQ(editMaxLength(*findCondition("Kairi"), Side::Sell), 3);
    EXPECT_EQ(editMaxLength(*findCondition("Kairi"), Side::Buy), 4);

    // 112 condition boxes, all distinct.
    std::set<std::string_view> boxes;
    for (const auto& c : kConditions)
        for (Side s : {Side::Buy, Side::Sell}) {
            boxes.insert(orBoxName(c, s));
            boxes.insert(andBoxName(c, s));
        }
    EXPECT_EQ(boxes.size(), 112u);
}

TEST(ConditionCatalogue, EditorOrderGivesTheValidationOrderOfThresholds)
{
    std::vector<std::string> withThreshold;
    for (const ConditionDef* c : conditionsInEditorOrder())
        if (c->hasThreshold())
            withThreshold.push_back(std::string(editName(*c, Side::Buy)));
    const std::vector<std::string> expected = {
        "edt_tprice_change", "edt_yprice_change", "edt_yvlm_change", "edt_pseqchange", "edt_P_mva_per2",
        "edt_rsi2",          "edt_stk_c",         "edt_osi2",        "edt_rally2",     "edt_rci2",
        "edt_cci2",          "edt_dpo2",          "edt_aratio",      "edt_bratio",     "edt_vr_a2",
        "edt_vr_b2",         "edt_vr_wako2",      "edt_syco2",       "edt_syco_move2"};
    EXPECT_EQ(withThreshold, expected);
    EXPECT_EQ(conditionsInEditorOrder().front()->stem, "Toujitu");
    EXPECT_EQ(conditionsInEditorOrder()[13]->stem, "RCI");
    EXPECT_EQ(conditionsInEditorOrder()[14]->stem, "CCI");
    EXPECT_EQ(conditionsInEditorOrder().back()->stem, "MPSY");
}

TEST(ValidationTable, CoversEveryIndicatorParameterOnce)
{
    std::set<int> fields;
    for (const auto& r : parameterRules()) {
        EXPECT_TRUE(fields.insert(r.field).second);
        const auto role = kJoukenFields[r.field].role;
        EXPECT_EQ(r.integer, role == NumberRole::Period) << kJoukenFields[r.field].key;
        EXPECT_EQ(r.lowerLimit, r.integer ? 1 : 0);
    }
    EXPECT_EQ(fields.size(), 27u);
    EXPECT_EQ(kJoukenFields[parameterRules()[0].field].controls[0], "edt_p_mva");
    EXPECT_EQ(kJoukenFields[parameterRules()[7].field].controls[0], "edt_rci1");
    EXPECT_EQ(kJoukenFields[kCommonNumberRules[1].switchKey].controls[0], "cb_com_tesuu");
}
