#pragma once

#include <string>

namespace vorteq {

// Sets server_url, shows the login window modally and returns login_ok once it has closed.
bool run_login(const std::string& serverUrl);

} // namespace vorteq
