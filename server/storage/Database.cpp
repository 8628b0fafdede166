#include "server/storage/Database.h"

#include <chrono>
#include <filesystem>
#include <sqlite3.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace vorteq::server {

namespace {

// How long a statement waits for another connection's write lock before SQLite answers busy.
constexpr int kBusyTimeoutMs = 5000;

std::int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// SQLite's own busy handler sleeps up to 100 ms between looks, and so misses the few milliseconds
// an importer leaves between two transactions: a login could wait for the whole import.
int waitForLock(void* context, int count)
{
    auto* wait = static_cast<Database::BusyWait*>(context);
    const std::int64_t now = steadyNs();
    if (count == 0)
        wait->startedNs = now;
    if (now - wait->startedNs >= std::int64_t{wait->timeoutMs} * 1000000)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 1;
}

Error dbError(sqlite3* db, std::string_view what)
{
    std::string message(what);
    message += ": ";
    message += db ? sqlite3_errmsg(db) : "out of memory";
    return makeError(ErrorCode::Server, std::move(message));
}
} // namespace

Status checkDatabaseWritable(const std::string& path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path file(path);
    const auto status = fs::status(file, ec);
    if (!fs::exists(status))
        return makeError(ErrorCode::Io,
                         "データベースがありません (" + path + ")。先に init で作成してください。");
    if (!fs::is_regular_file(status))
        return makeError(ErrorCode::Io, "データベースのパスがファイルではありません (" + path + ")。");
    if (::access(path.c_str(), R_OK | W_OK) != 0)
        return makeError(
            ErrorCode::Io,
            "データベースのファイルに書き込めません (" + path +
                ")。ログインのたびに書き込むため、サーバーを動かす利用者に読み書きの権限が必要です。");
    fs::path folder = file.parent_path();
    if (folder.empty())
        folder = ".";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return makeError(ErrorCode::Io,
                         "データベースのあるフォルダーに書き込めません (" + folder.string() +
                             ")。ログ ファイル (-wal, -shm) をそこに作るため、書き込み権限が必要です。");
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string beside = path + suffix;
        if (fs::exists(beside, ec) && ::access(beside.c_str(), R_OK | W_OK) != 0)
            return makeError(ErrorCode::Io, "ログ ファイルに書き込めません (" + beside +
                                                ")。所有者か権限を直してください。");
    }
    // What the file system allows is one thing; SQLite must also see a database it can write.
    auto db = Database::open(path, false);
    if (!db)
        return db.error();
    if (sqlite3_db_readonly(db->handle(), "main") == 1)
        return makeError(ErrorCode::Io, "データベースが読み取り専用で開かれました (" + path + ")。");
    auto st = db->exec("BEGIN IMMEDIATE; COMMIT;");
    if (!st)
        return makeError(ErrorCode::Io, "データベースに書き込めません (" + path + "): " + st.error().message);
    return Status::success();
}

Database::Database(sqlite3* db) : m_db(db)
{
    m_busy->timeoutMs = kBusyTimeoutMs;
}

Database::~Database()
{
    close();
}

void Database::close()
{
    m_kept.clear();
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

Database::Database(Database&& other) noexcept
    : m_db(std::exchange(other.m_db, nullptr)), m_busy(std::move(other.m_busy)),
      m_kept(std::move(other.m_kept))
{
}

Database& Database::operator=(Database&& other) noexcept
{
    if (this != &other) {
        close();
        m_db = std::exchange(other.m_db, nullptr);
        m_kept = std::move(other.m_kept);
        m_busy = std::move(other.m_busy);
    }
    return *this;
}

Result<Database> Database::open(const std::string& path, bool create, const char* vfs)
{
    sqlite3* raw = nullptr;
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (create)
        flags |= SQLITE_OPEN_CREATE;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, vfs);
    Database db(raw);
    if (rc != SQLITE_OK)
        return dbError(raw, "データベースを開けません (" + path + ")");
    sqlite3_extended_result_codes(raw, 1);
    sqlite3_busy_handler(raw, waitForLock, db.m_busy.get());
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    sqlite3_db_config(raw, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
    // Statements from the wire are small; the limits keep a hostile one from growing without bound.
    sqlite3_limit(raw, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(raw, SQLITE_LIMIT_LENGTH, 16 * 1024 * 1024);
    sqlite3_limit(raw, SQLITE_LIMIT_SQL_LENGTH, 1024 * 1024);
    sqlite3_limit(raw, SQLITE_LIMIT_COMPOUND_SELECT, 64);
    sqlite3_limit(raw, SQLITE_LIMIT_EXPR_DEPTH, 200);
    sqlite3_limit(raw, SQLITE_LIMIT_LIKE_PATTERN_LENGTH, 200);
    sqlite3_limit(raw, SQLITE_LIMIT_FUNCTION_ARG, 8);
    sqlite3_limit(raw, SQLITE_LIMIT_TRIGGER_DEPTH, 1);
    if (auto st = db.exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON;"
                          "PRAGMA mmap_size=1073741824; PRAGMA cache_size=-16384;");
        !st)
        return st.error();
    return db;
}

Status Database::exec(std::string_view sql)
{
    std::string text(sql);
    char* err = nullptr;
    if (sqlite3_exec(m_db, text.c_str(), nullptr, nullptr, &err) != SQLITE_OK) {
        std::string message = err ? err : sqlite3_errmsg(m_db);
        sqlite3_free(err);
        return makeError(ErrorCode::Server, "SQL の実行に失敗しました: " + message);
    }
    return Status::success();
}

Result<Statement> Database::prepare(std::string_view sql)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) != SQLITE_OK)
        return dbError(m_db, "SQL を準備できません");
    return Statement(stmt);
}

