#include "common/NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace vorteq {
namespace {

constexpr int kDigits = 15;        // significant digits of the general format
constexpr int kMaxExactPow10 = 27; // 10^27 = 2^27 * 5^27 and 5^27 < 2^64: exact in 80-bit floats

constexpr std::array<long double, kMaxExactPow10 + 1> makePow10()
{
    std::array<long double, kMaxExactPow10 + 1> t{};
    long double p = 1.0L;
    for (auto& v : t) {
        v = p;
        p *= 10.0L;
    }
    return t;
}
constexpr auto kPow10 = makePow10();

void appendUnsigned(std::string& out, std::uint64_t n)
{
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    do {
        *--p = static_cast<char>('0' + n % 10);
        n /= 10;
    } while (n != 0);
    out.append(p, end);
}

void appendExponent(std::string& out, int exp10)
{
    out.push_back('E');
    if (exp10 < 0) {
        out.push_back('-');
        exp10 = -exp10;
    }
    appendUnsigned(out, static_cast<std::uint64_t>(exp10));
}

// Lays out 15 significant digits (trailing zeros already stripped) with decimal exponent x, as
// printf's %g does with precision 15: fixed when -4 <= x < 15, otherwise exponent form.
void appendLaidOut(std::string& out, bool negative, std::string_view digits, int x)
{
    if (negative)
        out.push_back('-');
    const int nd = static_cast<int>(digits.size());
    if (x >= -4 && x < kDigits) {
        if (x >= 0) {
            const int intDigits = x + 1;
            if (nd <= intDigits) {
                out.append(digits);
                out.append(static_cast<std::size_t>(intDigits - nd), '0');
            } else {
                out.append(digits.substr(0, static_cast<std::size_t>(intDigits)));
                out.push_back('.');
                out.append(digits.substr(static_cast<std::size_t>(intDigits)));
            }
        } else {
            out.append("0.");
            out.append(static_cast<std::size_t>(-x - 1), '0');
            out.append(digits);
        }
        return;
    }
    out.push_back(digits[0]);
    if (nd > 1) {
        out.push_back('.');
        out.append(digits.substr(1));
    }
    appendExponent(out, x);
}

void appendNonFinite(std::string& out, long double value)
{
    if (std::isnan(value))
        out.append("NAN");
    else
        out.append(value < 0 ? "-INF" : "INF");
}

// Exact path: the C library's correctly rounded %.15Lg (through to_chars), rewritten to our
// exponent form.
void appendExact(std::string& out, long double value)
{
    if (!std::isfinite(value)) {
        appendNonFinite(out, value);
        return;
    }
    if (value == 0.0L) {
        out.push_back('0');
        return;
    }
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, kDigits);
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    const auto e = text.find('e');
    if (e == std::string_view::npos) {
        out.append(text);
        return;
    }
    out.append(text.substr(0, e));
    std::string_view exp = text.substr(e + 1);
    bool negExp = false;
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) {
        negExp = exp[0] == '-';
        exp.remove_prefix(1);
    }
    while (exp.size() > 1 && exp[0] == '0')
        exp.remove_prefix(1);
    out.push_back('E');
    if (negExp)
        out.push_back('-');
    out.append(exp);
}

// Scales a by 10^k with one rounding, k within the exact power table.
inline long double scale(long double a, int k)
{
    return k >= 0 ? a * kPow10[static_cast<std::size_t>(k)] : a / kPow10[static_cast<std::size_t>(-k)];
}

bool isBlank(char c)
{
    return c == ' ';
}

// Exponent e of a finite positive 80-bit float, 2^e <= a < 2^(e+1), read from its bits.
inline int binaryExponent(long double a)
{
    static_assert(std::numeric_limits<long double>::digits == 64, "80-bit extended floats expected");
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &a, sizeof bytes);
    const int biased = ((bytes[9] & 0x7f) << 8) | bytes[8];
    return biased - 16383;
}

inline int floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The 15 significant digits of a finite, non-zero magnitude a that is not a whole number below
// 1E15: a ~ mantissa x 10^-k with 1E14 <= mantissa <= 1E15. False when the fast path cannot decide
// (the exact conversion must then be used).
bool roundTo15Digits(long double a, std::uint64_t& mantissa, int& k)
{
    // Scale a into [1E14, 1E15) by an exact power of ten; the one rounding of that product leaves
    // an absolute error far below 1E-3, so the rounding to an integer is decided correctly
    // unless the fraction lies next to one half (then the exact path decides).
    const int exp2 = binaryExponent(a);
    k = kDigits - 1 - floorDiv(exp2 * 78913, 262144); // 78913 / 2^18 ~ log10(2)
    long double s = 0;
    for (int tries = 0;; ++tries) {
        if (k > kMaxExactPow10 || k < -kMaxExactPow10 || tries == 3)
            return false;
        s = scale(a, k);
        if (s >= 1e15L)
            --k;
        else if (s < 1e14L)
            ++k;
        else
            break;
    }
    // Round to the nearest integer (the FPU's mode, no switch to truncation), then look at what
    // was dropped.
    const long long nearest = __builtin_llrintl(s);
    const long double dropped = s - static_cast<long double>(nearest);
    if (dropped > 0.499L || dropped < -0.499L)
        return false;
    mantissa = static_cast<std::uint64_t>(nearest);
    return true;
}

// A whole number below 1E15 is written as its plain digits.
inline bool isSmallWhole(long double a, long long& whole)
{
    if (a >= 1e15L)
        return false;
    whole = __builtin_llrintl(a);
    return static_cast<long double>(whole) == a;
}

} // namespace

