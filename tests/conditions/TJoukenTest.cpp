#include "conditions/TJouken.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

using namespace vorteq;

TEST(KeyTable, HasTheFieldsInOrderWithUniqueKeys)
{
    std::set<std::string_view> keys;
    for (int i = 0; i < kJoukenFieldCount; ++i) {
        EXPECT_EQ(kJoukenFields[i].no, i);
        EXPECT_TRUE(keys.insert(kJoukenFields[i].key).second) << kJoukenFields[i].key;
    }
    EXPECT_EQ(keys.size(), 194u);
    // Landmarks of the record's layout.
    EXPECT_EQ(kJoukenFields[0].key, "AmtTousi");
    EXPECT_EQ(kJoukenFields[12].key, "UseTradePrice");
    EXPECT_EQ(kJoukenFields[13].key, "KbnBuyjouken");
    EXPECT_EQ(kJoukenFields[14].key, "UseBuyToujitu");
    EXPECT_EQ(kJoukenFields[84].key, "KbnBuyMPSY");
    EXPECT_EQ(kJoukenFields[85].key, "KbnSelljouken");
    EXPECT_EQ(kJoukenFields[86].key, "UseSellToujitu");
    EXPECT_EQ(kJoukenFields[141].key, "UseBuySTCB");
    EXPECT_EQ(kJoukenFields[153].key, "AmtDayOSI");
    EXPECT_EQ(kJoukenFields[193].key, "AmtDayMAC_SI");
}

TEST(KeyTable, BandChoiceIsSpelledVorinBesideVolin)
{
    EXPECT_EQ(findJoukenField("KbnBuyVorin"), 58);
    EXPECT_EQ(findJoukenField("KbnSellVorin"), 121);
    EXPECT_EQ(findJoukenField("UseBuyVolin"), 56);
    EXPECT_EQ(findJoukenField("AmtBuyVolin"), 57);
    EXPECT_EQ(findJoukenField("UseSellVolin"), 120);
    EXPECT_FALSE(findJoukenField("KbnBuyVolin"));
    EXPECT_FALSE(findJoukenField("KbnSellVolin"));
    EXPECT_FALSE(findJoukenField("AmtSellVolin"));
    EXPECT_EQ(lookupJoukenField("KbnSellVorin"), 121);
    EXPECT_FALSE(lookupJoukenField("kbnsellvorin"));
}

TEST(KeyTable, DefaultsAreTheEditorsInitialState)
{
    const TJouken d = TJouken::defaults();
    // Values copied from the Default column by hand.
    const std::pair<const char*, const char*> expected[] = {
        {"AmtTousi", "1000000"},    {"KbnTani", "3"},           {"KbnTrade", "2"},
        {"UseTesuryo", "0"},        {"AmtTesuryo", ""},         {"AmtRikaku", "5"},
        {"AmtSongiri", "5"},        {"UseTradePrice", "1"},     {"KbnBuyjouken", ""},
        {"AmtBuyToujitu", "-2"},    {"AmtSellToujitu", "2"},    {"AmtSellVLM", "-100"},
        {"KbnBuyRenzoku", "1"},     {"KbnSellRenzoku", "0"},    {"AmtBuyRSI1", "9"},
        {"AmtBuyRSI2", "25"},       {"KbnBuyRSI", "1"},         {"AmtSellRSI2", "75"},
        {"KbnSellRSI", "0"},        {"KbnBuyVorin", "1"},       {"KbnSellVorin", "0"},
        {"AmtSellVRA2", "450"},     {"AmtBuyVRW2", "-50"},      {"AmtBuyMACD1", "12"},
        {"AmtBuyMACD2", "26"},      {"KbnBuySTCC1", "1"},       {"AmtBuySTCC", "25"},
        {"KbnBuySTCC2", "1"},       {"AmtSellSTCC", "75"},      {"KbnSellSTCC2", "0"},
        {"AmtDayParaboAf", "0.02"}, {"AmtDayParaboLim", "2.0"}, {"AmtDayWIL_VI", "3"},
        {"AmtDayMAC_SI", "9"},      {"AmtSellBRatio", "250"},   {"AmtDayDPO", "20"},
        {"AmtDayABRatio", "26"},    {"KbnSelljouken", ""},
    };
    for (const auto& [key, value] : expected)
        EXPECT_EQ(d.value(key), value) << key;

    int empty = 0;
    int uses = 0;
    for (const auto& f : kJoukenFields) {
        if (d[f.no].empty())
            ++empty;
        if (f.kind == FieldKind::ConditionUse) {
            ++uses;
            EXPECT_EQ(d[f.no], "0") << f.key << ": every condition starts switched off";
        }
        if (f.kind == FieldKind::Choice) {
            const int pos = std::stoi(std::string(f.defaultValue));
            EXPECT_TRUE(pos >= 0 && pos < static_cast<int>(f.items.size())) << f.key;
        }
    }
    EXPECT_EQ(empty, 3);
    EXPECT_EQ(uses, 56);
}

