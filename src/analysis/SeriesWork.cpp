#include "analysis/SeriesWork.h"

#include "common/NumberText.h"

namespace vorteq {

long double SeriesWork::put(DayField f, int i, long double v)
{
    const long double stored = std::isfinite(v) ? readBackNumber(v) : kNone;
    m_values[slot(f, i)] = stored;
    return stored;
}

} // namespace vorteq
