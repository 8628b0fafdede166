#include "common/Encoding.h"

#include <gtest/gtest.h>

using namespace vorteq;

TEST(Cp932, SystemTextsRoundTrip)
{
    const char* texts[] = {
        "ｼﾐｭﾚｰｼｮﾝの数値が入力されていません。",
        "※パスワードは半角英数字にて4文字～10文字です。",
        "①ユーザーID、またはパスワードが間違っている",
        "株価が-2σ以下",
        "％",
        "ﾎﾞﾘﾝｼﾞｬｰﾊﾞﾝﾄﾞ",
        "新しいﾊﾟｽﾜｰﾄﾞ（確認用）",
        "VORTEQを終了します。よろしいですか？",
        "－",
    };
    for (const char* t : texts) {
        auto sjis = utf8ToCp932(t);
        ASSERT_TRUE(sjis) << t;
        auto back = cp932ToUtf8(*sjis);
        ASSERT_TRUE(back) << t;
        EXPECT_EQ(*back, t);
    }
}

TEST(Cp932, KnownByteValues)
{
    EXPECT_EQ(*utf8ToCp932("～"), "\x81\x60");
    EXPECT_EQ(*utf8ToCp932("①"), "\x87\x40");
    EXPECT_EQ(*utf8ToCp932("σ"), "\x83\xd0");
    EXPECT_EQ(*utf8ToCp932("ｼ"), "\xbc");
    EXPECT_EQ(*utf8ToCp932("％"), "\x81\x93");
    EXPECT_EQ(*cp932ToUtf8("\x8a\x94\x89\xbf"), "株価");
}

TEST(Cp932, AsciiPassesThroughAndBadBytesFail)
{
    EXPECT_EQ(*utf8ToCp932("SELECT 1"), "SELECT 1");
    EXPECT_FALSE(cp932ToUtf8("\x81"));             // a lead byte without its trail byte
    EXPECT_FALSE(utf8ToCp932("\xf0\x9f\x98\x80")); // an emoji has no CP932 form
    EXPECT_FALSE(utf8ToCp932("\xff\xfe"));         // not UTF-8 at all
}
