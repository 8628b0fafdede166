// The only translation unit that includes Boost.Beast: its templates are heavy to compile.
#include "server/HttpServer.h"

#include "gateway/SessionHeader.h"
#include "server/BatchService.h"
#include "server/Importer.h"

#include <array>
#include <atomic>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <condition_variable>
#include <malloc.h>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vorteq::server {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {
constexpr std::size_t kHeaderLimit = 16 * 1024;

bool isNearby(const net::ip::address& address)
{
    if (address.is_v6()) {
        const auto v6 = address.to_v6();
        if (v6.is_v4_mapped())
            return isNearby(net::ip::make_address_v4(net::ip::v4_mapped, v6));
        const auto bytes = v6.to_bytes();
        return v6.is_loopback() || v6.is_link_local() || (bytes[0] & 0xFE) == 0xFC; // fc00::/7
    }
    const auto b = address.to_v4().to_bytes();
    return b[0] == 127 || b[0] == 10 || (b[0] == 172 && (b[1] & 0xF0) == 16) ||
           (b[0] == 192 && b[1] == 168) || (b[0] == 169 && b[1] == 254);
}
constexpr std::chrono::seconds kWriteTimeout{30};
constexpr std::chrono::seconds kDrainTimeout{3};
constexpr std::size_t kDrainLimit = 64 * 1024 * 1024;
} // namespace

class HttpServer::Impl {
public:
    Impl(BatchService& service, HttpOptions options)
        : m_service(service), m_options(std::move(options)),
          m_threadCount(m_options.threads > 0
                            ? m_options.threads
                            : std::max(2, static_cast<int>(std::thread::hardware_concurrency()))),
          m_ioc(m_threadCount), m_acceptor(m_ioc)
    {
    }

    Result<unsigned short> start();
    void stop();
    void waitForSignal();
    void accept();

    BatchService& m_service;
    HttpOptions m_options;
    int m_threadCount;
    net::io_context m_ioc;
    tcp::acceptor m_acceptor;
    std::vector<std::thread> m_threads;
    std::atomic<int> m_connections{0};
    // Batches handed to the service whose reply has not come back; stop() waits for them, since
    // a reply may come from one of the service's own threads.
    std::atomic<int> m_pendingReplies{0};
    std::mutex m_stopMutex;
    std::condition_variable m_stopped;
    bool m_stopRequested = false;
};

namespace {

// One connection: read a request, answer it, and again while the peer keeps the connection alive.
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket&& socket, HttpServer::Impl& server)
        : m_stream(std::move(socket)), m_server(server), m_timer(m_stream.get_executor())
    {
        ++m_server.m_connections;
        beast::error_code ec;
        const auto peer = m_stream.socket().remote_endpoint(ec);
        m_nearbyPeer = !ec && isNearby(peer.address());
        if (!ec) {
            auto address = peer.address();
            if (address.is_v6() && address.to_v6().is_v4_mapped())
                address = net::ip::make_address_v4(net::ip::v4_mapped, address.to_v6());
            m_peerAddress = address.to_string();
        }
    }
    ~Session() { --m_server.m_connections; }

    void start()
    {
        net::dispatch(m_stream.get_executor(), beast::bind_front_handler(&Session::read, shared_from_this()));
    }

