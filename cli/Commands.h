#pragma once

#include "cli/CliIo.h"
#include "cli/Options.h"
#include "cli/Outcome.h"

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vorteq::cli {

// One command of vorteq-cli: its word, its help and what runs it.
struct CommandDef {
    std::string_view name;
    std::string_view synopsis; // the usage line after "vorteq-cli "
    std::string_view summary;  // one line for the overview
    std::string_view details;  // what the command does and writes, for its --help
    std::vector<OptionDef> (*options)();
    // Runs with parsed options; the exit status (messages already written).
    int (*run)(const ParsedOptions& options, CliIo& io);
};

std::span<const CommandDef> commands();

// Writes a failure's message to standard error and returns its exit status.
int report(CliIo& io, const Failure& failure);

// Writes result bytes (already encoded) to standard output; OutputFailed when that fails.
int writeResult(CliIo& io, const std::string& bytes);

std::vector<OptionDef> loginOptions();
int runLogin(const ParsedOptions& options, CliIo& io);
std::vector<OptionDef> screenOptions();
int runScreen(const ParsedOptions& options, CliIo& io);
std::vector<OptionDef> backtestOptions();
int runBacktest(const ParsedOptions& options, CliIo& io);
std::vector<OptionDef> batchOptions();
int runBatch(const ParsedOptions& options, CliIo& io);
std::vector<OptionDef> sweepOptions();
int runSweepCommand(const ParsedOptions& options, CliIo& io);
std::vector<OptionDef> walkforwardOptions();
int runWalkforwardCommand(const ParsedOptions& options, CliIo& io);
std::vector<OptionDef> mergeOptions();
int runMergeCommand(const ParsedOptions& options, CliIo& io);

} // namespace vorteq::cli
