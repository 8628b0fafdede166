#include "gateway/HttpTransport.h"

#include <curl/curl.h>
#include <mutex>

namespace vorteq {
namespace {

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isBlankByte(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlankByte(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (isBlankByte(s.back()) || s.back() == '\r' || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

// What one exchange collects from curl's callbacks.
struct Exchange {
    HttpReply reply;
    std::size_t maxBody = 0;
    bool bodyTooLarge = false;
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* ex = static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    if (ex->reply.body.size() + n > ex->maxBody) {
        ex->bodyTooLarge = true;
        return 0; // makes curl abort the transfer
    }
    ex->reply.body.append(data, n);
    return n;
}

// Called once per header line, status line and final blank line included. A line starting with a
// blank continues the previous header's value; a new status line starts a new header list.
std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* ex = static_cast<Exchange*>(user);
    const std::size_t n = size * count;
    const std::string_view line(data, n);
    auto& headers = ex->reply.headers;
    if (line.rfind("HTTP/", 0) == 0) {
        headers.clear();
        return n;
    }
    if (!line.empty() && isBlankByte(line.front())) {
        const std::string_view more = trimmed(line);
        if (!headers.empty() && !more.empty()) {
            auto& value = headers.back().second;
            if (!value.empty())
                value += ' ';
            value += more;
        }
        return n;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos)
        return n; // the blank line that ends the header block
    headers.emplace_back(std::string(line.substr(0, colon)), std::string(trimmed(line.substr(colon + 1))));
    return n;
}

struct EasyDeleter {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct ListDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

Error transportError(std::string message)
{
    return makeError(ErrorCode::Transport, std::move(message));
}

class CurlTransport final : public HttpTransport {
public:
    explicit CurlTransport(const CurlTransportOptions& options) : m_options(options) { initCurlOnce(); }

    Result<HttpReply> post(const std::string& url, const std::string& body,
                           const std::string& extraHeaderLine) override
    {
        const std::string where = endpointOf(url);
        if (extraHeaderLine.find_first_of("\r\n", 0) != std::string::npos ||
            extraHeaderLine.find('\0') != std::string::npos)
            return transportError("送信するヘッダーに改行が含まれています (" + where + ")");

        std::unique_ptr<CURL, EasyDeleter> curl(curl_easy_init());
        if (!curl)
            return transportError("通信の準備ができません (" + where + ")");

        // "Name:" with nothing after the colon would make curl drop the header; "Name;" sends it bare.
        std::string extra = extraHeaderLine;
        if (!extra.empty() && extra.back() == ':')
            extra.back() = ';';
        // Content-Length is given here so that it precedes the extra line, as the server has always seen it.
        const std::string length = "Content-Length: " + std::to_string(body.size());
        curl_slist* raw = nullptr;
        for (const char* h : {"Accept: text/html, */*", "Content-Type:", "Expect:", length.c_str()})
            raw = curl_slist_append(raw, h);
        if (!extra.empty())
            raw = curl_slist_append(raw, extra.c_str());
        std::unique_ptr<curl_slist, ListDeleter> headers(raw);
        if (!headers)
            return transportError("通信の準備ができません (" + where + ")");

        Exchange ex;
        ex.maxBody = m_options.maxReplyBytes;
        CURL* c = curl.get();
        curl_easy_setopt(c, CURLOPT_URL, url.c_str());
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(c, CURLOPT_POST, 1L);
        curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
        curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
        curl_easy_setopt(c, CURLOPT_USERAGENT, "vorteq/0.1");
        curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(c, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(c, CURLOPT_FORBID_REUSE, 1L);
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_options.connectTimeout.count()));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(m_options.totalTimeout.count()));
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &onBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &ex);
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &onHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &ex);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 2L);
        if (!m_options.caFile.empty())
            curl_easy_setopt(c, CURLOPT_CAINFO, m_options.caFile.c_str());

        const CURLcode rc = curl_easy_perform(c);
        if (rc != CURLE_OK) {
            if (ex.bodyTooLarge)
                return transportError("サーバーの応答が大きすぎます (" +
                                      std::to_string(m_options.maxReplyBytes) + " バイト超, " + where + ")");
            switch (rc) {
            case CURLE_COULDNT_RESOLVE_HOST:
            case CURLE_COULDNT_CONNECT:
                return transportError("サーバーに接続できません (" + where + ")");
            case CURLE_OPERATION_TIMEDOUT:
                return transportError("サーバーが時間内に応答しません (" + where + ")");
            case CURLE_PEER_FAILED_VERIFICATION:
                return transportError("サーバーの証明書を検証できません (" + where +
                                      "): " + curl_easy_strerror(rc));
            case CURLE_SSL_CACERT_BADFILE:
                return transportError("信頼する証明書のファイルを読み込めません (" + m_options.caFile + ")");
            case CURLE_SSL_CONNECT_ERROR:
                return transportError("サーバーと TLS で接続できません (" + where +
                                      "): " + curl_easy_strerror(rc));
            case CURLE_URL_MALFORMAT:
            case CURLE_UNSUPPORTED_PROTOCOL:
                return transportError("サーバーの URL が正しくありません (" + url + ")");
            default:
                return transportError("サーバーとの通信に失敗しました (" + where +
                                      "): " + curl_easy_strerror(rc));
            }
        }
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        ex.reply.status = static_cast<int>(status);
        if (status < 200 || status > 299)
            return transportError("サーバーがエラーを返しました (HTTP " + std::to_string(status) + ", " +
                                  where + ")");
        return std::move(ex.reply);
    }

private:
    CurlTransportOptions m_options;
};

} // namespace

namespace {
std::mutex g_caFileMutex;
std::string g_caFile;
} // namespace

void setDefaultCaFile(std::string path)
{
    std::lock_guard lock(g_caFileMutex);
    g_caFile = std::move(path);
}

std::shared_ptr<HttpTransport> makeCurlTransport()
{
    CurlTransportOptions options;
    {
        std::lock_guard lock(g_caFileMutex);
        options.caFile = g_caFile;
    }
    return makeCurlTransport(options);
}

std::shared_ptr<HttpTransport> makeCurlTransport(const CurlTransportOptions& options)
{
    return std::make_shared<CurlTransport>(options);
}

std::string endpointOf(const std::string& url)
{
    initCurlOnce();
    CURLU* u = curl_url();
    if (u == nullptr)
        return url;
    std::string out = url;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
        char* host = nullptr;
        char* port = nullptr;
        if (curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
            curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK)
            out = std::string(host) + ":" + port;
        curl_free(host);
        curl_free(port);
    }
    curl_url_cleanup(u);
    return out;
}

} // namespace vorteq
