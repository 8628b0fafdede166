// The only translation unit that includes Boost.Beast: its templates are heavy to compile.
#include "server/http/HttpServer.h"

#include "gateway/ServletPath.h"
#include "gateway/SessionHeader.h"
#include "server/http/BatchService.h"
#include "server/import/Importer.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <boost/asio/dispatch.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <condition_variable>
#include <functional>
#include <malloc.h>
#include <mutex>
#include <optional>
#include <thread>
#include <type_traits>
#include <unordered_map>
#include <vector>

namespace vorteq::server {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using tcp = net::ip::tcp;

namespace {
constexpr std::size_t kHeaderLimit = 16 * 1024;

bool isLoopback(const net::ip::address& address)
{
    if (address.is_v6()) {
        const auto v6 = address.to_v6();
        if (v6.is_v4_mapped())
            return isLoopback(net::ip::make_address_v4(net::ip::v4_mapped, v6));
        return v6.is_loopback();
    }
    return address.to_v4().to_bytes()[0] == 127;
}

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
constexpr std::chrono::seconds kDrainTimeout{3};
constexpr std::size_t kDrainLimit = 64 * 1024 * 1024;
// Over the reply budget, a reply none of whose bytes the peer took for this long is dropped.
constexpr std::chrono::milliseconds kStalledAfter{500};
} // namespace

// What the endpoint knows of one connection, for the bounds on connections per address.
class SessionBase : public std::enable_shared_from_this<SessionBase> {
public:
    virtual ~SessionBase() = default;
    // Ends the connection from any thread (it runs on the connection's own strand).
    virtual void evict() = 0;
    // Still waiting for the whole of a request (an idle kept-alive connection included), and since when.
    std::atomic<bool> waiting{true};
    std::atomic<std::int64_t> waitingSince{0};
    // Reply bytes held for the peer, and when the peer last took some of them.
    std::atomic<std::size_t> heldBytes{0};
    std::atomic<std::int64_t> lastProgress{0};
};

class HttpServer::Impl {
public:
    Impl(BatchService& service, HttpOptions options)
        : m_service(service), m_options(std::move(options)),
          m_threadCount(m_options.threads > 0
                            ? m_options.threads
                            : std::max(2, static_cast<int>(std::thread::hardware_concurrency()))),
          m_ioc(m_threadCount), m_acceptor(m_ioc), m_tls(net::ssl::context::tls_server)
    {
    }

    Result<unsigned short> start();
    void stop();
    void waitForSignal();
    void accept();

    // Registers a new connection from address; false when it may not stay open. Beyond the bound
    // for its address or in all, the oldest connection still waiting for its request on the
    // busiest address makes room.
    bool admit(const std::string& address, SessionBase* session);
    void release(const std::string& address, SessionBase* session);

    // The one call point from the HTTP layer into the batch service: runs the request and hands
    // the reply to done, on whatever thread finishes it (the caller moves back to its connection).
    void dispatch(std::string body, std::string cookies, std::string peerAddress, bool nearbyPeer,
                  std::function<void(BatchReply)> done);

    // Reply memory: reserve when a reply is ready to be written, give back when it is gone.
    // True when the replies held exceed the budget even once the peers that stopped reading are
    // dropped (which this starts): then new work has to wait.
    bool replyMemoryExhausted();
    void holdReply(std::size_t bytes) { m_replyBytes += bytes; }
    void dropReply(std::size_t bytes) { m_replyBytes -= bytes; }

    // Logs once that a client elsewhere logged in over plain HTTP, its password in clear.
    void noteClearLogin(const std::string& address);

