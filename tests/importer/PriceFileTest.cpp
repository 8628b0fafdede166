// Reading daily price files and names files: layouts, encodings, date forms and bad rows.
#include "server/import/PriceFile.h"

#include "common/Encoding.h"
#include "common/NumberText.h"
#include "support/TempDir.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

using namespace vorteq;
using namespace vorteq::server;

namespace {

std::vector<std::string> lines(std::initializer_list<const char*> list)
{
    return {list.begin(), list.end()};
}

StockBatch parse(const std::vector<std::string>& text, std::string_view code = "1301")
{
    auto batch = parsePriceLines(text, "p.csv", code, 11);
    EXPECT_TRUE(batch.ok()) << (batch.ok() ? "" : batch.error().message);
    return batch.ok() ? std::move(*batch) : StockBatch{};
}

std::string parseError(const std::vector<std::string>& text, std::string_view code = "1301")
{
    auto batch = parsePriceLines(text, "p.csv", code, 11);
    EXPECT_FALSE(batch.ok());
    return batch.ok() ? std::string() : batch.error().message;
}

using vorteq::test::TempDir;

} // namespace

TEST(CsvFields, QuotedFieldsKeepCommasAndDoubledQuotesAndBlanksAroundPlainFieldsGo)
{
    EXPECT_EQ(splitCsvFields("a, b ,\"c,d\",\"say \"\"hi\"\"\",,\" e \""),
              (std::vector<std::string>{"a", "b", "c,d", "say \"hi\"", "", " e "}));
    EXPECT_EQ(splitCsvFields(""), (std::vector<std::string>{""}));
}

TEST(StockCodes, DecimalDigitsWithoutALeadingZeroOrFourCharactersWithCapitals)
{
    EXPECT_TRUE(isStockCode("7203"));
    EXPECT_TRUE(isStockCode("101"));
    EXPECT_FALSE(isStockCode("0123")); // would read as 123 in the client's IN lists
    EXPECT_TRUE(isStockCode("130A"));
    EXPECT_TRUE(isStockCode("13A0"));
    EXPECT_FALSE(isStockCode("130a"));
    EXPECT_FALSE(isStockCode("A130"));
    EXPECT_FALSE(isStockCode("130AB"));
    EXPECT_FALSE(isStockCode("30A"));
    EXPECT_EQ(codeFromFileName("130A.csv"), "130A");
    EXPECT_EQ(codeFromFileName("130A_daily.csv"), "130A");
    EXPECT_EQ(codeFromFileName("130Ab.csv"), "");
    EXPECT_FALSE(isStockCode(""));
    EXPECT_FALSE(isStockCode("12345678901"));
    EXPECT_FALSE(isStockCode("1301'"));
    EXPECT_EQ(codeFromFileName("/x/7203.csv"), "7203");
    EXPECT_EQ(codeFromFileName("7203_daily.txt"), "7203");
    EXPECT_EQ(codeFromFileName("goog_2004-08-19_2008-10-14.csv"), "");
    EXPECT_EQ(codeFromFileName("7203abc.csv"), "");
    EXPECT_EQ(codeFromFileName("0123.csv"), "");
}

TEST(PriceLayout, HeaderlessRowsAreDateOpenHighLowCloseVolumeInAnyOrder)
{
    StockBatch b = parse(lines({"2006/05/16,301,305,300,304,3000", "", "2006-05-15,295,301.50,294,300,1e3"}));
    ASSERT_EQ(b.stocks.size(), 1u);
    const StockSeries& s = b.stocks[0];
    EXPECT_EQ(s.code, "1301");
    EXPECT_EQ(s.market, 11);
    ASSERT_EQ(s.days.size(), 2u);
    EXPECT_EQ(formatDate(s.days[0].date), "2006/05/15"); // sorted oldest first
    EXPECT_EQ(s.days[0].high, "301.5");                  // the text the server will give back
    EXPECT_EQ(s.days[0].volume, 1000);
    EXPECT_EQ(s.days[1].close, "304");
}

TEST(PriceLayout, CodeColumnSplitsOneFileIntoStocksAndNamesComeFromTheNameColumn)
{
    StockBatch b = parse(lines({"銘柄コード,銘柄名,日付,始値,高値,安値,終値,出来高,売買代金",
                                "1332,日本の水産,2006/05/15,505,510,495,500,88000,1",
                                "1301,極洋,2006/05/15,295,301,294,300,123400,1",
                                "1332,日本の水産,2006/05/16,500,502,499,501,1000,1"}),
                         "");
    ASSERT_EQ(b.stocks.size(), 2u);
    EXPECT_EQ(b.stocks[0].code, "1332");
    EXPECT_EQ(b.stocks[0].name, "日本の水産");
    EXPECT_EQ(b.stocks[0].days.size(), 2u);
    EXPECT_EQ(b.stocks[1].code, "1301");
    EXPECT_EQ(b.stocks[1].name, "極洋");

    StockBatch headerless = parse(lines({"7203,2006-05-15,6010,6050,5980,6000,1000000"}), "");
    ASSERT_EQ(headerless.stocks.size(), 1u);
    EXPECT_EQ(headerless.stocks[0].code, "7203");
}

