#include "cli/Commands.h"
#include "cli/Session.h"

namespace vorteq::cli {

std::vector<OptionDef> loginOptions()
{
    return sessionOptions();
}

int runLogin(const ParsedOptions& options, CliIo& io)
{
    auto target = readLoginTarget(options, io);
    if (!target)
        return report(io, target.error());
    auto session = Session::open(*target, io);
    if (!session)
        return report(io, session.error());
    const LoginReply& reply = session->reply();
    std::string text = "ログインしました: " + reply.user.userName + " (" + reply.user.userId + ")\n";
    text += "株価更新日: " + reply.stkUpdDate.value_or("-") + "\n";
    text += "為替更新日: " + reply.fxUpdDate.value_or("-") + "\n";
    return io.writeOutText(text) ? 0 : report(io, {ExitCode::OutputFailed, "標準出力に書き込めません。"});
}

} // namespace vorteq::cli
