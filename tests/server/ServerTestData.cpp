#include "ServerTestData.h"

#include "gateway/ZlibUtil.h"

#include <arpa/inet.h>
#include <cctype>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vorteq::test {

std::string RawExchange::header(const std::string& lowerName) const
{
    for (const auto& [name, value] : headers)
        if (name == lowerName)
            return value;
    return {};
}

int RawExchange::firstRows() const
{
    return reply.sections.empty() ? -1 : reply.sections.front().rowCount;
}

RawExchange exchangeFrom(const std::string& sourceAddress, unsigned short port,
                         const std::vector<std::string>& items, const std::string& cookieValue,
                         const std::string& extraHeaders)
{
    RawExchange out;
    const std::string body = *zlibCompress(wire::buildRequestText(items), ZlibLevel::Fastest);
    const std::string request =
        "POST /ORQ/servlet/ApsServlet/ HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nCookie:" + cookieValue + "\r\n" + extraHeaders + "\r\n" + body;
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, sourceAddress.c_str(), &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0 &&
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
        char chunk[4096];
        for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;)
            answer.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    const std::size_t end = answer.find("\r\n\r\n");
    if (answer.rfind("HTTP/1.", 0) != 0 || end == std::string::npos)
        return out;
    out.status = std::atoi(answer.c_str() + 9);
    std::size_t line = answer.find("\r\n") + 2;
    while (line < end) {
        const std::size_t next = answer.find("\r\n", line);
        const std::string field = answer.substr(line, next - line);
        if (const std::size_t colon = field.find(':'); colon != std::string::npos) {
            std::string name = field.substr(0, colon);
            for (char& c : name)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            std::size_t v = colon + 1;
            while (v < field.size() && field[v] == ' ')
                ++v;
            out.headers.emplace_back(name, field.substr(v));
        }
        line = next + 2;
    }
    if (auto text = zlibDecompress(answer.substr(end + 4))) {
        out.text = *text;
        if (auto parsed = wire::parseReplyText(out.text, static_cast<int>(items.size()) - 1))
            out.reply = std::move(*parsed);
    }
    return out;
}

std::string quoted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '\'')
            out += '\'';
    }
    return out;
}

std::string loginSql(const std::string& user, const std::string& password)
{
    return "SELECT a.USR_NM, a.E_MAIL, a.MAIL_STATUS FROM USR_INFO a WHERE a.USR_STATUS <> 1 AND a.USR_ID = "
           "'" +
           quoted(user) + "' AND a.PASS_WORD = '" + quoted(password) + "' ";
}

std::string passwordChangeSql(const std::string& user, const std::string& current, const std::string& next)
{
    return "UPDATE USR_INFO a SET a.PASS_WORD = '" + next + "' WHERE a.USR_ID = '" + user +
           "' AND a.PASS_WORD = '" + current + "' ";
}

std::string mailChangeSql(const std::string& user, const std::string& current, const std::string& next)
{
    return "UPDATE USR_INFO a SET a.E_MAIL = '" + next + "' WHERE a.USR_ID = '" + user +
           "' AND a.E_MAIL = '" + current + "' ";
}

const std::string kScreeningColumns =
    "SELECT a.STK_CD, a.STK_NM, b.MKT_NM, c.STK_DATE, c.S_PRICE, c.H_PRICE, c.L_PRICE, c.E_PRICE, "
    "c.STK_VLM, c.PT_RANGE, c.PY_RANGE, c.H_RANGE, c.L_RANGE, c.V_RANGE, c.RENZOKU, c.MA_05, c.MA_15, "
    "c.MA_25, "
    "c.MA_50, c.STC_K, c.STC_D, c.STC_SD, c.RSI, c.U_OSI, c.WIL_R, c.RCI, c.CCI, c.ARATIO, "
    "c.BRATIO, c.PAR_SAR, c.WIL_SAR, c.VOL_P2, c.VOL_M2, c.VOL_P1, c.VOL_M1, c.VR_A, c.VR_B, c.VR_W, "
    "c.DMI_P, c.DMI_M, c.DMI_ADX, c.MACD, c.MACD_S, c.SAI_A, c.SAI_B, a.MKT_CD FROM ";

void seedMarket(TestServer& server)
{
    server.addUser("demo", "demo1234", "デモ ユーザー", "demo@example.com");
    server.addUser("blocked", "block123", "止め", "blocked@example.com", true);
    server.addUser("bounce", "bounce12", "戻り", "bounce@example.com", false, "1");
    server.execSql("INSERT INTO STK_UPD VALUES (2, '2006/05/12'), (1, '2006/05/15')");
    server.execSql("INSERT INTO STK_INFO VALUES "
                   "('1301', '極洋', 11), ('1332', '日本水産', 11), ('1333', 'マルハニチロ', 11), "
                   "('1334', 'マルハ食品', 11), ('7203', 'トヨタ自動車', 11), ('9984', 'ソフトバンク', 12)");
    // 2006/05/15, the screening day. Moving-average deviation (MA_05 - MA_25) / MA_25:
    // 1301: (290 - 285) / 285 = 0.0175; 1332: (520 - 500) / 500 = 0.04; 1334: (1150 - 1120) / 1120 = 0.0268;
    // 7203: (5990 - 6100) / 6100 < 0; 9984 is in another market; 1333 has no close.
    server.execSql("INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, "
                   "STK_VLM, PT_RANGE, "
                   "MA_05, MA_25, RSI) VALUES "
                   "('1301', '2006/05/15', 295, 301.5, 294, 300, 123400, 1.6949152542372881, 290, 285, 0.1), "
                   "('1332', '2006/05/15', 505, 510, 495, 500, 88000, -0.99, 520, 500, 55.25), "
                   "('1333', '2006/05/15', 0, 0, 0, 0, 0, NULL, 210, 205, NULL), "
                   "('1334', '2006/05/15', 1190, 1210, 1180, 1200, 5000, 0.84, 1150, 1120, 70), "
                   "('7203', '2006/05/15', 6010, 6050, 5980, 6000, 1000000, -0.17, 5990, 6100, 40), "
                   "('9984', '2006/05/15', 3000, 3100, 2990, 3050, 2000000, 1.67, 3000, 2900, 60)");
    // Prices of 1301 around a three-month run ending 2006/05/15 (lead-in from 2005/11/27).
    server.execSql(
        "INSERT INTO STK_DAILY_TSE_2006 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM) "
        "VALUES ('1301', '2006/01/05', 280, 282, 279, 281, 1000), "
        "('1301', '2006/02/15', 290, 292.25, 288, 291, 2000), "
        "('1301', '2006/03/01', 0, 0, 0, 0, 0), "
        "('1301', '2006/05/16', 301, 305, 300, 304, 3000), "
        "('1332', '2006/02/15', 500, 501, 499, 500, 4000)");
    server.execSql(
        "INSERT INTO STK_DAILY_TSE_2005 (STK_CD, STK_DATE, S_PRICE, H_PRICE, L_PRICE, E_PRICE, STK_VLM) "
        "VALUES ('1301', '2005/11/26', 260, 261, 259, 260, 500), "
        "('1301', '2005/11/28', 262, 263, 261, 262.5, 600), "
        "('1301', '2005/12/30', 270, 271, 269, 270, 700)");
}

} // namespace vorteq::test
