#include "CliTestSupport.h"
#include "cli/Options.h"
#include "cli/ScreeningOptions.h"
#include "common/TextTable.h"
#include "screening/ScreeningConditions.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::cli;
using namespace vorteq::test;

namespace {

const std::vector<OptionDef> kOptionDefs = {
    {"market", "CODE", "market", true},
    {"date", "DATE", "date"},
    {"utf8", "", "flag"},
};

Result<ParsedOptions> parse(std::vector<std::string> args)
{
    return parseOptions(args, kOptionDefs);
}

std::string messageOf(const Result<ParsedOptions>& r)
{
    return r.ok() ? "<parsed>" : r.error().message;
}

const ScreeningCondition& conditionNamed(std::string_view option)
{
    for (const ScreeningCondition& c : screeningConditions())
        if (conditionOptionName(c) == option)
            return c;
    throw std::runtime_error("no condition option " + std::string(option));
}

} // namespace

TEST(CliOptions, ValuesComeSeparatedOrAfterAnEqualsSign)
{
    auto parsed = parse({"--market", "11", "--date=2006/05/15", "--utf8"});
    ASSERT_TRUE(parsed.ok()) << messageOf(parsed);
    EXPECT_EQ(parsed->value("market"), "11");
    EXPECT_EQ(parsed->value("date"), "2006/05/15");
    EXPECT_TRUE(parsed->has("utf8"));
    // A value may itself start with dashes when it is separate: the option takes it.
    auto negative = parse({"--market", "-5"});
    ASSERT_TRUE(negative.ok());
    EXPECT_EQ(negative->value("market"), "-5");
}

TEST(CliOptions, MistakesAreUsageErrorsThatNameTheOption)
{
    EXPECT_EQ(messageOf(parse({"--market", "11", "--bogus"})), "不明なオプションです: --bogus");
    EXPECT_EQ(messageOf(parse({"--market", "11", "extra"})), "余分な引数があります: \"extra\"");
    EXPECT_EQ(messageOf(parse({"--market"})), "--market には値 (CODE) が必要です。");
    EXPECT_EQ(messageOf(parse({"--market", "11", "--market", "12"})), "--market が2回指定されています。");
    EXPECT_EQ(messageOf(parse({"--date", "2006/05/15"})), "--market を指定してください。");
    EXPECT_EQ(messageOf(parse({"--market", "11", "--utf8=yes"})), "--utf8 は値をとりません。");
}

TEST(CliOptions, HostileArgumentsGetTheFirstMistakeInJapanese)
{
    // An option takes the next word as its value, whatever it looks like.
    EXPECT_EQ(messageOf(parse({"--market", "--date", "2006/05/15"})), "余分な引数があります: \"2006/05/15\"");
    EXPECT_EQ(messageOf(parse({"--market", "11", "--date"})), "--date には値 (DATE) が必要です。");
    EXPECT_EQ(messageOf(parse({"--market", "11", "--bogus=1"})), "不明なオプションです: --bogus");
    EXPECT_EQ(messageOf(parse({"--market", "11", "-x"})), "余分な引数があります: \"-x\"");
    EXPECT_EQ(messageOf(parse({"--", "--market", "11"})), "余分な引数があります: \"--\"");
    EXPECT_EQ(messageOf(parse({"--market", "11", "--utf8", "--utf8"})), "--utf8 が2回指定されています。");
    EXPECT_EQ(messageOf(parse({"--market=11", "--market=11"})), "--market が2回指定されています。");
    // A word before an option without its value is named first, as it comes first.
    EXPECT_EQ(messageOf(parse({"stray", "--market"})), "余分な引数があります: \"stray\"");
    // Unknown options are refused before a missing required one.
    EXPECT_EQ(messageOf(parse({"--bogus"})), "不明なオプションです: --bogus");

    std::vector<std::string> many(5000, "--utf8");
    many.insert(many.begin(), {"--market", "11"});
    EXPECT_EQ(messageOf(parse(many)), "--utf8 が2回指定されています。");
    // Long and odd values are kept byte for byte.
    const std::string huge(1 << 20, 'x');
    const std::string odd = "\xff\xfe=,--date";
    auto parsed = parse({"--market", huge, "--date=" + odd});
    ASSERT_TRUE(parsed.ok()) << messageOf(parsed);
    EXPECT_EQ(parsed->value("market"), huge);
    EXPECT_EQ(parsed->value("date"), odd);
    EXPECT_FALSE(parsed->has("utf8"));
    // An empty value after "=" is no value.
    EXPECT_EQ(messageOf(parse({"--market="})), "--market には値 (CODE) が必要です。");
}

TEST(CliOptions, HelpAnywhereSkipsEveryOtherCheck)
{
    auto parsed = parse({"--bogus", "--help"});
    ASSERT_TRUE(parsed.ok());
    EXPECT_TRUE(parsed->helpRequested());
}

