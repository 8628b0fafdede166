#include "screening/ScreeningQuery.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <string>

using namespace vorteq;
namespace fs = std::filesystem;

namespace {

class TempBase {
public:
    TempBase()
    {
        std::random_device rd;
        m_dir = fs::temp_directory_path() / ("vorteq_screening_" + std::to_string(rd()));
        fs::create_directories(m_dir);
    }
    ~TempBase()
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }
    const fs::path& path() const { return m_dir; }
    void writeIndex(const std::string& bytes) const
    {
        fs::create_directories(m_dir / "UsrData");
        std::ofstream out(m_dir / "UsrData" / "UsrCndCd.dat", std::ios::binary);
        out << bytes;
    }

private:
    fs::path m_dir;
};

} // namespace

TEST(RegisteredFilter, OneCodeIsQuotedWithoutTrailingBlank)
{
    EXPECT_EQ(registeredStockFilter({"1301,11,", "7203,12,"}, "11"), "AND a.STK_CD = '1301'");
}

TEST(RegisteredFilter, SeveralCodesFormAnUnquotedInListInFileOrder)
{
    EXPECT_EQ(registeredStockFilter({"7203,11,", "1301,11,", "9984,12,", "7203,11,"}, "11"),
              "AND a.STK_CD IN (7203,1301,7203) ");
}

TEST(RegisteredFilter, MarketCodeComparesAsExactText)
{
    // "011" and "1" are other texts than "11"; "999" is the exchange market.
    EXPECT_EQ(registeredStockFilter({"1301,011,", "1332,1,", "1333,11 ,"}, "11"), "");
    EXPECT_EQ(registeredStockFilter({"USDJPY,999,", "1301,11,"}, "999"), "AND a.STK_CD = 'USDJPY'");
}

TEST(RegisteredFilter, CodesWithALetterAreQuotedBesideUnquotedDigitCodes)
{
    EXPECT_EQ(registeredStockFilter({"1301,16,", "130A,16,", "7203,14,"}, "16"),
              "AND a.STK_CD IN (1301,'130A') ");
    EXPECT_EQ(registeredStockFilter({"130A,16,"}, "16"), "AND a.STK_CD = '130A'");
}

TEST(RegisteredFilter, LinesWithFewerThanTwoCommasAreSkipped)
{
    EXPECT_EQ(registeredStockFilter({"", "1301", "1332,11", "1333,11,", "1334,11,extra,text"}, "11"),
              "AND a.STK_CD IN (1333,1334) ");
}

TEST(RegisteredFilter, CodesCannotChangeTheStatement)
{
    EXPECT_EQ(registeredStockFilter({"13'01,11,"}, "11"), "AND a.STK_CD = '13''01'");
    EXPECT_EQ(registeredStockFilter({"1301,11,", "0) OR (1=1,11,", "A'B,11,"}, "11"),
              "AND a.STK_CD IN (1301,'0) OR (1=1','A''B') ");
}

TEST(RegisteredFilter, StatementCarriesTheRestrictionBeforeTheMarket)
{
    ScreeningCriteria c;
    c.target = StockTarget::Registered;
    c.baseDate = Date{2006, 5, 15};
    auto one = buildScreeningSql(c, "AND a.STK_CD = '1301'");
    ASSERT_TRUE(one.ok());
    EXPECT_NE(one->find("WHERE a.MKT_CD = b.MKT_CD AND a.STK_CD = '1301'AND a.MKT_CD = 11  AND"),
              std::string::npos)
        << *one;
    // Without a restriction the registered target sends nothing.
    auto none = buildScreeningSql(c, "");
    ASSERT_FALSE(none.ok());
    EXPECT_EQ(none.error().message, "売買条件の登録されている銘柄はありませんでした。");
    // The restriction is ignored for all stocks.
    c.target = StockTarget::All;
    auto all = buildScreeningSql(c, "AND a.STK_CD = '1301'");
    ASSERT_TRUE(all.ok());
    EXPECT_EQ(all->find("1301"), std::string::npos);
}

TEST(RegisteredIndexFile, ReadsTheChosenMarketsCodes)
{
    TempBase base;
    base.writeIndex("1301,11,\r\n1332,21,\r\n7203,11,\r\n");
    auto tse = search_registered_filter(base.path(), 0);
    ASSERT_TRUE(tse.ok());
    EXPECT_EQ(*tse, "AND a.STK_CD IN (1301,7203) ");
    auto dse = search_registered_filter(base.path(), 2);
    ASSERT_TRUE(dse.ok());
    EXPECT_EQ(*dse, "AND a.STK_CD = '1332'");
    auto jasdaq = search_registered_filter(base.path(), 4);
    ASSERT_TRUE(jasdaq.ok());
    EXPECT_EQ(*jasdaq, "");
}

TEST(RegisteredIndexFile, MissingIndexGivesNoRestriction)
{
    TempBase base;
    auto filter = search_registered_filter(base.path(), 0);
    ASSERT_TRUE(filter.ok());
    EXPECT_EQ(*filter, "");
}

TEST(RegisteredIndexFile, UnreadableIndexIsAnError)
{
    TempBase base;
    // A folder where the index file should be.
    fs::create_directories(conditionIndexPath(base.path()));
    EXPECT_FALSE(search_registered_filter(base.path(), 0).ok());

    TempBase broken;
    broken.writeIndex("1301,11,\r\n\x81\r\n"); // a lead byte without its trail byte
    EXPECT_FALSE(search_registered_filter(broken.path(), 0).ok());
}

TEST(RegisteredIndexFile, LastLineWithoutLineEndCounts)
{
    TempBase base;
    base.writeIndex("1301,11,\r\n1332,11,");
    auto filter = search_registered_filter(base.path(), 0);
    ASSERT_TRUE(filter.ok());
    EXPECT_EQ(*filter, "AND a.STK_CD IN (1301,1332) ");
}

TEST(RegisteredIndexFile, SetsOfTodaysMarketsWithLetterCodesAreFound)
{
    TempBase base;
    TJouken record;
    for (const ConditionSetId& id :
         {ConditionSetId{"130A", "16"}, ConditionSetId{"2160", "16"}, ConditionSetId{"7203", "14"}})
        ASSERT_TRUE(registerConditionSet(base.path(), id, record).ok());
    EXPECT_TRUE(fs::exists(base.path() / "UsrData" / "130A16.dat"));
    auto growth = search_registered_filter(base.path(), 10);
    ASSERT_TRUE(growth.ok());
    EXPECT_EQ(*growth, "AND a.STK_CD IN ('130A',2160) ");
    auto prime = search_registered_filter(base.path(), 8);
    ASSERT_TRUE(prime.ok());
    EXPECT_EQ(*prime, "AND a.STK_CD = '7203'");
}
