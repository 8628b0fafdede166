#pragma once

#include "cli/CliIo.h"
#include "common/Result.h"

#include <cassert>
#include <string>
#include <utility>
#include <variant>

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
template <class T> class [[nodiscard]] Outcome {
public:
    Outcome(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Outcome(Failure failure) : m_state(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& operator*()
    {
        assert(ok() && "Outcome: no value");
        return std::get<0>(m_state);
    }
    T* operator->() { return &**this; }
    const Failure& failure() const
    {
        assert(!ok() && "Outcome: no failure");
        return std::get<1>(m_state);
    }

private:
    std::variant<T, Failure> m_state;
};

} // namespace vorteq::cli
