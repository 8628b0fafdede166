// Replies that break the wire format: each must end in an error value with a message, never a
// crash, a huge allocation or a silently wrong table.
#include "gateway/LoopbackHttpServer.h"
#include "gateway/THttpStatements.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"

#include <gtest/gtest.h>
#include <malloc.h>

using namespace vorteq;

namespace {

std::string le32(std::uint32_t n)
{
    return {static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
            static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
}

// The zlib stream of a text without its length prefix.
std::string zstream(std::string_view text)
{
    return test::replyBody(text).substr(4);
}

std::string errorOf(std::string_view replyText, int statements)
{
    auto r = wire::parseReplyText(replyText, statements);
    return r.ok() ? std::string("(accepted)") : r.error().message;
}

TEST(HostileReply, CompressedBodiesThatLieAboutTheirLength)
{
    // 64 MiB + 1 announced: refused before inflating anything.
    auto r = zlibDecompress(le32(64u * 1024u * 1024u + 1u) + zstream("abc"));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "圧縮データの宣言長 67108865 バイトが上限 67108864 バイトを超えています");

    r = zlibDecompress(le32(100) + zstream("abc"));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message, "圧縮データが宣言長より短いです (宣言 100 バイト, 展開できたのは 3 バイト)");

    // A stream cut in the middle.
    const std::string cut = zstream(std::string(1000, 'q')).substr(0, 6);
    EXPECT_FALSE(zlibDecompress(le32(1000) + cut).ok());

    r = zlibDecompress(le32(10) + "this is not zlib");
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::Protocol);
    EXPECT_NE(r.error().message.find("圧縮データが壊れています"), std::string::npos) << r.error().message;

    EXPECT_FALSE(zlibDecompress("ab").ok());
    EXPECT_FALSE(zlibDecompress("").ok());
}

TEST(HostileReply, OnlyTheDeclaredLengthIsTaken)
{
    // A stream holding more than its prefix announces gives exactly the announced bytes.
    const std::string text = "0123456789abcdef";
    auto r = zlibDecompress(le32(10) + zstream(text));
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(*r, "0123456789");

    // The whole text, with or without the stream's checksum at its end.
    const std::string whole = zstream(text);
    r = zlibDecompress(le32(16) + whole);
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(*r, text);
    r = zlibDecompress(le32(16) + whole.substr(0, whole.size() - 4));
    ASSERT_TRUE(r.ok()) << r.error().message;
    EXPECT_EQ(*r, text);

    // A few bytes of stream cannot hold 50 MB of text: refused as short, whatever the path.
    r = zlibDecompress(le32(50u * 1000u * 1000u) + zstream("abc"));
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().message,
              "圧縮データが宣言長より短いです (宣言 50000000 バイト, 展開できたのは 3 バイト)");
}

TEST(HostileReply, MalformedTableSections)
{
    // Two rows present, two billion announced: refused from the count of row marks.
    EXPECT_EQ(errorOf("\x1E"
                      "a\x1E"
                      "b#1/2000000000\x04",
                      1),
              "応答の第1区画が不正です: 表の行数が宣言 (2000000000 行) と合いません (実際は 2 行)");
    EXPECT_EQ(errorOf("#2000000000/0\x04", 1),
              "応答の第1区画が不正です: 列数 2000000000 が範囲外です (0 から 2000)");
    EXPECT_EQ(errorOf("\x1E"
                      "a#0/1\x04",
                      1),
              "応答の第1区画が不正です: 列数が 0 の表にデータがあります");
    // More records than NR + 1, and fewer.
    EXPECT_NE(errorOf("\x1E"
                      "a\x1E"
                      "b#1/1\x04",
                      1),
              "(accepted)");
    EXPECT_NE(errorOf("\x1E"
                      "a#1/3\x04",
                      1),
              "(accepted)");
    EXPECT_EQ(errorOf("\x1E"
                      "a\x1F"
                      "b\x1E"
                      "c#2/2\x04",
                      1),
              "応答の第1区画が不正です: 2行目の項目数が列数 2 より少ないです");
    EXPECT_EQ(errorOf("#1/-1\x04", 1), "応答の第1区画が不正です: 行数 -1 が負の値です");
    EXPECT_EQ(errorOf("#x/1\x04", 1), "応答の第1区画が不正です: 列数 \"x\" が整数ではありません");
    EXPECT_EQ(errorOf("#3\x04", 1),
              "応答の第1区画が不正です: 表の末尾 \"#3\" が \"#列数/行数\" の形になっていません");
    EXPECT_EQ(errorOf("1\x1D"
                      "12a\x04",
                      2),
              "応答の第2区画が不正です: 値 \"12a\" が整数ではありません");
}

