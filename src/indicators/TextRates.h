#pragma once

#include "common/NumberText.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// Round2Text: the empty text gives "0"; otherwise the number times 100, truncated toward zero to a
// whole number, divided by 100, in the general format ("12.3456" -> "12.34", "-7.899" -> "-7.89").
// The product is formed in binary without correction, so "525.6" gives "525.59". Nothing when
// the text is not a number.
std::optional<std::string> Round2Text(std::string_view x);

// RateText: "0" when a or b is the text "0" (the text, not the number); otherwise
// (a - b) / b x 100 in the general format, unrounded. Nothing when a text is not a number or the
// result has no finite value.
std::optional<std::string> RateText(std::string_view a, std::string_view b);

// Round2Text of the general-format text of x as a whole number of hundredths q, where it can be
// decided without reading the text back: false otherwise (round2ToHundredths settles those). Calls
// nothing, so a loop of extended-float arithmetic may run it on a value still in a register.
// The text's value differs from x by at most 5E-15 relative, so where x x 100 lies clearly
// between two whole numbers both truncate alike and the read-back can be skipped. That decision
// is taken on x x 100 rounded to double (off by 1.1E-16 relative at most, well inside the
// margin), whose truncation to an integer needs no switch of the FPU's rounding mode.
inline bool round2ToHundredthsQuick(long double x, std::int64_t& q)
{
    const long double p = x * 100;
    const auto pd = static_cast<double>(p);
    const double ad = pd < 0 ? -pd : pd;
    if (!(ad < 1e15))
        return false;
    const auto t = static_cast<std::int64_t>(pd); // toward zero
    const double f = pd < 0 ? static_cast<double>(t) - pd : pd - static_cast<double>(t);
    const double margin = ad * 5e-14 + 1e-12;
    if (f > margin && 1 - f > margin) {
        q = t;
        return true;
    }
    // x is the nearest value to a decimal of whole hundredths (a sum of prices over 5, say) and
    // x x 100 is exactly that whole number: the text is that decimal, it reads back as x, and
    // truncating keeps it.
    const auto nearest = static_cast<std::int64_t>(pd < 0 ? pd - 0.5 : pd + 0.5);
    if (p == static_cast<long double>(nearest) && static_cast<long double>(nearest) / 100 == x) {
        q = nearest;
        return true;
    }
    return false;
}

// Round2Text of the general-format text of x as a whole number of hundredths q: the result is
// q / 100 (correctly rounded, as the text of the result reads back). False for results of 1E13
// and more, which round2OfText gives through the text. x may be any finite value, read back from
// its text or not. Near a whole number of hundredths the value of the text itself is truncated.
inline bool round2ToHundredths(long double x, std::int64_t& q)
{
    if (round2ToHundredthsQuick(x, q))
        return true;
    const double ad = std::fabs(static_cast<double>(x * 100));
    if (!(ad < 1e15))
        return false;
    // Otherwise truncate the text's value in full precision: adding 2^63 rounds a magnitude below 2^63 to a
    // whole number, one less where it rounded up; that whole number is exact as a double.
    constexpr long double kToInteger = 9223372036854775808.0L;
    const long double r = readBackNumber(x) * 100;
    const long double a = r < 0 ? -r : r;
    if (!(a < 1e15L))
        return false;
    long double whole = (a + kToInteger) - kToInteger;
    if (whole > a)
        whole -= 1;
    const auto n = static_cast<std::int64_t>(static_cast<double>(whole));
    q = r < 0 ? -n : n;
    return true;
}

// The value that Round2Text of the general-format text of x reads back as, computed without
// making either text.
long double round2OfText(long double x);

} // namespace vorteq
