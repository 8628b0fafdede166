#include "gateway/THttpStatements.h"

#include "common/AsciiText.h"
#include "common/Encoding.h"
#include "gateway/SessionHeader.h"
#include "gateway/WireCodec.h"
#include "gateway/ZlibUtil.h"

#include <mutex>
#include <stdexcept>

namespace vorteq {
namespace {

std::mutex& cookieMutex()
{
    static std::mutex m;
    return m;
}
std::string& cookieText()
{
    static std::string cookie;
    return cookie;
}

std::mutex& busyMutex()
{
    static std::mutex m;
    return m;
}
BusyHook& busyHook()
{
    static BusyHook hook;
    return hook;
}

// Calls the busy hook's begin now and its end when the exchange is over, failures included.
class BusyScope {
public:
    BusyScope()
    {
        {
            std::lock_guard lock(busyMutex());
            m_hook = busyHook();
        }
        if (m_hook.begin)
            m_hook.begin();
    }
    ~BusyScope()
    {
        if (m_hook.end)
            m_hook.end();
    }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

private:
    BusyHook m_hook;
};

// The first "Set-Cookie" value with its leading blanks removed; empty when there is none.
std::string setCookieOf(const HttpReply& reply)
{
    for (const auto& [name, value] : reply.headers) {
        if (!equalsIgnoringCase(name, "Set-Cookie"))
            continue;
        std::size_t i = 0;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
            ++i;
        return value.substr(i);
    }
    return {};
}

// Whether the reply says that the batch had no live session.
bool sessionExpiredIn(const HttpReply& reply)
{
    for (const auto& [name, value] : reply.headers) {
        if (!equalsIgnoringCase(name, kSessionHeaderName))
            continue;
        std::string_view text = value;
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
            text.remove_prefix(1);
        while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
            text.remove_suffix(1);
        if (equalsIgnoringCase(text, kSessionExpiredValue))
            return true;
    }
    return false;
}

} // namespace

std::string sessionCookie()
{
    std::lock_guard lock(cookieMutex());
    return cookieText();
}

void setSessionCookie(std::string value)
{
    std::lock_guard lock(cookieMutex());
    cookieText() = std::move(value);
}

void clearSessionCookie()
{
    setSessionCookie({});
}

void setBusyHook(BusyHook hook)
{
    std::lock_guard lock(busyMutex());
    busyHook() = std::move(hook);
}

THttpStatements::THttpStatements(std::string url, std::shared_ptr<HttpTransport> transport)
    : m_url(std::move(url)), m_transport(std::move(transport))
{
}

THttpStatements::~THttpStatements()
{
    Clear();
}

void THttpStatements::Clear()
{
    m_items.clear();
}

void THttpStatements::Add(std::string text)
{
    auto item = std::make_unique<TSqlSet>();
    item->SqlText = std::move(text);
    m_items.push_back(std::move(item));
}

int THttpStatements::Count() const
{
    return static_cast<int>(m_items.size());
}

TSqlSet& THttpStatements::Item(int index)
{
    if (index < 0 || index >= Count())
        throw std::out_of_range("THttpStatements::Item: index " + std::to_string(index) + " outside 0.." +
                                std::to_string(Count() - 1));
    return *m_items[static_cast<std::size_t>(index)];
}

const TSqlSet& THttpStatements::Item(int index) const
{
    return const_cast<THttpStatements*>(this)->Item(index);
}

std::string THttpStatements::replyHeader(std::string_view name) const
{
    for (const auto& [field, value] : m_replyHeaders) {
        if (!equalsIgnoringCase(field, name))
            continue;
        std::size_t i = 0;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
            ++i;
        std::size_t end = value.size();
        while (end > i && (value[end - 1] == ' ' || value[end - 1] == '\t' || value[end - 1] == '\r'))
            --end;
        return value.substr(i, end - i);
    }
    return {};
}

Result<bool> THttpStatements::Execute()
{
    // The items go out as CP932; a separator inside an item would split or end the batch early.
    std::vector<std::string> wireItems;
    wireItems.reserve(m_items.size());
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const std::string& text = m_items[i]->SqlText;
        if (text.find_first_of(std::string_view("\x1D\x04", 2)) != std::string::npos)
            return makeError(ErrorCode::Validation,
                             "文 " + std::to_string(i) +
                                 " に送信できない制御文字 (0x1D または 0x04) が含まれています");
        auto cp932 = utf8ToCp932(text);
        if (!cp932)
            return makeError(ErrorCode::Encoding, "文 " + std::to_string(i) +
                                                      " を CP932 に変換できません: " + cp932.error().message);
        wireItems.push_back(std::move(cp932).value());
    }

    m_replyHeaders.clear();
    BusyScope busy;
    const std::string requestText = wire::buildRequestText(wireItems);
    auto body = zlibCompress(requestText, ZlibLevel::Fastest);
    if (!body)
        return body.error();

    auto reply = m_transport->post(m_url, *body, "Cookie:" + sessionCookie());
    if (!reply)
        return reply.error();
    const std::string where = endpointOf(m_url);
    if (reply->status < 200 || reply->status > 299)
        return makeError(ErrorCode::Transport, "サーバーがエラーを返しました (HTTP " +
                                                   std::to_string(reply->status) + ", " + where + ")");

    if (std::string cookie = setCookieOf(*reply); !cookie.empty())
        setSessionCookie(std::move(cookie));
    m_replyHeaders = reply->headers;

    auto text = zlibDecompress(reply->body);
    if (!text)
        return makeError(ErrorCode::Protocol,
                         "サーバーの応答を読めません (" + where + "): " + text.error().message);

    const int statementCount = Count() > 0 ? Count() - 1 : 0;
    auto done = wire::readReplyText(*text, statementCount, [this](int k, wire::Section&& s) {
        TSqlSet& item = Item(k);
        item.SetColCount(s.colCount);
        item.SetRowCount(s.rowCount);
        item.SetTbl(std::move(s.tbl));
    });
    if (!done)
        return makeError(ErrorCode::Protocol,
                         "サーバーの応答を読めません (" + where + "): " + done.error().message);
    if (!*done && sessionExpiredIn(*reply))
        return makeError(ErrorCode::SessionExpired, kSessionExpiredMessage);
    return *done;
}

} // namespace vorteq
