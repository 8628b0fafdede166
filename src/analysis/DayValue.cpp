#include "analysis/DayValue.h"

#include "common/NumberText.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace vorteq {
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

static_assert(sizeof(DayValue) == 16, "a day field should stay 16 bytes");
static_assert(std::numeric_limits<long double>::digits == 64, "80-bit extended floats expected");

DayValue::DayValue(const DayValue& other)
{
    copyFrom(other);
}

DayValue::DayValue(DayValue&& other) noexcept
{
    std::memcpy(m_raw, other.m_raw, kInline);
    m_tag = other.m_tag;
    m_len = other.m_len;
    other.m_tag = Tag::Empty;
}

DayValue& DayValue::operator=(const DayValue& other)
{
    if (this != &other) {
        clear();
        copyFrom(other);
    }
    return *this;
}

DayValue& DayValue::operator=(DayValue&& other) noexcept
{
    if (this != &other) {
        clear();
        std::memcpy(m_raw, other.m_raw, kInline);
        m_tag = other.m_tag;
        m_len = other.m_len;
        other.m_tag = Tag::Empty;
    }
    return *this;
}

void DayValue::releaseHeap()
{
    delete[] loadHeap(m_raw).data;
    m_tag = Tag::Empty;
}

void DayValue::copyFrom(const DayValue& other)
{
    if (other.m_tag == Tag::Heap) {
        m_tag = Tag::Empty;
        setText(other.storedText());
        return;
    }
    std::memcpy(m_raw, other.m_raw, kInline);
    m_tag = other.m_tag;
    m_len = other.m_len;
}

std::string_view DayValue::storedText() const
{
    if (m_tag == Tag::Inline)
        return {reinterpret_cast<const char*>(m_raw), m_len};
    if (m_tag == Tag::Heap) {
        const HeapText h = loadHeap(m_raw);
        return {h.data, h.size};
    }
    return {};
}

void DayValue::setText(std::string_view text)
{
    clear();
    if (text.size() <= kInline) {
        std::memcpy(m_raw, text.data(), text.size());
        m_len = static_cast<std::uint8_t>(text.size());
        m_tag = Tag::Inline;
        return;
    }
    char* data = new char[text.size()];
    std::memcpy(data, text.data(), text.size());
    storeHeap(m_raw, data, text.size());
    m_tag = Tag::Heap;
}

void DayValue::setNumber(long double value)
{
    if (!std::isfinite(value)) {
        clear();
        return;
    }
    setReadBack(readBackNumber(value));
}

void DayValue::appendText(std::string& out) const
{
    if (m_tag == Tag::Number) {
        long double v = 0;
        std::memcpy(&v, m_raw, kNumberBytes);
        appendNumber(out, v);
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
    if (m_tag == Tag::Number) {
        // Only "0" is asked in practice; a number's text is "0" exactly when it is zero.
        if (t == "0") {
            long double v = 0;
            std::memcpy(&v, m_raw, kNumberBytes);
            return v == 0.0L;
        }
        return text() == t;
    }
    return storedText() == t;
}

std::optional<long double> DayValue::number() const
{
    if (m_tag == Tag::Number) {
        long double v = 0;
        std::memcpy(&v, m_raw, kNumberBytes);
        return v;
    }
    if (m_tag == Tag::Empty)
        return std::nullopt;
    return parseNumber(storedText());
}

} // namespace vorteq
