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
    DayValue& operator=(DayValue&& other) noexcept
    {
        if (this != &other) {
            clear();
            m_u = other.m_u;
            other.setTag(Tag::Empty);
        }
        return *this;
    }
    ~DayValue()
    {
        if (tag() == Tag::Heap)
            releaseHeap();
    }

    bool empty() const { return tag() == Tag::Empty; }
    bool isNumber() const { return tag() == Tag::Number || tag() == Tag::Hundredths; }

    // The field's text: "" when empty, the general format of a number, a text as stored.
    std::string text() const;
    void appendText(std::string& out) const;
    // True when the text equals t, without making the text of a number.
    bool textEquals(std::string_view t) const;

    // The field read as a number: a number as stored, a text through parseNumber; nothing when
    // empty or not a number.
    std::optional<long double> number() const;

    // The number of a field that holds one (isNumber()), without the checks of number().
    long double storedNumber() const { return tag() == Tag::Number ? m_u.num : hundredthsValue(); }

    void clear()
    {
        if (tag() == Tag::Heap)
            releaseHeap();
        setTag(Tag::Empty);
    }
    void setText(std::string_view text);
    // Keeps a text as setText does; a text that is already the general format of its number
    // ("1234", "-7.5", "0.0031": no sign but "-", no leading or trailing zeros, fixed notation,
    // at most 15 significant digits) is kept as that number instead, which gives the same text and
    // needs no conversion when read. For price texts, read as numbers over and over.
    void setTextOrNumber(std::string_view text);
    // Writes value in the general format: keeps what its text reads back as. A value without a
    // finite text (infinity, NaN) leaves the field empty.
    void setNumber(long double value);
    // Same for a value that is already what its own text reads back as (readBackNumber(v) == v).
    void setReadBack(long double value)
    {
        if (tag() == Tag::Heap)
            releaseHeap();
        m_u.num = value; // the 80 value bits; the tag byte is written after it
        setTag(Tag::Number);
    }

    // setReadBack of the value stored at p, copied as plain bytes rather than loaded and stored as
    // an extended float; NaN (or infinity) there leaves the field empty. For copying many values
    // at once.
    void setReadBackFrom(const long double* p)
    {
        if (tag() == Tag::Heap)
            releaseHeap();
        std::memcpy(m_u.raw, p, kValueBytes);
        const unsigned exponent = (m_u.raw[kValueBytes - 1] & 0x7fu) << 8 | m_u.raw[kValueBytes - 2];
        setTag(exponent == 0x7fff ? Tag::Empty : Tag::Number);
    }

    // A two-decimal value given as its whole number of hundredths q (|q| below 1E15): the value
    // is q / 100 as its text reads back, the text formatNumber of it.
    void setHundredths(std::int64_t q)
    {
        if (tag() == Tag::Heap)
            releaseHeap();
        std::memcpy(m_u.raw, &q, sizeof q);
        setTag(Tag::Hundredths);
    }

private:
    enum class Tag : std::uint8_t { Empty, Number, Inline, Heap, Hundredths };

    long double hundredthsValue() const
    {
        std::int64_t q = 0;
        std::memcpy(&q, m_u.raw, sizeof q);
        return static_cast<long double>(q) / 100;
    }
    static constexpr std::size_t kValueBytes = 10; // an 80-bit float: 64-bit significand, sign and exponent
    static constexpr std::size_t kInline = 14;     // text bytes kept in the cell
    static constexpr std::size_t kTagByte = 14;
    static constexpr std::size_t kLengthByte = 15;

    // The value's 10 bytes, or the text's bytes, or the heap text's pointer and length; the last
    // two bytes (padding of the 80-bit value) hold the tag and the inline text's length.
    union Storage {
        long double num;
        unsigned char raw[16];
    };

    Tag tag() const { return static_cast<Tag>(m_u.raw[kTagByte]); }
    void setTag(Tag t) { m_u.raw[kTagByte] = static_cast<unsigned char>(t); }

    void releaseHeap();
    void copyFrom(const DayValue& other);
    std::string_view storedText() const;

    Storage m_u{.raw = {}};
};

} // namespace vorteq
