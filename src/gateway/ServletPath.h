#pragma once

#include <string_view>

namespace vorteq {

// The path of the statement server's one endpoint: the client and the command line post every
// statement batch to http(s)://HOST:PORT followed by it, and the server answers nothing else.
inline constexpr std::string_view kServletPath = "/ORQ/servlet/ApsServlet/";

} // namespace vorteq