void appendNumber(std::string& out, long double value)
{
    if (!std::isfinite(value)) {
        appendNonFinite(out, value);
        return;
    }
    if (value == 0.0L) {
        out.push_back('0');
        return;
    }
    const bool negative = std::signbit(value);
    const long double a = negative ? -value : value;

    long long whole = 0;
    if (isSmallWhole(a, whole)) {
        if (negative)
            out.push_back('-');
        appendUnsigned(out, static_cast<std::uint64_t>(whole));
        return;
    }
    std::uint64_t mantissa = 0;
    int k = 0;
    if (!roundTo15Digits(a, mantissa, k)) {
        appendExact(out, value);
        return;
    }
    int x = kDigits - 1 - k; // decimal exponent of the first digit
    if (mantissa == 1000000000000000ULL) {
        mantissa = 100000000000000ULL;
        ++x;
    }
    char digits[16];
    for (int i = kDigits - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + mantissa % 10);
        mantissa /= 10;
    }
    int nd = kDigits;
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    appendLaidOut(out, negative, std::string_view(digits, static_cast<std::size_t>(nd)), x);
}

long double detail::readBackNumberFull(long double value)
{
    if (!std::isfinite(value))
        return value;
    if (value == 0.0L)
        return 0.0L; // "0" reads back as positive zero
    const bool negative = std::signbit(value);
    const long double a = negative ? -value : value;
    long long whole = 0;
    if (isSmallWhole(a, whole))
        return value; // a whole number is written as its digits and reads back unchanged
    std::uint64_t mantissa = 0;
    int k = 0;
    if (!roundTo15Digits(a, mantissa, k)) {
        // Rare: let the text decide.
        const auto back = parseNumber(formatNumber(value));
        return back ? *back : value;
    }
    // The text is mantissa x 10^-k; reading it back is one correctly rounded scaling by an exact
    // power of ten, the same operation parseNumber performs on the same exact decimal.
    const long double v = scale(static_cast<long double>(mantissa), -k);
    return negative ? -v : v;
}

std::string formatNumber(long double value)
{
    std::string out;
    appendNumber(out, value);
    return out;
}

std::string formatNumberExact(long double value)
{
    std::string out;
    appendExact(out, value);
    return out;
}

std::optional<long double> parseNumber(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t bodyStart = i;

    // Mantissa: up to 19 significant digits gathered exactly; more send us to the exact path.
    std::uint64_t m = 0;
    int sigDigits = 0;
    int dropped = 0;    // significant digits beyond the 19 kept (integer part only matters)
    int fracDigits = 0; // kept digits after the point
    bool anyDigit = false;
    bool pastPoint = false;
    bool tooLong = false;
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (m == 0 && c == '0') {
                if (pastPoint)
                    ++fracDigits;
                continue;
            }
            if (sigDigits < 19) {
                m = m * 10 + static_cast<std::uint64_t>(c - '0');
                ++sigDigits;
                if (pastPoint)
                    ++fracDigits;
            } else {
                tooLong = true;
                if (!pastPoint)
                    ++dropped;
            }
        } else if (c == '.' && !pastPoint) {
            pastPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        return std::nullopt;
    int exp10 = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negExp = text[i] == '-';
            ++i;
        }
        if (i >= n || text[i] < '0' || text[i] > '9')
            return std::nullopt;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
            if (exp10 < 100000)
                exp10 = exp10 * 10 + (text[i] - '0');
        }
        if (negExp)
            exp10 = -exp10;
    }
    if (i != n)
        return std::nullopt;

    if (m == 0)
        return negative ? -0.0L : 0.0L;
    const int e = exp10 - fracDigits + dropped;
    if (!tooLong && e >= -kMaxExactPow10 && e <= kMaxExactPow10) {
        const long double v = scale(static_cast<long double>(m), e);
        return negative ? -v : v;
    }

    // Exact path through the C library (locale-independent). Its grammar wants no sign.
    std::string_view body = text.substr(bodyStart);
    long double v = 0;
    auto res = std::from_chars(body.data(), body.data() + body.size(), v, std::chars_format::general);
    if (res.ec != std::errc() || res.ptr != body.data() + body.size() || !std::isfinite(v))
        return std::nullopt;
    return negative ? -v : v;
}

std::optional<std::int64_t> parseInt64(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size())
        return std::nullopt;
    // Accumulate as a negative number so that the most negative value fits.
    std::int64_t v = 0;
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        const int d = c - '0';
        if (v < (kMin + d) / 10)
            return std::nullopt;
        v = v * 10 - d;
    }
    if (!negative) {
        if (v == kMin)
            return std::nullopt;
        v = -v;
    }
    return v;
}

std::optional<std::int32_t> parseInt32(std::string_view text)
{
    const auto v = parseInt64(text);
    if (!v || *v < std::numeric_limits<std::int32_t>::min() || *v > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

std::int64_t truncateToInt64(long double value)
{
    constexpr long double kLimit = 9223372036854775807.0L;
    if (std::isnan(value))
        return 0;
    if (value >= kLimit)
        return std::numeric_limits<std::int64_t>::max();
    if (value <= -kLimit)
        return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

long double truncate2(long double value)
{
    const long double product = value * 100.0L;
    if (!std::isfinite(product) || std::fabs(product) >= 9.2e18L)
        return value;
    return static_cast<long double>(static_cast<std::int64_t>(product)) / 100.0L;
}

} // namespace vorteq
