#pragma once

#include "common/Result.h"

#include <string>
#include <string_view>

namespace vorteq {

inline constexpr int kDefaultServerPort = 8080;
inline constexpr const char* kDefaultServerHost = "localhost";

// The servlet URL for a deployment's "HOST[:PORT]" ("[::1]:PORT" for an IPv6 address), optionally
// preceded by "http://" or "https://" (the scheme, http when none is given); the port defaults to
// 8080 with either scheme, the path is fixed.
Result<std::string> makeServerUrl(std::string_view hostPort);

} // namespace vorteq
