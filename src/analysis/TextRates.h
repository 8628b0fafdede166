#pragma once

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

// The value that Round2Text of the general-format text of x reads back as, computed without
// making either text. x may be any finite value, read back from its text or not.
long double round2OfText(long double x);

} // namespace vorteq
