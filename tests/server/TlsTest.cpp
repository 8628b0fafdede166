// The endpoint over HTTPS: the client logs in through a certificate it verifies, and refuses one it
// cannot verify; plain HTTP to a TLS port fails cleanly.
#include "ServerTestData.h"
#include "gateway/HttpTransport.h"
#include "gateway/THttpStatements.h"
#include "support/TempDir.h"
#include "support/TestCertificate.h"
#include "support/TestServer.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace vorteq;
using namespace vorteq::test;

namespace {

TestServerOptions tlsOptions(const TestCertificate& cert)
{
    TestServerOptions o;
    o.http.tlsCertFile = cert.certFile;
    o.http.tlsKeyFile = cert.keyFile;
    return o;
}

class Tls : public ::testing::Test {
protected:
    Tls() : cert(makeTestCertificate(dir.path())), server(tlsOptions(cert)) {}
    void SetUp() override
    {
        clearSessionCookie();
        seedMarket(server);
    }
    void TearDown() override { clearSessionCookie(); }

    Result<bool> login(const std::string& url, const std::string& caFile)
    {
        CurlTransportOptions options;
        options.caFile = caFile;
        THttpStatements client(url, makeCurlTransport(options));
        client.Add("Query");
        client.Add(loginSql("demo", "demo1234"));
        auto r = client.Execute();
        if (r.ok() && *r)
            return client.Item(1).RowCount == 1;
        return r;
    }

    TempDir dir;
    TestCertificate cert;
    TestServer server;
};

TEST_F(Tls, TheClientLogsInThroughAVerifiedCertificateOnly)
{
    ASSERT_EQ(server.url().rfind("https://", 0), 0u);
    auto ok = login(server.url(), cert.certFile);
    ASSERT_TRUE(ok.ok()) << ok.error().message;
    EXPECT_TRUE(*ok);
    EXPECT_FALSE(sessionCookie().empty());

    // The system's store does not know the test's own authority.
    auto unknown = login(server.url(), "");
    ASSERT_FALSE(unknown.ok());
    EXPECT_NE(unknown.error().message.find("サーバーの証明書を検証できません"), std::string::npos)
        << unknown.error().message;

    // A missing authority file, and plain HTTP to the TLS port: errors, not hangs.
    auto missing = login(server.url(), (dir.path() / "none.pem").string());
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ErrorCode::Transport);
    auto plain = login("http://127.0.0.1:" + std::to_string(server.port()) + "/ORQ/servlet/ApsServlet/",
                       cert.certFile);
    ASSERT_FALSE(plain.ok());
    EXPECT_EQ(plain.error().code, ErrorCode::Transport);

    // The server still serves after all of that, and logs no clear-text warning for loopback.
    ok = login(server.url(), cert.certFile);
    ASSERT_TRUE(ok.ok()) << ok.error().message;
    for (const auto& line : server.logLines())
        EXPECT_EQ(line.find("plain HTTP"), std::string::npos) << line;
}

TEST(TlsSetUp, AKeyThatDoesNotMatchOrIsMissingStopsTheStart)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "a");
    std::filesystem::create_directory(dir.path() / "b");
    const TestCertificate a = makeTestCertificate(dir.path() / "a");
    const TestCertificate b = makeTestCertificate(dir.path() / "b");
    TestServerOptions mismatched;
    mismatched.http.tlsCertFile = a.certFile;
    mismatched.http.tlsKeyFile = b.keyFile;
    try {
        TestServer server(mismatched);
        ADD_FAILURE() << "started with a key that does not match its certificate";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("秘密鍵を読み込めません"), std::string::npos) << e.what();
    }
    TestServerOptions keyless;
    keyless.http.tlsCertFile = a.certFile;
    EXPECT_THROW(TestServer{keyless}, std::runtime_error);
}

} // namespace
