#pragma once

#include <array>
#include <string>
#include <string_view>

namespace vorteq {

// One market of the market choice `cbx_mkt_cd`: its list text, its code and the family of its
// daily tables. A daily table is named by the family and a four-digit year.
struct MarketEntry {
    std::string_view name;   // list text, e.g. "東証一部"
    std::string_view code;   // market code as decimal text; bare number in SQL, text in the index
    std::string_view family; // "STK_DAILY_TSE_" ...
};

// The markets in list order: the list position selects the entry. Tokyo's segments since April
// 2022 follow the eight older markets, so that a stored position or code keeps its meaning. Their
// codes go on from Tokyo's 11, 12 and 13 (first digit the exchange, second the segment), and they
// share Tokyo's daily tables like the other Tokyo markets.
inline constexpr std::array<MarketEntry, 11> kMarketTable{{
    {"東証一部", "11", "STK_DAILY_TSE_"},
    {"東証二部", "12", "STK_DAILY_TSE_"},
    {"大証一部", "21", "STK_DAILY_DSE_"},
    {"大証二部", "22", "STK_DAILY_DSE_"},
    {"JASDAQ", "91", "STK_DAILY_JSA_"},
    {"マザーズ", "13", "STK_DAILY_TSE_"},
    {"ヘラクレス", "24", "STK_DAILY_DSE_"},
    {"外国為替", "999", "STK_DAILY_FX_"},
    {"プライム", "14", "STK_DAILY_TSE_"},
    {"スタンダード", "15", "STK_DAILY_TSE_"},
    {"グロース", "16", "STK_DAILY_TSE_"},
}};

// The entry at a list position, or nullptr outside the table.
const MarketEntry* marketAt(int position);

// The entry whose code is exactly this text ("11"), or nullptr.
const MarketEntry* marketByCode(std::string_view code);

// The daily table of a market for a year given as its four characters: STK_DAILY_TSE_2005.
std::string dailyTableName(const MarketEntry& market, std::string_view year);

} // namespace vorteq
