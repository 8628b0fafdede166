#include "gateway/ServerUrl.h"

#include "common/AsciiText.h"
#include "common/NumberText.h"
#include "gateway/ServletPath.h"

namespace vorteq {

namespace {

bool isHostChar(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' ||
           c == '-' || c == '_';
}

Error badServer(std::string_view hostPort)
{
    return makeError(ErrorCode::Validation, "サーバーの指定が正しくありません: \"" + std::string(hostPort) +
                                                "\" (ホスト名[:ポート番号])");
}

} // namespace

Result<std::string> makeServerUrl(std::string_view hostPort)
{
    std::string scheme = "http";
    for (const char* known : {"http", "https"}) {
        const std::string prefix = std::string(known) + "://";
        if (hostPort.size() > prefix.size() &&
            equalsIgnoringCase(hostPort.substr(0, prefix.size()), prefix)) {
            scheme = known;
            hostPort.remove_prefix(prefix.size());
            break;
        }
    }
    std::string_view host;
    std::string_view port;
    if (!hostPort.empty() && hostPort.front() == '[') {
        const auto close = hostPort.find(']');
        if (close == std::string_view::npos || close == 1)
            return badServer(hostPort);
        host = hostPort.substr(0, close + 1);
        const std::string_view rest = hostPort.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return badServer(hostPort);
            port = rest.substr(1);
            if (port.empty())
                return badServer(hostPort);
        }
        for (char c : host.substr(1, host.size() - 2)) {
            if (!(isHostChar(c) || c == ':'))
                return badServer(hostPort);
        }
    } else {
        const auto colon = hostPort.find(':');
        host = hostPort.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = hostPort.substr(colon + 1);
            if (port.empty())
                return badServer(hostPort);
        }
        if (host.empty())
            return badServer(hostPort);
        for (char c : host) {
            if (!isHostChar(c))
                return badServer(hostPort);
        }
    }

    int portNumber = kDefaultServerPort;
    if (!port.empty()) {
        for (char c : port) {
            if (c < '0' || c > '9')
                return badServer(hostPort);
        }
        const auto value = parseInt32(port);
        if (!value || *value < 1 || *value > 65535)
            return badServer(hostPort);
        portNumber = *value;
    }
    return scheme + "://" + std::string(host) + ":" + std::to_string(portNumber) + std::string(kServletPath);
}

} // namespace vorteq
