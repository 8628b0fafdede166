#include "gateway/LoopbackHttpServer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

namespace vorteq::test {
namespace {

constexpr std::size_t kMaxRequest = 16u * 1024u * 1024u;

int bindLoopback(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket failed");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    port = ntohs(addr.sin_port);
    return fd;
}

std::size_t contentLength(std::string_view head)
{
    // Header names are case-insensitive; curl writes "Content-Length".
    std::string lower(head);
    for (auto& c : lower)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    const std::size_t at = lower.find("\r\ncontent-length:");
    if (at == std::string::npos)
        return 0;
    return std::stoul(lower.substr(at + 17));
}

bool readSome(int fd, std::string& into)
{
    char buf[16384];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0)
        return false;
    into.append(buf, static_cast<std::size_t>(n));
    return into.size() <= kMaxRequest;
}

} // namespace

LoopbackHttpServer::LoopbackHttpServer()
{
    m_listen = bindLoopback(m_port);
    if (::listen(m_listen, 16) != 0) {
        ::close(m_listen);
        throw std::runtime_error("listen failed");
    }
    m_thread = std::thread([this] { run(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_stopped.notify_all();
    m_thread.join();
    ::close(m_listen);
}

std::string LoopbackHttpServer::url(std::string_view path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + std::string(path);
}

void LoopbackHttpServer::queueResponse(std::string raw)
{
    std::lock_guard lock(m_mutex);
    m_responses.push_back(std::move(raw));
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void LoopbackHttpServer::run()
{
    while (!m_stop) {
        pollfd p{m_listen, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        timeval tv{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        serve(fd);
        ::close(fd);
    }
}

void LoopbackHttpServer::serve(int fd)
{
    std::string raw;
    std::size_t headEnd = std::string::npos;
    while ((headEnd = raw.find("\r\n\r\n")) == std::string::npos)
        if (!readSome(fd, raw))
            return;
    Request req;
    req.head = raw.substr(0, headEnd + 4);
    const std::size_t length = contentLength(req.head);
    while (raw.size() - req.head.size() < length)
        if (!readSome(fd, raw))
            return;
    req.body = raw.substr(req.head.size(), length);

    std::string response;
    {
        std::unique_lock lock(m_mutex);
        m_requests.push_back(std::move(req));
        if (m_silent) {
            m_stopped.wait_for(lock, std::chrono::seconds(10), [this] { return m_stop.load(); });
            return;
        }
        if (m_responses.empty()) {
            response = httpResponse(500, {}, "no response queued");
        } else {
            response = std::move(m_responses.front());
            m_responses.pop_front();
        }
    }
    std::size_t sent = 0;
    while (sent < response.size()) {
        const ssize_t n = ::send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
    ::shutdown(fd, SHUT_WR);
}

std::string httpResponse(int status, const std::vector<std::string>& headerLines, std::string_view body)
{
    std::string out = "HTTP/1.0 " + std::to_string(status) + (status / 100 == 2 ? " OK" : " Status") + "\r\n";
    for (const auto& h : headerLines)
        out += h + "\r\n";
    out += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
    out += body;
    return out;
}

std::string replyBody(std::string_view replyText)
{
    const auto n = static_cast<std::uint32_t>(replyText.size());
    std::string out{static_cast<char>(n & 0xFF), static_cast<char>((n >> 8) & 0xFF),
                    static_cast<char>((n >> 16) & 0xFF), static_cast<char>((n >> 24) & 0xFF)};
    uLongf packed = compressBound(static_cast<uLong>(replyText.size()));
    std::string z(packed, '\0');
    compress2(reinterpret_cast<Bytef*>(z.data()), &packed, reinterpret_cast<const Bytef*>(replyText.data()),
              static_cast<uLong>(replyText.size()), Z_DEFAULT_COMPRESSION);
    z.resize(packed);
    return out + z;
}

std::string inflateBody(std::string_view body)
{
    if (body.size() < 4)
        return {};
    uLongf n = static_cast<unsigned char>(body[0]) |
               static_cast<uLongf>(static_cast<unsigned char>(body[1])) << 8 |
               static_cast<uLongf>(static_cast<unsigned char>(body[2])) << 16 |
               static_cast<uLongf>(static_cast<unsigned char>(body[3])) << 24;
    std::string out(n, '\0');
    if (uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(body.data() + 4),
                   static_cast<uLong>(body.size() - 4)) != Z_OK)
        return {};
    out.resize(n);
    return out;
}

int unusedLoopbackPort()
{
    int port = 0;
    ::close(bindLoopback(port));
    return port;
}

} // namespace vorteq::test
