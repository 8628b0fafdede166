#include "common/TextFile.h"
#include "conditions/ConditionFiles.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>

using namespace vorteq;

TEST(LoadedJouken, ValuesTheEditorCannotShowComeBackAsItsControlsRead)
{
    TJouken shown = TJouken::defaults();
    shown.set("UseTradePrice", "2"); // the editor had "終値" selected

    TJouken loaded = shown;
    loaded.set("KbnTani", "7");      // four items: names none
    loaded.set("KbnTrade", "01");    // names item 1
    loaded.set("KbnBuyRSI", "-1");   // names none
    loaded.set("UseTesuryo", "yes"); // a check box: ticked only by "1"
    loaded.set("UseRikaku", "1");    // stays ticked
    loaded.set("UseBuyRSI", "2");    // And group
    loaded.set("UseSellRSI", "3");   // neither group
    loaded.set("UseBuyCCI", "");     // neither group
    loaded.set("UseTradePrice", ""); // no button: the selection stays
    loaded.set("AmtTousi", "1,000"); // numbers are shown and read back as typed
    loaded.set("KbnBuyjouken", "x"); // bound to no control: carried through

    const TJouken out = normaliseLoadedJouken(loaded, shown);
    EXPECT_EQ(out.value("KbnTani"), "0");
    EXPECT_EQ(out.value("KbnTrade"), "1");
    EXPECT_EQ(out.value("KbnBuyRSI"), "0");
    EXPECT_EQ(out.value("UseTesuryo"), "0");
    EXPECT_EQ(out.value("UseRikaku"), "1");
    EXPECT_EQ(out.value("UseBuyRSI"), "2");
    EXPECT_EQ(out.value("UseSellRSI"), "0");
    EXPECT_EQ(out.value("UseBuyCCI"), "0");
    EXPECT_EQ(out.value("UseTradePrice"), "2");
    EXPECT_EQ(out.value("AmtTousi"), "1,000");
    EXPECT_EQ(out.value("KbnBuyjouken"), "x");

    loaded.set("UseTradePrice", "4");
    EXPECT_EQ(normaliseLoadedJouken(loaded, shown).value("UseTradePrice"), "4");
}

TEST(LoadedJouken, DefaultsAreAlreadyWhatTheEditorShows)
{
    const TJouken defaults = TJouken::defaults();
    EXPECT_EQ(normaliseLoadedJouken(defaults, defaults), defaults);
}

TEST(LoadedJouken, KeysMissingFromTheFileKeepWhatTheEditorShowed)
{
    const auto dir =
        std::filesystem::temp_directory_path() / ("vorteq_loaded_jouken_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto file = dir / "1301"
                            "11.dat";
    ASSERT_TRUE(writeTextLinesAtomic(file, {"UseBuyRSI,1,", "AmtBuyRSI2,30,"}).ok());

    TJouken record = TJouken::defaults();
    ASSERT_TRUE(readConditionFile(file, record).ok());
    record = normaliseLoadedJouken(record, TJouken::defaults());
    EXPECT_EQ(record.value("UseBuyRSI"), "1");
    EXPECT_EQ(record.value("AmtBuyRSI2"), "30");
    EXPECT_EQ(record.value("KbnBuyRSI"), "1");  // default "以下"
    EXPECT_EQ(record.value("AmtBuyRSI1"), "9"); // default period
    EXPECT_EQ(record.value("AmtTousi"), "1000000");
    std::filesystem::remove_all(dir);
}