private:
    void read()
    {
        m_parser.emplace();
        m_parser->header_limit(kHeaderLimit);
        m_parser->body_limit(m_server.m_service.config().limits.maxBodyBytes);
        m_stream.expires_after(m_server.m_options.readTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
                         beast::bind_front_handler(&Session::onRead, shared_from_this()));
    }

    void onRead(beast::error_code ec, std::size_t)
    {
        if (ec == http::error::body_limit) {
            // Answer -99, then read and drop what the peer still sends so it sees the answer.
            respondBatch(m_server.m_service.refuse("request body larger than the limit"),
                         m_parser->get().version(), true);
            return;
        }
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == net::error::operation_aborted || ec == net::error::connection_reset ||
            ec == net::error::eof) {
            close();
            return;
        }
        if (ec) {
            respondPlain(http::status::bad_request,
                         m_parser->get().version() ? m_parser->get().version() : 11, "bad request\n");
            return;
        }
        const auto& req = m_parser->get();
        std::string_view target(req.target().data(), req.target().size());
        if (const auto q = target.find('?'); q != std::string_view::npos)
            target = target.substr(0, q);
        std::string_view path(kServletPath);
        if (target != path && target != path.substr(0, path.size() - 1)) {
            respondPlain(http::status::not_found, req.version(), "not found\n");
            return;
        }
        if (req.method() != http::verb::post) {
            respondPlain(http::status::method_not_allowed, req.version(), "POST only\n");
            return;
        }
        std::string cookies;
        for (const auto& field : req) {
            if (field.name() == http::field::cookie) {
                if (!cookies.empty())
                    cookies += "; ";
                cookies.append(field.value().data(), field.value().size());
            }
        }
        const unsigned version = req.version();
        const bool closeAfter = !req.keep_alive();
        BatchRequest request{std::move(m_parser->get().body()), std::move(cookies), m_peerAddress,
                             m_nearbyPeer};
        // The reply may come back on another thread: it is answered on this connection's strand
        // (at once when it comes back on the strand itself).
        ++m_server.m_pendingReplies;
        m_server.m_service.handleAsync(
            std::move(request), [self = shared_from_this(), version, closeAfter](BatchReply reply) {
                net::dispatch(self->m_stream.get_executor(),
                              [self, version, closeAfter, r = std::move(reply)]() mutable {
                                  self->respondBatch(std::move(r), version, closeAfter);
                              });
                --self->m_server.m_pendingReplies;
            });
    }

    void respondBatch(BatchReply reply, unsigned version, bool closeAfter)
    {
        auto res = std::make_unique<http::response<http::string_body>>(http::status::ok, version);
        res->set(http::field::server, "vorteq-server");
        res->set(http::field::content_type, "application/octet-stream");
        res->set(http::field::cache_control, "no-store");
        if (!reply.setCookie.empty())
            res->set(http::field::set_cookie, reply.setCookie);
        for (const auto& [name, value] : reply.headers)
            res->set(name, value);
        if (reply.sessionExpired)
            res->set(std::string(vorteq::kSessionHeaderName), std::string(vorteq::kSessionExpiredValue));
        res->keep_alive(!closeAfter);
        res->body() = std::move(reply.body);
        res->prepare_payload();
        m_response = std::move(res);
        m_drainAfter = closeAfter && m_parser && !m_parser->is_done();
        if (reply.delay.count() > 0) {
            m_timer.expires_after(reply.delay);
            m_timer.async_wait([self = shared_from_this()](beast::error_code) { self->write(); });
            return;
        }
        write();
    }

    void respondPlain(http::status status, unsigned version, std::string_view text)
    {
        auto res = std::make_unique<http::response<http::string_body>>(status, version);
        res->set(http::field::server, "vorteq-server");
        res->set(http::field::content_type, "text/plain");
        if (status == http::status::method_not_allowed)
            res->set(http::field::allow, "POST");
        res->keep_alive(false);
        res->body() = std::string(text);
        res->prepare_payload();
        m_response = std::move(res);
        m_drainAfter = m_parser && !m_parser->is_done();
        write();
    }

    void write()
    {
        m_stream.expires_after(kWriteTimeout);
        http::async_write(m_stream, *m_response,
                          beast::bind_front_handler(&Session::onWrite, shared_from_this()));
    }

    void onWrite(beast::error_code ec, std::size_t)
    {
        if (ec) {
            close();
            return;
        }
        const bool keep = m_response->keep_alive();
        m_response.reset();
        if (keep) {
            read();
            return;
        }
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
        if (m_drainAfter) {
            m_stream.expires_after(kDrainTimeout);
            drain();
            return;
        }
        close();
    }

    // Reads and drops the rest of a refused request until the peer closes, so the kernel does not
    // reset the connection before the peer has read the answer.
    void drain()
    {
        m_stream.async_read_some(net::buffer(m_drainBuffer),
                                 [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                                     self->m_drained += n;
                                     if (ec || self->m_drained > kDrainLimit) {
                                         self->close();
                                         return;
                                     }
                                     self->drain();
                                 });
    }

    void close()
    {
        beast::error_code ignored;
        m_stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
        m_stream.close();
    }

    beast::tcp_stream m_stream;
    HttpServer::Impl& m_server;
    net::steady_timer m_timer;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::unique_ptr<http::response<http::string_body>> m_response;
    bool m_drainAfter = false;
    bool m_nearbyPeer = false;
    std::string m_peerAddress;
    std::array<char, 16 * 1024> m_drainBuffer{};
    std::size_t m_drained = 0;
};

} // namespace

