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
    {"sweep",
     "sweep --market CODE|NAME --code CODE[,...]|--codes-file FILE|--all --vary KEY=FROM:TO:STEP "
     "[--vary2 KEY=FROM:TO:STEP] [--metric M] [--jobs N] [--shard K/N] [--out FILE]",
     "売買条件の1つか2つの数値を範囲で変えてシミュレーションし、セルごとの成績を CSV で出力します。",
     "掃引できるのは条件のしきい値、利益確定・損切りの％、指標の期間とパラメータです。しきい値と\n"
     "利益確定・損切りのセルは銘柄ごとに1回計算した指標を使い回します。--jobs でCPUを並列に使います。\n"
     "--shard K/N は銘柄をコード順に N 分割した K 番目だけを計算し、merge で1つの結果に戻します。\n",
     sweepOptions, runSweepCommand},
    {"walkforward",
     "walkforward --market CODE|NAME --code CODE[,...] --from yyyy/mm/dd --vary KEY=FROM:TO:STEP "
     "[--in-months N] [--out-months N] [--metric M]",
     "インサンプルで最良のセルを選び、続くアウトオブサンプルで試すことを期間全体で繰り返します。",
     "1行が1つの窓です (インサンプルの期間と選ばれた値、両方の成績)。最後にウォークフォワード効率\n"
     "(アウトオブサンプルの年率リターン / インサンプルの年率リターン) を書きます。\n",
     walkforwardOptions, runWalkforwardCommand},
    {"merge", "merge --files FILE[,FILE...] | --dir DIR [--out FILE]",
     "sweep --shard の出力を結合し、分割しなかったときと同じ CSV を出力します。",
     "1/N から N/N までのシャードがそれぞれ1回ずつ、同じ掃引のものである必要があります。\n", mergeOptions,
     runMergeCommand},
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
