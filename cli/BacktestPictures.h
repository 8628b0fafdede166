#pragma once

// The chart and the risk and return figures of a back-test as files: --chart FILE.png|FILE.svg and
// --stats FILE.csv|FILE.json.

#include "cli/Backtest.h"
#include "cli/Outcome.h"
#include "cli/Output.h"

#include <optional>
#include <vector>

namespace vorteq::cli {

// The two options for the back-test's help.
std::vector<OptionDef> chartAndStatsOptions();

// Checks the file names before anything is sent: an extension other than the ones named, or a
// chart in a build without the toolkit, is a usage error.
std::optional<Failure> checkChartAndStatsOptions(const ParsedOptions& options);

// Writes the files the options ask for. The statistics CSV is written like the other exports
// (CP932 unless --utf8, CR LF); the JSON is UTF-8.
std::optional<Failure> writeChartAndStats(const ParsedOptions& options, const BacktestResult& run,
                                          const TJouken& conditions, OutputEncoding encoding);

} // namespace vorteq::cli
