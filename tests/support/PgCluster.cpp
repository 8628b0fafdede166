#include "support/PgCluster.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <libpq-fe.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vorteq::test {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAdmin = "vorteq_admin";

[[noreturn]] void cannotStart(const std::string& why)
{
    throw std::runtime_error("PostgreSQL のテスト用クラスターを起動できません: " + why);
}

// The folder of initdb and pg_ctl: VORTEQ_PG_BINDIR, else the newest /usr/lib/postgresql/N/bin,
// else wherever PATH finds initdb.
fs::path findBinaries()
{
    if (const char* dir = std::getenv("VORTEQ_PG_BINDIR"))
        return dir;
    std::error_code ec;
    fs::path best;
    int bestVersion = -1;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        const std::string name = entry.path().filename().string();
        const int version = std::atoi(name.c_str());
        if (version > bestVersion && fs::exists(entry.path() / "bin" / "initdb", ec)) {
            best = entry.path() / "bin";
            bestVersion = version;
        }
    }
    if (!best.empty())
        return best;
    if (const char* path = std::getenv("PATH")) {
        std::stringstream dirs(path);
        std::string dir;
        while (std::getline(dirs, dir, ':'))
            if (!dir.empty() && fs::exists(fs::path(dir) / "initdb", ec))
                return dir;
    }
    cannotStart("initdb が見つかりません (Debian の postgresql パッケージを入れるか、VORTEQ_PG_BINDIR "
                "で場所を指定してください)");
}

unsigned short freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        cannotStart("ソケットを作れません");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        cannotStart("空きポートが見つかりません");
    }
    ::close(fd);
    return ntohs(addr.sin_port);
}

std::string tail(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

} // namespace

PgCluster::PgCluster()
{
    m_bin = findBinaries();
    std::string tmpl = (fs::temp_directory_path() / "vorteq_pg_XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr)
        cannotStart("一時フォルダーを作れません");
    m_dir = tmpl;
    if (::geteuid() == 0) {
        // initdb and the server refuse root: run them as a system user who owns the folder.
        const passwd* user = ::getpwnam("postgres");
        if (user == nullptr)
            user = ::getpwnam("nobody");
        if (user == nullptr) {
            fs::remove_all(m_dir);
            cannotStart("root で実行中ですが、代わりに使える一般ユーザー (postgres, nobody) がありません");
        }
        m_uid = user->pw_uid;
        m_gid = user->pw_gid;
        m_dropPrivileges = true;
        if (::chown(m_dir.c_str(), m_uid, m_gid) != 0) {
            fs::remove_all(m_dir);
            cannotStart("一時フォルダーの所有者を変えられません");
        }
    }
    ::chmod(m_dir.c_str(), 0700);
    try {
        runAsOwner({"initdb", "-D", (m_dir / "data").string(), "-U", kAdmin, "-A", "trust", "-E", "UTF8",
                    "--locale=C", "--no-sync"},
                   "initdb");
        // A port found free may be taken before the server binds it: try a few.
        for (int attempt = 1;; ++attempt) {
            m_port = freePort();
            const std::string options =
                "-p " + std::to_string(m_port) + " -k " + m_dir.string() +
                " -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off "
                "-c full_page_writes=off -c max_connections=300 -c shared_buffers=32MB";
            try {
                runAsOwner({"pg_ctl", "-D", (m_dir / "data").string(), "-l", (m_dir / "server.log").string(),
                            "-w", "-t", "60", "-o", options, "start"},
                           "pg_ctl");
                break;
            } catch (const std::runtime_error&) {
                if (attempt >= 3)
                    throw;
            }
        }
        m_started = true;
    } catch (...) {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
        throw;
    }
}

PgCluster::~PgCluster()
{
    if (m_started) {
        try {
            runAsOwner({"pg_ctl", "-D", (m_dir / "data").string(), "-m", "immediate", "-w", "stop"},
                       "pg_ctl");
        } catch (const std::exception&) {
            // The folder goes all the same; a server left running has lost its files.
        }
    }
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
}

void PgCluster::runAsOwner(const std::vector<std::string>& argv, const std::string& what) const
{
    const std::string program = (m_bin / argv.front()).string();
    const std::string logFile = (m_dir / (what + ".out")).string();
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        cannotStart("fork に失敗しました");
    if (pid == 0) {
        if (m_dropPrivileges &&
            (::setgroups(0, nullptr) != 0 || ::setgid(m_gid) != 0 || ::setuid(m_uid) != 0))
            ::_exit(126);
        const int out = ::open(logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out >= 0) {
            ::dup2(out, 1);
            ::dup2(out, 2);
            ::close(out);
        }
        const int devnull = ::open("/dev/null", O_RDONLY);
        if (devnull >= 0)
            ::dup2(devnull, 0);
        if (::chdir(m_dir.c_str()) != 0)
            ::_exit(126);
        ::execv(program.c_str(), args.data());
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string detail = tail(logFile);
        if (what == "pg_ctl")
            detail += tail(m_dir / "server.log");
        cannotStart(program + " が失敗しました (終了コード " +
                    std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "):\n" + detail);
    }
}

std::string PgCluster::address(const std::string& database) const
{
    return "postgresql://" + std::string(kAdmin) + "@127.0.0.1:" + std::to_string(m_port) + "/" + database;
}

void PgCluster::exec(const std::string& database, const std::string& sql) const
{
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb(address(database).c_str()), PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK)
        throw std::runtime_error("PgCluster: " + std::string(PQerrorMessage(conn.get())));
    std::unique_ptr<PGresult, void (*)(PGresult*)> result(PQexec(conn.get(), sql.c_str()), PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        throw std::runtime_error("PgCluster: " + std::string(PQresultErrorMessage(result.get())));
}

std::string PgCluster::createDatabase()
{
    static std::mutex mutex;
    std::string name;
    {
        std::lock_guard lock(mutex);
        name = "vq_" + std::to_string(::getpid()) + "_" + std::to_string(++m_databases);
    }
    exec("postgres", "CREATE DATABASE " + name);
    return name;
}

void PgCluster::dropDatabase(const std::string& name)
{
    exec("postgres", "DROP DATABASE IF EXISTS " + name + " WITH (FORCE)");
}

namespace {
std::unique_ptr<PgCluster>& sharedSlot()
{
    static std::unique_ptr<PgCluster> cluster;
    return cluster;
}
} // namespace

PgCluster& sharedPgCluster()
{
    static std::mutex mutex;
    std::unique_ptr<PgCluster>& cluster = sharedSlot();
    static std::string failure;
    std::lock_guard lock(mutex);
    if (!cluster) {
        if (!failure.empty())
            throw std::runtime_error(failure);
        try {
            cluster = std::make_unique<PgCluster>();
            // A test program that dies of an uncaught exception (on a server thread, say) stops
            // its cluster first, instead of leaving a server running on a removed folder.
            static const std::terminate_handler previous = std::set_terminate([] {
                if (auto& shared = sharedSlot())
                    shared.reset();
                if (previous)
                    previous();
                std::abort();
            });
        } catch (const std::exception& e) {
            failure = e.what();
            throw;
        }
    }
    return *cluster;
}

} // namespace vorteq::test
