#pragma once

#include "cli/CliIo.h"
#include "common/Result.h"

#include <string>
#include <utility>

namespace vorteq::cli {

// Why a command stops: the exit status and the message for standard error.
struct Failure {
    ExitCode code = ExitCode::ServerOrData;
    std::string message;
    bool unreachable = false; // the server could not be reached: later requests would fail too
};

// A failure of the core, with the exit status its kind calls for: refused input (also text that
// has no CP932 form) is a rejection, everything that comes from the server or the data is a server
// or data failure, a local file that cannot be written is an output failure.
inline Failure failureOf(const Error& error)
{
    switch (error.code) {
    case ErrorCode::Validation:
    case ErrorCode::Parse:
    case ErrorCode::Encoding:
        return {ExitCode::Rejected, error.message};
    case ErrorCode::Io:
        return {ExitCode::OutputFailed, error.message};
    case ErrorCode::Transport:
        return {ExitCode::ServerOrData, error.message, true};
    case ErrorCode::SessionExpired: // every later request would be refused too
        return {ExitCode::LoginRefused, error.message, true};
    default:
        return {ExitCode::ServerOrData, error.message};
    }
}

// A value or the failure that stops the command.
template <class T> using Outcome = Result<T, Failure>;

} // namespace vorteq::cli
