#pragma once

#include "common/Result.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vorteq {

struct HttpReply {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers;  // in arrival order, names as sent
    std::string body;
};

// Sends one request body and returns the reply. Implementations: libcurl for the program, a
// recording fake in tests. A connection failure or timeout is an error value whose message names
// the host and port; the HTTP status is returned as is and judged by the caller.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // POST over HTTP/1.0 on a fresh connection, "Accept: text/html, */*", no Content-Type, the
    // given extra header line (e.g. "Cookie:" or "Cookie:" + value), redirects not followed.
    virtual Result<HttpReply> post(const std::string& url, const std::string& body,
                                   const std::string& extraHeaderLine) = 0;
};

// The libcurl transport used by the client and the command line.
std::shared_ptr<HttpTransport> makeCurlTransport();

} // namespace vorteq