TEST(PriceLayout, EnglishHeaderWithExtraColumnsInAnotherOrder)
{
    StockBatch b = parse(lines(
        {"Date,Open,High,Low,Close,Adj Close,Volume", "2004-08-19,100,104.06,95.96,100.34,50,22351900"}));
    ASSERT_EQ(b.stocks.size(), 1u);
    EXPECT_EQ(b.stocks[0].days[0].close, "100.34");
    EXPECT_EQ(b.stocks[0].days[0].volume, 22351900);
}

TEST(PriceEncoding, Cp932WithSlashesReadsLikeUtf8WithDashes)
{
    auto cp932 = utf8ToCp932("日付,始値,高値,安値,終値,出来高\r\n2006/05/15,295,301,294,300,123400\r\n");
    ASSERT_TRUE(cp932.ok());
    const std::string utf8 = "\xEF\xBB\xBF"
                             "Date,Open,High,Low,Close,Volume\n2006-05-15,295,301,294,300,123400\n";
    TempDir dir;
    auto a = readPriceFile(dir.write("1301.csv", *cp932), "", 11);
    auto b = readPriceFile(dir.write("1302.txt", utf8), "1301", 11);
    ASSERT_TRUE(a.ok() && b.ok());
    ASSERT_EQ(a->stocks.size(), 1u);
    ASSERT_EQ(b->stocks.size(), 1u);
    const PriceDay& x = a->stocks[0].days.at(0);
    const PriceDay& y = b->stocks[0].days.at(0);
    EXPECT_EQ(a->stocks[0].code, "1301");
    EXPECT_EQ(b->stocks[0].code, "1301");
    EXPECT_EQ(x.date, y.date);
    EXPECT_EQ(std::tie(x.open, x.high, x.low, x.close, x.volume),
              std::tie(y.open, y.high, y.low, y.close, y.volume));
}

TEST(PriceEncoding, TextThatIsNeitherUtf8NorCp932IsRefused)
{
    EXPECT_FALSE(decodeLines("Date\n\x81").ok()); // a lone CP932 lead byte
    auto ok = decodeLines("a\r\nb");
    ASSERT_TRUE(ok.ok());
    EXPECT_EQ(*ok, (std::vector<std::string>{"a", "b"}));
}

// Every way of writing a price gives the general format of the number it reads as, whether the
// text is already in that form or not, in quotes or between blanks, with CR LF or LF line ends, and
// whether the file lists the days oldest first or not.
TEST(PriceTexts, EverySpellingGivesTheGeneralFormatOfItsNumber)
{
    std::mt19937_64 random(19);
    const auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const auto digits = [&](int n) {
        std::string d;
        for (int i = 0; i < n; ++i)
            d += static_cast<char>('0' + pick(10));
        return d;
    };
    // A positive price in one of many spellings: leading or trailing zeros, up to 14 whole digits
    // and 5 decimals, an exponent, a lone point.
    const auto spelling = [&] {
        std::string whole = std::to_string(1 + pick(9)) + digits(pick(14));
        std::string text = std::string(static_cast<std::size_t>(pick(3) == 0 ? pick(3) : 0), '0') + whole;
        switch (pick(5)) {
        case 0:
            break;
        case 1:
            text += "." + digits(1 + pick(5));
            break;
        case 2:
            text += "." + digits(pick(3)) + "0";
            break;
        case 3:
            text += "e" + std::to_string(pick(4));
            break;
        default:
            text = "0." + digits(pick(4)) + std::to_string(1 + pick(9));
        }
        return text;
    };
    const auto dressed = [&](const std::string& field) {
        switch (pick(4)) {
        case 0:
            return " " + field + "\t";
        case 1:
            return "\"" + field + "\"";
        default:
            return field;
        }
    };
    std::vector<std::string> prices;
    std::string ascending = "Date,Open,High,Low,Close,Volume\r\n";
    std::vector<std::string> rows;
    for (int day = 0; day < 3000; ++day) {
        prices.push_back(spelling());
        const int year = 1990 + day / 300;
        const int month = 1 + day / 25 % 12;
        const int dayOfMonth = 1 + day % 25;
        char date[32]; // room for any int the compiler cannot bound
        std::snprintf(date, sizeof date, "%04d/%02d/%02d", year, month, dayOfMonth);
        std::string row = dressed(date);
        for (int field = 0; field < 4; ++field)
            row += "," + dressed(prices.back()); // a day on one price: open = high = low = close
        row += "," + dressed(std::to_string(pick(100000)));
        rows.push_back(row);
        ascending += row + (pick(2) ? "\r\n" : "\n");
    }
    std::string descending = "Date,Open,High,Low,Close,Volume\n";
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        descending += *row + "\n";

    TempDir dir;
    for (const std::string& text : {ascending, descending}) {
        auto batch = readPriceFile(dir.write("1301.csv", text), "", 11);
        ASSERT_TRUE(batch.ok()) << batch.error().message;
        ASSERT_TRUE(batch->problems.empty()) << batch->problems.front();
        ASSERT_EQ(batch->stocks.size(), 1u);
        const std::vector<PriceDay>& days = batch->stocks[0].days;
        ASSERT_EQ(days.size(), prices.size());
        for (std::size_t k = 0; k < days.size(); ++k) {
            const std::string expected = formatNumber(*parseNumber(prices[k]));
            ASSERT_EQ(std::tie(days[k].open, days[k].high, days[k].low, days[k].close),
                      std::tie(expected, expected, expected, expected))
                << "price " << prices[k];
            if (k > 0) {
                ASSERT_LT(days[k - 1].date, days[k].date);
            }
        }
    }
}