TEST(KeyTable, ControlsAreBoundOnceAndSellControlsCarryTheSuffix)
{
    std::set<std::string_view> controls;
    for (const auto& f : kJoukenFields) {
        for (std::string_view c : f.controls) {
            if (c.empty())
                continue;
            EXPECT_TRUE(controls.insert(c).second) << c << " bound twice";
            if (f.key.substr(3, 4) == "Sell") {
                EXPECT_TRUE(c.ends_with("_s")) << f.key << " " << c;
            }
        }
    }
    EXPECT_EQ(kJoukenFields[fieldNo("UseBuyRSI")].controls[0], "cb_rsi");
    EXPECT_EQ(kJoukenFields[fieldNo("UseBuyRSI")].controls[1], "cb_rsi_and");
    EXPECT_EQ(kJoukenFields[fieldNo("UseSellRSI")].controls[1], "cb_rsi_and_s");
    EXPECT_EQ(kJoukenFields[fieldNo("UseTradePrice")].controls[3], "rb_com_yasu");
    EXPECT_TRUE(kJoukenFields[fieldNo("KbnBuyjouken")].controls[0].empty());
}

TEST(KeyTable, PeriodsAndFactorsAreTheTwentySevenParameters)
{
    int periods = 0;
    int factors = 0;
    for (const auto& f : kJoukenFields) {
        periods += f.role == NumberRole::Period;
        factors += f.role == NumberRole::Factor;
    }
    EXPECT_EQ(periods, 24);
    EXPECT_EQ(factors, 3);
    EXPECT_EQ(kJoukenFields[fieldNo("AmtBuyRSI2")].role, NumberRole::Threshold);
    EXPECT_EQ(kJoukenFields[fieldNo("AmtBuyRenzoku")].unit, "days");
}

TEST(Record, StartsEmptyAndIsAddressedByKeyAndNumber)
{
    for (int i = 0; i < TJouken::kFieldCount; ++i)
        EXPECT_TRUE(jouken[i].empty());

    TJouken j;
    EXPECT_TRUE(j.set("AmtBuyRSI2", " +25"));
    EXPECT_EQ(j[39], " +25") << "a number is kept exactly as typed";
    EXPECT_EQ(*j.field("AmtBuyRSI2"), " +25");
    j[fieldNo("KbnSellMACD")] = "1";
    EXPECT_EQ(j.value("KbnSellMACD"), "1");
    EXPECT_FALSE(j.set("AmtBuyRsi2", "1"));
    EXPECT_EQ(j.field("nonsense"), nullptr);
    EXPECT_EQ(j.value("nonsense"), "");
    TJouken k = j;
    EXPECT_EQ(k, j);
    k[0] = "1";
    EXPECT_NE(k, j);
}
