#pragma once

#include <filesystem>
#include <string>

namespace vorteq::test {

// A self-signed certificate for 127.0.0.1 (its own authority) and its key, as PEM files.
struct TestCertificate {
    std::string certFile;
    std::string keyFile;
};

// Writes server.crt and server.key into dir; throws std::runtime_error when OpenSSL fails.
TestCertificate makeTestCertificate(const std::filesystem::path& dir);

} // namespace vorteq::test
