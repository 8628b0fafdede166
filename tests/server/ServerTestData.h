#pragma once

#include "gateway/WireCodec.h"
#include "support/TestServer.h"

#include <string>
#include <utility>
#include <vector>

namespace vorteq::test {

// Single quotes doubled, as the client does for typed text.
std::string quoted(const std::string& text);

// The user query of the login window.
std::string loginSql(const std::string& user, const std::string& password);
// The update-dates query of the login window.
inline const std::string kUpdateDatesSql = "SELECT a.UPD_DATE FROM STK_UPD a ORDER BY a.UPD_FLG ";

// The account window's two UPDATEs.
std::string passwordChangeSql(const std::string& user, const std::string& current, const std::string& next);
std::string mailChangeSql(const std::string& user, const std::string& current, const std::string& next);

// The screening column list (46 columns, market code last) up to and including "FROM ".
extern const std::string kScreeningColumns;

// One exchange over a fresh connection from a given loopback source address (127.0.0.2 ... stand for
// other clients), as the desktop client makes it.
struct RawExchange {
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    std::string text;                                         // the inflated reply text
    wire::ParsedReply reply;                                  // its sections

    std::string header(const std::string& lowerName) const;
    // Rows of the first section, or -1 when there is none.
    int firstRows() const;
};
// extraHeaders: further header lines, each ended by CR LF.
RawExchange exchangeFrom(const std::string& sourceAddress, unsigned short port,
                         const std::vector<std::string>& items, const std::string& cookieValue = "",
                         const std::string& extraHeaders = "");

// Users demo/demo1234, blocked/block123 (USR_STATUS 1) and bounce/bounce12 (MAIL_STATUS "1");
// the two update dates; six stocks of three markets with daily rows in 2005 and 2006 (see the .cpp).
void seedMarket(TestServer& server);

} // namespace vorteq::test
