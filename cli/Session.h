#pragma once

#include "accounts/LoginBatch.h"
#include "cli/CliIo.h"
#include "cli/Options.h"
#include "cli/Outcome.h"
#include "gateway/THttpStatements.h"

#include <memory>
#include <string>
#include <vector>

namespace vorteq::cli {

// The options every command takes to reach the server.
std::vector<OptionDef> sessionOptions();
// The same and --utf8, for the commands that write results.
std::vector<OptionDef> resultOptions();

// Where to log in and as whom, read from the options and the environment before anything is sent.
struct LoginTarget {
    std::string url;  // http://HOST:PORT/ORQ/servlet/ApsServlet/
    std::string user; // --user, or VORTEQ_USER
};

// --server (default localhost:8080) and --user (or VORTEQ_USER). A malformed server or a missing
// user is a usage error.
Outcome<LoginTarget> readLoginTarget(const ParsedOptions& options, CliIo& io);

// A logged-in connection: the statement client whose session cookie the login set, and what the
// login brought back (the user and the latest update dates).
class Session {
public:
    // Takes the password from VORTEQ_PASSWORD or asks for it, then sends the client's login batch.
    // A refused login is LoginRefused with the client's refusal text; a servlet failure is
    // "ログインに失敗しました。"; a transport failure carries the gateway's message. The notice about an
    // undeliverable mail address goes to standard error; the login still succeeds.
    static Outcome<Session> open(const LoginTarget& target, CliIo& io);

    THttpStatements& statements() { return *m_statements; }
    const LoginReply& reply() const { return m_reply; }
    // The latest stock-price update date, the client's default base date; empty when the server
    // sent none.
    std::string stockUpdateDate() const { return m_reply.stkUpdDate.value_or(std::string()); }

private:
    std::unique_ptr<THttpStatements> m_statements;
    LoginReply m_reply;
};

// Sends one SELECT through the session's client; its result item, or the failure: a transport
// error, or "SQL ERROR" when the servlet reports that the statement failed.
Outcome<TSqlSet> runQuery(Session& session, const std::string& sql);

} // namespace vorteq::cli
