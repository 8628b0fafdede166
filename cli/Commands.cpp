#include "cli/Commands.h"

namespace vorteq::cli {

namespace {

constexpr CommandDef kCommands[] = {
    {"login", "login [--server HOST[:PORT]] [--user ID]",
     "ログインだけを行い、ユーザーと更新日を表示します。",
     "ログインに成功するとユーザー名、株価更新日、為替更新日を表示します。\n", loginOptions, runLogin},
    {"screen", "screen --market CODE|NAME [--date yyyy/mm/dd] [条件オプション...]",
     "銘柄を検索し、銘柄一覧を CSV (一覧の出力形式) または表で出力します。",
     "条件オプションは検索条件1つに1つです。値はカンマで区切った入力項目で、選択肢はその文字列\n"
     "(\">=\" \"<=\" は 以上/以下, \"up\" \"down\" は 上昇/下落, \"5d\" は 5日, \"#N\" は N 番目 (0 "
     "から))、\n"
     "数値はそのまま書きます。例: --rsi \">=,30\"  --ma-ma-kairi \"5d,25d,3,以下\"\n"
     "省略した選択肢は検索条件のクリア後と同じ項目になります。\n",
     screenOptions, runScreen},
    {"backtest",
     "backtest --code CODE --market CODE|NAME [--date yyyy/mm/dd] [--period P] [--conditions FILE.dat | "
     "--base-dir DIR] [--out DIR]",
     "1銘柄のシミュレーションを行い、期間データ・売買結果・シミュレーション結果を出力します。",
     "売買条件はシミュレーション前と同じ規則で検査し、最初の誤りのメッセージで終了します (終了コード 2)。\n"
     "株価の取得と分析はクライアントと同じです。出力は期間データ (daily)、売買結果 (trades)、\n"
     "シミュレーション結果 (summary) の3つで、期間データと売買結果はクライアントの CSV 出力と\n"
     "同じバイト列です。標準出力では3つを空行で区切ります。\n",
     backtestOptions, runBacktest},
    {"batch",
     "batch --market CODE|NAME [--date yyyy/mm/dd] [--period P] [--conditions FILE.dat] [--registered] "
     "[条件オプション...]",
     "銘柄を検索し (または登録銘柄を取り)、各銘柄をシミュレーションして1銘柄1行と合計を出力します。",
     "検索のオプションは screen と同じです。--conditions がなければ各銘柄の登録済み売買条件 (--base-dir) "
     "を使います。\n"
     "失敗した銘柄は「結果」列にメッセージを書き、続けます。サーバーに接続できなくなったときはそこで止まりま"
     "す。\n",
     batchOptions, runBatch},
};

} // namespace

std::span<const CommandDef> commands()
{
    return kCommands;
}

int report(CliIo& io, const Failure& failure)
{
    io.writeErr("vorteq-cli: " + failure.message + "\n");
    return toInt(failure.code);
}

int writeResult(CliIo& io, const std::string& bytes)
{
    if (io.writeOut(bytes))
        return toInt(ExitCode::Success);
    return report(io, {ExitCode::OutputFailed, "標準出力に書き込めません。"});
}

} // namespace vorteq::cli
