#include "gateway/ServerUrl.h"

#include <gtest/gtest.h>
#include <string>

namespace vorteq {
namespace {

TEST(ServerUrl, HostAndPortMakeTheServletAddress)
{
    EXPECT_EQ(*makeServerUrl("localhost"), "http://localhost:8080/ORQ/servlet/ApsServlet/");
    EXPECT_EQ(*makeServerUrl("10.0.0.5:9090"), "http://10.0.0.5:9090/ORQ/servlet/ApsServlet/");
    EXPECT_EQ(*makeServerUrl("stocks.example.jp:80"), "http://stocks.example.jp:80/ORQ/servlet/ApsServlet/");
    EXPECT_EQ(*makeServerUrl("[::1]:8081"), "http://[::1]:8081/ORQ/servlet/ApsServlet/");
    EXPECT_EQ(*makeServerUrl("[::1]"), "http://[::1]:8080/ORQ/servlet/ApsServlet/");
    // The scheme may be named; https keeps the same default port.
    EXPECT_EQ(*makeServerUrl("http://localhost"), "http://localhost:8080/ORQ/servlet/ApsServlet/");
    EXPECT_EQ(*makeServerUrl("https://stocks.example.jp"),
              "https://stocks.example.jp:8080/ORQ/servlet/ApsServlet/");
    EXPECT_EQ(*makeServerUrl("HTTPS://[::1]:8443"), "https://[::1]:8443/ORQ/servlet/ApsServlet/");
}

TEST(ServerUrl, RefusesWhatIsNotHostAndPort)
{
    for (const char* bad : {"", ":8080", "host:", "host:0", "host:65536", "host:80x", "host:-1", "ho st",
                            "host/path", "user@host", "[::1", "[]:80", "[::1]x", "ftp://host", "https://",
                            "https://host/path", "http://https://host", "https:/host"}) {
        const auto url = makeServerUrl(bad);
        ASSERT_FALSE(url) << bad;
        EXPECT_NE(url.error().message.find("サーバーの指定が正しくありません"), std::string::npos);
    }
}

} // namespace
} // namespace vorteq
