// The files of a back-test under --out, replaced as one set: every moment a run may be killed at
// is recreated on disk, and the next start must find the complete old set or the complete new one.
#include "cli/ExportSet.h"

#include "common/TextFile.h"
#include "support/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::cli;
namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kNames = {"daily.csv", "trades.csv", "summary.csv"};

void writeFile(const fs::path& path, const std::string& bytes)
{
    ASSERT_TRUE(writeBytesAtomic(path, bytes).ok());
}

std::string contentOf(const fs::path& path)
{
    auto bytes = readBytes(path);
    return bytes ? *bytes : std::string("(missing)");
}

// Every file name in the folder, sorted.
std::vector<std::string> listing(const fs::path& dir)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// "old" or "new" when every file holds that generation's text, "mixed" otherwise.
std::string generation(const fs::path& dir)
{
    std::string seen;
    for (const auto& name : kNames) {
        const std::string text = contentOf(dir / name);
        const std::string g = text == "old " + name ? "old" : text == "new " + name ? "new" : "other";
        if (!seen.empty() && g != seen)
            return "mixed";
        seen = g;
    }
    return seen;
}

class ExportSetOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const auto& name : kNames)
            writeFile(dir.path() / name, "old " + name);
    }
    test::TempDir dir;
};

} // namespace

TEST_F(ExportSetOnDisk, ACompletedSetReplacesEveryFileAndLeavesNothingElse)
{
    ExportSet set(dir.path());
    for (const auto& name : kNames)
        set.add(name, "new " + name);
    ASSERT_TRUE(set.commit().ok());
    EXPECT_EQ(generation(dir.path()), "new");
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"daily.csv", "summary.csv", "trades.csv"}));

    // Into a folder that does not exist yet.
    ExportSet fresh(dir.path() / "a" / "b");
    fresh.add("daily.csv", "x");
    ASSERT_TRUE(fresh.commit().ok());
    EXPECT_EQ(contentOf(dir.path() / "a" / "b" / "daily.csv"), "x");
}

TEST_F(ExportSetOnDisk, KilledBeforeTheListTheOldSetStands)
{
    // Two of three new files written beside their names, one half-written, the list's temporary.
    writeFile(dir.path() / "daily.csv.vorteq-new", "new daily.csv");
    writeFile(dir.path() / "trades.csv.vorteq-new", "new tr");
    writeFile(dir.path() / ".vorteq-set.tmp", "daily.csv\n");
    ASSERT_TRUE(recoverExportSet(dir.path()).ok());
    EXPECT_EQ(generation(dir.path()), "old");
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"daily.csv", "summary.csv", "trades.csv"}));
}

TEST_F(ExportSetOnDisk, KilledAfterTheListTheNewSetIsCompleted)
{
    // The list is in place and one file already has its final name: the rest follow.
    for (const auto& name : kNames)
        writeFile(dir.path() / (name + ".vorteq-new"), "new " + name);
    writeFile(dir.path() / ".vorteq-set", "daily.csv\ntrades.csv\nsummary.csv\n../escape\n");
    fs::rename(dir.path() / "daily.csv.vorteq-new", dir.path() / "daily.csv");
    ASSERT_TRUE(recoverExportSet(dir.path()).ok());
    EXPECT_EQ(generation(dir.path()), "new");
    EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"daily.csv", "summary.csv", "trades.csv"}));

    // Nothing to do the second time, nor in a folder that does not exist.
    ASSERT_TRUE(recoverExportSet(dir.path()).ok());
    EXPECT_EQ(generation(dir.path()), "new");
    EXPECT_TRUE(recoverExportSet(dir.path() / "none").ok());
}

TEST_F(ExportSetOnDisk, AFolderThatCannotBeWrittenKeepsTheOldSet)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    ExportSet set(dir.path());
    set.add("daily.csv", "new daily.csv");
    const Status st = set.commit();
    fs::permissions(dir.path(), fs::perms::owner_all);
    ASSERT_FALSE(st.ok());
    EXPECT_NE(st.error().message.find("ファイルを作成できません"), std::string::npos) << st.error().message;
    EXPECT_EQ(generation(dir.path()), "old");
}
