#include "series/TTradeRecord.h"

#include <gtest/gtest.h>
#include <sstream>
#include <vector>

using namespace vorteq;

TEST(TradeText, NumbersAreWrittenInTheGeneralFormatWhenRead)
{
    EXPECT_EQ(TradeText::number(998879.2L).str(), "998879.2");
    EXPECT_EQ(TradeText::number(1.0L / 3).str(), "0.333333333333333");
    EXPECT_EQ(TradeText::number(-0.0L).str(), "0");
    EXPECT_EQ(TradeText::number(2.5E16L).str(), "2.5E16");
    EXPECT_EQ(TradeText("－").str(), "－");
    EXPECT_EQ(TradeText(std::string("2006/05/01")).str(), "2006/05/01");
}

TEST(TradeText, ComparesAndConvertsByItsText)
{
    const TradeText price = TradeText::number(1000);
    EXPECT_EQ(price, "1000");
    EXPECT_EQ(price, std::string("1000"));
    EXPECT_EQ(price, TradeText("1000")) << "a number and the same text are the same trade text";
    EXPECT_FALSE(price == "1000.0");
    const std::string text = price;
    EXPECT_EQ(text, "1000");
    std::ostringstream os;
    os << TradeText::number(-7.89L);
    EXPECT_EQ(os.str(), "-7.89");

    const TTradeRecord a{"2006/01/04",
                         "買い",
                         "－",
                         TradeText::number(333),
                         TradeText::number(3000),
                         TradeText::number(999000),
                         TradeText::number(0),
                         TradeText::number(1000),
                         TradeText::number(1000000)};
    const TTradeRecord b{"2006/01/04", "買い", "－", "333", "3000", "999000", "0", "1000", "1000000"};
    EXPECT_EQ(a, b);
    const std::vector<std::string> row{a.TradeDate, a.TradeKind, a.TradeRtn, a.TradePrice};
    EXPECT_EQ(row, (std::vector<std::string>{"2006/01/04", "買い", "－", "333"}));
}
