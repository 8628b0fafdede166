#pragma once

#include <string_view>

namespace vorteq::server {

// Usage lines of the data commands, for the program's --help.
extern const std::string_view kImportUsage;

// vorteq-server import ...: argv[1] is "import". Returns the exit status.
int runImportCommand(int argc, char** argv);

// vorteq-server update ...: argv[1] is "update". Returns the exit status.
int runUpdateCommand(int argc, char** argv);

// vorteq-server demo-data ...: argv[1] is "demo-data". Returns the exit status.
int runDemoDataCommand(int argc, char** argv);

} // namespace vorteq::server
