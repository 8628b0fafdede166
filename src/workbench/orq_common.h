#pragma once

#include "accounts/TUSRInfo.h"

#include <string>

namespace vorteq {

// The session: one instance for the process, filled by the login and read by every feature.
struct SessionState {
    std::string server_url;   // http://HOST:PORT/ORQ/servlet/ApsServlet/
    std::string base_dir;     // folder holding SysData/ and UsrData/, no trailing separator
    bool login_ok = false;    // true once the login succeeded
    TUSRInfo usr_info;        // the logged-in user
    std::string stk_upd_date; // latest stock-price update, yyyy/mm/dd; today until the login fills it
    std::string fx_upd_date;  // latest exchange-rate update; empty until the login fills it
};

// The process's session.
SessionState& session();

} // namespace vorteq
