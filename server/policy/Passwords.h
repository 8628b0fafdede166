#pragma once

#include "common/Result.h"

#include <optional>
#include <string>
#include <string_view>

namespace vorteq::server {

// The Argon2id cost of new password hashes. A stored hash carries its own parameters, so hashes
// made at one cost still verify after the cost is changed.
enum class HashCost { Min, Interactive, Moderate };

// "min", "interactive", "moderate".
std::optional<HashCost> parseHashCost(std::string_view text);

// Starts libsodium once; every function below calls it.
bool initCrypto();

// The Argon2id hash string of a password (parameters and salt included).
Result<std::string> hashPassword(std::string_view password, HashCost cost);

// True when the password matches the stored hash; false for a wrong password or a damaged hash.
bool verifyPassword(std::string_view storedHash, std::string_view password);

// True when a stored hash was made with other parameters than the cost's (or does not parse).
bool passwordNeedsRehash(std::string_view storedHash, HashCost cost);

// A new random session token: 32 random bytes as 64 lowercase hex digits.
std::string newSessionToken();

// The digest kept in the database instead of the token (BLAKE2b-256 as hex).
std::string tokenDigest(std::string_view token);

} // namespace vorteq::server