TEST(HostileReply, MoreSectionsThanStatements)
{
    EXPECT_EQ(errorOf("1\x1D"
                      "2\x04",
                      1),
              "応答の区画数が文の数 (1) より多いです");
    EXPECT_EQ(errorOf("1\x1D-99\x04", 1), "応答の区画数が文の数 (1) より多いです");
}

TEST(HostileReply, BrokenCp932LeadByte)
{
    // 0x82 begins a two-byte character; 0x1F cannot be its second byte.
    EXPECT_EQ(errorOf("\x1E\x82\x1F"
                      "x#2/1\x04",
                      1),
              "応答の第1区画が不正です: 1行目 1列目の文字が CP932 として正しくありません");
    EXPECT_NE(errorOf("\x1E"
                      "ab\x1F\xFF\xFF#2/1\x04",
                      1),
              "(accepted)");
}

// Rows of empty fields: one byte of reply text per cell.
std::string emptyFieldsTable(int columns, int rows)
{
    std::string row = "\x1E" + std::string(static_cast<std::size_t>(columns - 1), '\x1F');
    std::string text;
    text.reserve(row.size() * static_cast<std::size_t>(rows) + 16);
    for (int r = 0; r < rows; ++r)
        text += row;
    return text + "#" + std::to_string(columns) + "/" + std::to_string(rows) + "\x04";
}

std::size_t heapInUse()
{
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

TEST(HostileReply, ManyEmptyFieldsCostAFewBytesEachAndAreBounded)
{
    // 2000 columns by 2000 rows of empty fields: 4 MB of text, 4 million cells, parsed in a few
    // times its size.
    {
        const std::string text = emptyFieldsTable(2000, 2000);
        const std::size_t before = heapInUse();
        auto reply = wire::parseReplyText(text, 1);
        ASSERT_TRUE(reply.ok()) << reply.error().message;
        EXPECT_LT(heapInUse() - before, 40u * 1024u * 1024u);
        EXPECT_EQ(reply->sections[0].tbl->text(2000, 2000), "");
    }
    // 16 million cells in 8 sections of a 16 MB text that compresses to a few tens of kB: refused
    // as a whole before a cell is allocated beyond the bound.
    const std::string table = emptyFieldsTable(2000, 1000);
    std::string text;
    for (int i = 0; i < 8; ++i)
        text += table.substr(0, table.size() - 1) + (i < 7 ? "\x1D" : "\x04");
    EXPECT_EQ(errorOf(text, 8),
              "応答の第5区画が不正です: 応答の表が大きすぎます (2000 列 x 1000 行、応答全体で "
              "8388608 個までのところ)");

    clearSessionCookie();
    test::LoopbackHttpServer server;
    THttpStatements client(server.url());
    client.Add("Query");
    for (int i = 0; i < 8; ++i)
        client.Add("S");
    const std::string body = test::replyBody(text);
    EXPECT_LT(body.size(), 200u * 1024u);
    server.queueResponse(test::httpResponse(200, {}, body));
    auto r = client.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_NE(r.error().message.find("応答の表が大きすぎます"), std::string::npos) << r.error().message;
}

TEST(HostileReply, ExecuteReportsTheDamageAndKeepsEarlierSections)
{
    clearSessionCookie();
    test::LoopbackHttpServer server;
    THttpStatements client(server.url());
    client.Add("Query");
    client.Add("S1");
    client.Add("S2");

    server.queueResponse(test::httpResponse(200, {},
                                            test::replyBody("\x1E"
                                                            "a#1/1\x1D\x1E"
                                                            "b#1/5\x04")));
    auto r = client.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::Protocol);
    EXPECT_EQ(r.error().message,
              "サーバーの応答を読めません (127.0.0.1:" + std::to_string(server.port()) +
                  "): 応答の第2区画が不正です: 表の行数が宣言 (5 行) と合いません (実際は 1 行)");
    EXPECT_EQ((*client.Item(1).Tbl)[1][1], "a");

    server.queueResponse(test::httpResponse(200, {}, "garbage"));
    r = client.Execute();
    ASSERT_FALSE(r.ok());
    EXPECT_EQ(r.error().code, ErrorCode::Protocol);
}

} // namespace
