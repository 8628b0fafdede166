// The data API's files: reading them in JSON and CSV, importing them with split-adjusted prices,
// daily updates against a full re-import, bad files, and an update while the server serves.
#include "server/import/ApiImport.h"

#include "ServerTestData.h"
#include "gateway/THttpStatements.h"
#include "screening/ScreeningQuery.h"
#include "server/import/ApiQuotesFile.h"
#include "server/import/ImportCommand.h"
#include "server/storage/QuoteStore.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace vorteq;
using namespace vorteq::server;
using namespace vorteq::test;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// One record of a daily-quotes file, every field as the API writes it.
struct QuoteLine {
    std::string date, code, open, high, low, close, volume, factor = "1.0", upper = "0", lower = "0";
};

const std::vector<std::string> kQuoteFields = {"Date",
                                               "Code",
                                               "Open",
                                               "High",
                                               "Low",
                                               "Close",
                                               "Volume",
                                               "TurnoverValue",
                                               "AdjustmentFactor",
                                               "AdjustmentOpen",
                                               "AdjustmentHigh",
                                               "AdjustmentLow",
                                               "AdjustmentClose",
                                               "AdjustmentVolume",
                                               "UpperLimit",
                                               "LowerLimit"};

std::vector<std::string> valuesOf(const QuoteLine& q)
{
    // The API's own adjusted columns are not read: the importer adjusts from the factors.
    return {q.date,   q.code, q.open, q.high, q.low,   q.close,  q.volume, q.volume.empty() ? "" : "1000000",
            q.factor, q.open, q.high, q.low,  q.close, q.volume, q.upper,  q.lower};
}

std::string csvOf(const std::vector<QuoteLine>& lines)
{
    std::string out;
    for (std::size_t i = 0; i < kQuoteFields.size(); ++i)
        out += (i ? "," : "") + kQuoteFields[i];
    out += "\n";
    for (const QuoteLine& q : lines) {
        const auto v = valuesOf(q);
        for (std::size_t i = 0; i < v.size(); ++i)
            out += (i ? "," : "") + v[i];
        out += "\n";
    }
    return out;
}

// One record a line, numbers bare and flags quoted, as the API sends them.
std::string jsonOf(const std::vector<QuoteLine>& lines)
{
    std::string out = "{\"daily_quotes\": [\n";
    for (std::size_t k = 0; k < lines.size(); ++k) {
        const auto v = valuesOf(lines[k]);
        out += "  {";
        for (std::size_t i = 0; i < v.size(); ++i) {
            const bool text = i < 2 || i >= 14;
            out += (i ? ", \"" : "\"") + kQuoteFields[i] + "\": ";
            out += v[i].empty() ? "null" : text ? "\"" + v[i] + "\"" : v[i];
        }
        out += k + 1 < lines.size() ? "},\n" : "}\n";
    }
    return out + "], \"pagination_key\": \"x\"}\n";
}

const std::string kIssuesCsv =
    "Date,Code,CompanyName,CompanyNameEnglish,Sector17Code,Sector33Code,ScaleCategory,"
    "MarketCode,MarketCodeName\n"
    "2024-03-01,86970,日本取引所グループ,Japan Exchange Group,16,7200,TOPIX Large70,0111,プライム\n"
    "2024-03-01,130A0,ベリフィケーション,Verification,10,5250,-,0113,グロース\n"
    "2024-03-01,72030,見本自動車,Sample Motor,6,3700,-,0112,スタンダード\n";

// Weekdays from 2024-01-04 on.
std::vector<std::string> tradingDays(int count)
{
    std::vector<std::string> out;
    for (Date d{2024, 1, 4}; static_cast<int>(out.size()) < count; d = addDays(d, 1))
        if (dayOfWeek(d) != 0 && dayOfWeek(d) != 6)
            out.push_back(std::to_string(d.year) + "-" + (d.month < 10 ? "0" : "") + std::to_string(d.month) +
                          "-" + (d.day < 10 ? "0" : "") + std::to_string(d.day));
    return out;
}

