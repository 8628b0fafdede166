#include "conditions/ConditionFiles.h"

#include "common/TextFile.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <string>

using namespace vorteq;
namespace fs = std::filesystem;

namespace {

// A fresh base folder per test, removed afterwards.
class ConditionFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device seed;
        m_base = fs::temp_directory_path() / ("vorteq-conditions-" + std::to_string(seed()));
        fs::create_directories(m_base);
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(m_base, ec);
    }

    std::string bytes(const fs::path& path) const
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void writeBytes(const fs::path& path, const std::string& text) const
    {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    std::string index() const { return bytes(conditionIndexPath(m_base)); }
    fs::path file(const char* code, const char* market) const
    {
        return conditionFilePath(m_base, ConditionSetId{code, market});
    }
    // Loads a set into the record as the selection does; false when there is no file.
    bool load(const ConditionSetId& id, TJouken& record) const
    {
        const auto loaded = readConditionSet(m_base, id);
        EXPECT_TRUE(loaded.ok());
        if (!loaded.ok() || !*loaded)
            return false;
        jouken_read_tbl(*(*loaded)->table, (*loaded)->rows, record);
        return true;
    }

    fs::path m_base;
};

const ConditionSetId kToyota11{"7203", "11"};
const ConditionSetId kToyota21{"7203", "21"};

} // namespace

