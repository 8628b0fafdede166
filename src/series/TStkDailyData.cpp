#include "series/TStkDailyData.h"

namespace vorteq {

std::string TStkDailyData::text(std::string_view name) const
{
    const DayValue* f = field(name);
    return f ? f->text() : std::string();
}

const DayValue* TStkDailyData::field(std::string_view name) const
{
    const auto p = findDayField(name);
    return p ? &m_fields[static_cast<std::size_t>(*p)] : nullptr;
}

DayValue* TStkDailyData::field(std::string_view name)
{
    const auto p = findDayField(name);
    return p ? &m_fields[static_cast<std::size_t>(*p)] : nullptr;
}

} // namespace vorteq
