// The server-side codec against the client-side parser, and the zlib helpers.
#include "gateway/WireCodec.h"

#include "common/Encoding.h"
#include "gateway/ZlibUtil.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::wire;

namespace {

TEST(ReplyWriter, WritesRowsScalarsAndTheEndMarkInCp932)
{
    ReplyWriter w;
    ASSERT_TRUE(w.addTable(2, {{"1301", "極洋"}, {"7203", ""}}).ok());
    w.addScalar(3);
    w.beginTable(4);
    w.endTable();
    // 極 = 8B C9, 洋 = 97 6D in CP932; record 0 is empty, each row starts with 0x1E.
    EXPECT_EQ(w.finish(), "\x1E"
                          "1301\x1F\x8B\xC9\x97\x6D\x1E"
                          "7203\x1F#2/2\x1D"
                          "3\x1D#4/0\x04");
    EXPECT_EQ(w.finish(), "\x04"); // the writer starts over after finish
}

TEST(ReplyWriter, RefusedRowsLeaveTheReplyIntact)
{
    ReplyWriter w;
    EXPECT_FALSE(w.addTable(2, {{"a", "b"}, {"c"}}).ok()); // the whole table is dropped
    w.beginTable(2);
    EXPECT_FALSE(w.addRow({"a"}).ok());
    EXPECT_FALSE(w.addRow({"a\x1F", "b"}).ok());
    EXPECT_EQ(w.addRow({"😀", "b"}).error().code, ErrorCode::Encoding);
    ASSERT_TRUE(w.addRow({"x", "y"}).ok());
    w.endTable();
    EXPECT_EQ(w.finish(), "\x1Ex\x1Fy#2/1\x04");
}

TEST(ReplyWriter, FieldByFieldRowsMatchWholeRowsAndDropARefusedRow)
{
    ReplyWriter w;
    w.beginTable(3);
    w.beginRow();
    w.plainField() += "1301";
    ASSERT_TRUE(w.appendText("極洋").ok());
    w.plainField() += "-2.5";
    w.endRow();
    // A separator inside a text drops the row begun, numbers written so far included.
    w.beginRow();
    w.plainField() += "1332";
    auto refused = w.appendText("a\x1E"
                                "b");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error().message, "2行目 2列目の値に区切り文字 (0x04, 0x1D-0x1F) が含まれています");
    // The same column alternating between two names: each converts to its own bytes.
    for (const char* name : {"極洋", "日水", "極洋"}) {
        w.beginRow();
        w.plainField();
        ASSERT_TRUE(w.appendText(name).ok());
        w.plainField() += "0";
        w.endRow();
    }
    w.endTable();
    // 極 8B C9, 洋 97 6D, 日 93 FA, 水 90 85 in CP932.
    EXPECT_EQ(w.finish(), "\x1E"
                          "1301\x1F\x8B\xC9\x97\x6D\x1F-2.5"
                          "\x1E\x1F\x8B\xC9\x97\x6D\x1F"
                          "0"
                          "\x1E\x1F\x93\xFA\x90\x85\x1F"
                          "0"
                          "\x1E\x1F\x8B\xC9\x97\x6D\x1F"
                          "0#3/4\x04");
}

TEST(ReplyWriter, ARunOfPlainFieldsIsWrittenAsTheFieldsOneByOne)
{
    ReplyWriter one;
    ReplyWriter run;
    for (ReplyWriter* w : {&one, &run})
        w->beginTable(5);
    one.beginRow();
    one.plainField() += "1";
    one.plainField();
    one.plainField() += "-2.5";
    ASSERT_TRUE(one.appendText("極洋").ok());
    one.plainField() += "7";
    one.endRow();
    run.beginRow();
    run.plainFields(3) += "1\x1F\x1F-2.5";
    ASSERT_TRUE(run.appendText("極洋").ok());
    run.plainFields(1) += "7";
    run.endRow();
    // Numbers handed over before a refused text go with the row.
    run.beginRow();
    run.plainFields(2) += "3\x1F"
                          "4";
    ASSERT_FALSE(run.appendText("\xE2\x82").ok()); // cut off inside a character
    EXPECT_EQ(one.finish(), run.finish());
}

