#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vorteq::test {

// A one-thread HTTP server on a free 127.0.0.1 port for exchange tests. It keeps every request
// byte for byte (request line and headers as received, then the body read by Content-Length) and
// answers each with the next queued raw response, or 500 when none is queued.
class LoopbackHttpServer {
public:
    struct Request {
        std::string head; // request line and header lines, up to and including the blank line
        std::string body;
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    int port() const { return m_port; }
    std::string url(std::string_view path = "/ORQ/servlet/ApsServlet/") const;

    void queueResponse(std::string raw);
    // Reads requests but never answers them (until the server stops): for timeouts.
    void setSilent(bool silent) { m_silent = silent; }
    std::vector<Request> requests() const;

private:
    void run();
    void serve(int fd);

    int m_listen = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_silent{false};
    mutable std::mutex m_mutex;
    std::condition_variable m_stopped;
    std::deque<std::string> m_responses;
    std::vector<Request> m_requests;
    std::thread m_thread;
};

// A raw HTTP/1.0 response: status line, the given header lines, Content-Length, blank line, body.
std::string httpResponse(int status, const std::vector<std::string>& headerLines, std::string_view body);

// A reply body made with zlib directly: 4-byte little-endian length, then the zlib stream.
std::string replyBody(std::string_view replyText);

// The text of a request body, read with zlib directly; empty when it does not inflate.
std::string inflateBody(std::string_view body);

// A loopback port that nothing listens on.
int unusedLoopbackPort();

} // namespace vorteq::test
