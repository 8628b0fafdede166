#include "CliTestSupport.h"
#include "support/TempDir.h"
#include "support/TestCertificate.h"

#include <gtest/gtest.h>

using namespace vorteq;
using namespace vorteq::test;

namespace {

class CliLogin : public ::testing::Test {
protected:
    void SetUp() override { seedCliMarket(server); }
    TestServer server;
};

} // namespace

TEST_F(CliLogin, ShowsUserAndUpdateDates)
{
    const CliRun run = runCli(withServer(server, {"login"}));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "ログインしました: デモ ユーザー (demo)\n"
                       "株価更新日: 2006/05/15\n"
                       "為替更新日: 2006/05/12\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(CliLogin, AsksForThePasswordWhenTheEnvironmentHasNone)
{
    CapturingIo io;
    io.typedPassword = "demo1234";
    const CliRun run = runCli(withServer(server, {"login"}), io);
    EXPECT_EQ(run.status, 0) << run.err;
    ASSERT_EQ(io.prompts.size(), 1u);
    EXPECT_EQ(io.prompts[0], "パスワード: ");
}

TEST_F(CliLogin, UserMayComeFromTheEnvironment)
{
    CapturingIo io;
    io.environment = {{"VORTEQ_USER", "demo"}, {"VORTEQ_PASSWORD", "demo1234"}};
    const CliRun run = runCli({"login", "--server", "127.0.0.1:" + std::to_string(server.port())}, io);
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(CliLogin, WrongPasswordIsRefusedWithTheClientsTextOnPlainLines)
{
    const CliRun run = runCli(withServer(server, {"login"}), "wrong");
    EXPECT_EQ(run.status, 77);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "vorteq-cli: VORTEQにログイン出来ませんでした。\n"
                       "\n"
                       "ログイン出来なかった原因としては以下のことが考えられます\n"
                       "\n"
                       "①ユーザーID、またはパスワードが間違っている\n"
                       "\n"
                       "問題が解決されない場合は、当社ウェブサイトよりお問い合わせ下さい。\n");
}

TEST_F(CliLogin, BlockedAccountIsRefused)
{
    EXPECT_EQ(runCli(withServer(server, {"login"}, "blocked"), "block123").status, 77);
}

TEST_F(CliLogin, PasswordWithAQuoteLogsIn)
{
    const CliRun run = runCli(withServer(server, {"login"}, "quote"), "it's");
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(CliLogin, UndeliverableMailIsANoticeNotAFailure)
{
    const CliRun run = runCli(withServer(server, {"login"}, "bounce"), "bounce12");
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.err.find("登録されているメールアドレスへの連絡が出来なくなっている可能性があります。\n\n"),
              std::string::npos)
        << run.err;
}

TEST_F(CliLogin, EmptyPasswordIsNeverSent)
{
    const CliRun run = runCli(withServer(server, {"login"}), "");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "vorteq-cli: パスワードが入力されていません。\n");
    EXPECT_TRUE(server.logLines().empty());
}

TEST_F(CliLogin, NoPasswordAtAllIsTheSameMessage)
{
    CapturingIo io; // no environment, nothing typed (end of input)
    const CliRun run = runCli(withServer(server, {"login"}), io);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "vorteq-cli: パスワードが入力されていません。\n");
}

TEST(CliLoginWithoutServer, ServerThatIsDownGivesExitThreeAndNamesTheAddress)
{
    unsigned short port = 0;
    {
        TestServer gone;
        port = gone.port();
    }
    const std::string where = "127.0.0.1:" + std::to_string(port);
    const CliRun run = runCli({"login", "--server", where, "--user", "demo"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.err, "vorteq-cli: サーバーに接続できません (" + where + ")\n");
}

TEST(CliLoginWithoutServer, MalformedServerOrMissingUserIsAUsageError)
{
    EXPECT_EQ(runCli({"login", "--server", "host:99999", "--user", "demo"}).status, 64);
    EXPECT_EQ(runCli({"login", "--server", "a/b", "--user", "demo"}).status, 64);
    const CliRun noUser = runCli({"login"});
    EXPECT_EQ(noUser.status, 64);
    EXPECT_EQ(noUser.err, "vorteq-cli: --user を指定してください。\n");
}

// A session the server no longer knows between the login and the query (here one that lives no
// time at all) is a refused login: exit 77 and a message that says so, not "SQL ERROR".
TEST(CliLoginExpired, SessionThatRanOutIsARefusedLogin)
{
    TestServerOptions options;
    options.sessionLifetimeSeconds = 0;
    TestServer server(options);
    seedCliMarket(server);
    const CliRun run =
        runCli(withServer(server, {"screen", "--market", "11", "--date", "2006/05/15", "--rsi", "<=,31"}));
    EXPECT_EQ(run.status, 77);
    EXPECT_NE(run.err.find("ログインの有効期限が切れました"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("SQL ERROR"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
}

TEST(CliLoginTls, HttpsServerWithTheAuthorityGivenByCaFile)
{
    TempDir dir;
    const TestCertificate cert = makeTestCertificate(dir.path());
    TestServerOptions options;
    options.http.tlsCertFile = cert.certFile;
    options.http.tlsKeyFile = cert.keyFile;
    TestServer server(options);
    seedCliMarket(server);
    const std::string https = "https://127.0.0.1:" + std::to_string(server.port());

    CliRun run = runCli({"login", "--server", https, "--ca-file", cert.certFile, "--user", "demo"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("ログインしました: デモ ユーザー (demo)\n", 0), 0u) << run.out;

    // The system's store does not know the test's authority: no password goes to that server.
    run = runCli({"login", "--server", https, "--user", "demo"});
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("サーバーの証明書を検証できません"), std::string::npos) << run.err;

    run = runCli(
        {"login", "--server", https, "--ca-file", (dir.path() / "none.pem").string(), "--user", "demo"});
    EXPECT_EQ(run.status, 64) << run.err;
    EXPECT_NE(run.err.find("--ca-file: ファイルがありません"), std::string::npos) << run.err;
}
