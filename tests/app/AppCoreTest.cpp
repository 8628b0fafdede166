#include "app/SysForm.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>

namespace vorteq {
namespace {

class SysFormFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_base = std::filesystem::temp_directory_path() /
                 ("vorteq-sysform-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_base);
        std::filesystem::create_directories(m_base);
        m_path = sysFormPath(m_base);
    }
    void TearDown() override { std::filesystem::remove_all(m_base); }

    void put(const std::string& text) const
    {
        std::filesystem::create_directories(m_path.parent_path());
        std::ofstream(m_path, std::ios::binary) << text;
    }
    SysFormChoices read() const
    {
        auto choices = readSysForm(m_path, 2, 8);
        EXPECT_TRUE(choices);
        return choices ? *choices : SysFormChoices{};
    }

    std::filesystem::path m_base;
    std::filesystem::path m_path;
};

TEST_F(SysFormFile, MissingFileOrLineLeavesTheChoiceEmpty)
{
    SysFormChoices choices = read();
    EXPECT_FALSE(choices.stkTgt);
    EXPECT_FALSE(choices.mktCd);

    put("1\r\n");
    choices = read();
    EXPECT_EQ(choices.stkTgt, 1);
    EXPECT_FALSE(choices.mktCd);
}

TEST_F(SysFormFile, ValuesNamingNoItemFallBackToTheFirst)
{
    const struct {
        const char* text;
        int stkTgt;
        int mktCd;
    } cases[] = {
        {"2\r\n8\r\n", 0, 0},                         // one past the last item of each list
        {"-1\r\n-1\r\n", 0, 0},                       // what an empty selection writes
        {"1\r\n7.0\r\n", 1, 0}, {"x\r\n3\r\n", 0, 3}, // a damaged first line does not stop the second
        {" 1\r\n 6\r\n", 1, 6},                       // leading blanks read as a number
        {"\r\n\r\n", 0, 0},
    };
    for (const auto& c : cases) {
        put(c.text);
        const SysFormChoices choices = read();
        EXPECT_EQ(choices.stkTgt, c.stkTgt) << c.text;
        EXPECT_EQ(choices.mktCd, c.mktCd) << c.text;
    }
}

TEST_F(SysFormFile, UnreadableFileIsAnError)
{
    std::filesystem::create_directories(m_path);
    EXPECT_FALSE(readSysForm(m_path, 2, 8));
}

} // namespace
} // namespace vorteq
