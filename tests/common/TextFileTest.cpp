#include "common/TextFile.h"

#include "common/Csv.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace vorteq;
namespace fs = std::filesystem;

using vorteq::test::TempDir;

TEST(TextFile, WritesCp932WithCrLfAndReadsItBack)
{
    TempDir dir;
    const fs::path file = dir.path() / "SysData" / "sys_form.ini"; // folder created on demand
    ASSERT_TRUE(writeTextLinesAtomic(file, {"1", "株価", ""}));
    EXPECT_EQ(*readBytes(file), "1\r\n\x8a\x94\x89\xbf\r\n\r\n");
    auto lines = readTextLines(file);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (std::vector<std::string>{"1", "株価", ""}));
}

TEST(TextFile, SplitsOnEveryLineEndAndKeepsAnUnterminatedLastLine)
{
    EXPECT_EQ(splitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(splitLines(""), std::vector<std::string>{});
    EXPECT_EQ(splitLines("\r\n"), std::vector<std::string>{""});
}

TEST(TextFile, ReplacesAtomicallyAndLeavesNoTemporaryFile)
{
    TempDir dir;
    const fs::path file = dir.path() / "a.dat";
    ASSERT_TRUE(writeTextLinesAtomic(file, {"old"}));
    ASSERT_TRUE(writeTextLinesAtomic(file, {"new"}));
    EXPECT_EQ(*readBytes(file), "new\r\n");
    int count = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.path()))
        ++count;
    EXPECT_EQ(count, 1);
}

TEST(TextFile, OwnerOnlyFilesAreNotReadableByOthers)
{
    TempDir dir;
    const fs::path file = dir.path() / "vorteq.ini";
    ASSERT_TRUE(writeTextLinesAtomic(file, {"0", "user", "pass"}, FileAccess::OwnerOnly));
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(TextFile, FailuresAreReportedNotThrown)
{
    TempDir dir;
    EXPECT_FALSE(readTextLines(dir.path() / "missing.dat"));
    ASSERT_TRUE(writeBytesAtomic(dir.path() / "bad.dat", "\x81"));
    auto bad = readTextLines(dir.path() / "bad.dat");
    ASSERT_FALSE(bad);
    EXPECT_EQ(bad.error().code, ErrorCode::Encoding);
    EXPECT_FALSE(writeTextLinesAtomic(dir.path() / "emoji.dat", {"\xf0\x9f\x98\x80"}));
    EXPECT_FALSE(writeTextLinesAtomic("/proc/vorteq/x.dat", {"a"}));
}

TEST(CsvLine, EveryCellEndsWithACommaAndOnlyAwkwardCellsAreQuoted)
{
    EXPECT_EQ(csvLine({"1301", "極洋", "12.5"}), "1301,極洋,12.5,");
    EXPECT_EQ(csvLine({"a,b", "say \"hi\"", "two\r\nlines", ""}),
              "\"a,b\",\"say \"\"hi\"\"\",\"two\r\nlines\",,");
    EXPECT_EQ(csvLine({}), "");
}