// A stock of whole-yen prices; from splitDay on the traded prices are halved (a 1:2 split with the
// factor 0.5 on that day). noTradeDay has empty prices; limitDay closed at the upper limit.
std::vector<QuoteLine> stockLines(const std::string& code, int from, int to, int base, int splitDay = -1,
                                  int noTradeDay = -1, int limitDay = -1)
{
    const auto days = tradingDays(to);
    std::vector<QuoteLine> out;
    for (int i = from; i < to; ++i) {
        QuoteLine q;
        q.date = days[static_cast<std::size_t>(i)];
        q.code = code;
        if (i == noTradeDay) {
            out.push_back(q);
            continue;
        }
        int p = base + (i % 7) * 10 + (i % 3) * 4;
        if (splitDay >= 0 && i >= splitDay)
            p /= 2;
        q.open = std::to_string(p);
        q.high = std::to_string(p + 20);
        q.low = std::to_string(p - 20);
        q.close = std::to_string(p + 10);
        q.volume = std::to_string(1000 + i);
        if (i == splitDay)
            q.factor = "0.5";
        if (i == limitDay) {
            q.close = q.high;
            q.upper = "1";
        }
        out.push_back(q);
    }
    return out;
}

std::vector<QuoteLine> joined(std::vector<QuoteLine> a, const std::vector<QuoteLine>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class ApiImport : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& text)
    {
        return dir.write(name, text).string();
    }

    static int run(std::vector<std::string> args)
    {
        std::vector<char*> argv;
        for (std::string& s : args)
            argv.push_back(s.data());
        const std::string command = args[1];
        return command == "update" ? runUpdateCommand(static_cast<int>(argv.size()), argv.data())
                                   : runImportCommand(static_cast<int>(argv.size()), argv.data());
    }

    ApiImportOptions options()
    {
        ApiImportOptions o;
        o.workers = 2;
        o.message = [this](const std::string& line) { messages.push_back(line); };
        return o;
    }

    ImportSummary import(TestServer& target, const std::vector<std::string>& files, bool adjusted = true)
    {
        auto db = Database::open(target.dbPath(), false);
        EXPECT_TRUE(db.ok());
        ApiImportOptions o = options();
        o.adjusted = adjusted;
        auto s = importApiFiles(*db, files, o);
        EXPECT_TRUE(s.ok()) << (s.ok() ? "" : s.error().message);
        return s.ok() ? *s : ImportSummary{};
    }

    UpdateSummary update(TestServer& target, const std::vector<std::string>& files)
    {
        auto s = updateFromApiFiles(target.dbPath(), files, options());
        EXPECT_TRUE(s.ok()) << (s.ok() ? "" : s.error().message);
        return s.ok() ? *s : UpdateSummary{};
    }

    // Every table the import and the update write, in key order.
    static Rows dump(TestServer& target)
    {
        Rows all;
        std::vector<std::string> queries = {"SELECT * FROM STK_INFO ORDER BY STK_CD",
                                            "SELECT * FROM STK_UPD ORDER BY UPD_FLG",
                                            "SELECT * FROM STK_QUOTE ORDER BY STK_CD, STK_DATE",
                                            "SELECT * FROM STK_QUOTE_MODE ORDER BY STK_CD"};
        for (const auto& table :
             target.query("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE "
                          "'STK_DAILY_%' ORDER BY name"))
            queries.push_back("SELECT *, typeof(E_PRICE), typeof(MACD) FROM " + table[0] +
                              " ORDER BY STK_CD, STK_DATE");
        for (const std::string& sql : queries) {
            auto part = target.query(sql);
            all.push_back({sql, std::to_string(part.size())});
            all.insert(all.end(), part.begin(), part.end());
        }
        return all;
    }

    bool mentioned(const std::string& part) const
    {
        for (const std::string& m : messages)
            if (m.find(part) != std::string::npos)
                return true;
        return false;
    }

    TempDir dir;
    std::vector<std::string> messages;
};

} // namespace

