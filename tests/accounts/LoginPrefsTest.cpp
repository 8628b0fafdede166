#include "accounts/LoginPrefs.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vorteq {
namespace {

class LoginPrefsFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = std::filesystem::temp_directory_path() /
                 ("vorteq-prefs-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_base);
        std::filesystem::create_directories(m_base);
        m_path = loginPrefsPath(m_base);
    }
    void TearDown() override { std::filesystem::remove_all(m_base); }

    std::string bytes() const
    {
        std::ifstream in(m_path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }
    void put(const std::string& text) const
    {
        std::filesystem::create_directories(m_path.parent_path());
        std::ofstream(m_path, std::ios::binary) << text;
    }
    unsigned mode() const
    {
        struct stat st {};
        ::stat(m_path.c_str(), &st);
        return st.st_mode & 0777U;
    }

    std::filesystem::path m_base;
    std::filesystem::path m_path;
};

TEST_F(LoginPrefsFile, IsReadableByItsOwnerOnly)
{
    put("1\r\nold\r\n");
    ::chmod(m_path.c_str(), 0644);
    ASSERT_TRUE(writeLoginPrefs(m_path, 0, "demo", "demo1234"));
    EXPECT_EQ(mode(), 0600U);
}

TEST_F(LoginPrefsFile, JapaneseUserIdIsStoredAsCp932)
{
    ASSERT_TRUE(writeLoginPrefs(m_path, 1, "山田", ""));
    EXPECT_EQ(bytes(), "1\r\n\x8E\x52\x93\x63\r\n"); // 山 = 8E 52, 田 = 93 63 in CP932
    const auto prefs = readLoginPrefs(m_path);
    ASSERT_TRUE(prefs && *prefs);
    EXPECT_EQ((*prefs)->userId, "山田");
}

TEST_F(LoginPrefsFile, MissingFileIsNoPreference)
{
    const auto prefs = readLoginPrefs(m_path);
    ASSERT_TRUE(prefs);
    EXPECT_FALSE(*prefs);
}

TEST_F(LoginPrefsFile, MissingLinesLeaveTheirFieldsAlone)
{
    put("0\r\ndemo\r\n");
    auto prefs = readLoginPrefs(m_path);
    ASSERT_TRUE(prefs && *prefs);
    EXPECT_EQ((*prefs)->choice, 0);
    EXPECT_EQ((*prefs)->userId, "demo");
    EXPECT_FALSE((*prefs)->password);

    put("");
    prefs = readLoginPrefs(m_path);
    ASSERT_TRUE(prefs && *prefs);
    EXPECT_FALSE((*prefs)->choice);
    EXPECT_FALSE((*prefs)->userId);

    put("0\r\nid\r\npw\r\nextra\r\n");
    prefs = readLoginPrefs(m_path);
    ASSERT_TRUE(prefs && *prefs);
    EXPECT_EQ((*prefs)->password, "pw");
}

TEST_F(LoginPrefsFile, DamagedChoiceFallsBackToSavingTheUserIdOnly)
{
    for (const char* line : {"3", "-1", "x", "1.5", " ", "0x"}) {
        put(std::string(line) + "\r\nsomeone\r\nsecret\r\n");
        const auto prefs = readLoginPrefs(m_path);
        ASSERT_TRUE(prefs && *prefs) << line;
        EXPECT_EQ((*prefs)->choice, 1) << line;
        EXPECT_EQ((*prefs)->userId, "someone") << line; // the rest of the file is still read
        EXPECT_FALSE((*prefs)->password) << line;       // but not as a remembered password
    }
}

TEST_F(LoginPrefsFile, UnreadableFileIsAnError)
{
    std::filesystem::create_directories(m_path); // a folder where the file should be
    EXPECT_FALSE(readLoginPrefs(m_path));
    EXPECT_FALSE(writeLoginPrefs(m_path, 2, "", ""));
}

} // namespace
} // namespace vorteq
