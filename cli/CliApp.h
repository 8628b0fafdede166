#pragma once

#include "cli/CliIo.h"

#include <span>
#include <string>

namespace vorteq::cli {

// The whole program after the program name: the command word, then its options. Returns the exit
// status; every message has been written through io.
int runCli(std::span<const std::string> args, CliIo& io);

} // namespace vorteq::cli
