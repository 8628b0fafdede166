#pragma once

#include "common/Result.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace vorteq::server {

class BatchService;

// Where and how the endpoint listens.
struct HttpOptions {
    std::string bind = "127.0.0.1";
    unsigned short port = 8080; // 0: any free port (tests)
    int threads = 0;            // worker threads; 0: one per core, at least 2
    // The whole request, headers and body, must arrive within this time from the moment the server
    // waits for it (on a kept-alive connection too): a peer that dribbles its bytes is cut off.
    std::chrono::seconds requestTimeout{10};
    // A peer that takes none of its reply's bytes for this long is dropped with the reply.
    std::chrono::seconds writeStallTimeout{5};
    // Open connections, in all and from one address. A new connection beyond either bound ends the
    // oldest connection of the busiest address (this one's, at its own bound) that is still waiting
    // for its request; when every one of them is busy, the new connection is closed at once.
    int maxConnections = 256;
    int maxConnectionsPerAddress = 128;
    // Bytes of replies held while their peers read them, over all connections (each connection
    // holds at most one reply). While it is exceeded, new requests are answered -99 without running.
    std::size_t replyMemoryBudget = 96u * 1024u * 1024u;
    // Reverse proxies in front of the server (their addresses, "127.0.0.1"): for a request from one
    // of them, the client is the last address of its X-Forwarded-For header, which the proxy
    // appends; the login throttle and the reply compression go by that client. The header of
    // anyone else is ignored.
    std::vector<std::string> trustedProxies;
    // HTTPS: the PEM certificate chain and private key; both empty for plain HTTP.
    std::string tlsCertFile;
    std::string tlsKeyFile;
};

// Process-wide allocator settings for serving: keeps the buffers of an ordinary request (reply text,
// zlib state) in the heap between requests instead of mapping and faulting them in anew each time,
// maps the buffers of very large replies so that their memory goes back when they are sent, and
// turns off SQLite's memory statistics (a global lock on every allocation of every worker). Call it
// before the process first uses SQLite.
void tuneAllocatorForServing();

// True for an address on this machine or a private network (IPv4 loopback, 10/8, 172.16/12,
// 192.168/16, link-local; IPv6 loopback, unique-local and link-local, IPv4-mapped ones alike).
bool isNearbyAddress(const std::string& address);

// The HTTP endpoint: accepts HTTP/1.0 and 1.1 POSTs (over TLS when a certificate is given) to the
// servlet path on a pool of threads and answers each with what the batch service returns. Bodies
// above the service's limit are refused with -99 without being read into memory; slow or silent
// peers are cut off by the request deadline, peers that do not read their reply by the write stall
// timeout.
class HttpServer {
public:
    HttpServer(BatchService& service, HttpOptions options);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds, listens and starts the worker threads; returns the port actually bound.
    Result<unsigned short> start();
    // Stops accepting, ends open connections and joins the threads. Safe to call twice.
    void stop();
    // Blocks until stop() is called from elsewhere or a SIGINT/SIGTERM arrives.
    void waitForSignal();
    // Bytes of replies held for peers still reading them (see replyMemoryBudget).
    std::size_t heldReplyBytes() const;

    class Impl; // the Beast machinery, kept out of this header

private:
    std::unique_ptr<Impl> m_impl;
};

} // namespace vorteq::server
