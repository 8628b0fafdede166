#include "server/http/BatchService.h"

#include "common/Encoding.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "server/policy/StatementShape.h"
#include "server/storage/PgBackend.h"
#include "server/storage/PgDatabase.h"
#include "server/storage/Schema.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <future>
#include <iostream>
#include <optional>
#include <thread>
#include <vector>

namespace vorteq::server {

namespace {

using Clock = std::chrono::steady_clock;

// What the log line of one request says.
struct RequestRecord {
    std::string user = "-";
    std::string mode = "-";
    std::vector<std::string> kinds;
    std::vector<std::string> rows;
    std::string outcome = "ok";
    std::string reason;
};

// A user-supplied text made safe for one log line: printable, no blanks, at most 32 bytes.
std::string logSafe(std::string_view text)
{
    std::string out;
    for (char c : text.substr(0, 32)) {
        const auto b = static_cast<unsigned char>(c);
        out += (b <= 0x20 || b == 0x7F || c == '"') ? '?' : c;
    }
    return out.empty() ? "?" : out;
}

// SQLite quotes parts of the statement in its messages ("near "abc": syntax error"); they are
// masked so that no part of a statement, which may hold a password, reaches the log.
std::string maskQuoted(std::string_view message)
{
    std::string out;
    bool inQuote = false;
    for (char c : message) {
        if (c == '"' || c == '\'') {
            if (!inQuote)
                out += "\"...\"";
            inQuote = !inQuote;
            continue;
        }
        if (!inQuote)
            out += c;
    }
    return out;
}

// Every control byte of a log line (a newline in an SQLite message that quotes the statement, an
// escape sequence in a user ID) written as \xNN, so that no field can end the line or forge another.
std::string escapeLogLine(std::string_view line)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(line.size());
    for (char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F) {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

std::string joined(const std::vector<std::string>& parts)
{
    if (parts.empty())
        return "-";
    std::string out;
    for (const auto& p : parts) {
        if (!out.empty())
            out += ',';
        out += p;
    }
    return out;
}

std::string timestamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return buf;
}

// Writes a result straight into the reply as a table section.
class TableSink final : public RowSink {
public:
    explicit TableSink(wire::ReplyWriter& writer) : m_writer(writer) {}
    void begin(int columns) override
    {
        m_writer.beginTable(columns);
        m_open = true;
    }
    Status row(const std::vector<std::string_view>& fields) override { return m_writer.addRow(fields); }
    wire::ReplyWriter* replyWriter() override { return &m_writer; }
    // After success: closes the table.
    void end()
    {
        if (m_open)
            m_writer.endTable();
        m_open = false;
    }
    // After a failure: drops whatever of the table was written.
    void abandon()
    {
        if (m_open)
            m_writer.abandonTable();
        m_open = false;
    }

private:
    wire::ReplyWriter& m_writer;
    bool m_open = false;
};

std::string compressReply(const std::string& text, ZlibLevel level)
{
    auto body = zlibCompress(text, level);
    if (body)
        return std::move(*body);
    // Cannot happen short of memory exhaustion; an empty reply is the least wrong answer.
    return std::string(4, '\0');
}

} // namespace

std::string sessionTokenFromCookie(std::string_view cookieHeader)
{
    std::size_t start = 0;
    while (start <= cookieHeader.size()) {
        std::size_t end = cookieHeader.find(';', start);
        if (end == std::string_view::npos)
            end = cookieHeader.size();
        std::string_view part = cookieHeader.substr(start, end - start);
        while (!part.empty() && (part.front() == ' ' || part.front() == '\t'))
            part.remove_prefix(1);
        while (!part.empty() && (part.back() == ' ' || part.back() == '\t'))
            part.remove_suffix(1);
        if (part.size() > kSessionCookieName.size() &&
            part.substr(0, kSessionCookieName.size()) == kSessionCookieName &&
            part[kSessionCookieName.size()] == '=')
            return std::string(part.substr(kSessionCookieName.size() + 1));
        start = end + 1;
    }
    return {};
}

// One request on its way through the service.
struct BatchService::Job {
    BatchRequest request;
    Clock::time_point started = Clock::now();
    RequestRecord record;
    wire::ReplyWriter writer;
    BatchReply reply;
    bool emptyReply = false;
    std::string mode;
    std::vector<std::string> statements;
    std::shared_ptr<const ReplyCache::Entry> keptReply; // the answer, found among the kept replies
    std::string keepAs;                                 // the key to keep the reply under, if any
    std::uint64_t keepGeneration = 0;

