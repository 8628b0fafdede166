#include "series/DayValue.h"

#include "common/NumberText.h"

#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>

namespace vorteq {

static_assert(sizeof(DayValue) == 16, "a day field should stay 16 bytes");
static_assert(std::numeric_limits<long double>::digits == 64 && sizeof(long double) == 16,
              "80-bit extended floats in 16 bytes expected: the tag lives in their padding");

namespace {
// A long text lives on the heap: its pointer, then its 32-bit length, inside the cell.
struct HeapText {
    char* data;
    std::size_t size;
};

HeapText loadHeap(const unsigned char* raw)
{
    HeapText h{};
    std::uint32_t size = 0;
    std::memcpy(&h.data, raw, sizeof h.data);
    std::memcpy(&size, raw + sizeof h.data, sizeof size);
    h.size = size;
    return h;
}

void storeHeap(unsigned char* raw, char* data, std::size_t size)
{
    const auto size32 = static_cast<std::uint32_t>(size);
    std::memcpy(raw, &data, sizeof data);
    std::memcpy(raw + sizeof data, &size32, sizeof size32);
}
} // namespace

DayValue::DayValue(const DayValue& other)
{
    copyFrom(other);
}

DayValue::DayValue(DayValue&& other) noexcept : m_u(other.m_u)
{
    other.setTag(Tag::Empty);
}

DayValue& DayValue::operator=(const DayValue& other)
{
    if (this != &other) {
        clear();
        copyFrom(other);
    }
    return *this;
}

void DayValue::releaseHeap()
{
    delete[] loadHeap(m_u.raw).data;
    setTag(Tag::Empty);
}

void DayValue::copyFrom(const DayValue& other)
{
    if (other.tag() == Tag::Heap) {
        setTag(Tag::Empty);
        setText(other.storedText());
        return;
    }
    m_u = other.m_u;
}

std::string_view DayValue::storedText() const
{
    if (tag() == Tag::Inline)
        return {reinterpret_cast<const char*>(m_u.raw), m_u.raw[kLengthByte]};
    if (tag() == Tag::Heap) {
        const HeapText h = loadHeap(m_u.raw);
        return {h.data, h.size};
    }
    return {};
}

namespace {
// Copies n <= 16 bytes with at most two overlapping fixed-size moves: short texts (prices, dates,
// signals) are set by the million, and a call of the general copy costs more than the copy.
void copyShort(unsigned char* to, const char* from, std::size_t n)
{
    if (n >= 8) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n > 0) {
        to[0] = static_cast<unsigned char>(from[0]);
        to[n / 2] = static_cast<unsigned char>(from[n / 2]);
        to[n - 1] = static_cast<unsigned char>(from[n - 1]);
    }
}
} // namespace

void DayValue::setText(std::string_view text)
{
    clear();
    if (text.size() <= kInline) {
        copyShort(m_u.raw, text.data(), text.size());
        m_u.raw[kLengthByte] = static_cast<unsigned char>(text.size());
        setTag(Tag::Inline);
        return;
    }
    char* data = new char[text.size()];
    std::memcpy(data, text.data(), text.size());
    storeHeap(m_u.raw, data, text.size());
    setTag(Tag::Heap);
}

void DayValue::setTextOrNumber(std::string_view text)
{
    // Digits of the text as a whole number m and the count of decimals k: the text is m / 10^k.
    std::size_t i = 0;
    const bool negative = !text.empty() && text[0] == '-';
    i += negative ? 1 : 0;
    std::uint64_t m = 0;
    int significant = 0; // digits from the first non-zero one
    int decimals = 0;
    int leadingFractionZeros = 0;
    const std::size_t intStart = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        m = m * 10 + static_cast<std::uint64_t>(text[i] - '0');
        significant += m != 0 ? 1 : 0;
    }
    const std::size_t intDigits = i - intStart;
    // The integer part is "0" or starts with a non-zero digit.
    bool canonical = intDigits == 1 || (intDigits > 1 && text[intStart] != '0');
    if (canonical && i < text.size() && text[i] == '.') {
        ++i;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            m = m * 10 + static_cast<std::uint64_t>(text[i] - '0');
            ++decimals;
            if (m == 0)
                ++leadingFractionZeros;
            else
                ++significant;
        }
        // At least one decimal, the last not a zero.
        canonical = decimals > 0 && text[i - 1] != '0';
    }
    canonical = canonical && i == text.size() && significant <= 15 && (m != 0 || !negative);
    // Below 1, the general format writes fixed notation from 0.0001 on.
    canonical = canonical && (intDigits > 1 || text[intStart] != '0' || m == 0 || leadingFractionZeros <= 3);
    if (!canonical) {
        setText(text);
        return;
    }
    // The same division of the same whole number parseNumber makes.
    const long double whole = static_cast<long double>(m);
    const long double a =
        decimals == 0 ? whole : whole / detail::kExactPow10[static_cast<std::size_t>(decimals)];
    setReadBack(negative ? -a : a);
    assert(parseNumber(text) == storedNumber() && formatNumber(storedNumber()) == text &&
           "a text kept as a number should read and write back the same");
}

void DayValue::setNumber(long double value)
{
    if (!std::isfinite(value)) {
        clear();
        return;
    }
    setReadBack(readBackNumber(value));
}

namespace {
// The text of q / 100 for |q| below 1E15, without floating point: such a value has at most 15
// significant digits and lies between 0.01 and 1E13, so its general format is the decimal
// itself, trailing zeros and point dropped.
void appendHundredths(std::string& out, std::int64_t q)
{
    if (q < 0)
        out.push_back('-');
    const std::uint64_t a = q < 0 ? 0 - static_cast<std::uint64_t>(q) : static_cast<std::uint64_t>(q);
    char buf[24];
    char* end = buf + sizeof buf;
    char* p = end;
    std::uint64_t whole = a / 100;
    do {
        *--p = static_cast<char>('0' + whole % 10);
        whole /= 10;
    } while (whole != 0);
    out.append(p, end);
    const auto cents = static_cast<unsigned>(a % 100);
    if (cents != 0) {
        out.push_back('.');
        out.push_back(static_cast<char>('0' + cents / 10));
        if (cents % 10 != 0)
            out.push_back(static_cast<char>('0' + cents % 10));
    }
}
} // namespace

void DayValue::appendText(std::string& out) const
{
    if (tag() == Tag::Hundredths) {
        std::int64_t q = 0;
        std::memcpy(&q, m_u.raw, sizeof q);
        appendHundredths(out, q);
        return;
    }
    if (isNumber()) {
        appendNumber(out, storedNumber());
        return;
    }
    out.append(storedText());
}

std::string DayValue::text() const
{
    std::string out;
    appendText(out);
    return out;
}

bool DayValue::textEquals(std::string_view t) const
{
    if (isNumber()) {
        // A number's text is "0" exactly when it is zero.
        if (t == "0")
            return storedNumber() == 0.0L;
        return text() == t;
    }
    return storedText() == t;
}

std::optional<long double> DayValue::number() const
{
    if (isNumber())
        return storedNumber();
    if (tag() == Tag::Empty)
        return std::nullopt;
    return parseNumber(storedText());
}

} // namespace vorteq
