#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vorteq::test {

// A throw-away PostgreSQL cluster: initdb in a temporary folder, started with pg_ctl on a free
// loopback port, stopped and removed by the destructor. PostgreSQL refuses to run as root, so a
// test run as root runs initdb, pg_ctl and the server as an unprivileged system user ("postgres",
// else "nobody") that owns the folder. Every role may log in from loopback without a password
// (trust), which is what lets the server's own roles connect in tests.
// Start failures throw std::runtime_error saying why (binaries missing, initdb or pg_ctl output):
// the PostgreSQL tests then fail; they are never skipped.
class PgCluster {
public:
    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    unsigned short port() const { return m_port; }
    // "postgresql://vorteq_admin@127.0.0.1:PORT/NAME": the cluster's superuser on database name.
    std::string address(const std::string& database = "postgres") const;

    // A new, empty database; its name is unique within the cluster.
    std::string createDatabase();
    void dropDatabase(const std::string& name);

    // Runs trusted SQL as the superuser on a database; throws with PostgreSQL's message on failure.
    void exec(const std::string& database, const std::string& sql) const;

private:
    void runAsOwner(const std::vector<std::string>& argv, const std::string& what) const;

    std::filesystem::path m_dir;
    std::filesystem::path m_bin;
    unsigned m_uid = 0;
    unsigned m_gid = 0;
    bool m_dropPrivileges = false;
    unsigned short m_port = 0;
    bool m_started = false;
    int m_databases = 0;
};

// One cluster shared by every test of a test program, started on first use: a cluster start takes
// seconds, a database in it a fraction of one.
PgCluster& sharedPgCluster();

} // namespace vorteq::test
