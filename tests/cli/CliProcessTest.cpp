#include "CliTestSupport.h"
#include "common/TextFile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

using namespace vorteq;
using namespace vorteq::test;

namespace {

// Runs the vorteq-cli program with the given standard input text and extra environment entries;
// its exit status and both output streams.
CliRun runProcess(const std::vector<std::string>& args, const std::string& input,
                  const std::vector<std::string>& extraEnv)
{
    TempDir dir;
    const auto inPath = dir.path() / "in", outPath = dir.path() / "out", errPath = dir.path() / "err";
    if (!writeBytesAtomic(inPath, input).ok())
        throw std::runtime_error("cannot write the input file");

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argStore{VORTEQ_CLI_PATH};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    // The test's own environment without a password, plus the extra entries.
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
        if (std::string_view(*e).rfind("VORTEQ_", 0) != 0)
            envStore.emplace_back(*e);
    envStore.insert(envStore.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, VORTEQ_CLI_PATH, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start vorteq-cli");
    int status = 0;
    ::waitpid(pid, &status, 0);

    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readBytes(outPath).value();
    run.err = readBytes(errPath).value();
    return run;
}

} // namespace

TEST(CliProcess, ServerThatIsDownEndsWithStatusThreeAndAMessage)
{
    unsigned short port = 0;
    {
        TestServer gone;
        port = gone.port();
    }
    const std::string where = "127.0.0.1:" + std::to_string(port);
    const CliRun run = runProcess({"screen", "--market", "11", "--server", where, "--user", "demo"}, "",
                                  {"VORTEQ_PASSWORD=demo1234", "LANG=C.UTF-8"});
    EXPECT_EQ(run.status, 3);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "vorteq-cli: サーバーに接続できません (" + where + ")\n");
}

TEST(CliProcess, ReadsThePasswordFromStandardInputAndWritesCp932)
{
    TestServer server;
    seedCliMarket(server);
    const CliRun run = runProcess(withServer(server, {"screen", "--market", "11", "--code", "1301"}),
                                  "demo1234\n", {"LANG=C.UTF-8"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    // The second line starts with the code and the name in Shift-JIS: 極洋 is 8BC9 976D.
    EXPECT_NE(run.out.find("\r\n1301,\x8b\xc9\x97\x6d,"), std::string::npos);
}
