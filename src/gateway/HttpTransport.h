#pragma once

#include "common/Result.h"

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vorteq {

struct HttpReply {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // in arrival order, names as sent
    std::string body;
};

// Sends one request body and returns the reply. Implementations: libcurl for the program, a
// recording fake in tests. A connection failure, a timeout or an HTTP status other than 2xx is an
// error value (ErrorCode::Transport) whose message names the host and port and, when there is one,
// the status; THttpStatements checks the status again, so a fake may return any status as is.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // POST over HTTP/1.0 on a fresh connection, "Accept: text/html, */*", no Content-Type, the
    // given extra header line (e.g. "Cookie:" or "Cookie:" + value), redirects not followed.
    virtual Result<HttpReply> post(const std::string& url, const std::string& body,
                                   const std::string& extraHeaderLine) = 0;
};

struct CurlTransportOptions {
    std::chrono::milliseconds connectTimeout{10'000};
    std::chrono::milliseconds totalTimeout{120'000}; // the whole exchange, reply included
    std::size_t maxReplyBytes = 65u * 1024u * 1024u; // a compressed reply may not exceed this
    // For https URLs: the PEM file of the certificate authorities to trust; empty: the system's
    // store. The server's certificate and host name are always verified.
    std::string caFile;
};

// The certificate authorities every transport made by makeCurlTransport() trusts from now on
// (--ca-file); empty returns to the system's store. Process-wide, set once at start-up.
void setDefaultCaFile(std::string path);

// The libcurl transport used by the client and the command line, for http and https URLs. Safe to
// use from several threads, each with its own requests. The first form uses the default options
// with the CA file set by setDefaultCaFile.
std::shared_ptr<HttpTransport> makeCurlTransport();
std::shared_ptr<HttpTransport> makeCurlTransport(const CurlTransportOptions& options);

// "host:port" of an http or https URL (port 80 when the URL names none), for messages; the URL itself when
// it does not parse.
std::string endpointOf(const std::string& url);

} // namespace vorteq
