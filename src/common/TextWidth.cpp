#include "common/TextWidth.h"

#include <clocale>
#include <cwchar>
#include <locale.h>

namespace vorteq {

namespace {

// The C library knows the width of every character in a UTF-8 locale; C.UTF-8 is built into glibc,
// so the answer does not depend on the user's locale settings.
locale_t utf8Locale()
{
    static const locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    return locale;
}

// One code point from the front of text; the number of bytes it took, 0 for a byte that starts no
// valid sequence.
std::size_t decode(std::string_view text, char32_t& out)
{
    const auto b0 = static_cast<unsigned char>(text[0]);
    std::size_t n = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
        out = b0;
        return 1;
    }
    if ((b0 & 0xE0) == 0xC0) {
        n = 2;
        cp = b0 & 0x1Fu;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3;
        cp = b0 & 0x0Fu;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4;
        cp = b0 & 0x07u;
    } else {
        return 0;
    }
    if (text.size() < n)
        return 0;
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if ((b & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    out = cp;
    return n;
}

int widthOf(char32_t cp)
{
    const locale_t locale = utf8Locale();
    if (locale == locale_t{})
        return 1;
    const locale_t previous = uselocale(locale);
    const int w = wcwidth(static_cast<wchar_t>(cp));
    uselocale(previous);
    return w < 0 ? 1 : w;
}

} // namespace

std::size_t displayWidth(std::string_view utf8)
{
    std::size_t width = 0;
    while (!utf8.empty()) {
        char32_t cp = 0;
        const std::size_t n = decode(utf8, cp);
        if (n == 0) {
            ++width;
            utf8.remove_prefix(1);
            continue;
        }
        width += cp < 0x80 ? 1u : static_cast<std::size_t>(widthOf(cp));
        utf8.remove_prefix(n);
    }
    return width;
}

} // namespace vorteq
