#include "accounts/AccountChange.h"

#include "accounts/LoginBatch.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>

namespace vorteq {
namespace {

struct Entry {
    const char* first;
    const char* second;
    std::optional<EntryField> refused; // the field that gets the focus; empty when the entry may be sent
};

TEST(NewPasswordCheck, RefusesInTheOrderTheFieldsAreChecked)
{
    const Entry cases[] = {
        {"", "", EntryField::First}, // both empty: the first field comes first
        {"", "abcd", EntryField::First},
        {"abcd", "", EntryField::Second},
        {"abc", "abc", EntryField::First},   // three characters
        {"abc", "", EntryField::Second},     // the empty repetition is found before the length
        {"abcd", "abce", EntryField::First}, // entries differ
        {"ab-d", "ab-d", EntryField::First}, // a symbol
        {"ab d", "ab d", EntryField::First}, // a blank
        {"ab'd", "ab'd", EntryField::First}, // a quote never reaches a statement
        {"パスワード", "パスワード", EntryField::First},
        {"abcd", "abcd", std::nullopt}, // four letters
        {"0123456789", "0123456789", std::nullopt},
        {"Ab3Z", "Ab3Z", std::nullopt},
    };
    for (const Entry& c : cases)
        EXPECT_EQ(checkNewPassword(c.first, c.second), c.refused) << c.first << " / " << c.second;
}

TEST(NewPasswordCheck, CountsCharactersNotBytes)
{
    // Three Japanese characters are nine bytes but still too short; the length message comes first.
    EXPECT_EQ(checkNewPassword("あいう", "あいう"), EntryField::First);
}

TEST(NewMailCheck, RefusesInTheOrderTheFieldsAreChecked)
{
    const Entry cases[] = {
        {"", "", EntryField::First},
        {"a@b.jp", "", EntryField::Second},
        {"a@b.jp", "a@b.com", EntryField::First},
        {"a b@c.jp", "a b@c.jp", EntryField::First}, // a blank
        {"a@@b.jp", "a@@b.jp", EntryField::First},   // two @
        {"a@b@c", "a@b@c", EntryField::First},
        {"ab.jp", "ab.jp", EntryField::First},       // no @
        {"a+b@c.jp", "a+b@c.jp", EntryField::First}, // "+" is not among the accepted characters
        {"ａ@b.jp", "ａ@b.jp", EntryField::First},   // a full-width letter
        {"a'b@c.jp", "a'b@c.jp", EntryField::First},
        {"-a.b_c@d-e.f_", "-a.b_c@d-e.f_", std::nullopt}, // "-", ".", "_" anywhere
        {"@", "@", std::nullopt},                         // the check asks for one @ only
        {"Taro.Yamada@Example.co.jp", "Taro.Yamada@Example.co.jp", std::nullopt},
    };
    for (const Entry& c : cases)
        EXPECT_EQ(checkNewMail(c.first, c.second), c.refused) << c.first << " / " << c.second;
}

TEST(AccountStatements, RepeatTheCurrentValueAndDoubleQuotes)
{
    EXPECT_EQ(
        passwordUpdateStatement("new1", "demo", "demo1234"),
        "UPDATE USR_INFO a SET a.PASS_WORD = 'new1' WHERE a.USR_ID = 'demo' AND a.PASS_WORD = 'demo1234' ");
    // The user ID and the current password were typed at the login and may hold quotes.
    EXPECT_EQ(
        passwordUpdateStatement("new1", "o'neil", "it's"),
        "UPDATE USR_INFO a SET a.PASS_WORD = 'new1' WHERE a.USR_ID = 'o''neil' AND a.PASS_WORD = 'it''s' ");
    EXPECT_EQ(mailUpdateStatement("b@c.jp", "demo", "a@b.jp"),
              "UPDATE USR_INFO a SET a.E_MAIL = 'b@c.jp' WHERE a.USR_ID = 'demo' AND a.E_MAIL = 'a@b.jp' ");
}

TEST(LoginStatements, DoubleQuotesOfTheTypedTexts)
{
    EXPECT_EQ(loginUserStatement("demo", "demo1234"),
              "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
              "AND a.USR_ID = 'demo' AND a.PASS_WORD = 'demo1234' ");
    // The classic attempt stays one literal: ' OR '1'='1 becomes '' OR ''1''=''1.
    EXPECT_EQ(loginUserStatement("demo", "' OR '1'='1"),
              "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
              "AND a.USR_ID = 'demo' AND a.PASS_WORD = ''' OR ''1''=''1' ");
    EXPECT_EQ(updateDatesStatement(), "SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG ");
}

TSqlSet tableItem(int cols, const std::vector<std::vector<std::string>>& rows)
{
    TSqlSet item;
    item.ColCount = cols;
    item.RowCount = static_cast<std::int32_t>(rows.size());
    item.Tbl = makePtbl(cols + 1, static_cast<int>(rows.size()) + 1);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c)
            item.Tbl->set(static_cast<int>(c) + 1, static_cast<int>(r) + 1, rows[r][c]);
    }
    return item;
}

TEST(LoginReply, ReadsUserAndBothDates)
{
    const auto reply = readLoginReply(tableItem(3, {{"山田 太郎", "taro@example.jp", "1"}}),
                                      tableItem(1, {{"2006/05/15"}, {"2006/05/12"}}), "taro", "pw12");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->user.userName, "山田 太郎");
    EXPECT_EQ(reply->user.email, "taro@example.jp");
    EXPECT_EQ(reply->user.userId, "taro");
    EXPECT_EQ(reply->user.password, "pw12");
    EXPECT_TRUE(reply->mailUndeliverable());
    EXPECT_EQ(reply->stkUpdDate, "2006/05/15");
    EXPECT_EQ(reply->fxUpdDate, "2006/05/12");
}

TEST(LoginReply, AbsentDateRowsStayAbsent)
{
    const auto one =
        readLoginReply(tableItem(3, {{"n", "m", "0"}}), tableItem(1, {{"2006/05/15"}}), "u", "p");
    ASSERT_TRUE(one);
    EXPECT_FALSE(one->mailUndeliverable());
    EXPECT_EQ(one->stkUpdDate, "2006/05/15");
    EXPECT_FALSE(one->fxUpdDate);

    const auto none = readLoginReply(tableItem(3, {{"n", "m", "0"}}), tableItem(1, {}), "u", "p");
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->stkUpdDate);
}

TEST(LoginReply, NoUserRowIsARefusal)
{
    EXPECT_FALSE(readLoginReply(tableItem(3, {}), tableItem(1, {{"2006/05/15"}}), "u", "p"));
}

} // namespace
} // namespace vorteq