// Names repeat across rows and requests; the memo of their CP932 forms must give iconv's bytes
// whatever it holds, also after it has been emptied, and never remember a refusal as a text.
TEST(ReplyWriter, RecentTextsKeepTheirExactCp932FormsPastTheMemoBound)
{
    const std::vector<std::string> kanji = {"極", "洋", "日", "本", "水", "産", "銘", "柄", "東", "証"};
    std::vector<std::string> names;
    for (int i = 0; i < 12000; ++i) // far more than the memo holds
        names.push_back("株式会社" + std::string(static_cast<std::size_t>(i % 7), 'x') +
                        kanji[static_cast<std::size_t>(i % 10)] + std::to_string(i) +
                        kanji[static_cast<std::size_t>(i / 10 % 10)]); // alike up to their last bytes
    names.push_back(std::string(300, 'a') + "極洋");                   // longer than the memo keeps
    names.push_back(std::string(200, 'b') + "日本水産");
    for (int pass = 0; pass < 2; ++pass) {
        ReplyWriter w;
        w.beginTable(2);
        std::string expected;
        for (std::size_t i = 0; i < names.size(); ++i) {
            // The second column alternates between a few names, read back from the memo.
            const std::string& again = names[i % 3];
            w.beginRow();
            ASSERT_TRUE(w.appendText(names[i]).ok());
            ASSERT_TRUE(w.appendText(again).ok());
            w.endRow();
            expected += "\x1E" + *vorteq::utf8ToCp932(names[i]) + "\x1F" + *vorteq::utf8ToCp932(again);
            if (i % 1000 == 0) { // a text without a CP932 form, refused each time it comes
                w.beginRow();
                EXPECT_FALSE(w.appendText("株\xF0\x9F\x98\x80").ok());
                w.beginRow();
                EXPECT_FALSE(w.appendText("株\xF0\x9F\x98\x80").ok());
            }
        }
        EXPECT_EQ(w.finish(), expected + "#2/" + std::to_string(names.size()) + "\x04") << "pass " << pass;
    }
}

TEST(ReplyWriter, LongTextsAreTestedForSeparatorsAndNonAsciiAnywhere)
{
    // The test runs over eight bytes at a time: the byte that matters sits before, at and after
    // such a boundary.
    const std::string plain(21, 'x');
    for (std::size_t at : {0u, 7u, 8u, 15u, 16u, 20u}) {
        std::string withSeparator = plain;
        withSeparator[at] = '\x1D';
        ReplyWriter w;
        w.beginTable(1);
        EXPECT_FALSE(w.addRow({withSeparator}).ok()) << at;
        std::string withKana = plain;
        withKana.replace(at, 1, "ア"); // 83 41 in CP932
        ASSERT_TRUE(w.addRow({withKana}).ok()) << at;
        std::string withTab = plain;
        withTab[at] = '\t';
        ASSERT_TRUE(w.addRow({withTab}).ok()) << at;
        w.endTable();
        std::string kana = plain;
        kana.replace(at, 1, "\x83\x41");
        EXPECT_EQ(w.finish(), "\x1E" + kana + "\x1E" + withTab + "#1/2\x04") << at;
    }
}

TEST(ReplyWriter, RoundTripsThroughTheReplyParser)
{
    ReplyWriter w;
    w.beginTable(3);
    ASSERT_TRUE(w.addRow({"8411", "みずほフィナンシャルグループ", "2006/01/04"}).ok());
    ASSERT_TRUE(w.addRow({"9984", "ｿﾌﾄﾊﾞﾝｸ①～", ""}).ok());
    ASSERT_TRUE(w.addRow({"", "", "a\tb\r\nc"}).ok()); // control bytes other than the separators travel
    w.endTable();
    ASSERT_TRUE(w.addTable(5, {}).ok());
    w.addScalar(-99); // in the middle: a plain value
    w.addScalar(12);
    const std::string text = w.finish();

    auto r = parseReplyText(text, 4);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_TRUE(r->ok);
    ASSERT_EQ(r->sections.size(), 4u);
    const auto& t = r->sections[0];
    EXPECT_EQ(t.colCount, 3);
    EXPECT_EQ(t.rowCount, 3);
    EXPECT_EQ((*t.tbl)[2][1], "みずほフィナンシャルグループ");
    EXPECT_EQ((*t.tbl)[3][1], "2006/01/04");
    EXPECT_EQ((*t.tbl)[2][2], "ｿﾌﾄﾊﾞﾝｸ①～");
    EXPECT_EQ((*t.tbl)[3][2], "");
    EXPECT_EQ((*t.tbl)[3][3], "a\tb\r\nc");
    EXPECT_EQ(r->sections[1].colCount, 5);
    EXPECT_EQ(r->sections[1].rowCount, 0);
    EXPECT_TRUE(r->sections[2].failure);
    EXPECT_EQ((*r->sections[2].tbl)[0][0], "-99");
    EXPECT_EQ((*r->sections[3].tbl)[1][0], "12");

    ASSERT_TRUE(w.addTable(1, {{"a"}}).ok());
    w.addFailure();
    r = parseReplyText(w.finish(), 2);
    ASSERT_TRUE(r.ok());
    EXPECT_FALSE(r->ok);
    EXPECT_EQ(r->sections.size(), 1u);
}