// Hostile files: random bytes of the characters that matter to the reader (separators, quotes, line
// ends, blanks, bytes of other encodings, NUL) around plausible rows. Reading the file gives what
// reading its decoded lines gives (the same stocks, problems or error), and nothing crashes; a
// row with a million empty fields after its own is read like any row with extra columns.
TEST(PriceFileAttacks, MalformedBytesGiveTheSameVerdictOnEitherPath)
{
    std::mt19937_64 random(23);
    const std::string pieces[] = {",",          "\"",         "\r",   "\n",           "\r\n",
                                  " ",          "\t",         "\x81", "\xE3\x81\x82", std::string(1, '\0'),
                                  "2006/05/15", "2006-05-16", "300",  "301.5",        "1e3",
                                  "-1",         "0",          "1301", "7203"};
    TempDir dir;
    for (int file = 0; file < 400; ++file) {
        std::string bytes = file % 2 ? "code,date,open,high,low,close,volume\n" : "";
        for (int k = static_cast<int>(random() % 60); k > 0; --k)
            bytes += pieces[random() % std::size(pieces)];
        const auto viaFile = readPriceFile(dir.write("1301.csv", bytes), "", 11);
        const auto decoded = decodeLines(bytes);
        ASSERT_EQ(viaFile.ok(), decoded.ok() && parsePriceLines(*decoded, "x", "1301", 11).ok()) << bytes;
        if (!viaFile.ok())
            continue;
        const auto viaLines = parsePriceLines(*decoded, dir.path().string() + "/1301.csv", "1301", 11);
        ASSERT_TRUE(viaLines.ok());
        ASSERT_EQ(viaFile->problems, viaLines->problems) << bytes;
        ASSERT_EQ(viaFile->skippedStocks, viaLines->skippedStocks);
        ASSERT_EQ(viaFile->stocks.size(), viaLines->stocks.size());
        for (std::size_t i = 0; i < viaFile->stocks.size(); ++i) {
            const auto& a = viaFile->stocks[i].days;
            const auto& b = viaLines->stocks[i].days;
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t d = 0; d < a.size(); ++d)
                ASSERT_EQ(std::tie(a[d].date, a[d].open, a[d].close, a[d].volume),
                          std::tie(b[d].date, b[d].open, b[d].close, b[d].volume));
        }
    }
    std::string wide = "2006/05/15,300,301,299,300,100";
    for (int k = 0; k < 1000000; ++k)
        wide += ",";
    auto batch =
        readPriceFile(dir.write("1301.csv", "2006/05/14,300,301,299,300,100\n" + wide + "\n"), "", 11);
    ASSERT_TRUE(batch.ok());
    ASSERT_EQ(batch->stocks.size(), 1u);
    EXPECT_EQ(batch->stocks[0].days.size(), 2u);
}