TEST(ApiCodes, FiveCharacterCodesAndMarkets)
{
    EXPECT_EQ(codeOfApiCode("86970"), "8697");
    EXPECT_EQ(codeOfApiCode("130A0"), "130A");
    EXPECT_EQ(codeOfApiCode("25935"), ""); // a preferred share: not the common stock
    EXPECT_EQ(codeOfApiCode("8697"), "");
    EXPECT_EQ(codeOfApiCode("130a0"), "");
    EXPECT_EQ(codeOfApiCode("06970"), "");
    EXPECT_EQ(marketOfApiCode("0101"), 11);
    EXPECT_EQ(marketOfApiCode("0104"), 13);
    EXPECT_EQ(marketOfApiCode("0106"), 91);
    EXPECT_EQ(marketOfApiCode("0107"), 91);
    EXPECT_EQ(marketOfApiCode("0111"), 14);
    EXPECT_EQ(marketOfApiCode("0112"), 15);
    EXPECT_EQ(marketOfApiCode("0113"), 16);
    EXPECT_EQ(marketOfApiCode("0105"), 0); // a market this system does not have
}

TEST(ApiFiles, JsonAndCsvGiveTheSameQuotes)
{
    const auto lines =
        joined(stockLines("86970", 0, 12, 2000, 8, -1, 5), stockLines("130A0", 0, 12, 900, -1, 3));
    auto json = parseApiFile(jsonOf(lines), "q.json");
    auto csv = parseApiFile(csvOf(lines), "q.csv");
    ASSERT_TRUE(json.ok()) << json.error().message;
    ASSERT_TRUE(csv.ok()) << csv.error().message;
    for (const ApiFile* f : {&*json, &*csv}) {
        EXPECT_EQ(f->kind, ApiFileKind::Quotes);
        EXPECT_TRUE(f->problems.empty());
        ASSERT_EQ(f->quotes.size(), 2u);
        EXPECT_EQ(f->quotes[0].code, "130A");
        EXPECT_EQ(f->quotes[1].code, "8697");
        const ApiQuote& noTrade = f->quotes[0].days[3];
        EXPECT_FALSE(noTrade.traded);
        const ApiQuote& limit = f->quotes[1].days[5];
        EXPECT_TRUE(limit.upperLimit);
        EXPECT_FALSE(limit.lowerLimit);
        EXPECT_EQ(limit.close, limit.high);
        EXPECT_EQ(f->quotes[1].days[8].factor, 0.5);
        EXPECT_EQ(f->quotes[1].days[0].open, 2000);
        EXPECT_EQ(f->quotes[1].days[0].volume, 1000);
        EXPECT_EQ(f->quotes[1].days[0].turnover, 1000000);
    }
}

TEST(ApiFiles, ListedIssuesGiveNamesAndMarketsTheLatestDayHolding)
{
    auto f = parseApiFile(kIssuesCsv + "2024-01-05,86970,旧社名,Old,16,7200,-,0101,東証一部\n", "i.csv");
    ASSERT_TRUE(f.ok()) << f.error().message;
    EXPECT_EQ(f->kind, ApiFileKind::ListedIssues);
    ASSERT_EQ(f->issues.size(), 3u);
    EXPECT_EQ(f->issues[0].code, "130A");
    EXPECT_EQ(f->issues[0].market, 16);
    EXPECT_EQ(f->issues[1].code, "7203");
    EXPECT_EQ(f->issues[1].market, 15);
    EXPECT_EQ(f->issues[2].name, "日本取引所グループ");
    EXPECT_EQ(f->issues[2].market, 14);
    auto json =
        parseApiFile(R"({"info": [{"Date": "2024-03-01", "Code": "130A0", "CompanyName": "ベリフィケーション",
 "MarketCode": "0113", "MarketCodeName": "グロース", "Sector17Code": "10", "Sector33Code": "5250",
 "ScaleCategory": "-"}]})",
                     "i.json");
    ASSERT_TRUE(json.ok()) << json.error().message;
    ASSERT_EQ(json->issues.size(), 1u);
    EXPECT_EQ(json->issues[0].name, "ベリフィケーション");
}

