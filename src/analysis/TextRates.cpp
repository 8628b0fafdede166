#include "analysis/TextRates.h"

#include "common/NumberText.h"

#include <cmath>
#include <cstdint>

namespace vorteq {
namespace {

// Round2Text of the text of x: the value that text reads back as, times 100, truncated toward
// zero and divided by 100, as the text of the result reads back. Below 1E13 the result q / 100 has
// at most 15 significant digits and is already the nearest value to its own text.
long double roundedReadBack(long double readBack)
{
    const long double t = truncate2(readBack);
    return std::fabs(t) < 1e13L ? t : readBackNumber(t);
}

} // namespace

// The same for a value kept as computed (putFinal). The text's value differs from x by at most
// 5E-15 relative, so where x x 100 lies clearly between two whole numbers both truncate alike and
// the read-back can be skipped; near a whole number (values with two decimals or fewer) the text
// is read back first.
long double round2OfText(long double x)
{
    // Adding 2^63 rounds a magnitude below 2^63 to a whole number (no switch of the FPU's
    // rounding mode, which an integer conversion needs).
    constexpr long double kToInteger = 9223372036854775808.0L;
    const long double p = x * 100;
    const long double a = std::fabs(p);
    if (a < 1e13L) {
        long double whole = (a + kToInteger) - kToInteger;
        if (whole > a)
            whole -= 1; // toward zero
        const long double f = a - whole;
        const long double margin = a * 4e-14L + 1e-12L;
        if (f > margin && 1 - f > margin) {
            if (whole == 0)
                return 0.0L; // the text "0" reads back as positive zero
            return (p < 0 ? -whole : whole) / 100;
        }
    }
    return roundedReadBack(readBackNumber(x));
}

std::optional<std::string> Round2Text(std::string_view x)
{
    if (x.empty())
        return "0";
    const auto v = parseNumber(x);
    if (!v)
        return std::nullopt;
    return formatNumber(truncate2(*v));
}

std::optional<std::string> RateText(std::string_view a, std::string_view b)
{
    if (a == "0" || b == "0")
        return "0";
    const auto va = parseNumber(a);
    const auto vb = parseNumber(b);
    if (!va || !vb)
        return std::nullopt;
    const long double r = (*va - *vb) / *vb * 100;
    if (!std::isfinite(r))
        return std::nullopt;
    return formatNumber(r);
}

} // namespace vorteq
