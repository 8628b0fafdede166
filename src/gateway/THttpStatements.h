#pragma once

#include "common/Result.h"
#include "gateway/HttpTransport.h"
#include "gateway/TSqlSet.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vorteq {

// The statement batch client. Every caller follows one pattern: Clear, Add("Query") or
// Add("Update"), Add(statement) for each statement, Execute, then read Item(k) for statement k
// (k from 1; item 0 is the mode word).
class THttpStatements {
public:
    explicit THttpStatements(std::string url, std::shared_ptr<HttpTransport> transport = makeCurlTransport());
    ~THttpStatements();
    THttpStatements(const THttpStatements&) = delete;
    THttpStatements& operator=(const THttpStatements&) = delete;

    static std::unique_ptr<THttpStatements> Create(std::string url)
    {
        return std::make_unique<THttpStatements>(std::move(url));
    }

    // Destroys every item and empties the batch.
    void Clear();
    // Appends an item with the given text (UTF-8); its result starts empty.
    void Add(std::string text);
    // Sends the batch and stores each reply section into its item. true: done; false: the server
    // reported that a statement failed (-99 in the last section); an error: the exchange itself
    // failed (no connection, HTTP status, damaged or malformed reply, a statement that has no CP932
    // form or holds a batch separator 0x1D or 0x04), with a message to show. A -99 reply that carries
    // the header "X-Vorteq-Session: expired" is the error ErrorCode::SessionExpired instead of false:
    // the batch needs a new login, not a different statement. Sections stored before a failure stay
    // stored. The busy hook runs around the exchange.
    Result<bool> Execute();
    // Number of items, mode word included.
    int Count() const;
    // The item at index 0..Count()-1; any other index throws std::out_of_range.
    TSqlSet& Item(int index);
    const TSqlSet& Item(int index) const;

    const std::string& url() const { return m_url; }

    // The value of a header of the last reply (name compared ignoring case), or empty. The server
    // marks some answers this way without changing their body (a throttled login).
    std::string replyHeader(std::string_view name) const;

private:
    std::string m_url;
    std::shared_ptr<HttpTransport> m_transport;
    std::vector<std::pair<std::string, std::string>> m_replyHeaders;
    std::vector<std::unique_ptr<TSqlSet>> m_items;
};

// What the user is told when the server asks for a new login.
inline constexpr const char* kSessionExpiredMessage =
    "ログインの有効期限が切れました (サーバーがもう一度ログインを求めています)。";

// The session cookie: one text for the whole process, shared by every client, never written to
// disk. Starts empty; replaced by a non-empty "Set-Cookie" value of any reply.
std::string sessionCookie();
void setSessionCookie(std::string value);
void clearSessionCookie(); // for tests and for a new login

// The busy hook: begin() runs when Execute starts an exchange and end() when it is over, whatever
// its outcome, both on the thread that calls Execute. The desktop client sets the hourglass cursor
// here, so the gateway needs no toolkit. Process-wide; an empty function is skipped.
struct BusyHook {
    std::function<void()> begin;
    std::function<void()> end;
};
// Replaces the process-wide hook; setBusyHook({}) removes it.
void setBusyHook(BusyHook hook);

} // namespace vorteq
