#include "series/MarketTable.h"

namespace vorteq {

const MarketEntry* marketAt(int position)
{
    if (position < 0 || position >= static_cast<int>(kMarketTable.size()))
        return nullptr;
    return &kMarketTable[static_cast<std::size_t>(position)];
}

const MarketEntry* marketByCode(std::string_view code)
{
    for (const MarketEntry& market : kMarketTable)
        if (market.code == code)
            return &market;
    return nullptr;
}

std::string dailyTableName(const MarketEntry& market, std::string_view year)
{
    std::string name(market.family);
    name += year;
    return name;
}

} // namespace vorteq
