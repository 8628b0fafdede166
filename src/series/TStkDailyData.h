#pragma once

#include "series/DayValue.h"

#include <array>
#include <cassert>
#include <optional>
#include <string>
#include <string_view>

namespace vorteq {

// Named positions of a day's 99 fields.
enum class DayField : int {
#define DAY_FIELD(name, pos) name = pos,
#include "series/DayFields.def"
#undef DAY_FIELD
};

inline constexpr int kDayFieldCount = 99;

constexpr int pos(DayField f)
{
    return static_cast<int>(f);
}

namespace detail {
constexpr std::array<std::string_view, kDayFieldCount> makeDayFieldNames()
{
    std::array<std::string_view, kDayFieldCount> names{};
#define DAY_FIELD(name, pos) names[pos] = #name;
#include "series/DayFields.def"
#undef DAY_FIELD
    return names;
}
} // namespace detail

// The name of each position ("EPrice" at 4); empty for the positions that are never written.
inline constexpr std::array<std::string_view, kDayFieldCount> kDayFieldNames = detail::makeDayFieldNames();

// The position of a field name, or nothing.
constexpr std::optional<int> findDayField(std::string_view name)
{
    if (name.empty())
        return std::nullopt;
    for (int i = 0; i < kDayFieldCount; ++i)
        if (kDayFieldNames[static_cast<std::size_t>(i)] == name)
            return i;
    return std::nullopt;
}

// One trading day of a stock's series: 99 text fields (prices, indicators, signal, trade action),
// addressed by position (0..98) or by name.
class TStkDailyData {
public:
    static constexpr int kFieldCount = kDayFieldCount;

    const DayValue& operator[](int position) const { return m_fields[index(position)]; }
    DayValue& operator[](int position) { return m_fields[index(position)]; }
    const DayValue& operator[](DayField f) const { return m_fields[index(pos(f))]; }
    DayValue& operator[](DayField f) { return m_fields[index(pos(f))]; }

    std::string text(int position) const { return (*this)[position].text(); }
    std::string text(DayField f) const { return (*this)[f].text(); }
    // The text of a named field; an unknown name reads as empty.
    std::string text(std::string_view name) const;

    // The field by name, or nullptr for an unknown name.
    const DayValue* field(std::string_view name) const;
    DayValue* field(std::string_view name);

    // Every field empty, as a new record: for a record used again for another day.
    void clearAll()
    {
        for (DayValue& f : m_fields)
            f.clear();
    }

private:
    static std::size_t index(int position)
    {
        assert(position >= 0 && position < kFieldCount && "day field position out of range");
        return static_cast<std::size_t>(position);
    }

    std::array<DayValue, kFieldCount> m_fields;
};

} // namespace vorteq