TEST(PriceBadRows, EachIsReportedWithFileAndLineAndOnlyItsStockIsLeftOut)
{
    StockBatch b = parse(lines({"code,date,open,high,low,close,volume", "1301,2006/05/15,295,301,294,300,100",
                                "1332,2006/02/30,505,510,495,500,100",  // no such day
                                "1332,2006/05/16,abc,510,495,500,100",  // open not a number
                                "1333,2006/05/15,300,290,294,300,100",  // high below low
                                "1334,2006/05/15,300,301,294,300,-5",   // negative volume
                                "1335,2006/05/15,300,301,294,300,10.5", // fractional volume
                                "1336,2006/05/15,0,301,294,300,100",    // a single zero price
                                "1337,2006/05/15,300,301",              // too few columns
                                "0123,2006/05/15,300,301,294,300,100",  // not a code
                                "1339,0001/05/15,300,301,294,300,100",  // year out of range
                                "1338,2006/05/15,0,0,0,0,0",            // a day without trades
                                "1301,2006/05/16,300,302,299,301,100"}),
                         "");
    ASSERT_EQ(b.stocks.size(), 2u);
    EXPECT_EQ(b.stocks[0].code, "1301");
    EXPECT_EQ(b.stocks[0].days.size(), 2u);
    EXPECT_EQ(b.stocks[1].code, "1338");
    EXPECT_EQ(b.stocks[1].days[0].close, "0");
    EXPECT_EQ(b.skippedStocks, 8); // 1332 has two of the bad rows
    auto has = [&](const std::string& prefix) {
        for (const std::string& p : b.problems)
            if (p.rfind(prefix, 0) == 0)
                return true;
        return false;
    };
    for (int line = 3; line <= 11; ++line)
        EXPECT_TRUE(has("p.csv:" + std::to_string(line) + ": ")) << "line " << line;
    EXPECT_FALSE(has("p.csv:2: "));
    EXPECT_TRUE(has("p.csv: 銘柄 1332 は取り込みませんでした（不正な行 2 件"));
}

TEST(PriceBadRows, ARepeatedDateIsReportedAtTheLaterLine)
{
    StockBatch b = parse(lines({"2006/05/15,295,301,294,300,100", "2006/05/16,295,301,294,300,100",
                                "2006-05-15,295,301,294,300,100"}));
    EXPECT_TRUE(b.stocks.empty());
    ASSERT_FALSE(b.problems.empty());
    EXPECT_EQ(b.problems[0].rfind("p.csv:3: 日付 2006/05/15 が重複しています（1 行目", 0), 0u)
        << b.problems[0];
}

TEST(PriceFileErrors, AFileThatCannotBeReadAsAWholeIsAnErrorNamingIt)
{
    EXPECT_NE(parseError(lines({"", "  "})).find("データ行がありません"), std::string::npos);
    EXPECT_NE(parseError(lines({"Datum,Eröffnung,Hoch"})).find("p.csv:1: "), std::string::npos);
    EXPECT_NE(parseError(lines({"2006/05/15,295,301,294,300,100"}), "").find("銘柄コードが分かりません"),
              std::string::npos);
    EXPECT_NE(parseError(lines({"Date,Open,High,Low,Close,Volume"})).find("データ行がありません"),
              std::string::npos);

    TempDir dir;
    auto missing = readPriceFile(dir.path() / "7203.csv", "", 11);
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().message.find("7203.csv"), std::string::npos);
    EXPECT_FALSE(readPriceFile(dir.path(), "7203", 11).ok()); // a folder
}

TEST(NamesFile, CodeNameLinesWithOptionalHeaderInEitherEncoding)
{
    TempDir dir;
    auto cp932 = utf8ToCp932("コード,銘柄名\r\n1301,極洋\r\n\r\n7203,\"自動車, 本社\"\r\n");
    ASSERT_TRUE(cp932.ok());
    auto names = readNamesFile(dir.write("names.csv", *cp932));
    ASSERT_TRUE(names.ok()) << names.error().message;
    EXPECT_EQ(names->size(), 2u);
    EXPECT_EQ(names->at("1301"), "極洋");
    EXPECT_EQ(names->at("7203"), "自動車, 本社");
}

TEST(NamesFile, ABadLineOrANameTheWireCannotCarryIsAnError)
{
    TempDir dir;
    auto bad = readNamesFile(dir.write("a.csv", "1301,極洋\n01301,x\n"));
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.error().message.find("a.csv:2: "), std::string::npos);
    EXPECT_FALSE(readNamesFile(dir.write("b.csv", "1301,\xF0\x9F\x98\x80\n")).ok()); // no CP932 form
    EXPECT_FALSE(readNamesFile(dir.write("c.csv", "1301,a\x1F"
                                                  "b\n"))
                     .ok()); // a wire separator
}