TEST(ApiFiles, BadFilesAreNamedWithFileAndLine)
{
    // Wrong columns: the header lacks the adjustment factor.
    auto wrong =
        parseApiFile("\nDate,Code,Open,High,Low,Close,Volume\n2024-01-04,86970,1,1,1,1,1\n", "w.csv");
    ASSERT_FALSE(wrong.ok());
    EXPECT_NE(wrong.error().message.find("w.csv:2: "), std::string::npos) << wrong.error().message;
    EXPECT_NE(wrong.error().message.find("AdjustmentFactor"), std::string::npos);

    // Broken JSON: the line of the fault.
    std::string text = jsonOf(stockLines("86970", 0, 5, 2000));
    text.replace(text.find("\"Open\": 2000"), 12, "\"Open\": 20x0");
    auto broken = parseApiFile(text, "b.json");
    ASSERT_FALSE(broken.ok());
    EXPECT_NE(broken.error().message.find("b.json:2: "), std::string::npos) << broken.error().message;

    // A record nested in a record, an array of numbers, and no records at all.
    EXPECT_FALSE(parseApiFile(R"({"daily_quotes": [{"Date": {"x": 1}}]})", "n.json").ok());
    EXPECT_FALSE(parseApiFile(R"([1, 2])", "n.json").ok());
    EXPECT_FALSE(parseApiFile("{}", "n.json").ok());
    EXPECT_FALSE(parseApiFile(std::string(100000, '['), "deep.json").ok());
    EXPECT_FALSE(parseApiFile("[{\"Date\": \"\xff\"}]", "u.json").ok());
}