TEST(RequestText, RoundTripsThroughTheServerSplitter)
{
    const std::vector<std::string> items = {"Query",
                                            "SELECT *\r\nFROM STK_INFO WHERE STK_NM LIKE '\x83\x67%'", ""};
    const std::string text = buildRequestText(items);
    EXPECT_EQ(text, "Query\x1DSELECT *\r\nFROM STK_INFO WHERE STK_NM LIKE '\x83\x67%'\x1D\x04\r\n");
    auto back = splitRequestText(text);
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(*back, items);

    EXPECT_FALSE(splitRequestText("Query\x1DSELECT 1").ok());
    EXPECT_FALSE(splitRequestText("Query\x04\n").ok());
    auto extra = splitRequestText(std::string("Query\x04\r\nX"));
    ASSERT_FALSE(extra.ok());
    EXPECT_EQ(extra.error().message, "リクエストの終端の後に 1 バイトの余分なデータがあります");
    EXPECT_FALSE(splitRequestText(std::string("Query\x04\r\n\x04\r\n")).ok());
}

TEST(ZlibUtil, LevelsShowInTheStreamHeaderAndRoundTrip)
{
    // RFC 1950: CMF 0x78 (deflate, 32 KB window); FLG's level bits 0 (fastest), 2 (default), 3 (best).
    const std::string text(300, 'a');
    const std::pair<ZlibLevel, std::string> levels[] = {{ZlibLevel::None, "\x78\x01"},
                                                        {ZlibLevel::Fastest, "\x78\x01"},
                                                        {ZlibLevel::Default, "\x78\x9C"},
                                                        {ZlibLevel::Maximum, "\x78\xDA"}};
    for (const auto& [level, header] : levels) {
        auto z = zlibCompress(text, level);
        ASSERT_TRUE(z.ok());
        EXPECT_EQ(z->substr(0, 6), std::string("\x2C\x01\x00\x00", 4) + header);
        auto back = zlibDecompress(*z);
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(*back, text);
    }
    auto empty = zlibCompress("", ZlibLevel::Fastest);
    ASSERT_TRUE(empty.ok());
    EXPECT_EQ(empty->substr(0, 4), std::string(4, '\0'));
    EXPECT_EQ(zlibDecompress(std::string(4, '\0')).value(), "");
    // Stored blocks hold at most 65,535 bytes each: a longer text takes several, and inflates
    // the same as a compressed one.
    std::string reply;
    for (int i = 0; reply.size() < 150000; ++i)
        reply += "\x1E" + std::to_string(1300 + i) + "\x1F" + std::to_string(i * 7 % 1000) + ".25";
    auto stored = zlibCompress(reply, ZlibLevel::None);
    auto fast = zlibCompress(reply, ZlibLevel::Fastest);
    ASSERT_TRUE(stored.ok() && fast.ok());
    EXPECT_EQ((*stored)[6] & 0x06, 0);                           // BTYPE 00 of the first block: stored
    EXPECT_NE((*fast)[6] & 0x06, 0);                             // Huffman-coded
    EXPECT_GE(stored->size(), 4 + 2 + reply.size() + 3 * 5 + 4); // three 5-byte block heads, Adler-32
    EXPECT_LT(fast->size(), reply.size() / 2);
    EXPECT_EQ(zlibDecompress(*stored).value(), reply);
    EXPECT_EQ(zlibDecompress(*fast).value(), reply);
    // Exactly the declared length is inflated; a longer stream is cut there.
    std::string z = zlibCompress("abcdef", ZlibLevel::Fastest).value();
    z[0] = 3;
    EXPECT_EQ(zlibDecompress(z).value(), "abc");
}

} // namespace
