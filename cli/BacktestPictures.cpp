#include "cli/BacktestPictures.h"

#include "common/TextFile.h"
#include "results/ChartData.h"
#include "results/EquityStatistics.h"
#if VORTEQ_CLI_CHARTS
#include "results/ChartRender.h"
#endif

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace vorteq::cli {

namespace {

std::string extensionOf(const std::string& file)
{
    std::string extension = std::filesystem::path(file).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

} // namespace

std::vector<OptionDef> chartAndStatsOptions()
{
    return {
        {"chart", "FILE.png|FILE.svg",
         "チャート (ローソク足・出来高・売買・評価額・ドローダウン) を画像で書く"},
        {"stats", "FILE.csv|FILE.json", "リスク・リターン分析と日々の評価額を書く"},
    };
}

std::optional<Failure> checkChartAndStatsOptions(const ParsedOptions& options)
{
    if (auto chart = options.value("chart")) {
        const std::string extension = extensionOf(*chart);
        if (extension != ".png" && extension != ".svg")
            return Failure{ExitCode::Usage,
                           "--chart のファイル名は .png か .svg で終わる必要があります: \"" + *chart + "\""};
#if !VORTEQ_CLI_CHARTS
        return Failure{ExitCode::Usage, "この vorteq-cli はチャートを書けません (画面部品なしのビルド)。"};
#endif
    }
    if (auto stats = options.value("stats")) {
        const std::string extension = extensionOf(*stats);
        if (extension != ".csv" && extension != ".json")
            return Failure{ExitCode::Usage,
                           "--stats のファイル名は .csv か .json で終わる必要があります: \"" + *stats + "\""};
    }
    return std::nullopt;
}

std::optional<Failure> writeChartAndStats(const ParsedOptions& options, const BacktestResult& run,
                                          const TJouken& conditions, OutputEncoding encoding)
{
    const auto chartFile = options.value("chart");
    const auto statsFile = options.value("stats");
    if (!chartFile && !statsFile)
        return std::nullopt;
    ChartData chart = buildChartData(run.stock, run.plan.start, conditions,
                                     chartTitle(run.stock.StkCd, run.name, run.plan.start, run.plan.end));
    if (statsFile) {
        const EquityStatistics statistics = computeStatistics(chart.series);
        const std::filesystem::path path(*statsFile);
        const Status written =
            extensionOf(*statsFile) == ".json"
                ? writeBytesAtomic(path, statisticsJson(statistics, chart.series))
                : writeExportFile(path, statisticsCsvLines(statistics, chart.series), encoding);
        if (!written)
            return Failure{ExitCode::OutputFailed, written.error().message};
    }
#if VORTEQ_CLI_CHARTS
    if (chartFile) {
        if (const Status drawn = renderChartFile(chart, std::filesystem::path(*chartFile)); !drawn)
            return failureOf(drawn.error());
    }
#endif
    return std::nullopt;
}

} // namespace vorteq::cli
