#include "cli/Session.h"

#include "accounts/AccountTexts.h"
#include "cli/Output.h"
#include "gateway/ServerUrl.h"

#include <filesystem>

namespace vorteq::cli {

std::vector<OptionDef> sessionOptions()
{
    return {
        {"server", "[https://]HOST[:PORT]", "接続するサーバー (既定 localhost:8080、https:// で TLS)"},
        {"ca-file", "FILE", "https の証明書の検証に使う CA 証明書 (PEM、既定はシステムの証明書)"},
        {"user", "ID", "ユーザーID (省略時は環境変数 VORTEQ_USER)"},
    };
}

std::vector<OptionDef> resultOptions()
{
    std::vector<OptionDef> optionDefs = sessionOptions();
    optionDefs.push_back({"utf8", "", "結果を UTF-8 で出力する (既定は CP932)"});
    return optionDefs;
}

Outcome<LoginTarget> readLoginTarget(const ParsedOptions& options, CliIo& io)
{
    LoginTarget target;
    const std::string server =
        options.valueOr("server", std::string(kDefaultServerHost) + ":" + std::to_string(kDefaultServerPort));
    auto url = makeServerUrl(server);
    if (!url)
        return Failure{ExitCode::Usage, url.error().message};
    target.url = std::move(*url);
    // The authorities this command trusts for https: its --ca-file, else the system's store.
    const std::string caFile = options.valueOr("ca-file", "");
    std::error_code ec;
    if (!caFile.empty() && !std::filesystem::is_regular_file(caFile, ec))
        return Failure{ExitCode::Usage, "--ca-file: ファイルがありません: " + caFile};
    setDefaultCaFile(caFile);

    if (auto user = options.value("user"))
        target.user = std::move(*user);
    else if (auto fromEnv = io.env("VORTEQ_USER"))
        target.user = std::move(*fromEnv);
    else
        return Failure{ExitCode::Usage, "--user を指定してください。"};
    if (target.user.empty())
        return Failure{ExitCode::Rejected, texts::kNoUserId};
    return target;
}

Outcome<Session> Session::open(const LoginTarget& target, CliIo& io)
{
    std::string password;
    if (auto fromEnv = io.env("VORTEQ_PASSWORD")) {
        password = std::move(*fromEnv);
    } else if (auto typed = io.readPassword("パスワード: ")) {
        password = std::move(*typed);
    }
    if (password.empty())
        return Failure{ExitCode::Rejected, texts::kNoPassword};

    // A new login starts without the cookie of an earlier session of this process.
    clearSessionCookie();
    Session session;
    session.m_statements = THttpStatements::Create(target.url);
    THttpStatements& st = *session.m_statements;
    st.Clear();
    st.Add("Query");
    st.Add(loginUserStatement(target.user, password));
    st.Add(updateDatesStatement());
    const Result<bool> executed = st.Execute();
    if (!executed)
        return failureOf(executed.error());
    if (!*executed)
        return Failure{ExitCode::ServerOrData, texts::kLoginFailed};

    auto reply = readLoginReply(st.Item(1), st.Item(2), target.user, std::move(password));
    if (!reply) {
        // Held back after failures from this computer: the password was not even checked.
        if (const auto wait =
                throttledLoginWait(st.replyHeader("X-Vorteq-Login"), st.replyHeader("Retry-After")))
            return Failure{ExitCode::LoginRefused, terminalLines(throttledLoginMessage(*wait))};
        return Failure{ExitCode::LoginRefused, terminalLines(texts::kLoginRefused)};
    }
    if (reply->mailUndeliverable())
        io.writeErr(terminalLines(texts::kMailUndeliverable) + "\n");
    session.m_reply = std::move(*reply);
    return session;
}

Outcome<TSqlSet> runQuery(Session& session, const std::string& sql)
{
    THttpStatements& st = session.statements();
    st.Clear();
    st.Add("Query");
    st.Add(sql);
    const Result<bool> executed = st.Execute();
    if (!executed)
        return failureOf(executed.error());
    if (!*executed)
        return Failure{ExitCode::ServerOrData, "SQL ERROR (サーバーが文を実行できませんでした)"};
    return st.Item(1);
}

} // namespace vorteq::cli
