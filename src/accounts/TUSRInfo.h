#pragma once

#include <string>

namespace vorteq {

// The logged-in user as the login read it from USR_INFO; the account window updates the password
// and the e-mail address after a successful change.
struct TUSRInfo {
    std::string userName;   // USR_NM
    std::string userId;     // as typed at the login
    std::string password;   // as typed at the login, or as changed since
    std::string email;      // E_MAIL
    std::string mailStatus; // MAIL_STATUS: "1" when mail to the address cannot be delivered
};

} // namespace vorteq