Result<StatementLease> Database::prepareCached(std::string_view sql)
{
    for (auto& [text, stmt] : m_kept)
        if (text == sql)
            return StatementLease(stmt.get());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v3(m_db, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &raw,
                           nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return dbError(m_db, "SQL を準備できません");
    }
    m_kept.emplace_back(std::string(sql), std::make_unique<Statement>(raw));
    return StatementLease(m_kept.back().second.get());
}

Status Database::writeTransaction(const std::function<Status()>& work, int attempts)
{
    Status last = Status::success();
    for (int attempt = 0; attempt < attempts; ++attempt) {
        bool busy = false;
        last = [&]() -> Status {
            auto tx = Transaction::begin(*this, true);
            if (!tx) {
                busy = lastFailureWasBusy();
                return tx.error();
            }
            auto st = work();
            if (st)
                st = tx->commit();
            // Read before the transaction's rollback replaces the connection's last error.
            busy = !st && lastFailureWasBusy();
            if (!st && !sqlite3_get_autocommit(m_db) && busy)
                (void)exec("ROLLBACK"); // a COMMIT refused as busy leaves the transaction open
            return st;
        }();
        if (last || !busy)
            return last;
    }
    return last;
}

bool Database::lastFailureWasBusy() const
{
    const int code = sqlite3_extended_errcode(m_db) & 0xFF;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

Status Database::withoutWaiting(const std::function<Status()>& work)
{
    sqlite3_busy_handler(m_db, nullptr, nullptr);
    Status st = work();
    sqlite3_busy_handler(m_db, waitForLock, m_busy.get());
    return st;
}

std::string Database::lastError() const
{
    return m_db ? sqlite3_errmsg(m_db) : "no database";
}

std::int64_t Database::changes() const
{
    return sqlite3_changes64(m_db);
}

Statement::~Statement()
{
    if (m_stmt)
        sqlite3_finalize(m_stmt);
}

Statement::Statement(Statement&& other) noexcept : m_stmt(std::exchange(other.m_stmt, nullptr)) {}

Statement& Statement::operator=(Statement&& other) noexcept
{
    if (this != &other) {
        if (m_stmt)
            sqlite3_finalize(m_stmt);
        m_stmt = std::exchange(other.m_stmt, nullptr);
    }
    return *this;
}

Statement& Statement::bind(int index, std::string_view text)
{
    sqlite3_bind_text64(m_stmt, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
}

Statement& Statement::bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(m_stmt, index, value);
    return *this;
}

Statement& Statement::bind(int index, double value)
{
    sqlite3_bind_double(m_stmt, index, value);
    return *this;
}

Statement& Statement::bindNull(int index)
{
    sqlite3_bind_null(m_stmt, index);
    return *this;
}

Result<bool> Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    return dbError(sqlite3_db_handle(m_stmt), "SQL の実行に失敗しました");
}

Status Statement::run()
{
    for (;;) {
        auto more = step();
        if (!more)
            return more.error();
        if (!*more)
            return Status::success();
    }
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
}

std::string Statement::text(int column) const
{
    const auto* p = sqlite3_column_text(m_stmt, column);
    const int n = sqlite3_column_bytes(m_stmt, column);
    return p ? std::string(reinterpret_cast<const char*>(p), static_cast<std::size_t>(n)) : std::string();
}

std::int64_t Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt, column) == SQLITE_NULL;
}

Result<Transaction> Transaction::begin(Database& db, bool immediate)
{
    if (auto st = db.exec(immediate ? "BEGIN IMMEDIATE" : "BEGIN"); !st)
        return st.error();
    return Transaction(&db);
}

Transaction::~Transaction()
{
    if (m_db)
        (void)m_db->exec("ROLLBACK");
}

Status Transaction::commit()
{
    Database* db = std::exchange(m_db, nullptr);
    return db->exec("COMMIT");
}

} // namespace vorteq::server
