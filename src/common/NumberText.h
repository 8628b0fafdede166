#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// The general number format that every stored number follows: at most 15 significant digits,
// fixed notation for magnitudes from 0.0001 up to below 1E15 (decided after rounding to 15
// digits), otherwise mantissa, "E" and the exponent without a plus sign (1E-5, 2.5E16);
// trailing zeros and a trailing point dropped; zero (also negative zero) is "0".
std::string formatNumber(long double value);

// Appends formatNumber(value) to out without a temporary string.
void appendNumber(std::string& out, long double value);

namespace detail {
constexpr std::array<long double, 28> makeExactPow10()
{
    std::array<long double, 28> t{};
    long double p = 1.0L;
    for (auto& v : t) {
        v = p;
        p *= 10.0L;
    }
    return t;
}
// 10^0 .. 10^27: exact in 80 bits (10^27 = 2^27 x 5^27 and 5^27 < 2^64).
inline constexpr std::array<long double, 28> kExactPow10 = makeExactPow10();

// readBackNumber for the values its inline part leaves: non-finite, very large or very small
// magnitudes, and fractions next to one half at the 15th digit. Cold: a loop that calls it only on
// that rare path keeps its extended-float values in registers on the common one.
[[gnu::cold]] long double readBackNumberFull(long double value);
} // namespace detail

// The value that reading back the general-format text of value gives, without making the text:
// exactly parseNumber(formatNumber(value)) for every finite value (negative zero reads back as 0).
// Non-finite values are returned unchanged (their text does not read back).
// Inline for the common magnitudes, as the analysis calls it for every value it stores.
//
// scaleHint carries the power of ten that brought the last value of the same kind into fifteen
// whole digits (-1: none yet). Values of one kind mostly keep their magnitude, so the hint is
// usually right, and trying it first spares the estimate from the binary exponent, which lies on
// the path of a value through a chain of stored values. Any hint gives the same result.
inline long double readBackNumber(long double value, int& scaleHint)
{
    // Adding 2^63 to a magnitude below 2^63 rounds it to an integer in the FPU's mode, as
    // llrintl does, without the round trip through an integer register.
    constexpr long double kToInteger = 9223372036854775808.0L;
    constexpr int kMaxScale = static_cast<int>(detail::kExactPow10.size()) - 1;
    const long double a = value < 0 ? -value : value;
    if (__builtin_expect(!(a < 1e15L), 0))
        return detail::readBackNumberFull(value); // also infinity and NaN
    if (a == 0)
        return 0.0L; // "0" reads back as positive zero
    if ((a + kToInteger) - kToInteger == a)
        return value; // a whole number is written as its digits and reads back unchanged

    // Scale a into [1E14, 1E15) by an exact power of ten 10^k: the hint's, or else one found from
    // the decimal exponent of the value rounded to double (off by one at most, which the loop
    // corrects).
    int k = scaleHint;
    long double s = 0;
    if (k < 0 || k > kMaxScale ||
        !((s = a * detail::kExactPow10[static_cast<std::size_t>(k)]) >= 1e14L && s < 1e15L)) {
        const double approx = static_cast<double>(a);
        std::uint64_t bits = 0;
        std::memcpy(&bits, &approx, sizeof bits);
        const int exp2 = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
        if (exp2 < -40) // below about 1E-12: 10^k would leave the exact table
            return detail::readBackNumberFull(value);
        k = 14 - (exp2 * 78913 >> 18); // 78913 / 2^18 ~ log10(2); the shift floors
        for (int tries = 0;; ++tries) {
            if (k > kMaxScale || k < 0 || tries == 3)
                return detail::readBackNumberFull(value);
            s = a * detail::kExactPow10[static_cast<std::size_t>(k)];
            if (s >= 1e15L)
                --k;
            else if (s < 1e14L)
                ++k;
            else
                break;
        }
        scaleHint = k;
    }
    // The 15 digits: s rounded to a whole number, unless the dropped fraction is next to one half
    // (then the text decides).
    const long double rounded = (s + kToInteger) - kToInteger;
    const long double dropped = s - rounded;
    if (__builtin_expect(dropped > 0.499L || dropped < -0.499L, 0))
        return detail::readBackNumberFull(value);
    // The text is rounded x 10^-k; reading it back is one correctly rounded division by an exact
    // power of ten, the same operation parseNumber performs on the same exact decimal.
    const long double v = rounded / detail::kExactPow10[static_cast<std::size_t>(k)];
    return value < 0 ? -v : v;
}

inline long double readBackNumber(long double value)
{
    int noHint = -1;
    return readBackNumber(value, noHint);
}

// Text to an 80-bit float: leading blanks, an optional sign, digits with an optional point and an
// optional exponent ("1e6", "-.5", "3."). Anything else, including trailing characters, "inf" and
// "nan", an empty text or a value out of range, is not a number.
std::optional<long double> parseNumber(std::string_view text);

// Text to a 32-bit integer: leading blanks, an optional sign, decimal digits; nothing else.
std::optional<std::int32_t> parseInt32(std::string_view text);

// Same for 64-bit integers.
std::optional<std::int64_t> parseInt64(std::string_view text);

// Multiplies by 100, truncates toward zero to a 64-bit integer and divides by 100. The product is
// formed in base 2 without correction, so 525.6 may come back as 525.59: the rule the results rely on.
long double truncate2(long double value);

// Truncation toward zero to a 64-bit integer; values beyond its range saturate.
std::int64_t truncateToInt64(long double value);

// The "general format" fallback: exact, slow, used where the fast path cannot decide.
std::string formatNumberExact(long double value);

} // namespace vorteq
