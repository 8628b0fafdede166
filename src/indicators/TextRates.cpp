#include "indicators/TextRates.h"

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

long double round2OfText(long double x)
{
    std::int64_t q = 0;
    if (round2ToHundredths(x, q))
        return static_cast<long double>(q) / 100;
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
