#include "server/BatchService.h"

#include "common/Encoding.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"
#include "server/StatementShape.h"

#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>
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

BatchService::BatchService(std::string dbPath, ServerConfig config)
    : m_config(std::move(config)), m_pool(std::move(dbPath)), m_accounts(m_config)
{
}

Result<std::unique_ptr<BatchService>> BatchService::open(const std::string& dbPath, ServerConfig config)
{
    std::unique_ptr<BatchService> service(new BatchService(dbPath, std::move(config)));
    // Check at once that the file opens and holds the schema, rather than on the first request.
    auto lease = service->m_pool.acquire();
    if (!lease)
        return makeError(ErrorCode::Server,
                         lease.error().message + "。先に init でデータベースを作成してください。");
    auto probe = (*lease)->db().prepare(
        "SELECT 1 FROM USR_INFO, SESSION_INFO, LOGIN_FAIL, STK_INFO, MKT_INFO, STK_UPD "
        "LIMIT 0");
    if (!probe)
        return makeError(ErrorCode::Server,
                         "データベースに必要な表がありません。先に init を実行してください (" + dbPath + ")");
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
    const auto started = Clock::now();
    const Limits& limits = m_config.limits;
    RequestRecord record;
    wire::ReplyWriter writer;
    BatchReply reply;
    bool emptyReply = false;

    auto fail = [&](std::string reason) {
        writer.addFailure();
        record.outcome = "refused";
        record.reason = std::move(reason);
    };

    // Everything runs inside one lambda so that each refusal is a plain return.
    [&] {
        if (body.size() > limits.maxBodyBytes)
            return fail("request body larger than " + std::to_string(limits.maxBodyBytes) + " bytes");
        auto text = zlibDecompress(body, limits.maxRequestTextBytes);
        if (!text)
            return fail("request body is not a compressed batch: " + text.error().message);
        auto items = wire::splitRequestText(*text);
        if (!items)
            return fail("request text is not a batch: " + items.error().message);
        if (items->empty())
            return fail("batch without a mode word");
        record.mode = logSafe((*items)[0]);
        if (items->size() - 1 > limits.maxStatements)
            return fail("more than " + std::to_string(limits.maxStatements) + " statements");
        if (items->size() == 1) {
            emptyReply = true; // nothing to run, nothing to answer
            record.outcome = "empty";
            return;
        }
        std::vector<std::string> statements;
        for (std::size_t i = 1; i < items->size(); ++i) {
            auto utf8 = cp932ToUtf8((*items)[i]);
            if (!utf8)
                return fail("statement " + std::to_string(i) + " is not CP932 text");
            statements.push_back(std::move(*utf8));
        }
        const std::string& mode = (*items)[0];

        auto lease = m_pool.acquire();
        if (!lease)
            return fail("database unavailable: " + lease.error().message);
        Connection& conn = **lease;
        const std::int64_t nowSeconds = now();

        // The login batch: the user query, optionally followed by the update-dates query.
        if (mode == "Query") {
            if (auto login = matchLogin(statements[0])) {
                record.user = logSafe(login->userId);
                record.kinds.push_back("login");
                if (statements.size() > 2 || (statements.size() == 2 && !matchUpdateDates(statements[1])))
                    return fail("login batch holds other statements");
                auto outcome = m_accounts.login(conn.db(), *login, nowSeconds);
                if (!outcome)
                    return fail("database: " + maskQuoted(outcome.error().message));
                reply.delay = outcome->delay;
                if (outcome->verdict != LoginVerdict::Accepted) {
                    (void)writer.addTable(3, {});
                    if (statements.size() == 2)
                        (void)writer.addTable(1, {});
                    record.rows = {"0"};
                    record.outcome = "login-refused";
                    record.reason = outcome->reason;
                    return;
                }
                // The session is stored first, so that a failure to store it is the first section.
                auto token = m_accounts.createSession(conn.db(), login->userId, nowSeconds);
                if (!token)
                    return fail("session cannot be stored: " + token.error().message);
                if (auto st = writer.addTable(3, {{outcome->name, outcome->email, outcome->mailStatus}}); !st)
                    return fail("user record cannot be sent: " + st.error().message);
                record.rows.push_back("1");
                if (statements.size() == 2) {
                    record.kinds.push_back("update-dates");
                    TableSink sink(writer);
                    auto dates =
                        conn.runTrustedSelect("SELECT UPD_DATE FROM STK_UPD ORDER BY UPD_FLG", limits, sink);
                    if (!dates) {
                        sink.abandon();
                        return fail(maskQuoted(dates.error().message));
                    }
                    sink.end();
                    record.rows.push_back(std::to_string(*dates));
                }
                reply.setCookie = std::string(kSessionCookieName) + "=" + *token + "; HttpOnly; Path=/ORQ";
                return;
            }
        }

        // Every other batch needs a live session.
        const std::string token = sessionTokenFromCookie(cookieHeader);
        auto user = m_accounts.sessionUser(conn.db(), token, nowSeconds);
        if (!user)
            return fail("database: " + user.error().message);
        if (!user->has_value())
            return fail(token.empty() ? "no session cookie" : "unknown or expired session");
        const std::string& userId = **user;
        record.user = logSafe(userId);

        if (mode == "Query") {
            for (const std::string& sql : statements) {
                record.kinds.push_back("select");
                TableSink sink(writer);
                auto rows = conn.runConfinedSelect(userId, sql, limits, sink);
                if (!rows) {
                    sink.abandon();
                    return fail(maskQuoted(rows.error().message));
                }
                sink.end();
                record.rows.push_back(std::to_string(*rows));
            }
            return;
        }
        if (mode == "Update") {
            for (const std::string& sql : statements) {
                Result<int> changed = 0;
                if (auto pass = matchPasswordChange(sql)) {
                    record.kinds.push_back("password");
                    changed = m_accounts.changePassword(conn.db(), userId, *pass, token);
                } else if (auto mail = matchMailChange(sql)) {
                    record.kinds.push_back("mail");
                    changed = m_accounts.changeMail(conn.db(), userId, *mail);
                } else {
                    record.kinds.push_back("update");
                    return fail("not one of the accepted account changes");
                }
                if (!changed)
                    return fail(changed.error().message);
                writer.addScalar(*changed);
                record.rows.push_back(std::to_string(*changed));
            }
            return;
        }
        fail("unknown mode word");
    }();

    const ZlibLevel level =
        nearbyPeer && m_config.storedRepliesNearby ? ZlibLevel::None : m_config.replyCompression;
    reply.body = emptyReply ? std::string(4, '\0') : compressReply(writer.finish(), level);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    char msText[32];
    std::snprintf(msText, sizeof msText, "%.1f", ms);
    std::string line = timestamp() + " user=" + record.user + " kinds=" + record.mode + ":" +
                       joined(record.kinds) + " rows=" + joined(record.rows) + " ms=" + msText +
                       " outcome=" + record.outcome;
    if (!record.reason.empty())
        line += " reason=\"" + record.reason + "\"";
    log(line);
    return reply;
}

} // namespace vorteq::server