    BatchService& m_service;
    HttpOptions m_options;
    bool trustsProxy(const std::string& address) const
    {
        return std::find(m_options.trustedProxies.begin(), m_options.trustedProxies.end(), address) !=
               m_options.trustedProxies.end();
    }
    int m_threadCount;
    net::io_context m_ioc;
    tcp::acceptor m_acceptor;
    net::ssl::context m_tls;
    bool m_useTls = false;
    std::vector<std::thread> m_threads;
    // Batches handed to the service whose reply has not come back; stop() waits for them, since
    // a reply may come from one of the service's own threads.
    std::atomic<int> m_pendingReplies{0};
    std::atomic<std::size_t> m_replyBytes{0};
    std::atomic<bool> m_clearLoginWarned{false};
    std::mutex m_connectionsMutex;
    std::unordered_map<std::string, std::vector<SessionBase*>> m_byAddress;
    int m_connectionCount = 0;
    std::mutex m_stopMutex;
    std::condition_variable m_stopped;
    bool m_stopRequested = false;
};

namespace {

std::int64_t steadyMillis()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// One connection: read a request, answer it, and again while the peer keeps the connection alive.
// Stream is a plain TCP stream or a TLS stream over one.
template <class Stream> class Session : public SessionBase {
public:
    Session(Stream&& stream, HttpServer::Impl& server, std::string address, bool nearby, bool loopback)
        : m_stream(std::move(stream)), m_server(server), m_timer(m_stream.get_executor()),
          m_address(std::move(address)), m_nearbyPeer(nearby), m_loopbackPeer(loopback)
    {
        waitingSince = steadyMillis();
    }
    ~Session() override
    {
        if (m_held > 0)
            m_server.dropReply(m_held);
        m_server.release(m_address, this);
    }

    void start()
    {
        waitingSince = steadyMillis();
        net::dispatch(m_stream.get_executor(), [self = self()] {
            if constexpr (kTls) {
                // The handshake counts against the same deadline as the request that follows it.
                self->lowest().expires_after(self->m_server.m_options.requestTimeout);
                self->m_stream.async_handshake(net::ssl::stream_base::server, [self](beast::error_code ec) {
                    if (ec) {
                        self->close();
                        return;
                    }
                    self->read(false);
                });
            } else {
                self->read(true);
            }
        });
    }

    void evict() override
    {
        net::post(m_stream.get_executor(), [weak = weak_from_this()] {
            if (auto self = std::static_pointer_cast<Session>(weak.lock()))
                self->close();
        });
    }

private:
    static constexpr bool kTls = !std::is_same_v<Stream, beast::tcp_stream>;

    std::shared_ptr<Session> self() { return std::static_pointer_cast<Session>(shared_from_this()); }
    beast::tcp_stream& lowest() { return beast::get_lowest_layer(m_stream); }

    void read(bool restartDeadline)
    {
        m_parser.emplace();
        m_parser->header_limit(kHeaderLimit);
        m_parser->body_limit(m_server.m_service.config().limits.maxBodyBytes);
        waiting = true;
        waitingSince = steadyMillis();
        // One deadline for the whole request, headers and body: however the peer spaces its bytes.
        if (restartDeadline)
            lowest().expires_after(m_server.m_options.requestTimeout);
        http::async_read(m_stream, m_buffer, *m_parser,
                         [self = self()](beast::error_code ec, std::size_t n) { self->onRead(ec, n); });
    }

    void onRead(beast::error_code ec, std::size_t)
    {
        waiting = false;
        lowest().expires_never();
        if (ec == http::error::body_limit) {
            // Answer -99, then read and drop what the peer still sends so it sees the answer.
            respondBatch(m_server.m_service.refuse("request body larger than the limit"),
                         m_parser->get().version(), true);
            return;
        }
        if (ec == http::error::end_of_stream || ec == beast::error::timeout ||
            ec == net::error::operation_aborted || ec == net::error::connection_reset ||
            ec == net::error::eof || ec == net::ssl::error::stream_truncated) {
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
        const unsigned version = req.version();
        const bool closeAfter = !req.keep_alive();
        if (m_server.replyMemoryExhausted()) {
            // Peers that do not read hold the reply memory: new work waits until they are dropped.
            respondBatch(m_server.m_service.refuse("server busy: replies waiting for slow readers"), version,
                         closeAfter);
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
        // Behind a trusted proxy the client is the address the proxy appended last.
        std::string client = m_address;
        bool nearbyClient = m_nearbyPeer;
        if (m_server.trustsProxy(m_address)) {
            std::string_view forwarded;
            for (const auto& field : req)
                if (beast::iequals(field.name_string(), "X-Forwarded-For"))
                    forwarded = std::string_view(field.value().data(), field.value().size());
            if (const std::size_t comma = forwarded.rfind(','); comma != std::string_view::npos)
                forwarded.remove_prefix(comma + 1);
            while (!forwarded.empty() && forwarded.front() == ' ')
                forwarded.remove_prefix(1);
            while (!forwarded.empty() && forwarded.back() == ' ')
                forwarded.remove_suffix(1);
            beast::error_code bad;
            const auto parsed = net::ip::make_address(std::string(forwarded), bad);
            if (!bad) {
                client = parsed.to_string();
                nearbyClient = isNearby(parsed);
            }
        }
        auto body = std::move(m_parser->get().body());
        m_server.dispatch(std::move(body), std::move(cookies), client, nearbyClient,
                          [self = self(), version, closeAfter](BatchReply reply) {
                              net::dispatch(self->m_stream.get_executor(),
                                            [self, version, closeAfter, reply = std::move(reply)]() mutable {
                                                if (!reply.setCookie.empty() && !kTls &&
                                                    !self->m_loopbackPeer)
                                                    self->m_server.noteClearLogin(self->m_address);
                                                self->respondBatch(std::move(reply), version, closeAfter);
                                            });
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
            res->insert(name, value);
        if (reply.sessionExpired)
            res->set(std::string(vorteq::kSessionHeaderName), std::string(vorteq::kSessionExpiredValue));
        res->keep_alive(!closeAfter);
        res->body() = std::move(reply.body);
        res->prepare_payload();
        m_drainAfter = closeAfter && m_parser && !m_parser->is_done();
        setResponse(std::move(res));
        if (reply.delay.count() > 0) {
            m_timer.expires_after(reply.delay);
            m_timer.async_wait([self = self()](beast::error_code ec) {
                if (ec || self->m_closed)
                    return; // closed meanwhile: the reply is gone with the connection
                self->write();
            });
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
        m_drainAfter = m_parser && !m_parser->is_done();
        setResponse(std::move(res));
        write();
    }

    void setResponse(std::unique_ptr<http::response<http::string_body>> res)
    {
        releaseReply();
        m_held = res->body().size();
        m_server.holdReply(m_held);
        heldBytes = m_held;
        lastProgress = steadyMillis();
        m_response = std::move(res);
        m_serializer.emplace(*m_response);
    }

    void releaseReply()
    {
        // A write still pending reads the reply's bytes through the serializer until its handler
        // runs: both stay until then (onWrite releases them), only the budget forgets them now.
        if (!m_writing) {
            m_serializer.reset();
            m_response.reset();
        }
        if (m_held > 0)
            m_server.dropReply(m_held);
        m_held = 0;
        heldBytes = 0;
    }

    // Writes the reply piece by piece: each piece must be taken by the peer within the stall
    // timeout, so a peer that stops reading is dropped, and its reply with it, within that time.
    void write()
    {
        lowest().expires_after(m_server.m_options.writeStallTimeout);
        m_writing = true;
        http::async_write_some(m_stream, *m_serializer, [self = self()](beast::error_code ec, std::size_t) {
            self->m_writing = false;
            self->lastProgress = steadyMillis();
            self->onWrite(ec);
        });
    }

    void onWrite(beast::error_code ec)
    {
        if (ec || m_closed) {
            close();
            return;
        }
        if (!m_serializer->is_done()) {
            write();
            return;
        }
        lowest().expires_never();
        const bool keep = m_response->keep_alive();
        releaseReply();
        if (keep) {
            read(true);
            return;
        }
        if constexpr (kTls) {
            lowest().expires_after(kDrainTimeout);
            m_stream.async_shutdown([self = self()](beast::error_code) { self->close(); });
        } else {
            beast::error_code ignored;
            m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
            if (m_drainAfter) {
                m_stream.expires_after(kDrainTimeout);
                drain();
                return;
            }
            close();
        }
    }

    // Reads and drops the rest of a refused request until the peer closes, so the kernel does not
    // reset the connection before the peer has read the answer.
    void drain()
    {
        m_stream.async_read_some(net::buffer(m_drainBuffer),
                                 [self = self()](beast::error_code ec, std::size_t n) {
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
        m_closed = true;
        waiting = false;
        m_timer.cancel();
        releaseReply();
        beast::error_code ignored;
        lowest().socket().shutdown(tcp::socket::shutdown_both, ignored);
        lowest().close();
    }

    Stream m_stream;
    HttpServer::Impl& m_server;
    net::steady_timer m_timer;
    std::string m_address;
    beast::flat_buffer m_buffer;
    std::optional<http::request_parser<http::string_body>> m_parser;
    std::unique_ptr<http::response<http::string_body>> m_response;
    std::optional<http::serializer<false, http::string_body>> m_serializer;
    std::size_t m_held = 0; // reply bytes counted against the server's budget
    bool m_drainAfter = false;
    bool m_writing = false; // an async write of m_serializer is pending
    bool m_closed = false;  // close() ran: whatever completes now only ends the connection
    bool m_nearbyPeer = false;
    bool m_loopbackPeer = false;
    std::array<char, 16 * 1024> m_drainBuffer{};
    std::size_t m_drained = 0;
};

} // namespace

Result<unsigned short> HttpServer::Impl::start()
{
    beast::error_code ec;
    if (!m_options.tlsCertFile.empty() || !m_options.tlsKeyFile.empty()) {
        if (m_options.tlsCertFile.empty() || m_options.tlsKeyFile.empty())
            return makeError(ErrorCode::Validation, "TLS には証明書と秘密鍵の両方が必要です");
        m_tls.set_options(net::ssl::context::default_workarounds | net::ssl::context::no_sslv2 |
                          net::ssl::context::no_sslv3 | net::ssl::context::no_tlsv1 |
                          net::ssl::context::no_tlsv1_1);
        m_tls.use_certificate_chain_file(m_options.tlsCertFile, ec);
        if (ec)
            return makeError(ErrorCode::Validation,
                             "証明書を読み込めません (" + m_options.tlsCertFile + "): " + ec.message());
        m_tls.use_private_key_file(m_options.tlsKeyFile, net::ssl::context::pem, ec);
        if (ec)
            return makeError(ErrorCode::Validation,
                             "秘密鍵を読み込めません (" + m_options.tlsKeyFile + "): " + ec.message());
        m_useTls = true;
    }
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
            beast::error_code peerError;
            const auto peer = socket.remote_endpoint(peerError);
            if (peerError) {
                beast::error_code ignored;
                socket.close(ignored);
            } else {
                // An IPv4 peer of a dual-stack socket is named in its IPv4 form: the address keys the
                // connection caps and the login throttle, which must not see one client as two.
                auto peerAddress = peer.address();
                if (peerAddress.is_v6() && peerAddress.to_v6().is_v4_mapped())
                    peerAddress = net::ip::make_address_v4(net::ip::v4_mapped, peerAddress.to_v6());
                const std::string address = peerAddress.to_string();
                const bool nearby = isNearby(peer.address());
                const bool loopback = isLoopback(peer.address());
                std::shared_ptr<SessionBase> session;
                if (m_useTls) {
                    auto s = std::make_shared<Session<beast::ssl_stream<beast::tcp_stream>>>(
                        beast::ssl_stream<beast::tcp_stream>(beast::tcp_stream(std::move(socket)), m_tls),
                        *this, address, nearby, loopback);
                    if (admit(address, s.get()))
                        s->start();
                } else {
                    auto s = std::make_shared<Session<beast::tcp_stream>>(
                        beast::tcp_stream(std::move(socket)), *this, address, nearby, loopback);
                    if (admit(address, s.get()))
                        s->start();
                }
            }
        }
        accept();
    });
}

bool HttpServer::Impl::admit(const std::string& address, SessionBase* session)
{
    std::shared_ptr<SessionBase> victim;
    {
        std::lock_guard lock(m_connectionsMutex);
        auto& own = m_byAddress[address];
        // The oldest connection of a list still waiting for its request: a slow peer, never one at work.
        const auto oldestWaiting = [](std::vector<SessionBase*>& list) {
            auto oldest = list.end();
            for (auto it = list.begin(); it != list.end(); ++it)
                if ((*it)->waiting.load() &&
                    (oldest == list.end() || (*it)->waitingSince.load() < (*oldest)->waitingSince.load()))
                    oldest = it;
            return oldest;
        };
        std::vector<SessionBase*>* crowded = nullptr;
        std::vector<SessionBase*>::iterator oldest;
        std::string crowdedAddress = address;
        if (static_cast<int>(own.size()) >= m_options.maxConnectionsPerAddress) {
            crowded = &own;
            oldest = oldestWaiting(own);
        } else if (m_connectionCount >= m_options.maxConnections) {
            // The address holding the most connections, of those with one still waiting.
            for (auto& [where, list] : m_byAddress) {
                const auto it = oldestWaiting(list);
                if (it != list.end() && (crowded == nullptr || list.size() > crowded->size())) {
                    crowded = &list;
                    crowdedAddress = where;
                    oldest = it;
                }
            }
            if (crowded == nullptr) {
                if (own.empty())
                    m_byAddress.erase(address);
                return false;
            }
        }
        if (crowded != nullptr) {
            if (oldest != crowded->end())
                victim = (*oldest)->weak_from_this().lock(); // empty when it is ending anyway
            if (!victim) {
                if (own.empty())
                    m_byAddress.erase(address);
                return false; // the destructor's release finds nothing to remove
            }
            // Out of the count at once, so that the next connection does not pick it again.
            victim->waiting = false;
            crowded->erase(oldest);
            --m_connectionCount;
            if (crowded->empty() && crowdedAddress != address)
                m_byAddress.erase(crowdedAddress);
        }
        own.push_back(session);
        ++m_connectionCount;
    }
    if (victim)
        victim->evict();
    return true;
}

void HttpServer::Impl::release(const std::string& address, SessionBase* session)
{
    std::lock_guard lock(m_connectionsMutex);
    auto it = m_byAddress.find(address);
    if (it == m_byAddress.end())
        return;
    auto& list = it->second;
    const auto found = std::find(list.begin(), list.end(), session);
    if (found == list.end())
        return;
    list.erase(found);
    --m_connectionCount;
    if (list.empty())
        m_byAddress.erase(it);
}

bool HttpServer::Impl::replyMemoryExhausted()
{
    if (m_replyBytes.load() <= m_options.replyMemoryBudget)
        return false;
    // Over the budget: the peers whose replies have not moved for a while lose them now rather
    // than at their stall timeout, and only what the others hold counts.
    const std::int64_t stalledBefore = steadyMillis() - kStalledAfter.count();
    std::vector<std::shared_ptr<SessionBase>> stalled;
    std::size_t moving = 0;
    {
        std::lock_guard lock(m_connectionsMutex);
        for (auto& [address, list] : m_byAddress)
            for (SessionBase* s : list) {
                const std::size_t held = s->heldBytes.load();
                if (held == 0)
                    continue;
                if (s->lastProgress.load() < stalledBefore) {
                    if (auto alive = s->weak_from_this().lock())
                        stalled.push_back(std::move(alive));
                } else {
                    moving += held;
                }
            }
    }
    for (auto& s : stalled)
        s->evict();
    stalled.clear(); // outside the lock: the last owner's release takes it
    return moving > m_options.replyMemoryBudget;
}

void HttpServer::Impl::dispatch(std::string body, std::string cookies, std::string peerAddress,
                                bool nearbyPeer, std::function<void(BatchReply)> done)
{
    // The reply may come back later on one of the service's password threads; stop() waits for it.
    ++m_pendingReplies;
    auto answer = [this, done = std::move(done)](BatchReply reply) {
        done(std::move(reply));
        --m_pendingReplies;
    };
    try {
        m_service.handleAsync(
            BatchRequest{std::move(body), std::move(cookies), std::move(peerAddress), nearbyPeer}, answer);
    } catch (const std::exception& e) {
        answer(m_service.refuse(std::string("internal error: ") + e.what()));
    } catch (...) {
        answer(m_service.refuse("internal error"));
    }
}

void HttpServer::Impl::noteClearLogin(const std::string& address)
{
    if (m_clearLoginWarned.exchange(true))
        return;
    m_service.logNotice("warning: a client at " + address +
                        " logged in over plain HTTP, its password readable on the way; serve HTTPS with "
                        "--tls-cert and --tls-key");
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
    // Ordinary replies (a screening is tens of kilobytes, a stock list about a megabyte) stay in the
    // heap; a reply of several megabytes is mapped and given back when it is sent, so replies held
    // for slow readers or dropped ones do not leave the process holding their peak for good.
    mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 16 * 1024 * 1024);
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

std::size_t HttpServer::heldReplyBytes() const
{
    return m_impl->m_replyBytes.load();
}

} // namespace vorteq::server
