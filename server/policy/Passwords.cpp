#include "server/policy/Passwords.h"

#include <array>
#include <mutex>
#include <sodium.h>

namespace vorteq::server {

namespace {
std::string toHex(const unsigned char* bytes, std::size_t size)
{
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), bytes, size);
    hex.pop_back();
    return hex;
}
} // namespace

std::optional<HashCost> parseHashCost(std::string_view text)
{
    if (text == "min")
        return HashCost::Min;
    if (text == "interactive")
        return HashCost::Interactive;
    if (text == "moderate")
        return HashCost::Moderate;
    return std::nullopt;
}

bool initCrypto()
{
    static const bool ok = sodium_init() >= 0;
    return ok;
}

namespace {
struct CostParams {
    unsigned long long ops = crypto_pwhash_OPSLIMIT_INTERACTIVE;
    std::size_t mem = crypto_pwhash_MEMLIMIT_INTERACTIVE;
};

CostParams paramsOf(HashCost cost)
{
    switch (cost) {
    case HashCost::Min:
        return {crypto_pwhash_OPSLIMIT_MIN, crypto_pwhash_MEMLIMIT_MIN};
    case HashCost::Interactive:
        break;
    case HashCost::Moderate:
        return {crypto_pwhash_OPSLIMIT_MODERATE, crypto_pwhash_MEMLIMIT_MODERATE};
    }
    return {};
}
} // namespace

bool passwordNeedsRehash(std::string_view storedHash, HashCost cost)
{
    if (!initCrypto() || storedHash.size() >= crypto_pwhash_STRBYTES)
        return true;
    std::array<char, crypto_pwhash_STRBYTES> hash{};
    storedHash.copy(hash.data(), storedHash.size());
    const CostParams p = paramsOf(cost);
    return crypto_pwhash_str_needs_rehash(hash.data(), p.ops, p.mem) != 0;
}

Result<std::string> hashPassword(std::string_view password, HashCost cost)
{
    if (!initCrypto())
        return makeError(ErrorCode::Internal, "暗号ライブラリを初期化できません");
    const auto [ops, mem] = paramsOf(cost);
    std::array<char, crypto_pwhash_STRBYTES> out{};
    if (crypto_pwhash_str_alg(out.data(), password.data(), password.size(), ops, mem,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        return makeError(ErrorCode::Internal, "パスワードのハッシュを作れません (メモリ不足)");
    return std::string(out.data());
}

bool verifyPassword(std::string_view storedHash, std::string_view password)
{
    if (!initCrypto() || storedHash.size() >= crypto_pwhash_STRBYTES)
        return false;
    std::array<char, crypto_pwhash_STRBYTES> hash{};
    storedHash.copy(hash.data(), storedHash.size());
    return crypto_pwhash_str_verify(hash.data(), password.data(), password.size()) == 0;
}

std::string newSessionToken()
{
    initCrypto();
    std::array<unsigned char, 32> bytes{};
    randombytes_buf(bytes.data(), bytes.size());
    return toHex(bytes.data(), bytes.size());
}

std::string tokenDigest(std::string_view token)
{
    initCrypto();
    std::array<unsigned char, crypto_generichash_BYTES> digest{};
    crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    return toHex(digest.data(), digest.size());
}

} // namespace vorteq::server
