#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vorteq::cli {

// Exit statuses of vorteq-cli. 64, 74 and 77 follow the BSD sysexits numbers.
enum class ExitCode : int {
    Success = 0,
    Rejected = 2,      // a validation message, an unreadable condition file, no registered stock
    ServerOrData = 3,  // no connection, a refused or failed statement, no price data
    Usage = 64,        // unknown command or option, a malformed option value
    OutputFailed = 74, // an export file or standard output could not be written
    LoginRefused = 77, // wrong user ID or password, a blocked account, or a session the server ended
};

inline int toInt(ExitCode code)
{
    return static_cast<int>(code);
}

// Where the program reads and writes: the real terminal in vorteq-cli, captured texts in tests.
class CliIo {
public:
    virtual ~CliIo() = default;
    // Writes result bytes to standard output as they are (already in the output encoding);
    // false when they could not be written.
    virtual bool writeOut(std::string_view bytes) = 0;
    // Writes text meant for the terminal (help, UTF-8) to standard output, converted like messages.
    virtual bool writeOutText(std::string_view utf8) = 0;
    // Writes a message (UTF-8) to standard error; the implementation converts it for the terminal.
    virtual void writeErr(std::string_view utf8) = 0;
    // Asks for the password without echoing it; nothing when there is no input left.
    virtual std::optional<std::string> readPassword(std::string_view prompt) = 0;
    // Whether standard error is a terminal (progress is then rewritten in place).
    virtual bool errIsTerminal() { return false; }
    // An environment variable, or nothing when it is not set.
    virtual std::optional<std::string> env(const char* name) = 0;
};

} // namespace vorteq::cli
