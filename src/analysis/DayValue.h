#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// One text field of a day: empty, a number, or a text. A number is kept as the value its
// general-format text reads back as, so reading it costs nothing and its text is formatNumber of
// it; a text (prices from the server, dates, labels) is kept as given, short ones inline.
// 16 bytes; no allocation for numbers and for texts of up to 14 bytes (prices, dates).
class DayValue {
public:
    DayValue() = default;
    DayValue(const DayValue& other);
    DayValue(DayValue&& other) noexcept;
    DayValue& operator=(const DayValue& other);
    DayValue& operator=(DayValue&& other) noexcept;
    ~DayValue()
    {
        if (m_tag == Tag::Heap)
            releaseHeap();
    }

    bool empty() const { return m_tag == Tag::Empty; }
    bool isNumber() const { return m_tag == Tag::Number; }

    // The field's text: "" when empty, the general format of a number, a text as stored.
    std::string text() const;
    void appendText(std::string& out) const;
    // True when the text equals t, without making the text of a number.
    bool textEquals(std::string_view t) const;

    // The field read as a number: a number as stored, a text through parseNumber; nothing when
    // empty or not a number.
    std::optional<long double> number() const;

    void clear()
    {
        if (m_tag == Tag::Heap)
            releaseHeap();
        m_tag = Tag::Empty;
    }
    void setText(std::string_view text);
    // Writes value in the general format: keeps what its text reads back as. A value without a
    // finite text (infinity, NaN) leaves the field empty.
    void setNumber(long double value);
    // Same for a value that is already what its own text reads back as (readBackNumber(v) == v).
    void setReadBack(long double value)
    {
        clear();
        std::memcpy(m_raw, &value, kNumberBytes);
        m_tag = Tag::Number;
    }

private:
    enum class Tag : std::uint8_t { Empty, Number, Inline, Heap };
    static constexpr std::size_t kInline = 14;
    static constexpr std::size_t kNumberBytes = 10; // the 80-bit value; the rest is padding

    void releaseHeap();
    void copyFrom(const DayValue& other);
    std::string_view storedText() const;

    unsigned char m_raw[kInline] = {};
    Tag m_tag = Tag::Empty;
    std::uint8_t m_len = 0; // inline text length
};

} // namespace vorteq