TEST(ConditionLines, PiecesEndAtCommasAndTextAfterTheLastIsDropped)
{
    EXPECT_EQ(commaPieces("UseBuyRSI,1,"), (std::vector<std::string>{"UseBuyRSI", "1"}));
    EXPECT_EQ(commaPieces("UseBuyRSI,1,trailing"), (std::vector<std::string>{"UseBuyRSI", "1"}));
    EXPECT_EQ(commaPieces("a,,b,"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_TRUE(commaPieces("no comma").empty());
    EXPECT_TRUE(commaPieces("").empty());
    EXPECT_EQ(commaPieces(","), (std::vector<std::string>{""}));
}

TEST(ConditionLines, WriteListAlternatesKeysAndValuesInFieldOrder)
{
    TJouken record = TJouken::defaults();
    record.set("KbnBuyjouken", "carried");
    const auto list = jouken_write_list(record);
    ASSERT_EQ(list.size(), 388u);
    EXPECT_EQ(list[0], "AmtTousi");
    EXPECT_EQ(list[1], "1000000");
    EXPECT_EQ(list[8], "AmtTesuryo");
    EXPECT_EQ(list[9], "");
    EXPECT_EQ(list[26], "KbnBuyjouken");
    EXPECT_EQ(list[27], "carried");
    EXPECT_EQ(list[386], "AmtDayMAC_SI");
    EXPECT_EQ(list[387], "9");
}

TEST(ConditionLines, TableRowsHoldKeyAndValue)
{
    const Ptbl table = conditionTable({"AmtTousi,500,", "no comma here", "UseBuyRSI,2,extra"});
    ASSERT_EQ(table->columnCount(), 3);
    ASSERT_EQ(table->rowCount(), 4);
    EXPECT_EQ(table->cell(1, 1), "AmtTousi");
    EXPECT_EQ(table->cell(2, 1), "500");
    EXPECT_EQ(table->cell(1, 2), "");
    EXPECT_EQ(table->cell(2, 2), "");
    EXPECT_EQ(table->cell(1, 3), "UseBuyRSI");
    EXPECT_EQ(table->cell(2, 3), "2");
}

TEST(ConditionLines, ReadingByKeyKeepsAbsentFieldsAndTakesTheLaterDuplicate)
{
    TJouken record = TJouken::defaults();
    const std::vector<std::string> lines = {
        "AmtBuyRSI2,30,", "usebuyrsi,2,", // keys compare case-sensitively
        "NoSuchKey,1,",   "KbnBuyRSI,0,", "KbnBuyRSI,1,", "KbnBuyjouken,x,",
        "AmtTousi,,", // an empty value is a value
    };
    const Ptbl table = conditionTable(lines);
    jouken_read_tbl(*table, static_cast<int>(lines.size()), record);
    EXPECT_EQ(record.value("AmtBuyRSI2"), "30");
    EXPECT_EQ(record.value("UseBuyRSI"), "0");
    EXPECT_EQ(record.value("KbnBuyRSI"), "1");
    EXPECT_EQ(record.value("KbnBuyjouken"), "x");
    EXPECT_EQ(record.value("AmtTousi"), "");
    EXPECT_EQ(record.value("AmtSellRSI2"), "75");
}

TEST_F(ConditionFiles, RegisteringWritesOneKeyValueLinePerFieldInCp932)
{
    TJouken record = TJouken::defaults();
    record.set("KbnSelljouken", "売り");
    ASSERT_TRUE(registerConditionSet(m_base, kToyota11, record).ok());
    EXPECT_EQ(file("7203", "11"), m_base / "UsrData" / "720311.dat");
    const std::string text = bytes(file("7203", "11"));
    EXPECT_EQ(text.rfind("AmtTousi,1000000,\r\nKbnTani,3,\r\nKbnTrade,2,\r\n", 0), 0u);
    // "売り" in CP932.
    EXPECT_NE(text.find("KbnSelljouken,\x94\x84\x82\xe8,\r\n"), std::string::npos);
    EXPECT_NE(text.find("\r\nAmtTesuryo,,\r\n"), std::string::npos);
    const auto lines = readTextLines(file("7203", "11"));
    ASSERT_TRUE(lines.ok());
    EXPECT_EQ(lines->size(), 194u);
    EXPECT_EQ(lines->back(), "AmtDayMAC_SI,9,");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST_F(ConditionFiles, ARegisteredSetReadsBackWhole)
{
    TJouken record;
    for (int no = 0; no < TJouken::kFieldCount; ++no)
        record[no] = "v" + std::to_string(no);
    ASSERT_TRUE(registerConditionSet(m_base, kToyota11, record).ok());
    TJouken loaded;
    ASSERT_TRUE(load(kToyota11, loaded));
    EXPECT_EQ(loaded, record);

    TJouken viaPath;
    ASSERT_TRUE(readConditionFile(file("7203", "11"), viaPath).ok());
    EXPECT_EQ(viaPath, record);
}

TEST_F(ConditionFiles, RegisteringTwiceKeepsOneIndexLineAndTheNewValues)
{
    TJouken record = TJouken::defaults();
    ASSERT_TRUE(registerConditionSet(m_base, kToyota11, record).ok());
    record.set("AmtBuyRSI2", "33");
    ASSERT_TRUE(registerConditionSet(m_base, kToyota11, record).ok());
    EXPECT_EQ(index(), "7203,11,\r\n");
    const auto lines = readTextLines(file("7203", "11"));
    ASSERT_TRUE(lines.ok());
    EXPECT_EQ(lines->size(), 194u);
    TJouken loaded;
    ASSERT_TRUE(load(kToyota11, loaded));
    EXPECT_EQ(loaded.value("AmtBuyRSI2"), "33");
}

TEST_F(ConditionFiles, TheSameCodeInTwoMarketsHasTwoFilesAndTwoIndexLines)
{
    ASSERT_TRUE(registerConditionSet(m_base, kToyota11, TJouken::defaults()).ok());
    ASSERT_TRUE(registerConditionSet(m_base, kToyota21, TJouken::defaults()).ok());
    EXPECT_TRUE(fs::exists(file("7203", "11")));
    EXPECT_TRUE(fs::exists(file("7203", "21")));
    EXPECT_EQ(index(), "7203,11,\r\n7203,21,\r\n");
    const auto ids = readConditionIndex(m_base);
    ASSERT_TRUE(ids.ok());
    EXPECT_EQ(*ids, (std::vector<ConditionSetId>{kToyota11, kToyota21}));

    // Deleting one market's set leaves the other's file and line.
    const auto deleted = deleteConditionSet(m_base, kToyota21);
    ASSERT_TRUE(deleted.ok());
    EXPECT_EQ(*deleted, DeleteOutcome::Deleted);
    EXPECT_FALSE(fs::exists(file("7203", "21")));
    EXPECT_TRUE(fs::exists(file("7203", "11")));
    EXPECT_EQ(index(), "7203,11,\r\n");
}

TEST_F(ConditionFiles, TheIndexAndItsFolderAreCreatedWhenMissing)
{
    ASSERT_FALSE(fs::exists(m_base / "UsrData"));
    ASSERT_TRUE(registerConditionSet(m_base, ConditionSetId{"1301", "12"}, TJouken::defaults()).ok());
    EXPECT_EQ(index(), "1301,12,\r\n");
}

TEST_F(ConditionFiles, OtherIndexLinesKeepTheirOrderAndText)
{
    writeBytes(conditionIndexPath(m_base), "1301,11,\r\nodd line\r\n7203,11,\r\n9984,11,\r\n");
    ASSERT_TRUE(registerConditionSet(m_base, ConditionSetId{"6758", "11"}, TJouken::defaults()).ok());
    EXPECT_EQ(index(), "1301,11,\r\nodd line\r\n7203,11,\r\n9984,11,\r\n6758,11,\r\n");
    // A set registered before (its line is there) gets no second line.
    ASSERT_TRUE(registerConditionSet(m_base, kToyota11, TJouken::defaults()).ok());
    EXPECT_EQ(index(), "1301,11,\r\nodd line\r\n7203,11,\r\n9984,11,\r\n6758,11,\r\n");
    ASSERT_EQ(*deleteConditionSet(m_base, kToyota11), DeleteOutcome::Deleted);
    EXPECT_EQ(index(), "1301,11,\r\nodd line\r\n9984,11,\r\n6758,11,\r\n");
    // Only the first matching line goes.
    writeBytes(conditionIndexPath(m_base), "7203,11,\r\n7203,11,\r\n");
    ASSERT_TRUE(registerConditionSet(m_base, kToyota11, TJouken::defaults()).ok());
    ASSERT_EQ(*deleteConditionSet(m_base, kToyota11), DeleteOutcome::Deleted);
    EXPECT_EQ(index(), "7203,11,\r\n");
}

TEST_F(ConditionFiles, DeletingWhatIsNotRegisteredChangesNothing)
{
    writeBytes(conditionIndexPath(m_base), "7203,11,\n");
    const auto outcome = deleteConditionSet(m_base, kToyota21);
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, DeleteOutcome::NotRegistered);
    EXPECT_EQ(index(), "7203,11,\n");
}

TEST_F(ConditionFiles, DeletingWithoutAnIndexLeavesAnEmptyOne)
{
    writeBytes(file("7203", "11"), "AmtTousi,1,\r\n");
    const auto outcome = deleteConditionSet(m_base, kToyota11);
    ASSERT_TRUE(outcome.ok());
    EXPECT_EQ(*outcome, DeleteOutcome::Deleted);
    EXPECT_FALSE(fs::exists(file("7203", "11")));
    ASSERT_TRUE(fs::exists(conditionIndexPath(m_base)));
    EXPECT_EQ(index(), "");
}

TEST_F(ConditionFiles, AFileLackingKeysLoadsTheOthers)
{
    writeBytes(file("7203", "11"), "AmtBuyRSI2,40,\r\nUseBuyRSI,1,\r\n");
    TJouken record = TJouken::defaults();
    record.set("AmtSellRSI2", "60");
    ASSERT_TRUE(load(kToyota11, record));
    EXPECT_EQ(record.value("AmtBuyRSI2"), "40");
    EXPECT_EQ(record.value("UseBuyRSI"), "1");
    EXPECT_EQ(record.value("AmtSellRSI2"), "60");
    EXPECT_EQ(record.value("AmtTousi"), "1000000");
}

TEST_F(ConditionFiles, TrailingTextAfterTheValueIsIgnored)
{
    writeBytes(file("7203", "11"), "UseBuyRSI,1,and more, text\r\nAmtBuyRSI2,25");
    TJouken record = TJouken::defaults();
    ASSERT_TRUE(load(kToyota11, record));
    EXPECT_EQ(record.value("UseBuyRSI"), "1");
    // A last line with only one comma gives its key but no value: the field takes the empty value.
    EXPECT_EQ(record.value("AmtBuyRSI2"), "");
}

TEST_F(ConditionFiles, AnEmptyFileIsASetThatChangesNothing)
{
    writeBytes(file("7203", "11"), "");
    const auto loaded = readConditionSet(m_base, kToyota11);
    ASSERT_TRUE(loaded.ok());
    ASSERT_TRUE(loaded->has_value());
    EXPECT_EQ((*loaded)->rows, 0);
    TJouken record = TJouken::defaults();
    ASSERT_TRUE(load(kToyota11, record));
    EXPECT_EQ(record, TJouken::defaults());
}

TEST_F(ConditionFiles, NoFileMeansNoSet)
{
    const auto loaded = readConditionSet(m_base, kToyota11);
    ASSERT_TRUE(loaded.ok());
    EXPECT_FALSE(loaded->has_value());
    const auto ids = readConditionIndex(m_base);
    ASSERT_TRUE(ids.ok());
    EXPECT_TRUE(ids->empty());
}

TEST_F(ConditionFiles, HostileCodesAndValuesWriteNothing)
{
    for (const char* code : {"../../evil", "a\\b", "72,03", "", "72\n03"}) {
        EXPECT_FALSE(registerConditionSet(m_base, ConditionSetId{code, "11"}, TJouken::defaults()).ok())
            << code;
        EXPECT_FALSE(deleteConditionSet(m_base, ConditionSetId{code, "11"}).ok()) << code;
    }
    EXPECT_FALSE(registerConditionSet(m_base, ConditionSetId{"7203", ""}, TJouken::defaults()).ok());

    TJouken commas = TJouken::defaults();
    commas.set("AmtTousi", "1,000,000");
    const Status refused = registerConditionSet(m_base, kToyota11, commas);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "カンマ(,)を含む数値は登録できません。");
    EXPECT_FALSE(fs::exists(m_base / "UsrData"));
    EXPECT_FALSE(fs::exists(m_base.parent_path() / "evil11.dat"));
}

TEST_F(ConditionFiles, DamagedFilesAreErrorsNotCrashes)
{
    // Bytes that are not CP932: that line is left out and named, the others load.
    writeBytes(file("7203", "11"), "UseBuyRSI,\x81\x20,\r\nAmtBuyRSI2,44,\r\n\xFF\r\n");
    const auto loaded = readConditionSet(m_base, kToyota11);
    ASSERT_TRUE(loaded.ok() && *loaded);
    EXPECT_EQ((*loaded)->skippedLines, (std::vector<int>{1, 3}));
    EXPECT_EQ((*loaded)->rows, 1);
    EXPECT_EQ((*loaded)->table->cell(1, 1), "AmtBuyRSI2");
    EXPECT_EQ(skippedLinesMessage((*loaded)->skippedLines, file("7203", "11"))
                  .rfind("売買条件ファイルの 1, 3 行目は", 0),
              0u);

    // A folder where the set's file should be.
    fs::create_directories(file("7203", "21"));
    EXPECT_FALSE(readConditionSet(m_base, kToyota21).ok());

    // A folder where the index should be: the set's file is written, the failure reported.
    fs::create_directories(conditionIndexPath(m_base));
    const Status registered = registerConditionSet(m_base, ConditionSetId{"1301", "11"}, TJouken::defaults());
    EXPECT_FALSE(registered.ok());
    EXPECT_FALSE(registered.error().message.empty());
}