    void fail(std::string reason)
    {
        writer.addFailure();
        record.outcome = "refused";
        record.reason = std::move(reason);
    }
};

// One of a user's running requests; empty when the user already runs as many as allowed.
class BatchService::UserSlot {
public:
    UserSlot(BatchService& service, const std::string& user) : m_service(service), m_user(user)
    {
        std::lock_guard lock(m_service.m_usersMutex);
        std::size_t& running = m_service.m_userRequests[m_user];
        m_taken = running < m_service.m_config.limits.maxRequestsPerUser;
        if (m_taken)
            ++running;
        else if (running == 0)
            m_service.m_userRequests.erase(m_user);
    }
    ~UserSlot()
    {
        if (!m_taken)
            return;
        std::lock_guard lock(m_service.m_usersMutex);
        auto it = m_service.m_userRequests.find(m_user);
        if (--it->second == 0)
            m_service.m_userRequests.erase(it);
    }
    UserSlot(const UserSlot&) = delete;
    UserSlot& operator=(const UserSlot&) = delete;
    explicit operator bool() const { return m_taken; }

private:
    BatchService& m_service;
    std::string m_user;
    bool m_taken = false;
};

BatchService::BatchService(ServerConfig config) : m_config(std::move(config))
{
    int threads = m_config.throttle.passwordThreads;
    if (threads <= 0)
        threads = std::max(1, static_cast<int>(std::thread::hardware_concurrency()) / 2);
    m_passwords = std::make_unique<PasswordPool>(threads, m_config.throttle.maxQueuedChecks);
    if (m_config.replyCacheBytes > 0)
        m_replies = std::make_unique<ReplyCache>(m_config.replyCacheBytes);
}

BatchService::~BatchService() = default;

Result<std::unique_ptr<BatchService>> BatchService::open(const std::string& dbPath, ServerConfig config)
{
    std::unique_ptr<BatchService> service(new BatchService(std::move(config)));
    auto backend = isPostgresAddress(dbPath)
                       ? openPostgresBackend(dbPath, service->m_config)
                       : openSqliteBackend(dbPath, service->m_config,
                                           [&service](std::string_view text) { service->logNotice(text); });
    if (!backend)
        return backend.error();
    service->m_backend = std::move(*backend);
    return service;
}

std::int64_t BatchService::now() const
{
    if (m_config.clock)
        return m_config.clock();
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void BatchService::log(std::string_view line) const
{
    std::string text = escapeLogLine(line);
    if (m_config.log) {
        m_config.log(text);
        return;
    }
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

void BatchService::logNotice(std::string_view text) const
{
    log(timestamp() + " " + std::string(text));
}

BatchReply BatchService::refuse(std::string_view reason)
{
    wire::ReplyWriter writer;
    writer.addFailure();
    log(timestamp() + " user=- kinds=- rows=- ms=0 outcome=refused reason=\"" + std::string(reason) + "\"");
    BatchReply reply;
    reply.body = compressReply(writer.finish(), m_config.replyCompression);
    return reply;
}

BatchReply BatchService::handle(std::string_view body, std::string_view cookieHeader, bool nearbyPeer)
{
    return handle(BatchRequest{std::string(body), std::string(cookieHeader), "127.0.0.1", nearbyPeer});
}

BatchReply BatchService::handle(BatchRequest request)
{
    std::promise<BatchReply> promise;
    auto reply = promise.get_future();
    handleAsync(std::move(request), [&promise](BatchReply r) { promise.set_value(std::move(r)); });
    return reply.get();
}

void BatchService::handleAsync(BatchRequest request, std::function<void(BatchReply)> done)
{
    auto job = std::make_shared<Job>();
    job->request = std::move(request);
    try {
        if (decode(*job) && !passToPasswordThreads(job, done))
            runBatch(*job);
    } catch (const std::exception& e) {
        if (done)
            done(refuse(std::string("internal error: ") + e.what()));
        return;
    }
    if (done)
        done(finish(*job));
}

bool BatchService::decode(Job& job)
{
    const Limits& limits = m_config.limits;
    const std::string& body = job.request.body;
    if (body.size() > limits.maxBodyBytes) {
        job.fail("request body larger than " + std::to_string(limits.maxBodyBytes) + " bytes");
        return false;
    }
    auto text = zlibDecompress(body, limits.maxRequestTextBytes);
    if (!text) {
        job.fail("request body is not a compressed batch: " + text.error().message);
        return false;
    }
    auto items = wire::splitRequestText(*text);
    if (!items) {
        job.fail("request text is not a batch: " + items.error().message);
        return false;
    }
    if (items->empty()) {
        job.fail("batch without a mode word");
        return false;
    }
    job.record.mode = logSafe((*items)[0]);
    if (items->size() - 1 > limits.maxStatements) {
        job.fail("more than " + std::to_string(limits.maxStatements) + " statements");
        return false;
    }
    if (items->size() == 1) {
        job.emptyReply = true; // nothing to run, nothing to answer
        job.record.outcome = "empty";
        return false;
    }
    for (std::size_t i = 1; i < items->size(); ++i) {
        auto utf8 = cp932ToUtf8((*items)[i]);
        if (!utf8) {
            job.fail("statement " + std::to_string(i) + " is not CP932 text");
            return false;
        }
        job.statements.push_back(std::move(*utf8));
    }
    job.mode = (*items)[0];
    return true;
}

bool BatchService::passToPasswordThreads(const std::shared_ptr<Job>& job,
                                         std::function<void(BatchReply)>& done)
{
    std::optional<LoginStatement> login;
    bool passwordChange = false;
    if (job->mode == "Query")
        login = matchLogin(job->statements[0]);
    else if (job->mode == "Update")
        passwordChange =
            std::any_of(job->statements.begin(), job->statements.end(),
                        [](const std::string& sql) { return matchPasswordChange(sql).has_value(); });
    if (!login && !passwordChange)
        return false;
    if (login) {
        job->record.user = logSafe(login->userId);
        job->record.kinds.push_back("login");
        const auto& st = job->statements;
        if (st.size() > 2 || (st.size() == 2 && !matchUpdateDates(st[1]))) {
            job->fail("login batch holds other statements");
            return true;
        }
    }
    // The throttle is looked at here, so that an attempt inside its wait costs no password check
    // and does not queue; the lane follows the address's record.
    ThrottleState state;
    {
        auto session = m_backend->acquire();
        if (!session) {
            job->fail("database unavailable: " + session.error().message);
            return true;
        }
        auto read =
            (*session)->throttleState(login ? login->userId : std::string(), job->request.peerAddress, now());
        if (!read) {
            job->fail("database: " + maskQuoted(read.error().message));
            return true;
        }
        state = *read;
    }
    if (login && state.throttled) {
        answerThrottled(*job, state.retryAfter, "throttled after failures from this address");
        return true;
    }
    const auto lane = state.knownPair       ? PasswordPool::Lane::Known
                      : state.addressFailed ? PasswordPool::Lane::Failed
                                            : PasswordPool::Lane::Clear;
    auto task = [this, job, login, done]() mutable {
        try {
            if (login)
                runLogin(*job, *login);
            else
                runBatch(*job);
            done(finish(*job));
        } catch (const std::exception& e) {
            done(refuse(std::string("internal error: ") + e.what()));
        }
    };
    if (!m_passwords->submit(lane, std::move(task))) {
        if (login) {
            answerThrottled(*job, 1, "password checks busy");
        } else {
            job->record.kinds.push_back("password");
            job->fail("password checks busy");
            job->reply.headers.emplace_back(kLoginHeader, kLoginThrottled);
            job->reply.headers.emplace_back("Retry-After", "1");
        }
        return true;
    }
    done = nullptr; // the password thread answers
    return true;
}

void BatchService::answerThrottled(Job& job, std::int64_t retryAfter, std::string reason)
{
    // The body of a refused login, which every client understands; the header tells it apart.
    (void)job.writer.addTable(3, {});
    if (job.statements.size() == 2)
        (void)job.writer.addTable(1, {});
    job.record.rows = {"0"};
    job.record.outcome = "login-throttled";
    job.record.reason = std::move(reason);
    job.reply.headers.emplace_back(kLoginHeader, kLoginThrottled);
    job.reply.headers.emplace_back("Retry-After", std::to_string(std::max<std::int64_t>(1, retryAfter)));
}

void BatchService::runLogin(Job& job, const LoginStatement& login)
{
    auto session = m_backend->acquire();
    if (!session)
        return job.fail("database unavailable: " + session.error().message);
    BackendSession& conn = **session;
    auto outcome = conn.login(login, job.request.peerAddress, now());
    if (!outcome)
        return job.fail("database: " + maskQuoted(outcome.error().message));
    if (outcome->verdict == LoginVerdict::Throttled)
        return answerThrottled(job, outcome->retryAfter, outcome->reason);
    if (outcome->verdict != LoginVerdict::Accepted) {
        (void)job.writer.addTable(3, {});
        if (job.statements.size() == 2)
            (void)job.writer.addTable(1, {});
        job.record.rows = {"0"};
        job.record.outcome = "login-refused";
        job.record.reason = outcome->reason;
        return;
    }
    if (auto st = job.writer.addTable(3, {{outcome->name, outcome->email, outcome->mailStatus}}); !st)
        return job.fail("user record cannot be sent: " + st.error().message);
    job.record.rows.push_back("1");
    if (job.statements.size() == 2) {
        job.record.kinds.push_back("update-dates");
        TableSink sink(job.writer);
        RequestBudget budget = RequestBudget::of(m_config.limits);
        auto dates = conn.runTrustedSelect("SELECT UPD_DATE FROM STK_UPD ORDER BY UPD_FLG", budget, sink);
        if (!dates) {
            sink.abandon();
            return job.fail(maskQuoted(dates.error().message));
        }
        sink.end();
        job.record.rows.push_back(std::to_string(*dates));
    }
    job.reply.setCookie = std::string(kSessionCookieName) + "=" + outcome->token + "; HttpOnly; Path=/ORQ";
}

void BatchService::runBatch(Job& job)
{
    const Limits& limits = m_config.limits;
    auto session = m_backend->acquire();
    if (!session)
        return job.fail("database unavailable: " + session.error().message);
    BackendSession& conn = **session;
    const std::int64_t nowSeconds = now();

    // Every batch but the login needs a live session.
    const std::string token = sessionTokenFromCookie(job.request.cookieHeader);
    auto user = conn.sessionUser(token, nowSeconds);
    if (!user)
        return job.fail("database: " + user.error().message);
    if (!user->has_value()) {
        job.reply.sessionExpired = true;
        return job.fail(token.empty() ? "no session cookie" : "unknown or expired session");
    }
    const std::string& userId = **user;
    job.record.user = logSafe(userId);
    UserSlot slot(*this, userId);
    if (!slot)
        return job.fail("more than " + std::to_string(limits.maxRequestsPerUser) +
                        " requests of this user at the same time");

    if (job.mode == "Query") {
        if (answerFromKeptReplies(job, conn))
            return;
        // Time, rows and reply bytes are bounded for the whole batch, not per statement.
        RequestBudget budget = RequestBudget::of(limits);
        for (const std::string& sql : job.statements) {
            job.record.kinds.push_back("select");
            budget.replyBytesLeft = limits.maxReplyBytes - std::min(limits.maxReplyBytes, job.writer.size());
            TableSink sink(job.writer);
            auto rows = conn.runConfinedSelect(userId, sql, budget, sink);
            if (!rows) {
                sink.abandon();
                return job.fail(maskQuoted(rows.error().message));
            }
            sink.end();
            job.record.rows.push_back(std::to_string(*rows));
        }
        return;
    }
    if (job.mode == "Update") {
        for (const std::string& sql : job.statements) {
            Result<int> changed = 0;
            if (auto pass = matchPasswordChange(sql)) {
                job.record.kinds.push_back("password");
                std::int64_t retryAfter = 0;
                changed = conn.changePassword(userId, *pass, token, job.request.peerAddress, nowSeconds,
                                              retryAfter);
                if (retryAfter > 0) {
                    job.reply.headers.emplace_back(kLoginHeader, kLoginThrottled);
                    job.reply.headers.emplace_back("Retry-After", std::to_string(retryAfter));
                }
            } else if (auto mail = matchMailChange(sql)) {
                job.record.kinds.push_back("mail");
                changed = conn.changeMail(userId, *mail);
            } else {
                job.record.kinds.push_back("update");
                return job.fail("not one of the accepted account changes");
            }
            if (!changed)
                return job.fail(changed.error().message);
            job.writer.addScalar(*changed);
            job.record.rows.push_back(std::to_string(*changed));
        }
        return;
    }
    job.fail("unknown mode word");
}

bool BatchService::answerFromKeptReplies(Job& job, BackendSession& conn)
{
    if (!m_replies)
        return false;
    auto changed = conn.othersWroteSinceLastLook();
    if (!changed)
        return false; // the reply is worked out and not kept
    if (*changed)
        m_replies->invalidate();
    std::string key = ReplyCache::keyOf(replyLevel(job), job.statements);
    if (auto kept = m_replies->find(key)) {
        job.record.kinds.assign(job.statements.size(), "select");
        job.record.rows = kept->rows;
        job.keptReply = std::move(kept);
        return true;
    }
    // Read before the statements run: their snapshot is then no older than this generation.
    job.keepGeneration = m_replies->generation();
    job.keepAs = std::move(key);
    return false;
}

ZlibLevel BatchService::replyLevel(const Job& job) const
{
    return job.request.nearbyPeer && m_config.storedRepliesNearby ? ZlibLevel::None
                                                                  : m_config.replyCompression;
}

BatchReply BatchService::finish(Job& job)
{
    if (job.keptReply) {
        job.reply.body = job.keptReply->body;
    } else {
        job.reply.body =
            job.emptyReply ? std::string(4, '\0') : compressReply(job.writer.finish(), replyLevel(job));
        // Only a batch whose every statement ran is kept.
        if (!job.keepAs.empty() && job.record.outcome == "ok" && job.reply.body.size() > 4 && m_replies)
            m_replies->store(std::move(job.keepAs), job.keepGeneration,
                             ReplyCache::Entry{job.reply.body, job.record.rows});
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - job.started).count();
    char msText[32];
    std::snprintf(msText, sizeof msText, "%.1f", ms);
    const RequestRecord& record = job.record;
    std::string line = timestamp() + " user=" + record.user + " kinds=" + record.mode + ":" +
                       joined(record.kinds) + " rows=" + joined(record.rows) + " ms=" + msText +
                       " outcome=" + record.outcome;
    if (!record.reason.empty())
        line += " reason=\"" + record.reason + "\"";
    log(line);
    return std::move(job.reply);
}

} // namespace vorteq::server