TEST(ApiFiles, ABadRecordLeavesItsWholeStockOutAndTheRestIn)
{
    auto lines = joined(stockLines("86970", 0, 6, 2000), stockLines("72030", 0, 6, 3000));
    lines[2].code = "8697";    // mixed codes: a four-character code among the five-character ones
    lines[8].high = "2900";    // below the open of 3000
    lines.push_back(lines[9]); // 72030's day again
    lines.back().code = "130A0";
    lines.push_back(lines.back()); // 130A0 twice on one day
    auto f = parseApiFile(csvOf(lines), "m.csv");
    ASSERT_TRUE(f.ok()) << f.error().message;
    EXPECT_TRUE(f->quotes.empty());
    EXPECT_EQ(f->skippedCodes, (std::vector<std::string>{"8697", "7203", "130A"}));
    auto has = [&](const std::string& part) {
        for (const std::string& p : f->problems)
            if (p.find(part) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("m.csv:4: ")); // the mixed code, line 4 (after the header)
    EXPECT_TRUE(has("m.csv:10: 銘柄 7203: 高値"));
    EXPECT_TRUE(has("m.csv:15: 銘柄 130A: 日付 "));
}

TEST(AdjustedSeries, PricesBeforeASplitAreScaledByTheLaterFactors)
{
    // Hand computation: the factors 0.5 (day 3) and 0.25 (day 5, on a day without trades).
    std::vector<ApiQuote> days(6);
    const double close[] = {1000, 1010, 505, 500, 0, 126};
    for (int i = 0; i < 6; ++i) {
        ApiQuote& q = days[static_cast<std::size_t>(i)];
        q.date = Date{2024, 1, 4 + i};
        q.traded = i != 4;
        q.open = q.high = q.low = q.close = close[i];
        q.volume = 300;
    }
    days[2].factor = 0.5;
    days[4].factor = 0.25;
    const StockSeries adjusted = seriesOfQuotes("8697", "", 14, days, true);
    ASSERT_EQ(adjusted.days.size(), 5u);
    const std::vector<std::pair<std::string, std::int64_t>> expected = {
        {"125", 2400}, {"126.25", 2400}, {"126.25", 1200}, {"125", 1200}, {"126", 300}};
    for (std::size_t k = 0; k < expected.size(); ++k) {
        EXPECT_EQ(adjusted.days[k].close, expected[k].first) << k;
        EXPECT_EQ(adjusted.days[k].volume, expected[k].second) << k;
    }
    const StockSeries raw = seriesOfQuotes("8697", "", 14, days, false);
    EXPECT_EQ(raw.days[0].close, "1000");
    EXPECT_EQ(raw.days[0].volume, 300);
}

TEST_F(ApiImport, ImportsNamesMarketsAdjustedPricesAndKeepsTheLimitFlags)
{
    TestServer server;
    const std::string issues = write("listed_info.csv", kIssuesCsv);
    const std::string quotes =
        write("daily_quotes.json", jsonOf(joined(stockLines("86970", 0, 70, 2000, 60, -1, 40),
                                                 stockLines("130A0", 0, 70, 900, -1, 30))));
    const ImportSummary s = import(server, {issues, quotes});
    EXPECT_EQ(s.imported, 2);
    EXPECT_EQ(s.skipped, 0);
    EXPECT_EQ(s.days, 70 + 69); // the day without trades has no row
    EXPECT_EQ(server.query("SELECT STK_CD, STK_NM, MKT_CD FROM STK_INFO ORDER BY STK_CD"),
              (Rows{{"130A", "ベリフィケーション", "16"}, {"8697", "日本取引所グループ", "14"}}));
    const auto days = tradingDays(70);
    // Day 10 traded at 2000 + 3*10 + 1*4 = 2034 (close 2044), volume 1010; the split halves it.
    EXPECT_EQ(
        server.query("SELECT S_PRICE, E_PRICE, STK_VLM FROM STK_DAILY_TSE_2024 WHERE STK_CD = '8697' AND "
                     "STK_DATE = '" +
                     normaliseDateText(days[10]) + "'"),
        (Rows{{"1017.0", "1022.0", "2020"}}));
    // From the split on the traded prices stand.
    EXPECT_EQ(server.query("SELECT E_PRICE, STK_VLM FROM STK_DAILY_TSE_2024 WHERE STK_CD = '8697' AND "
                           "STK_DATE = '" +
                           normaliseDateText(days[61]) + "'"),
              (Rows{{"1037.0", "1061"}}));
    EXPECT_TRUE(server
                    .query("SELECT * FROM STK_DAILY_TSE_2024 WHERE STK_CD = '130A' AND STK_DATE = '" +
                           normaliseDateText(days[30]) + "'")
                    .empty());
    EXPECT_EQ(
        server.query(
            "SELECT STK_DATE, UPPER_LIMIT, LOWER_LIMIT FROM STK_QUOTE WHERE UPPER_LIMIT + LOWER_LIMIT > 0"),
        (Rows{{normaliseDateText(days[40]), "1", "0"}}));
    EXPECT_EQ(server.query("SELECT UPD_DATE FROM STK_UPD WHERE UPD_FLG = 1")[0][0],
              normaliseDateText(days[69]));

    // --raw keeps the traded prices.
    import(server, {issues, quotes}, false);
    EXPECT_EQ(server.query("SELECT E_PRICE, STK_VLM FROM STK_DAILY_TSE_2024 WHERE STK_CD = '8697' AND "
                           "STK_DATE = '" +
                           normaliseDateText(days[10]) + "'"),
              (Rows{{"2044.0", "1010"}}));
}

TEST_F(ApiImport, UpdateThenFullReimportGiveIdenticalTables)
{
    const std::string issues = write("listed_info.csv", kIssuesCsv);
    const std::string history = write(
        "history.csv",
        csvOf(joined(stockLines("86970", 0, 80, 2000, -1, -1, 40),
                     joined(stockLines("130A0", 0, 80, 900, -1, 30), stockLines("72030", 0, 80, 3000)))));
    // Day 80: an ordinary day for 8697, a split for 7203, a day without trades for 130A.
    auto day80 = joined(stockLines("86970", 80, 81, 2000), stockLines("72030", 80, 81, 3000, 80));
    day80.push_back(stockLines("130A0", 80, 81, 900, -1, 80)[0]);
    const std::string json80 = write("day80.json", jsonOf(day80));
    // Day 81: ordinary again, as CSV.
    const std::string csv81 =
        write("day81.csv",
              csvOf(joined(stockLines("86970", 81, 82, 2000),
                           joined(stockLines("72030", 81, 82, 3000, 80), stockLines("130A0", 81, 82, 900)))));

    TestServer updated;
    import(updated, {issues, history});
    const UpdateSummary first = update(updated, {json80});
    EXPECT_EQ(first.appended, 2); // 8697, and 130A's day without trades
    EXPECT_EQ(first.readjusted, 1);
    EXPECT_EQ(first.skipped, 0);
    const UpdateSummary second = update(updated, {csv81});
    EXPECT_EQ(second.appended, 3);
    EXPECT_EQ(second.days, 3);
    // The same files again (a resumed run): nothing to do, nothing written.
    const UpdateSummary repeated = update(updated, {json80, csv81});
    EXPECT_EQ(repeated.unchanged, 3);
    EXPECT_EQ(repeated.appended + repeated.readjusted + repeated.days, 0);
    const auto days = tradingDays(82);
    EXPECT_EQ(updated.query("SELECT UPD_DATE FROM STK_UPD WHERE UPD_FLG = 1")[0][0],
              normaliseDateText(days[81]));
    // The split re-adjusted 7203's history: day 0 traded at 3000, now 1500.
    EXPECT_EQ(updated.query("SELECT S_PRICE FROM STK_DAILY_TSE_2024 WHERE STK_CD = '7203' AND STK_DATE = '" +
                            normaliseDateText(days[0]) + "'"),
              (Rows{{"1500.0"}}));

    TestServer reimported;
    import(reimported, {issues, history, json80, csv81});
    EXPECT_EQ(dump(updated), dump(reimported));
    EXPECT_TRUE(messages.empty()) << messages.front();
}

TEST_F(ApiImport, UpdateOfALongHistoryAnalysesItsLatestDaysAndStillMatchesAFullImport)
{
    // More days than the update analyses for an appended day, over six yearly tables, with a split
    // and a limit day inside the history.
    const std::string issues = write("listed_info.csv", kIssuesCsv);
    const std::string history =
        write("history.csv", csvOf(joined(stockLines("86970", 0, 1500, 2000, 300, 700, 1200),
                                          stockLines("130A0", 0, 1500, 900, -1, 1450))));
    const std::string next = write("next.json", jsonOf(joined(stockLines("86970", 1500, 1502, 2000, 300),
                                                              stockLines("130A0", 1500, 1502, 900))));
    TestServer updated;
    import(updated, {issues, history});
    const UpdateSummary s = update(updated, {next});
    EXPECT_EQ(s.appended, 2);
    EXPECT_EQ(s.days, 4);
    EXPECT_EQ(s.analysedWhole, 0); // the latest 1,000 days gave the stored rows
    TestServer reimported;
    import(reimported, {issues, history, next});
    EXPECT_EQ(dump(updated), dump(reimported));
    EXPECT_TRUE(messages.empty()) << messages.front();

    // A stored row that the latest days do not give again (changed by hand here): the whole history
    // is analysed, and the new day is still the full import's.
    const std::string last = normaliseDateText(tradingDays(1502)[1501]);
    updated.execSql("UPDATE STK_DAILY_TSE_" + last.substr(0, 4) +
                    " SET MACD = MACD + 1 WHERE STK_CD = '8697' AND " + "STK_DATE = '" + last + "'");
    const std::string third = write("third.csv", csvOf(stockLines("86970", 1502, 1503, 2000, 300)));
    const UpdateSummary again = update(updated, {third});
    EXPECT_EQ(again.appended, 1);
    EXPECT_EQ(again.analysedWhole, 1);
    import(reimported, {issues, history, next, third});
    const std::string day = normaliseDateText(tradingDays(1503)[1502]);
    const std::string newDay =
        "SELECT * FROM STK_DAILY_TSE_" + day.substr(0, 4) + " WHERE STK_DATE = '" + day + "'";
    EXPECT_EQ(updated.query(newDay), reimported.query(newDay));
    EXPECT_EQ(updated.query(newDay).size(), 1u);
}

TEST_F(ApiImport, UpdateLeavesOutStocksItCannotExtendAndWritesNothingOfABadStock)
{
    TestServer server;
    seedMarket(server); // stocks imported from simple price files, without stored quotes
    const std::string issues = write("listed_info.csv", kIssuesCsv);
    import(server, {issues, write("h.csv", csvOf(stockLines("86970", 0, 30, 2000)))});
    const Rows before = dump(server);
    const std::string seeded =
        server.query("SELECT STK_CD FROM STK_INFO WHERE STK_CD <> '8697' LIMIT 1")[0][0];

    auto bad = stockLines("86970", 30, 32, 2000);
    bad[1].low = "-1";
    auto other = stockLines(seeded + "0", 30, 31, 500);
    const UpdateSummary s = update(server, {write("bad.csv", csvOf(joined(bad, other))),
                                            write("broken.json", "{\"daily_quotes\": [\n{\"Date\": \n")});
    EXPECT_EQ(s.skipped, 2);
    EXPECT_EQ(s.failedFiles, 1);
    EXPECT_EQ(s.appended + s.readjusted + s.added, 0);
    EXPECT_TRUE(mentioned("bad.csv:3: 銘柄 8697: 安値"));
    EXPECT_TRUE(mentioned("broken.json:3: JSON として読めません"));
    EXPECT_TRUE(mentioned("銘柄 " + seeded + ": データ API のファイルから取り込まれていない"));
    EXPECT_EQ(dump(server), before);
}

TEST_F(ApiImport, CommandsTakeApiFilesAndRefuseMixedInput)
{
    TestServer server;
    const std::string issues = write("listed_info.json", R"({"info": [{"Date": "2024-03-01", "Code": "130A0",
 "CompanyName": "ベリフィケーション", "MarketCode": "0113"}]})");
    const std::string quotes = write("q.csv", csvOf(stockLines("130A0", 0, 20, 900)));
    const std::string simple = write("1301.csv", "2024-01-04,295,301,294,300,1000\n");
    EXPECT_EQ(run({"vorteq-server", "import", "--db", server.dbPath(), issues, quotes}), 0);
    EXPECT_EQ(server.query("SELECT MKT_CD FROM STK_INFO WHERE STK_CD = '130A'"), (Rows{{"16"}}));
    EXPECT_EQ(run({"vorteq-server", "import", "--db", server.dbPath(), issues, simple}), 2);
    // A quotes file without its adjustment factors is still the API's, and refused as a whole.
    EXPECT_EQ(run({"vorteq-server", "import", "--db", server.dbPath(),
                   write("nofactor.csv", "Date,Code,Open,High,Low,Close,Volume,TurnoverValue\n"
                                         "2024-01-04,13010,295,301,294,300,1000,300000\n")}),
              1);
    EXPECT_TRUE(server.query("SELECT * FROM STK_INFO WHERE STK_CD = '1301'").empty());
    EXPECT_EQ(run({"vorteq-server", "import", "--raw", "--market", "11", "--db", server.dbPath(), simple}),
              2);
    EXPECT_EQ(run({"vorteq-server", "update", "--market", "17", "--db", server.dbPath(), quotes}), 2);
    EXPECT_EQ(run({"vorteq-server", "update", "--db", (dir.path() / "none.db").string(), quotes}), 2);
    // Without the listed issues a new stock needs --market.
    const std::string unknown = write("u.csv", csvOf(stockLines("99990", 0, 20, 700)));
    EXPECT_EQ(run({"vorteq-server", "update", "--db", server.dbPath(), unknown}), 1);
    EXPECT_EQ(run({"vorteq-server", "update", "--market", "15", "--db", server.dbPath(), unknown}), 0);
    EXPECT_EQ(server.query("SELECT MKT_CD FROM STK_INFO WHERE STK_CD = '9999'"), (Rows{{"15"}}));
    EXPECT_EQ(run({"vorteq-server", "update", "--db", server.dbPath(),
                   write("q2.csv", csvOf(stockLines("130A0", 20, 21, 900)))}),
              0);
    EXPECT_EQ(server.query("SELECT COUNT(*) FROM STK_DAILY_TSE_2024 WHERE STK_CD = '130A'"), (Rows{{"21"}}));
}

