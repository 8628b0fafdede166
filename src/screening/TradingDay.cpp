#include "screening/TradingDay.h"

#include "series/MarketTable.h"

namespace vorteq {

std::optional<std::string> noPricesReason(const Date& day, const std::optional<Date>& lastUpdate)
{
    const std::string text = formatDate(day);
    if (day < kFirstDataDate)
        return "基準日 " + text + " は最初のデータ (" + formatDate(kFirstDataDate) + ") より前の日付です。";
    if (lastUpdate && day > *lastUpdate)
        return "基準日 " + text + " は最終更新日 (" + formatDate(*lastUpdate) + ") より後の日付です。";
    const int weekday = dayOfWeek(day);
    if (weekday == 6)
        return "基準日 " + text + " は土曜日のため株価データがありません。";
    if (weekday == 0)
        return "基準日 " + text + " は日曜日のため株価データがありません。";
    return std::nullopt;
}

std::string holidayReason(const Date& day)
{
    return "基準日 " + formatDate(day) + " は休場日のため株価データがありません。";
}

std::string dayPriceCountQuery(const MarketEntry& market, const Date& day)
{
    const std::string text = formatDate(day);
    return "SELECT COUNT(*) FROM " + dailyTableName(market, text.substr(0, 4)) + " a WHERE a.STK_DATE = '" +
           text + "' ";
}

} // namespace vorteq
