#include "cli/CliApp.h"
#include "cli/TerminalIo.h"

#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    vorteq::cli::TerminalIo io;
    return vorteq::cli::runCli(args, io);
}