Result<unsigned short> HttpServer::Impl::start()
{
    beast::error_code ec;
    const auto address = net::ip::make_address(m_options.bind, ec);
    if (ec)
        return makeError(ErrorCode::Validation, "待ち受けアドレスが正しくありません: " + m_options.bind);
    const tcp::endpoint endpoint(address, m_options.port);
    m_acceptor.open(endpoint.protocol(), ec);
    if (!ec)
        m_acceptor.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec)
        m_acceptor.bind(endpoint, ec);
    if (!ec)
        m_acceptor.listen(net::socket_base::max_listen_connections, ec);
    if (ec)
        return makeError(ErrorCode::Transport, "待ち受けを開始できません (" + m_options.bind + ":" +
                                                   std::to_string(m_options.port) + "): " + ec.message());
    const unsigned short port = m_acceptor.local_endpoint().port();
    accept();
    for (int i = 0; i < m_threadCount; ++i) {
        m_threads.emplace_back([this] {
            for (;;) {
                try {
                    m_ioc.run();
                    return;
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "vorteq-server: worker error: %s\n", e.what());
                } catch (...) {
                    std::fprintf(stderr, "vorteq-server: worker error\n");
                }
            }
        });
    }
    return port;
}

void HttpServer::Impl::accept()
{
    m_acceptor.async_accept(net::make_strand(m_ioc), [this](beast::error_code ec, tcp::socket socket) {
        if (ec == net::error::operation_aborted || !m_acceptor.is_open())
            return;
        if (!ec) {
            if (m_connections.load() >= m_options.maxConnections) {
                beast::error_code ignored;
                socket.close(ignored);
            } else {
                std::make_shared<Session>(std::move(socket), *this)->start();
            }
        }
        accept();
    });
}

void HttpServer::Impl::stop()
{
    {
        std::lock_guard lock(m_stopMutex);
        m_stopRequested = true;
    }
    m_stopped.notify_all();
    if (m_threads.empty())
        return;
    net::post(m_acceptor.get_executor(), [this] {
        beast::error_code ignored;
        m_acceptor.close(ignored);
    });
    // Replies still being worked out elsewhere come back first (a password check takes a fraction
    // of a second); their sessions must not outlive the io context.
    for (int i = 0; i < 3000 && m_pendingReplies.load() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    m_ioc.stop();
    for (auto& t : m_threads)
        if (t.joinable())
            t.join();
    m_threads.clear();
}

void HttpServer::Impl::waitForSignal()
{
    net::signal_set signals(m_ioc, SIGINT, SIGTERM);
    signals.async_wait([this](beast::error_code, int) {
        {
            std::lock_guard lock(m_stopMutex);
            m_stopRequested = true;
        }
        m_stopped.notify_all();
    });
    std::unique_lock lock(m_stopMutex);
    m_stopped.wait(lock, [this] { return m_stopRequested; });
}

bool isNearbyAddress(const std::string& address)
{
    beast::error_code ec;
    const auto parsed = net::ip::make_address(address, ec);
    return !ec && isNearby(parsed);
}

void tuneAllocatorForServing()
{
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 128 * 1024 * 1024);
    disableSqliteMemoryStatistics();
}

HttpServer::HttpServer(BatchService& service, HttpOptions options)
    : m_impl(std::make_unique<Impl>(service, std::move(options)))
{
}

HttpServer::~HttpServer()
{
    stop();
}

Result<unsigned short> HttpServer::start()
{
    return m_impl->start();
}

void HttpServer::stop()
{
    m_impl->stop();
}

void HttpServer::waitForSignal()
{
    m_impl->waitForSignal();
}

} // namespace vorteq::server
