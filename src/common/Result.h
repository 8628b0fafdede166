#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace vorteq {

// What went wrong, broadly; the message says it precisely and is fit to show to the user.
enum class ErrorCode {
    Io,             // a local file could not be read or written
    Encoding,       // text that does not convert between CP932 and UTF-8
    Parse,          // a number, date or file line that does not read
    Transport,      // no connection, a timeout, an HTTP status other than 2xx
    Protocol,       // a reply that breaks the wire format
    Server,         // the server refused or failed a statement
    Validation,     // user input outside what the program accepts
    Data,           // market data missing or unusable for the request
    Internal,       // a broken invariant caught at a boundary
    SessionExpired, // the server asks for a new login: the session ran out or is unknown
};

struct Error {
    ErrorCode code = ErrorCode::Internal;
    std::string message;
};

inline Error makeError(ErrorCode code, std::string message)
{
    return Error{code, std::move(message)};
}

// A value or the error that prevented it. Failures a user can meet travel as values, not exceptions.
// The command line carries its own kind of error (with the exit status) in the same type.
template <class T, class E = Error> class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() &
    {
        assert(ok() && "Result::value() on an error");
        return std::get<0>(m_state);
    }
    const T& value() const&
    {
        assert(ok() && "Result::value() on an error");
        return std::get<0>(m_state);
    }
    T&& value() &&
    {
        assert(ok() && "Result::value() on an error");
        return std::get<0>(std::move(m_state));
    }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const
    {
        assert(!ok() && "Result::error() on a value");
        return std::get<1>(m_state);
    }

private:
    std::variant<T, E> m_state;
};

// Success or the error that prevented it, for operations without a value.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : m_error(std::move(error)), m_failed(true) {}
    static Status success() { return Status(); }

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error& error() const
    {
        assert(m_failed && "Status::error() on success");
        return m_error;
    }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace vorteq
