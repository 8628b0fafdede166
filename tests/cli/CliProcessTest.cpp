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

// Runs a program with the given standard input text and extra environment entries; its exit status
// and both output streams.
CliRun runProgram(const char* program, const std::vector<std::string>& args, const std::string& input,
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

    std::vector<std::string> argStore{program};
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
    const int spawned = posix_spawn(&pid, program, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        throw std::runtime_error("cannot start " + std::string(program));
    int status = 0;
    ::waitpid(pid, &status, 0);

    CliRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = readBytes(outPath).value();
    run.err = readBytes(errPath).value();
    return run;
}

CliRun runProcess(const std::vector<std::string>& args, const std::string& input,
                  const std::vector<std::string>& extraEnv)
{
    return runProgram(VORTEQ_CLI_PATH, args, input, extraEnv);
}

CliRun runServer(const std::vector<std::string>& args)
{
    return runProgram(VORTEQ_SERVER_PATH, args, "", {});
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

TEST(ServerCommandLine, GoodOptionsReachTheCommandAndTheLastOfARepeatedOneCounts)
{
    TempDir dir;
    const std::string first = (dir.path() / "first.db").string(), last = (dir.path() / "last.db").string();
    const CliRun init = runServer({"init", "--db", first, "--port", "9000", "--db=" + last});
    EXPECT_EQ(init.status, 0) << init.err;
    EXPECT_EQ(init.err, "vorteq-server: database ready: " + last + "\n");
    EXPECT_FALSE(std::filesystem::exists(first));

    const CliRun added = runServer({"adduser", "u1", "pass1", "名前", "u1@example.jp", "--db", last,
                                    "--hash-cost", "min", "--blocked", "--mail-status", "1"});
    EXPECT_EQ(added.status, 0) << added.err;
    EXPECT_EQ(added.err, "vorteq-server: user added: u1\n");

    const CliRun help = runServer({"serve", "--port", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("vorteq-server adduser ID PASSWORD NAME EMAIL"), std::string::npos);
    EXPECT_NE(help.out.find("vorteq-server import --market CODE"), std::string::npos);
}

TEST(ServerCommandLine, HostileArgumentsAreRefusedWithAMessageAndStatusOne)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"serve", "--port"}, "--port needs a value"},
        {{"init", "--db="}, "--db needs a value"},
        {{"serve", "--port", "abc"}, "--port: not a valid number: abc"},
        {{"serve", "--port", "70000"}, "--port: not a valid number: 70000"},
        {{"serve", "--port", "-1"}, "--port: not a valid number: -1"},
        {{"serve", "--port", "80x"}, "--port: not a valid number: 80x"},
        {{"serve", "--threads", "0"}, "--threads: not a valid number: 0"},
        {{"serve", "--session-hours", "99999999999"}, "--session-hours: not a valid number: 99999999999"},
        {{"serve", "--hash-cost", "fast"}, "--hash-cost: use interactive, moderate or min"},
        {{"serve", "--reply-compression", "gzip"}, "--reply-compression: use auto, fastest or none"},
        {{"adduser", "a", "b", "c", "d", "--mail-status", "2"}, "--mail-status: use 0 or 1"},
        {{"serve", "--bogus"}, "unknown option --bogus"},
        {{"init", "--db=x.db", "--bogus=1"}, "unknown option --bogus=1"},
        {{"adduser", "a", "b", "c"}, "adduser needs ID PASSWORD NAME EMAIL (see --help)"},
        {{"adduser", "a", "b", "c", "d", "e"}, "adduser needs ID PASSWORD NAME EMAIL (see --help)"},
        {{"frobnicate"}, "unknown command frobnicate (see --help)"},
        {{"serve", "--port", std::string(100000, '9')},
         "--port: not a valid number: " + std::string(100000, '9')},
    };
    for (const auto& [args, message] : cases) {
        const CliRun run = runServer(args);
        EXPECT_EQ(run.status, 1) << args.front() << " " << message;
        EXPECT_EQ(run.err, "vorteq-server: " + message + "\n");
        EXPECT_EQ(run.out, "");
    }
    // The data commands refuse theirs with status 2.
    const std::vector<std::pair<std::vector<std::string>, std::string>> dataCases = {
        {{"import", "--market", "11", "--jobs"}, "--jobs needs a value"},
        {{"import", "--bogus", "prices.csv"}, "unknown option --bogus (see --help)"},
        {{"update", "--jobs", "65", "quotes.json"}, "--jobs: a number from 1 to 64"},
        {{"demo-data", "--seed", "1", "extra"}, "demo-data takes no file names (see --help)"},
    };
    for (const auto& [args, message] : dataCases) {
        const CliRun run = runServer(args);
        EXPECT_EQ(run.status, 2) << args.front() << " " << message;
        EXPECT_EQ(run.err, "vorteq-server: " + message + "\n");
    }
    const CliRun nothing = runServer({});
    EXPECT_EQ(nothing.status, 2);
    EXPECT_EQ(nothing.err.rfind("vorteq-server: the statement server", 0), 0u);
}
