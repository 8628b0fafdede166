#include "cli/TerminalIo.h"

#include "common/Encoding.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <termios.h>
#include <unistd.h>

namespace vorteq::cli {

namespace {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// The terminal settings to put back when the password prompt is interrupted.
termios g_savedTerminal{};
volatile std::sig_atomic_t g_echoOff = 0;

extern "C" void restoreEchoAndExit(int signal)
{
    if (g_echoOff)
        ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    (void)!::write(STDERR_FILENO, "\n", 1);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

std::optional<std::string> readLine(int fd)
{
    std::string line;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return line.empty() ? std::nullopt : std::optional<std::string>(line);
        if (c == '\n')
            break;
        line += c;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

TerminalIo::TerminalIo()
{
    // Only the character set is taken from the environment; numbers keep the "C" conventions.
    if (std::setlocale(LC_CTYPE, "")) {
        std::string codeset = nl_langinfo(CODESET);
        std::transform(codeset.begin(), codeset.end(), codeset.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        m_cp932Terminal = codeset == "SHIFT_JIS" || codeset == "SJIS" || codeset == "CP932" ||
                          codeset == "WINDOWS-31J" || codeset == "SHIFT-JIS";
        std::setlocale(LC_CTYPE, "C");
    }
}

std::string TerminalIo::forTerminal(std::string_view utf8) const
{
    if (!m_cp932Terminal)
        return std::string(utf8);
    auto converted = utf8ToCp932(utf8);
    return converted ? *converted : std::string(utf8);
}

bool TerminalIo::writeOut(std::string_view bytes)
{
    return writeAll(STDOUT_FILENO, bytes);
}

bool TerminalIo::writeOutText(std::string_view utf8)
{
    return writeAll(STDOUT_FILENO, forTerminal(utf8));
}

void TerminalIo::writeErr(std::string_view utf8)
{
    writeAll(STDERR_FILENO, forTerminal(utf8));
}

std::optional<std::string> TerminalIo::readPassword(std::string_view prompt)
{
    if (!::isatty(STDIN_FILENO))
        return readLine(STDIN_FILENO);

    writeErr(prompt);
    termios settings{};
    const bool canHide = ::tcgetattr(STDIN_FILENO, &settings) == 0;
    if (canHide) {
        g_savedTerminal = settings;
        settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        settings.c_lflag |= ECHONL;
        std::signal(SIGINT, restoreEchoAndExit);
        std::signal(SIGTERM, restoreEchoAndExit);
        g_echoOff = 1;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &settings);
    }
    std::optional<std::string> line = readLine(STDIN_FILENO);
    if (canHide) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_savedTerminal);
        g_echoOff = 0;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    return line;
}

std::optional<std::string> TerminalIo::env(const char* name)
{
    const char* value = std::getenv(name);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

bool TerminalIo::errIsTerminal()
{
    return ::isatty(STDERR_FILENO) != 0;
}

} // namespace vorteq::cli
