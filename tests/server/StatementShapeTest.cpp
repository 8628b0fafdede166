#include "server/policy/StatementShape.h"

#include <gtest/gtest.h>

using namespace vorteq::server;

namespace {
// The user query as the login window builds it, quotes already doubled.
const std::string kLogin = "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
                           "AND a.USR_ID = 'demo' AND a.PASS_WORD = 'demo1234' ";
} // namespace

TEST(StatementShape, LoginIsRecognisedWithItsValues)
{
    auto login = matchLogin(kLogin);
    ASSERT_TRUE(login);
    EXPECT_EQ(login->userId, "demo");
    EXPECT_EQ(login->password, "demo1234");
}

TEST(StatementShape, WhiteSpaceBetweenTokensMayVary)
{
    auto login =
        matchLogin("SELECT\ta.USR_NM,a.E_MAIL ,\r\n a.MAIL_STATUS  FROM USR_INFO a\nWHERE a.USR_STATUS<>1 "
                   "AND a . USR_ID='demo' AND a.PASS_WORD= 'x'");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->password, "x");
    EXPECT_TRUE(matchUpdateDates("SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG "));
    EXPECT_TRUE(matchUpdateDates("  SELECT a.UPD_DATE\nFROM STK_UPD a\nORDER BY a.UPD_FLG"));
}

TEST(StatementShape, DoubledQuotesAreUndoneAndJapaneseKept)
{
    auto login =
        matchLogin("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
                   "AND a.USR_ID = 'O''Brien' AND a.PASS_WORD = ''' OR ''1''=''1' ");
    ASSERT_TRUE(login);
    EXPECT_EQ(login->userId, "O'Brien");
    EXPECT_EQ(login->password, "' OR '1'='1");
    auto jp = matchLogin("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 "
                         "AND a.USR_ID = '山田' AND a.PASS_WORD = ''");
    ASSERT_TRUE(jp);
    EXPECT_EQ(jp->userId, "山田");
    EXPECT_EQ(jp->password, "");
}

TEST(StatementShape, AnythingBeyondWhiteSpaceBreaksTheShape)
{
    const std::string head =
        "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 ";
    // An undoubled quote lets the rest of the password escape the literal.
    EXPECT_FALSE(matchLogin(head + "AND a.USR_ID = 'demo' AND a.PASS_WORD = '' OR '1'='1' "));
    EXPECT_FALSE(matchLogin(head + "AND a.USR_ID = 'demo' AND a.PASS_WORD = 'x' OR 1=1"));
    EXPECT_FALSE(matchLogin(head + "AND a.USR_ID = 'demo' AND a.PASS_WORD = 'x';"));
    EXPECT_FALSE(matchLogin(head + "AND a.USR_ID = 'demo' AND a.PASS_WORD = 'x' -- c"));
    EXPECT_FALSE(matchLogin(head + "AND a.USR_ID = 'demo' AND a.PASS_WORD = 'x"));    // unterminated
    EXPECT_FALSE(matchLogin(head + "AND a.USR_ID = demo AND a.PASS_WORD = 'x'"));     // not a literal
    EXPECT_FALSE(matchLogin(head + "AND a.USR_ID = \"demo\" AND a.PASS_WORD = 'x'")); // identifier quotes
    EXPECT_FALSE(matchLogin(head + "and a.USR_ID = 'demo' AND a.PASS_WORD = 'x'"));   // keyword case
    EXPECT_FALSE(matchLogin(head + "AND a.PASS_WORD = 'x' AND a.USR_ID = 'demo'"));   // order
    EXPECT_FALSE(matchLogin("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS, a.PASS_WORD FROM USR_INFO a WHERE "
                            "a.USR_STATUS <> 1 AND a.USR_ID = 'demo' AND a.PASS_WORD = 'x'"));
    EXPECT_FALSE(
        matchLogin("SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 0 "
                   "AND a.USR_ID = 'demo' AND a.PASS_WORD = 'x'"));
    EXPECT_FALSE(matchUpdateDates("SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG DESC"));
}

TEST(StatementShape, AccountChangesCarryNewValueUserAndCurrentValue)
{
    auto pass = matchPasswordChange("UPDATE USR_INFO a SET a.PASS_WORD = 'new1' WHERE a.USR_ID = 'demo' "
                                    "AND a.PASS_WORD = 'old1' ");
    ASSERT_TRUE(pass);
    EXPECT_EQ(pass->newPassword, "new1");
    EXPECT_EQ(pass->userId, "demo");
    EXPECT_EQ(pass->currentPassword, "old1");
    auto mail = matchMailChange("UPDATE USR_INFO a SET a.E_MAIL = 'b@x.jp' WHERE a.USR_ID = 'demo' "
                                "AND a.E_MAIL = 'a@x.jp' ");
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->newMail, "b@x.jp");
    EXPECT_EQ(mail->currentMail, "a@x.jp");
    // The other column, a missing current value, or a widened WHERE are not account changes.
    EXPECT_FALSE(matchMailChange("UPDATE USR_INFO a SET a.PASS_WORD = 'b' WHERE a.USR_ID = 'demo' "
                                 "AND a.E_MAIL = 'a@x.jp'"));
    EXPECT_FALSE(matchPasswordChange("UPDATE USR_INFO a SET a.PASS_WORD = 'new1' WHERE a.USR_ID = 'demo'"));
    EXPECT_FALSE(matchPasswordChange("UPDATE USR_INFO a SET a.PASS_WORD = 'new1' WHERE a.USR_ID = 'demo' "
                                     "AND a.PASS_WORD = 'old1' OR 1 = 1"));
    EXPECT_FALSE(matchPasswordChange("UPDATE USR_INFO a SET a.PASS_WORD = 'n', a.USR_STATUS = 0 WHERE "
                                     "a.USR_ID = 'demo' AND a.PASS_WORD = 'old1'"));
}

TEST(StatementShape, FirstWordIsUpperCasedAfterBlanks)
{
    EXPECT_EQ(firstWord("  select 1"), "SELECT");
    EXPECT_EQ(firstWord("\nWITH x AS (SELECT 1) SELECT * FROM x"), "WITH");
    EXPECT_EQ(firstWord(""), "");
    EXPECT_EQ(firstWord("/* c */ SELECT 1"), "");
}