TEST_F(ApiImport, ScreeningFindsALetterCodeInTodaysMarketWhileAnUpdateWrites)
{
    TestServer server;
    server.addUser("demo", "demo1234", "デモ", "demo@example.com");
    const std::string issues = write("listed_info.csv", kIssuesCsv);
    std::vector<QuoteLine> history;
    std::vector<QuoteLine> next;
    // Enough stocks that the update takes a while.
    for (int k = 0; k < 60; ++k) {
        const std::string code = std::to_string(3000 + k) + "0";
        history = joined(history, stockLines(code, 0, 120, 1000 + k));
        next = joined(next, stockLines(code, 120, 121, 1000 + k));
    }
    history = joined(history, stockLines("130A0", 0, 120, 900));
    next = joined(next, stockLines("130A0", 120, 121, 900));
    ApiImportOptions o = options();
    o.fallbackMarket = 14;
    {
        auto db = Database::open(server.dbPath(), false);
        ASSERT_TRUE(db.ok());
        ASSERT_TRUE(importApiFiles(*db, {issues, write("h.csv", csvOf(history))}, o).ok());
    }
    const std::string nextFile = write("next.json", jsonOf(next));

    auto login = [&] {
        clearSessionCookie();
        THttpStatements client(server.url());
        client.Add("Query");
        client.Add(loginSql("demo", "demo1234"));
        auto r = client.Execute();
        return r.ok() && *r && client.Item(1).RowCount == 1;
    };
    ASSERT_TRUE(login());
    std::atomic<bool> done{false};
    std::thread updater([&] {
        auto s = updateFromApiFiles(server.dbPath(), {issues, nextFile}, o);
        EXPECT_TRUE(s.ok());
        EXPECT_EQ(s.ok() ? s->appended : 0, 61);
        done = true;
    });
    // Screenings go on meanwhile, each answered with the day they ask for.
    const auto days = tradingDays(121);
    THttpStatements client(server.url());
    int rounds = 0;
    while (!done || rounds < 3) {
        ScreeningCriteria c;
        c.marketPosition = 10; // グロース
        c.baseDate = *parseDate(days[100]);
        c.stockCode = "130";
        // Every other round through the registered stocks: a quoted letter code beside a bare number.
        c.target = rounds % 2 ? StockTarget::Registered : StockTarget::All;
        auto sql = buildScreeningSql(c, registeredStockFilter({"130A,16,", "3001,16,", "3002,14,"}, "16"));
        ASSERT_TRUE(sql.ok());
        client.Clear();
        client.Add("Query");
        client.Add(*sql);
        auto screened = client.Execute();
        ASSERT_TRUE(screened.ok() && *screened) << rounds << " " << server.logLines().back();
        ASSERT_EQ(client.Item(1).RowCount, 1);
        EXPECT_EQ(client.Item(1).Tbl->cell(1, 1), "130A");
        EXPECT_EQ(client.Item(1).Tbl->cell(3, 1), "グロース");
        ++rounds;
    }
    updater.join();
    EXPECT_TRUE(login());
    EXPECT_EQ(server.query("SELECT UPD_DATE FROM STK_UPD WHERE UPD_FLG = 1")[0][0],
              normaliseDateText(days[120]));
    clearSessionCookie();
}
