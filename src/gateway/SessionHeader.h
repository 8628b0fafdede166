#pragma once

#include <string_view>

namespace vorteq {

// The reply header with which the server marks a batch it refused because the request carried no
// live session (no cookie, an unknown token, or one whose lifetime has run out). The body is the
// usual -99; the header is what tells "log in again" apart from a failed statement.
inline constexpr std::string_view kSessionHeaderName = "X-Vorteq-Session";
inline constexpr std::string_view kSessionExpiredValue = "expired";

} // namespace vorteq