TEST(CliOptions, CommandLineMistakesExitWith64)
{
    const CliRun none = runCli({});
    EXPECT_EQ(none.status, 64);
    const CliRun unknown = runCli({"export"});
    EXPECT_EQ(unknown.status, 64);
    EXPECT_EQ(unknown.err.rfind("vorteq-cli: 不明なコマンドです: \"export\"\n", 0), 0u);
    const CliRun badOption = runCli({"screen", "--market", "11", "--rsi", "30,above"});
    EXPECT_EQ(badOption.status, 64);
    EXPECT_EQ(badOption.err, "vorteq-cli: --rsi の値 \"above\" は選択肢にありません (N,以上|以下)\n");
    EXPECT_EQ(runCli({"screen", "--market", "23"}).status, 64);
    EXPECT_EQ(runCli({"screen", "--market", "11", "--date", "2006/02/30"}).status, 64);
    EXPECT_EQ(runCli({"screen", "--market", "11", "--format", "xml"}).status, 64);
}

TEST(CliOptions, EveryCommandHasItsHelp)
{
    for (const char* command : {"login", "screen", "sweep", "walkforward", "merge"}) {
        const CliRun run = runCli({command, "--help"});
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(std::string("使い方: vorteq-cli ") + command, 0), 0u) << run.out;
        EXPECT_NE(run.out.find("終了コード"), std::string::npos);
    }
    const CliRun overview = runCli({"--help"});
    EXPECT_EQ(overview.status, 0);
    // Every command in the overview, the longest name too.
    EXPECT_NE(overview.out.find("  walkforward インサンプル"), std::string::npos) << overview.out;
    EXPECT_NE(overview.out.find("  sweep     売買条件"), std::string::npos) << overview.out;
}

TEST(CliConditionOption, NamesFollowTheCheckBoxes)
{
    std::vector<std::string> names;
    for (const ScreeningCondition& c : screeningConditions())
        names.push_back(conditionOptionName(c));
    EXPECT_EQ(names.size(), 28u);
    EXPECT_EQ(names.front(), "prange");
    EXPECT_EQ(names[9], "ma-ma-kairi");
    EXPECT_EQ(names.back(), "mpsy");
}

TEST(CliConditionOption, ListItemsByTextAliasOrPositionAndTheNumberAnywhere)
{
    ConditionState s;
    ASSERT_FALSE(applyConditionOption(conditionNamed("ma-ma-kairi"), "-2, 50d, #2 ,以下", s));
    EXPECT_TRUE(s.use);
    EXPECT_EQ(s.number, "-2");
    EXPECT_EQ(s.choices[0], 3); // 50日
    EXPECT_EQ(s.choices[1], 2); // 25日
    EXPECT_EQ(s.choices[2], 1); // 以下

    // Lists not given keep what the reset selects: 5 days against 15 days.
    ASSERT_FALSE(applyConditionOption(conditionNamed("ma-ma"), "<=", s));
    EXPECT_EQ(s.choices[0], 0);
    EXPECT_EQ(s.choices[1], 1);
    EXPECT_EQ(s.choices[2], 1);

    ASSERT_FALSE(applyConditionOption(conditionNamed("voli"), "株価が-1σ以下", s));
    EXPECT_EQ(s.choices[0], 3);
    ASSERT_FALSE(applyConditionOption(conditionNamed("renzoku"), "down,4", s));
    EXPECT_EQ(s.number, "4");
    EXPECT_EQ(s.choices[0], 0);
    EXPECT_EQ(s.choices[1], 1);
}

TEST(CliConditionOption, ASecondNumberOrAnUnknownItemIsRefused)
{
    ConditionState s;
    EXPECT_TRUE(applyConditionOption(conditionNamed("rsi"), "30,40", s));
    EXPECT_TRUE(applyConditionOption(conditionNamed("macd"), "MACD", s)); // no number to take it
    EXPECT_TRUE(applyConditionOption(conditionNamed("dmi"), "#2", s));    // two items only
}

TEST(CliTextTable, PadsByDisplayWidthAndRightAlignsNumbers)
{
    // Widths: コード 6, 名 2, 極洋 4, ﾄﾖﾀ 3 (half-width kana take one column each).
    EXPECT_EQ(formatTable({{"コード", "名"}, {"1301", "極洋"}, {"7203", "ﾄﾖﾀ"}}), "コード  名\n"
                                                                                  "------------\n"
                                                                                  "  1301  極洋\n"
                                                                                  "  7203  ﾄﾖﾀ\n");
}

TEST(CliOptions, TodaysMarketsGoByCodeOrName)
{
    EXPECT_EQ(*marketPositionOf("14"), 8);
    EXPECT_EQ(*marketPositionOf("スタンダード"), 9);
    EXPECT_EQ(*marketPositionOf("グロース"), 10);
    EXPECT_EQ(*marketPositionOf("11"), 0);
    const auto unknown = marketPositionOf("17");
    ASSERT_FALSE(unknown);
    EXPECT_NE(unknown.error().message.find("16 グロース"), std::string::npos);
}
