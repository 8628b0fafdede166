#pragma once

#include <cstdint>
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

// The value that reading back the general-format text of value gives, without making the text:
// exactly parseNumber(formatNumber(value)) for every finite value (negative zero reads back as 0).
// Non-finite values are returned unchanged (their text does not read back).
long double readBackNumber(long double value);

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
