#include "cli/CliApp.h"

#include "cli/Commands.h"

namespace vorteq::cli {

namespace {

std::string overview()
{
    std::string text = "使い方: vorteq-cli <コマンド> [オプション]\n\n"
                       "クライアントと同じ処理で銘柄の検索とシミュレーションを行います。\n\n"
                       "コマンド:\n";
    // Summaries start in column 12; a longer name keeps one space before its summary.
    for (const CommandDef& command : commands())
        text += "  " + std::string(command.name) +
                std::string(command.name.size() < 10 ? 10 - command.name.size() : 1, ' ') +
                std::string(command.summary) + "\n";
    text += "\n各コマンドの説明: vorteq-cli <コマンド> --help\n";
    return text;
}

std::string commandHelp(const CommandDef& command)
{
    std::string text = "使い方: vorteq-cli " + std::string(command.synopsis) + "\n\n";
    text += std::string(command.summary) + "\n";
    if (!command.details.empty()) {
        text += '\n';
        text += command.details;
    }
    const std::vector<OptionDef> optionDefs = command.options();
    text += "\nオプション:\n" + describeOptions(optionDefs);
    text += "\n終了コード: 0 成功, 2 入力の誤り (検証メッセージ等), 3 サーバーまたはデータの障害,\n"
            "          64 コマンドラインの誤り, 74 出力の失敗, 77 ログインの拒否\n"
            "パスワードは環境変数 VORTEQ_PASSWORD から、なければ端末から (表示せずに) 読みます。\n";
    return text;
}

} // namespace

int runCli(std::span<const std::string> args, CliIo& io)
{
    if (args.empty()) {
        io.writeErr(overview());
        return toInt(ExitCode::Usage);
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        return io.writeOutText(overview()) ? 0 : toInt(ExitCode::OutputFailed);
    }
    for (const CommandDef& command : commands()) {
        if (args[0] != command.name)
            continue;
        const std::vector<OptionDef> optionDefs = command.options();
        auto parsed = parseOptions(args.subspan(1), optionDefs);
        if (!parsed) {
            io.writeErr("vorteq-cli " + std::string(command.name) + ": " + parsed.error().message +
                        "\n使い方は vorteq-cli " + std::string(command.name) + " --help で表示されます。\n");
            return toInt(ExitCode::Usage);
        }
        if (parsed->helpRequested())
            return io.writeOutText(commandHelp(command)) ? 0 : toInt(ExitCode::OutputFailed);
        return command.run(*parsed, io);
    }
    io.writeErr("vorteq-cli: 不明なコマンドです: \"" + args[0] + "\"\n\n" + overview());
    return toInt(ExitCode::Usage);
}

} // namespace vorteq::cli
