#pragma once

#include <string>

class QWidget;

namespace vorteq {

// Sets server_url, shows the login window modally and returns login_ok once it has closed.
bool run_login(const std::string& serverUrl);

// A new login for the session's own user after the server ended the session: the login window
// again, modal over parent, with the user ID fixed. On success the session holds the new login
// (cookie, update dates); on cancel it is left exactly as it was. Returns whether it succeeded.
bool run_relogin(QWidget* parent);

} // namespace vorteq
