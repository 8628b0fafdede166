#include "analysis/DayValue.h"

#include "common/NumberText.h"

#include <cmath>
#include <cstring>

namespace vorteq {
namespace {
struct HeapText {
    char* data;
    std::size_t size;
};
} // namespace

static_assert(sizeof(DayValue) == 32, "a day field should stay 32 bytes");
static_assert(sizeof(HeapText) <= 30 && sizeof(long double) <= 30);

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
    HeapText h;
    std::memcpy(&h, m_raw, sizeof h);
    delete[] h.data;
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
        HeapText h;
        std::memcpy(&h, m_raw, sizeof h);
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
    HeapText h{new char[text.size()], text.size()};
    std::memcpy(h.data, text.data(), text.size());
    std::memcpy(m_raw, &h, sizeof h);
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
        long double v;
        std::memcpy(&v, m_raw, sizeof v);
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
            long double v;
            std::memcpy(&v, m_raw, sizeof v);
            return v == 0.0L;
        }
        return text() == t;
    }
    return storedText() == t;
}

std::optional<long double> DayValue::number() const
{
    if (m_tag == Tag::Number) {
        long double v;
        std::memcpy(&v, m_raw, sizeof v);
        return v;
    }
    if (m_tag == Tag::Empty)
        return std::nullopt;
    return parseNumber(storedText());
}

} // namespace vorteq
