#pragma once

#include "cli/CliIo.h"

namespace vorteq::cli {

// The process's own standard streams. Messages and help go out in the terminal's encoding: CP932
// when the locale's character set is Shift-JIS, UTF-8 otherwise.
class TerminalIo final : public CliIo {
public:
    TerminalIo();
    bool writeOut(std::string_view bytes) override;
    bool writeOutText(std::string_view utf8) override;
    void writeErr(std::string_view utf8) override;
    // With a terminal on standard input the echo is switched off while the password is typed;
    // otherwise one line is read from standard input.
    std::optional<std::string> readPassword(std::string_view prompt) override;
    std::optional<std::string> env(const char* name) override;
    bool errIsTerminal() override;

private:
    std::string forTerminal(std::string_view utf8) const;
    bool m_cp932Terminal = false;
};

} // namespace vorteq::cli
