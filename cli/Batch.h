#pragma once

#include "cli/Backtest.h"
#include "cli/CliIo.h"
#include "cli/Options.h"

#include <chrono>

namespace vorteq::cli {

// Where a batch spent its time: the login and the screening, then the price requests and the
// analysis of every stock.
struct BatchTimings {
    std::chrono::nanoseconds login{0};
    std::chrono::nanoseconds screening{0};
    RunTimings runs;
    std::chrono::nanoseconds total{0};
    int stocks = 0; // stocks back-tested, failed ones included
};

// The batch command with its timings handed back (the benchmark reads them).
int runBatchMeasured(const ParsedOptions& options, CliIo& io, BatchTimings& timings);

} // namespace vorteq::cli
